// What every notification sink shows.
#include "platform/NotificationSink.h"

namespace tolvane {

QString notificationBody(const UserNotification& notification)
{
    QString body = notification.subtitle;
    if (notification.informativeText && !notification.informativeText->isEmpty())
        body += QLatin1Char('\n') + *notification.informativeText;
    return body;
}

} // namespace tolvane
