// The floor for the controller's resident memory: the least a Qt tray program holds, an application,
// a status icon with an image and a menu, on the same platform as the controller. Runs until ended.
#include <QAction>
#include <QApplication>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QPixmap image(22, 22);
    image.fill(Qt::black);
    QMenu menu;
    menu.addAction(QStringLiteral("Start"));
    menu.addAction(QStringLiteral("Stop"));
    menu.addSeparator();
    QObject::connect(menu.addAction(QStringLiteral("Quit")), &QAction::triggered, &application,
                     &QApplication::quit);

    QSystemTrayIcon tray;
    tray.setIcon(QIcon(image));
    tray.setToolTip(QStringLiteral("floor"));
    tray.setContextMenu(&menu);
    tray.show();
    return QApplication::exec();
}
