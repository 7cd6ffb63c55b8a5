// Notifications through the status item's message, which Qt hands to the notification centre.
#include "platform/QtHost.h"

namespace tolvane {

namespace {

class TrayNotifications final : public NotificationSink {
public:
    void deliver(const UserNotification& notification, QSystemTrayIcon* trayIcon) override
    {
        QString body = notification.subtitle;
        if (notification.informativeText && !notification.informativeText->isEmpty())
            body += QLatin1Char('\n') + *notification.informativeText;
        if (trayIcon)
            trayIcon->showMessage(notification.title, body, QSystemTrayIcon::Information);
    }
};

} // namespace

std::unique_ptr<NotificationSink> makeNotificationSink()
{
    return std::make_unique<TrayNotifications>();
}

} // namespace tolvane
