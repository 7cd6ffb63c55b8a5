// The forwarding host.
#include "ForwardingHost.h"

namespace tolvane::testing {

ForwardingHost::ForwardingHost()
{
    connect(&real, &Host::taskDidTerminate, this,
            [this](const TaskTermination& termination) { forwardTermination(termination); });
    connect(&real, &Host::trayHostAppeared, this, &Host::trayHostAppeared);
}

void ForwardingHost::forwardTermination(const TaskTermination& termination)
{
    emit taskDidTerminate(termination);
}

bool ForwardingHost::launchTask(const TaskSpec& spec, OutputHandler handler, QString* failure)
{
    return real.launchTask(spec, std::move(handler), failure);
}

int ForwardingHost::runSystem(const QString& command, QByteArray* errors)
{
    return real.runSystem(command, errors);
}

int ForwardingHost::runModalAlert(const AlertRequest& request)
{
    return real.runModalAlert(request);
}

void ForwardingHost::deliverNotification(const UserNotification& notification)
{
    real.deliverNotification(notification);
}

bool ForwardingHost::openUrl(const QUrl& url)
{
    return real.openUrl(url);
}

void ForwardingHost::log(const QString& record)
{
    real.log(record);
}

void ForwardingHost::scheduleTimer(std::chrono::milliseconds interval, bool repeats, TimerCallback callback)
{
    real.scheduleTimer(interval, repeats, std::move(callback));
}

void ForwardingHost::terminate()
{
    real.terminate();
}

QProcessEnvironment ForwardingHost::environment() const
{
    return real.environment();
}

QString ForwardingHost::homeDirectory() const
{
    return real.homeDirectory();
}

QString ForwardingHost::bundlePath() const
{
    return real.bundlePath();
}

void ForwardingHost::activateApplication()
{
    real.activateApplication();
}

bool ForwardingHost::bundleIsTranslocated() const
{
    return real.bundleIsTranslocated();
}

QDateTime ForwardingHost::currentDateTime() const
{
    return real.currentDateTime();
}

void ForwardingHost::setNotificationFallback(QSystemTrayIcon* trayIcon)
{
    real.setNotificationFallback(trayIcon);
}

bool ForwardingHost::trayAvailable() const
{
    return real.trayAvailable();
}

bool ForwardingHost::statusItemFindsLaterTrays() const
{
    return real.statusItemFindsLaterTrays();
}

bool ForwardingHost::statusItemRegistered() const
{
    return real.statusItemRegistered();
}

QSettings& ForwardingHost::userDefaults()
{
    return real.userDefaults();
}

bool ForwardingHost::synchronizeUserDefaults()
{
    return real.synchronizeUserDefaults();
}

} // namespace tolvane::testing
