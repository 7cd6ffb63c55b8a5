// The toolkit chooses between a StatusNotifierItem and an XEmbed icon once, when the first tray icon is
// made, from whether a StatusNotifierItem host is registered at that moment. On X11 an icon made without
// a host becomes an XEmbed icon, which finds a tray that starts later, or again after a restart, by
// itself. Elsewhere (Wayland) there is no XEmbed and such an icon never shows: the item must not be made
// before a host is there. So the session bus is watched for the StatusNotifierWatcher service and its
// host, and each time a host appears the controller hears of it.
#include "platform/nix/StatusNotifierTray.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QSystemTrayIcon>

namespace tolvane {

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString WatcherInterface = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString HostRegisteredProperty = QStringLiteral("IsStatusNotifierHostRegistered");
const QString HostRegisteredSignal = QStringLiteral("StatusNotifierHostRegistered");
const QString RegisteredItemsProperty = QStringLiteral("RegisteredStatusNotifierItems");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// The Qt platform whose tray icons fall back to XEmbed.
const QString X11Platform = QStringLiteral("xcb");
constexpr int CallTimeoutMs = 2000;

QDBusMessage propertyQuery(const QString& property)
{
    QDBusMessage call = QDBusMessage::createMethodCall(WatcherService, WatcherPath, PropertiesInterface,
                                                       QStringLiteral("Get"));
    call << WatcherInterface << property;
    return call;
}

QDBusMessage hostRegisteredQuery()
{
    return propertyQuery(HostRegisteredProperty);
}

QDBusMessage registeredItemsQuery()
{
    return propertyQuery(RegisteredItemsProperty);
}

bool onX11()
{
    return QGuiApplication::platformName().compare(X11Platform, Qt::CaseInsensitive) == 0;
}

} // namespace

StatusNotifierTray::StatusNotifierTray() : m_bus(QDBusConnection::sessionBus())
{
    if (!m_bus.isConnected())
        return;
    m_watcher = new QDBusServiceWatcher(
        WatcherService, m_bus,
        QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] { watcherAppeared(); });
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this] { watcherVanished(); });
    // From whichever connection owns the watcher's name now or later.
    m_bus.connect(QString(), WatcherPath, WatcherInterface, HostRegisteredSignal, this,
                  SLOT(hostRegistered()));
    // The state at start-up, asked once and waited for (briefly), so that the launch knows it.
    m_hostRegistered = askHostRegisteredNow();
}

StatusNotifierTray::~StatusNotifierTray() = default;

bool StatusNotifierTray::available() const
{
    // On X11 the toolkit also finds an XEmbed tray; elsewhere asking it would make it choose its kind of
    // tray icon for good, before a host has come.
    return m_hostRegistered || (onX11() && QSystemTrayIcon::isSystemTrayAvailable());
}

bool StatusNotifierTray::itemFindsLaterTrays() const
{
    return onX11();
}

void StatusNotifierTray::hostRegistered()
{
    // Some watchers send this signal also when their last host has gone: the property tells.
    askHostRegistered();
}

void StatusNotifierTray::watcherAppeared()
{
    ++m_watcherGeneration;
    m_hostRegistered = false;
    // A watcher that comes with its host (a bar that is both) has it registered by now; otherwise the
    // host's registration signal follows.
    askHostRegistered();
}

void StatusNotifierTray::watcherVanished()
{
    ++m_watcherGeneration;
    m_hostRegistered = false;
}

bool StatusNotifierTray::askHostRegisteredNow()
{
    const QDBusMessage reply = m_bus.call(hostRegisteredQuery(), QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

void StatusNotifierTray::askHostRegistered()
{
    const int generation = m_watcherGeneration;
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(hostRegisteredQuery(), CallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this,
            [this, generation](QDBusPendingCallWatcher* answer) {
                answer->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *answer;
                if (generation != m_watcherGeneration || reply.isError())
                    return;
                m_hostRegistered = reply.value().variant().toBool();
                if (m_hostRegistered)
                    emit hostAppeared();
            });
}

bool StatusNotifierTray::itemRegistered() const
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    // The watcher lists each item as the bus name of the connection that offers it and its path; Qt
    // offers its item on a connection of its own, so the process behind each name tells.
    const QDBusMessage reply = m_bus.call(registeredItemsQuery(), QDBus::Block, CallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    const QStringList items = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toStringList();
    const auto self = static_cast<uint>(QCoreApplication::applicationPid());
    for (const QString& item : items) {
        const QString name = item.section(QLatin1Char('/'), 0, 0);
        const QDBusReply<uint> process = m_bus.interface()->servicePid(name);
        if (process.isValid() && process.value() == self)
            return true;
    }
    return false;
}

std::unique_ptr<TrayWatcher> makeTrayWatcher()
{
    return std::make_unique<StatusNotifierTray>();
}

} // namespace tolvane
