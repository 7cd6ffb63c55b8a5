// The scripted host.
#include "FakeHost.h"

#include <QCoreApplication>
#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tolvane::testing {

FakeHost::FakeHost()
{
    qRegisterMetaType<TaskTermination>();
    home = folder.filePath(QStringLiteral("home"));
    bundle = folder.filePath(QStringLiteral("Applications/Tolvane/Tolvane.app"));
    now = QDateTime(QDate(2026, 12, 9), QTime(15, 4, 5));
    useStoreAt(folder.filePath(QStringLiteral("preferences.ini")));
}

void FakeHost::useStoreAt(const QString& path)
{
    store = std::make_unique<UserDefaults>(
        [path] { return std::make_unique<QSettings>(path, QSettings::IniFormat); });
}

FakeHost::~FakeHost() = default;

bool FakeHost::launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure)
{
    if (refuseLaunches) {
        if (failure)
            *failure = QStringLiteral("launch refused by the test");
        return false;
    }
    tasks.push_back(Task{spec, std::move(handler), false, clock});
    if (onLaunch)
        onLaunch(spec);
    return true;
}

int FakeHost::runSystem(const QString& command, QByteArray* errors)
{
    systemCommands.append(command);
    if (errors && systemErrors)
        *errors = systemErrors(command);
    return systemAnswer ? systemAnswer(command) : 0;
}

int FakeHost::runModalAlert(const AlertRequest& request)
{
    alerts.push_back(request);
    // While the alert is up the controller does nothing else: ends posted meanwhile wait for it.
    ++m_modalDepth;
    if (onAlert)
        onAlert(request);
    --m_modalDepth;
    if (alertAnswers.empty())
        return FirstButtonReturn;
    const int answer = alertAnswers.front();
    alertAnswers.pop_front();
    return answer;
}

void FakeHost::deliverNotification(const UserNotification& notification)
{
    notifications.push_back(notification);
}

bool FakeHost::openUrl(const QUrl& url)
{
    openedUrls.push_back(url);
    return openUrlSucceeds;
}

void FakeHost::log(const QString& record)
{
    logRecords.append(record);
}

void FakeHost::scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback)
{
    timers.push_back(Timer{interval, repeats, std::move(callback), clock + interval, true});
}

void FakeHost::terminate()
{
    ++terminateCalls;
}

void FakeHost::trayHostComes()
{
    trayRuns = true;
    emit trayHostAppeared();
}

void FakeHost::endTask(std::size_t index, int exitStatus, const QByteArray& output,
                       std::optional<std::chrono::milliseconds> endedAfter)
{
    if (index >= tasks.size() || tasks[index].ended)
        throw std::logic_error("no such running task");
    tasks[index].ended = true;
    // The handler and the termination may launch further tasks, which can move the vector.
    OutputHandler handler = std::move(tasks[index].handler);
    const QStringList arguments = tasks[index].spec.arguments;
    if (handler)
        handler(output);
    // Posted, as the real host does: it reaches the controller when the event loop next runs.
    ++m_postedEnds;
    QMetaObject::invokeMethod(
        this,
        [this, termination = TaskTermination{arguments, exitStatus, endedAfter}] {
            --m_postedEnds;
            emit taskDidTerminate(termination);
        },
        Qt::QueuedConnection);
    runEventLoop();
}

void FakeHost::runEventLoop()
{
    // Called from inside the loop's own work (the controller handling an end, or an alert on screen),
    // it leaves the posted ends to the loop already running, which delivers them in order afterwards.
    if (m_loopDepth > 0 || m_modalDepth > 0)
        return;
    ++m_loopDepth;
    while (m_postedEnds > 0)
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    --m_loopDepth;
}

int FakeHost::runningTask(const QString& lastWord) const
{
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        if (!tasks[i].ended && tasks[i].commandLine().split(QLatin1Char(' ')).last() == lastWord)
            return static_cast<int>(i);
    }
    return -1;
}

void FakeHost::endRunning(const QString& lastWord, int exitStatus, const QByteArray& output)
{
    const int index = runningTask(lastWord);
    ASSERT_GE(index, 0) << "no running task ends with " << lastWord.toStdString();
    endTask(static_cast<std::size_t>(index), exitStatus, output);
}

std::vector<std::size_t> FakeHost::runningTasks() const
{
    std::vector<std::size_t> running;
    for (std::size_t i = 0; i < tasks.size(); ++i) {
        if (!tasks[i].ended)
            running.push_back(i);
    }
    return running;
}

void FakeHost::advance(std::chrono::milliseconds by)
{
    const auto until = clock + by;
    for (;;) {
        // The earliest time limit that passes by then ends its command before a timer due at the same
        // moment fires; callbacks may add timers and tasks, so indexes are re-read.
        std::optional<std::size_t> limited;
        for (std::size_t i = 0; i < tasks.size(); ++i) {
            const Task& t = tasks[i];
            if (!t.ended && t.spec.timeLimit && t.launchedAt + *t.spec.timeLimit <= until &&
                (!limited || t.launchedAt + *t.spec.timeLimit <
                                 tasks[*limited].launchedAt + *tasks[*limited].spec.timeLimit))
                limited = i;
        }
        std::size_t next = timers.size();
        for (std::size_t i = 0; i < timers.size(); ++i) {
            if (timers[i].alive && timers[i].due <= until &&
                (next == timers.size() || timers[i].due < timers[next].due))
                next = i;
        }
        if (limited) {
            const std::chrono::milliseconds limit = *tasks[*limited].spec.timeLimit;
            const auto due = tasks[*limited].launchedAt + limit;
            if (next == timers.size() || due <= timers[next].due) {
                clock = due;
                endTask(*limited, 128 + 15, {}, limit);
                continue;
            }
        }
        if (next == timers.size())
            break;
        clock = timers[next].due;
        if (timers[next].repeats)
            timers[next].due += timers[next].interval;
        else
            timers[next].alive = false;
        TimerCallback callback = timers[next].callback;
        callback();
    }
    clock = until;
}

std::size_t FakeHost::liveTimers() const
{
    return static_cast<std::size_t>(
        std::count_if(timers.begin(), timers.end(), [](const Timer& t) { return t.alive; }));
}

QStringList FakeHost::notificationSubtitles() const
{
    QStringList subtitles;
    for (const UserNotification& n : notifications)
        subtitles.append(n.subtitle);
    return subtitles;
}

QStringList FakeHost::alertMessages() const
{
    QStringList messages;
    for (const AlertRequest& a : alerts)
        messages.append(a.messageText);
    return messages;
}

} // namespace tolvane::testing
