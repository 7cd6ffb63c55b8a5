// The real host behind a stand-in: every call goes to a real QtHost, so that commands, timers, files
// and the system log are real. A subclass overrides only what it records or answers itself.
#pragma once

#include "Printing.h"
#include "platform/QtHost.h"

namespace tolvane::testing {

class ForwardingHost : public Host {
    Q_OBJECT
public:
    ForwardingHost();

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

    QtHost real;

protected:
    // Called for every end the real host posts; passes it on as this host's own.
    virtual void forwardTermination(const TaskTermination& termination);
};

} // namespace tolvane::testing
