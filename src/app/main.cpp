// The process entry point: the application, the host, the controller, then the main event loop.
#include "app/AppDelegate.h"
#include "common/BuildInfo.h"
#include "platform/QtHost.h"
#include "platform/Reopen.h"
#include "platform/TerminationSignals.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(tolvane::ApplicationName);
    QApplication::setOrganizationDomain(tolvane::qtNamesOfDomain(tolvane::ApplicationId).first);
    QApplication::setApplicationName(tolvane::ApplicationName);
    QApplication::setApplicationDisplayName(tolvane::ApplicationName);
    QApplication::setApplicationVersion(tolvane::ControllerVersion);
    // The controller lives in the status bar: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);

    // Opening the controller again while it runs reopens the running one.
    const std::unique_ptr<tolvane::ReopenSource> reopen = tolvane::makeReopenSource();
    if (reopen->handOverToRunningInstance())
        return 0;

    tolvane::quitOnTerminationSignals();
    tolvane::QtHost host;
    tolvane::ScopedHost installed(host);

    tolvane::AppDelegate controller;
    controller.loadInterface();
    controller.applicationWillFinishLaunching();
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &controller,
                     &tolvane::AppDelegate::applicationWillTerminate);
    reopen->listen([&controller] { controller.reopen(); });
    QTimer::singleShot(0, &controller, &tolvane::AppDelegate::applicationDidFinishLaunching);
    return QApplication::exec();
}
