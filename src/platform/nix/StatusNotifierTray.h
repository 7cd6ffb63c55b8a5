// The Linux tray: a StatusNotifierItem host, found through the watcher on the session bus, and on X11
// an XEmbed tray.
#pragma once

#include "platform/TrayWatcher.h"

#include <QDBusConnection>
#include <QPointer>

class QDBusServiceWatcher;

namespace tolvane {

class StatusNotifierTray final : public TrayWatcher {
    Q_OBJECT
public:
    StatusNotifierTray();
    ~StatusNotifierTray() override;

    bool available() const override;
    bool itemFindsLaterTrays() const override;
    bool itemRegistered() const override;

private slots:
    // The watcher's signal that a host registered with it.
    void hostRegistered();

private:
    void watcherAppeared();
    void watcherVanished();
    bool askHostRegisteredNow();
    void askHostRegistered();

    QDBusConnection m_bus;
    QPointer<QDBusServiceWatcher> m_watcher;
    bool m_hostRegistered = false;
    // Bumped whenever the watcher comes or goes, so that an answer about an earlier one is dropped.
    int m_watcherGeneration = 0;
};

} // namespace tolvane
