// A launched command's process and output pipe.
#include "platform/RunningTask.h"

#include "platform/Pipe.h"

#include <QMetaObject>
#include <QSocketNotifier>
#include <cerrno>
#include <unistd.h>
#include <utility>

namespace tolvane {

RunningTask::RunningTask(int readFd, OutputHandler handler) : m_readFd(readFd), m_handler(std::move(handler))
{
    setNonBlocking(m_readFd);
    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { readOutput(); });
}

RunningTask::~RunningTask()
{
    m_handler = nullptr;
    closeOutput();
    delete process;
}

void RunningTask::markExited()
{
    exited = true;
    notifyIfFinished();
}

void RunningTask::readOutput()
{
    char buffer[65536];
    while (m_readFd >= 0) {
        const ssize_t count = ::read(m_readFd, buffer, sizeof buffer);
        if (count > 0) {
            if (m_handler)
                deliverFirstOutput(QByteArray(buffer, static_cast<qsizetype>(count)));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        closeOutput(); // end of output, or an error that ends it
    }
}

void RunningTask::deliverEmptyOutputIfNone()
{
    if (m_handler)
        deliverFirstOutput(QByteArray());
}

int RunningTask::releaseReadFd()
{
    delete m_notifier;
    m_notifier = nullptr;
    return std::exchange(m_readFd, -1);
}

void RunningTask::notifyIfFinished()
{
    if (!finished() || !onFinished)
        return;
    QMetaObject::invokeMethod(this, std::exchange(onFinished, nullptr), Qt::QueuedConnection);
}

void RunningTask::deliverFirstOutput(const QByteArray& piece)
{
    OutputHandler handler = std::move(m_handler);
    m_handler = nullptr;
    handler(piece);
}

void RunningTask::closeOutput()
{
    if (m_readFd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_readFd);
    m_readFd = -1;
    if (m_handler)
        deliverFirstOutput(QByteArray());
    notifyIfFinished();
}

} // namespace tolvane
