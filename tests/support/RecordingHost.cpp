// The recording host.
#include "RecordingHost.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace tolvane::testing {

bool RecordingHost::launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure)
{
    launchedCommandLines.append(spec.arguments.isEmpty() ? QString() : spec.arguments.last());
    TaskSpec launched = spec;
    if (launched.timeLimit && shortenedTimeLimit)
        launched.timeLimit = shortenedTimeLimit;
    return ForwardingHost::launchTask(launched, std::move(handler), failure);
}

int RecordingHost::runModalAlert(const AlertRequest& request)
{
    alerts.append(request.messageText);
    if (realAlerts)
        return ForwardingHost::runModalAlert(request);
    if (alertAnswers.empty())
        return FirstButtonReturn;
    const int answer = alertAnswers.front();
    alertAnswers.pop_front();
    return answer;
}

void RecordingHost::deliverNotification(const UserNotification& notification)
{
    subtitles.append(notification.subtitle);
}

bool RecordingHost::openUrl(const QUrl& url)
{
    openedUrls.push_back(url);
    return true;
}

void RecordingHost::log(const QString& record)
{
    records.append(record);
}

void RecordingHost::terminate()
{
    ++terminateCalls;
}

bool RecordingHost::waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

} // namespace tolvane::testing
