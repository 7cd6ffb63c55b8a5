// The real host: Qt and POSIX.
#pragma once

#include "platform/Host.h"
#include "platform/UserDefaults.h"

#include <QList>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

namespace tolvane {

class NotificationSink;
class RunningTask;
class TrayWatcher;

class QtHost final : public Host {
    Q_OBJECT
public:
    QtHost();
    ~QtHost() override;

    bool launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure) override;
    int runSystem(const QString& command, QByteArray* errors) override;
    int runModalAlert(const AlertRequest& request) override;
    void deliverNotification(const UserNotification& notification) override;
    bool openUrl(const QUrl& url) override;
    void log(const QString& record) override;
    void scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback) override;
    void terminate() override;
    QProcessEnvironment environment() const override;
    QString homeDirectory() const override;
    QString bundlePath() const override;
    void activateApplication() override;
    bool bundleIsTranslocated() const override;
    QDateTime currentDateTime() const override;
    void setNotificationFallback(QSystemTrayIcon* trayIcon) override;
    bool trayAvailable() const override;
    bool statusItemFindsLaterTrays() const override;
    bool statusItemRegistered() const override;
    QSettings& userDefaults() override;
    bool synchronizeUserDefaults() override;

    // Commands still running when the controller exits are left to finish: they are not killed, and
    // their output keeps being read (and discarded) by a small process of their own.
    void releaseRunningTasks();

private:
    void dropTask(RunningTask* task);
    void endAtTimeLimit(RunningTask* task);
    void postTermination(const TaskTermination& termination);
    void modalEnded();

    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<RunningTask>> m_tasks;
    std::unique_ptr<NotificationSink> m_notifications;
    QPointer<QSystemTrayIcon> m_notificationFallback;
    std::unique_ptr<TrayWatcher> m_tray;
    UserDefaults m_userDefaults;
    // While a modal alert is up, the ends of commands and the timers that fall due wait here, in the
    // order they came; a timer waits once however often it fell due.
    struct Deferred {
        int timerId; // 0 for the end of a command
        std::function<void()> work;
    };
    int m_modalDepth = 0;
    std::deque<Deferred> m_deferred;
    int m_timerCount = 0;
};

} // namespace tolvane
