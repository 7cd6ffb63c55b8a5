// The reopen hand-over between two launches of the controller.
#include "platform/ReopenChannel.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <unistd.h>

namespace tolvane {

namespace {
const QByteArray ReopenRequest = QByteArrayLiteral("reopen\n");
const QByteArray Acknowledged = QByteArrayLiteral("ok\n");
constexpr int ConnectTimeoutMs = 1000;
constexpr int AnswerTimeoutMs = 5000;
} // namespace

QString ReopenChannel::defaultFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

ReopenChannel::ReopenChannel(const QString& folder)
    : m_socketPath(QDir(folder).filePath(QStringLiteral("tolvane-controller-%1.socket").arg(::getuid()))),
      m_lock(QDir(folder).filePath(QStringLiteral("tolvane-controller-%1.lock").arg(::getuid())))
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = m_server.nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine())
                    return;
                if (client->readLine() == ReopenRequest) {
                    client->write(Acknowledged);
                    client->flush();
                    if (m_onReopen)
                        m_onReopen();
                }
                client->disconnectFromServer();
            });
        }
    });
}

ReopenChannel::~ReopenChannel()
{
    m_server.close();
}

bool ReopenChannel::handOverToRunningInstance()
{
    // Two launches at the same moment take turns, so that exactly one of them becomes the running one.
    m_lock.setStaleLockTime(0);
    if (!m_lock.tryLock(AnswerTimeoutMs))
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    if (!socket.waitForConnected(ConnectTimeoutMs))
        return false; // nobody listens: this launch becomes the running instance, still holding the lock
    socket.write(ReopenRequest);
    if (!socket.waitForBytesWritten(AnswerTimeoutMs))
        return false;
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(AnswerTimeoutMs))
            return false;
    }
    const bool taken = socket.readLine() == Acknowledged;
    m_lock.unlock();
    return taken;
}

bool ReopenChannel::listen(std::function<void()> onReopen)
{
    m_onReopen = std::move(onReopen);
    // A socket left by a controller that did not end cleanly is in the way; nobody answered on it.
    QLocalServer::removeServer(m_socketPath);
    const bool listening = m_server.listen(m_socketPath);
    if (m_lock.isLocked())
        m_lock.unlock();
    return listening;
}

} // namespace tolvane
