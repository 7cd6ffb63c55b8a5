// The status-bar item: a tray icon that remembers which named image and tooltip it shows, so that the
// presentation can be read back (tests, the desktop tier) without comparing pixels. The icon itself is
// made when the item is placed in the tray; until then the item keeps what it is to show.
#pragma once

#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <memory>

namespace tolvane {

// The named images of the status item: the product mark (the server stopped), a command under way, the
// server running, and a server that failed to start or whose program is missing.
inline const QString FaviconImage = QStringLiteral("favicon");
inline const QString LoadingImage = QStringLiteral("loading");
inline const QString StopImage = QStringLiteral("stop");
inline const QString ExclaimImage = QStringLiteral("exclaim");

// The image of the given name from the application's resources, made for the platform's status bar.
QIcon imageNamed(const QString& name);

class StatusItem : public QObject {
    Q_OBJECT
public:
    StatusItem();
    ~StatusItem() override;

    void setImage(const QString& imageName);
    QString image() const { return m_imageName; }
    void setMenu(QMenu* menu);
    QMenu* menu() const { return m_menu; }
    void setHighlightMode(bool on) { m_highlightMode = on; }
    bool highlightMode() const { return m_highlightMode; }
    void setToolTip(const QString& toolTip);
    QString toolTip() const { return m_toolTip; }

    // Makes the tray icon with what the item shows and puts it in the tray. Once it is made, nothing.
    void place();
    // The placed icon leaves the tray and comes back, registering anew with the tray that runs now.
    void placeAgain();
    bool isPlaced() const { return m_trayIcon != nullptr; }
    // How often the icon was put in the tray: once when placed, once more at each placing again.
    int placements() const { return m_placements; }
    // The tray icon once the item is placed, else null.
    QSystemTrayIcon* trayIcon() const { return m_trayIcon.get(); }

private:
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    QString m_imageName;
    QString m_toolTip;
    int m_placements = 0;
    QPointer<QMenu> m_menu;
    bool m_highlightMode = false;
};

} // namespace tolvane
