// Notifications through the desktop's notification service on the session bus; the status item's
// own message when no service answers.
#include "common/BuildInfo.h"
#include "platform/NotificationSink.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QVariantMap>

namespace tolvane {

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
constexpr int CallTimeoutMs = 1500;

// The service plays a sound from a file: the one in the resources is copied out once.
QString soundFile(const QString& soundName)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (folder.isEmpty())
        return QString();
    const QString path = folder + QLatin1Char('/') + soundName;
    if (!QFile::exists(path)) {
        QDir().mkpath(folder);
        if (!QFile::copy(QStringLiteral(":/sounds/") + soundName, path))
            return QString();
    }
    return path;
}

// The text under the title: the subtitle, and the informative text on a line of its own when there is
// one (the service, like the status item's message, has one body).
QString notificationBody(const UserNotification& notification)
{
    QString body = notification.subtitle;
    if (notification.informativeText && !notification.informativeText->isEmpty())
        body += QLatin1Char('\n') + *notification.informativeText;
    return body;
}

class FreedesktopNotifications final : public NotificationSink {
public:
    void deliver(const UserNotification& notification, QSystemTrayIcon* fallback) override
    {
        const QString body = notificationBody(notification);

        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            QVariantMap hints;
            hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("tolvane-controller"));
            if (const QString sound = soundFile(notification.soundName); !sound.isEmpty())
                hints.insert(QStringLiteral("sound-file"), sound);
            QDBusMessage call =
                QDBusMessage::createMethodCall(Service, Path, Service, QStringLiteral("Notify"));
            call << ApplicationName << 0u << QStringLiteral("tolvane") << notification.title << body
                 << QStringList() << hints << -1;
            // Waited for, so that the notification at termination is sent before the process ends.
            const QDBusMessage reply = bus.call(call, QDBus::Block, CallTimeoutMs);
            if (reply.type() == QDBusMessage::ReplyMessage)
                return;
        }
        if (fallback && QSystemTrayIcon::supportsMessages())
            fallback->showMessage(notification.title, body, QSystemTrayIcon::Information);
    }
};

} // namespace

std::unique_ptr<NotificationSink> makeNotificationSink()
{
    return std::make_unique<FreedesktopNotifications>();
}

} // namespace tolvane
