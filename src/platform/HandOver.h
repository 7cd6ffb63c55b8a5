// Work handed from any thread to the thread an object lives on, the caller waiting until it has run.
#pragma once

#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace tolvane {

// The caller and the receiving thread meet on a standard mutex and condition variable rather than on
// a blocking queued call, so that the order of the two threads is plain to the thread sanitizer too:
// Qt only delivers the wake-up, which carries no data.
class HandOver : public QObject {
    Q_OBJECT

public:
    explicit HandOver(QObject* parent = nullptr);
    ~HandOver() override;

    // Runs `work` on this object's thread and returns once it has run there: what the caller did
    // before is seen by the work, and what the work did is seen by the caller afterwards. On that
    // thread itself the work runs at once. Once this object is being destroyed, work still waiting
    // is dropped and its callers return.
    void runAndWait(const std::function<void()>& work);

private:
    struct Job {
        const std::function<void()>* work;
        bool done = false;
    };

    Q_INVOKABLE void runPending();

    std::mutex m_mutex;
    std::condition_variable m_ran;
    std::deque<Job*> m_pending;
    bool m_closed = false;
};

} // namespace tolvane
