// Where user notifications go on this platform: the platform's room provides the sink.
#pragma once

#include "platform/Host.h"

#include <QSystemTrayIcon>
#include <memory>

namespace tolvane {

class NotificationSink {
public:
    // A notification sent just before the process ends (the quit ones) must still arrive: a sink whose
    // service takes notifications over asynchronously waits for that here, bounded.
    virtual ~NotificationSink() = default;
    // Delivers the notification; `fallback`, the status item, when the platform's service does not
    // answer (may be null before the status item exists).
    virtual void deliver(const UserNotification& notification, QSystemTrayIcon* fallback) = 0;
};

std::unique_ptr<NotificationSink> makeNotificationSink();

} // namespace tolvane
