// Alerts, questions and notifications go through the host, so that tests can answer and record them.
#include "app/Messages.h"

#include "platform/Host.h"

namespace tolvane {

void alert(const QString& message)
{
    AlertRequest request;
    request.messageText = message;
    request.style = AlertStyle::Warning;
    host().runModalAlert(request);
}

bool confirm(const QString& message)
{
    AlertRequest request;
    request.buttons = {QStringLiteral("OK"), QStringLiteral("Cancel")};
    request.messageText = message;
    return host().runModalAlert(request) == FirstButtonReturn;
}

void showNotification(const QString& subtitle, const std::optional<QString>& informativeText)
{
    UserNotification notification;
    notification.title = NotificationTitle;
    notification.subtitle = subtitle;
    notification.informativeText = informativeText;
    notification.soundName = NotificationSoundName;
    host().deliverNotification(notification);

    host().log(subtitle);
    if (informativeText)
        host().log(*informativeText);
}

} // namespace tolvane
