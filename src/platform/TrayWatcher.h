// The desktop's tray as the status item needs it: whether a tray shows status items now, whether an item
// made before any tray is there shows up once one comes, and when a tray host appears. The platform's
// room provides the watcher.
#pragma once

#include <QObject>
#include <memory>

namespace tolvane {

class TrayWatcher : public QObject {
    Q_OBJECT
public:
    ~TrayWatcher() override;

    // A tray that shows status items runs now.
    virtual bool available() const = 0;
    // An item made while no tray runs shows up by itself once a tray comes (the menu bar, an XEmbed tray).
    // False where the toolkit picks its kind of tray once, when the first item is made, and never looks
    // again: there the item is made only once a tray host is there.
    virtual bool itemFindsLaterTrays() const = 0;
    // The tray host's watcher lists an item of this process; true where items do not register.
    virtual bool itemRegistered() const { return true; }

signals:
    // A tray host appeared, or registered again after a restart: an item made before must register
    // with it again, and an item not made yet can be made now.
    void hostAppeared();
};

std::unique_ptr<TrayWatcher> makeTrayWatcher();

} // namespace tolvane
