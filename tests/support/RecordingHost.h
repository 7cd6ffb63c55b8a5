// The real host with a recorder in front: commands, timers, files and the system log are real; alerts
// are answered by the test (or on screen, when asked for), and notifications and log records are kept for it
// to read.
#pragma once

#include "ForwardingHost.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace tolvane::testing {

class RecordingHost final : public ForwardingHost {
    Q_OBJECT
public:
    bool launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure) override;
    int runModalAlert(const AlertRequest& request) override;
    void deliverNotification(const UserNotification& notification) override;
    bool openUrl(const QUrl& url) override;
    void log(const QString& record) override;
    void terminate() override;
    QString bundlePath() const override { return bundle.isEmpty() ? real.bundlePath() : bundle; }

    QStringList notificationSubtitles() const { return subtitles; }
    QStringList alertMessages() const { return alerts; }

    // Runs the event loop until the condition holds or the time is up; answers whether it held.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs);

    QStringList subtitles;
    QStringList alerts;
    QStringList records;
    QStringList launchedCommandLines;
    std::deque<int> alertAnswers; // default: the first button
    // When set, alerts go on screen through the real host and are answered there, as a user answers them;
    // alertAnswers is not read then.
    bool realAlerts = false;
    std::vector<QUrl> openedUrls;
    QString bundle;
    // When set, replaces the time limit of every command launched with one.
    std::optional<std::chrono::milliseconds> shortenedTimeLimit;
    int terminateCalls = 0;
};

} // namespace tolvane::testing
