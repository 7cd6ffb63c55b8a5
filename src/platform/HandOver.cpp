#include "platform/HandOver.h"

#include <QMetaObject>
#include <QThread>

namespace tolvane {

HandOver::HandOver(QObject* parent) : QObject(parent) {}

HandOver::~HandOver()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    for (Job* job : m_pending)
        job->done = true;
    m_pending.clear();
    m_ran.notify_all();
}

void HandOver::runAndWait(const std::function<void()>& work)
{
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    Job job{&work};
    {
        std::lock_guard lock(m_mutex);
        if (m_closed)
            return;
        m_pending.push_back(&job);
    }
    QMetaObject::invokeMethod(this, "runPending", Qt::QueuedConnection);
    std::unique_lock lock(m_mutex);
    m_ran.wait(lock, [&job] { return job.done; });
}

void HandOver::runPending()
{
    for (;;) {
        Job* job = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_pending.empty())
                return;
            job = m_pending.front();
            m_pending.pop_front();
        }
        (*job->work)();
        {
            std::lock_guard lock(m_mutex);
            job->done = true;
        }
        m_ran.notify_all();
    }
}

} // namespace tolvane
