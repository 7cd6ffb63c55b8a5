// The real host with a recorder in front: commands, timers, files and the system log are real; alerts
// are answered by the test, and notifications and log records are kept for it to read.
#pragma once

#include "platform/QtHost.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

namespace tolvane::testing {

class RecordingHost final : public Host {
    Q_OBJECT
public:
    RecordingHost();

    bool launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure) override;
    int runSystem(const QString& command) override;
    int runModalAlert(const AlertRequest& request) override;
    void deliverNotification(const UserNotification& notification) override;
    bool openUrl(const QUrl& url) override;
    void log(const QString& record) override;
    void scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback) override;
    void terminate() override;
    QProcessEnvironment environment() const override { return real.environment(); }
    QString homeDirectory() const override { return real.homeDirectory(); }
    QString bundlePath() const override { return bundle.isEmpty() ? real.bundlePath() : bundle; }
    QDateTime currentDateTime() const override { return real.currentDateTime(); }
    QSettings& userDefaults() override { return real.userDefaults(); }
    bool synchronizeUserDefaults() override { return real.synchronizeUserDefaults(); }

    QStringList notificationSubtitles() const { return subtitles; }
    QStringList alertMessages() const { return alerts; }

    // Runs the event loop until the condition holds or the time is up; answers whether it held.
    static bool waitFor(const std::function<bool()>& condition, int timeoutMs);

    QtHost real;
    QStringList subtitles;
    QStringList alerts;
    QStringList records;
    QStringList launchedCommandLines;
    std::deque<int> alertAnswers;  // default: the first button
    std::vector<QUrl> openedUrls;
    QString bundle;
    // When set, replaces the time limit of every command launched with one.
    std::optional<std::chrono::milliseconds> shortenedTimeLimit;
    int terminateCalls = 0;
};

} // namespace tolvane::testing
