// What the user can do to the server: Start behind the port check, Stop, and Open in Browser.
#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "server/ServerContract.h"

namespace tolvane {

namespace {

// Only a listener counts, and no names are looked up: a client socket whose remote port is the
// server's does not hold the port, and look-ups stall on a machine without a network. Exit status 0:
// in use.
const QString PortCheckFormat = QStringLiteral("lsof -nP -iTCP:%1 -sTCP:LISTEN");
const QString PortCheckFailedFormat = QStringLiteral("Error running the port check: %1");
const QString StoppingText = QStringLiteral("Stopping");
const QString StoppingAndQuittingText = QStringLiteral("Stopping and quitting the application...");
const QString OpenFailedFormat = QStringLiteral(" Failed to open url: %1");

} // namespace

// The six Start/Stop/Open actions of the menu and the window: each ignores its sender.
void AppDelegate::start(QObject*)
{
    startFunction();
}
void AppDelegate::startButton(QObject*)
{
    startFunction();
}
void AppDelegate::stop(QObject*)
{
    stopFunction(false);
}
void AppDelegate::stopButton(QObject*)
{
    stopFunction(false);
}
void AppDelegate::open(QObject*)
{
    openFunction();
}
void AppDelegate::openButton(QObject*)
{
    openFunction();
}

void AppDelegate::startFunction()
{
    QString failure;
    if (!runTask(PortCheckFormat.arg(ServerPort), &failure)) {
        // No start is recorded and Start stays available; the user can try again.
        host().log(PortCheckFailedFormat.arg(failure));
        return;
    }
    setIstolvaneStart(true);
    if (outlets.startTolvane)
        outlets.startTolvane->setEnabled(false);
}

void AppDelegate::stopFunction(bool quitting)
{
    showNotification(quitting ? StoppingAndQuittingText : StoppingText, QString());
    runTolvane(StopCommand);
}

void AppDelegate::openFunction()
{
    const QUrl url(ServerAddress);
    if (!host().openUrl(url))
        showNotification(OpenFailedFormat.arg(url.toString()), QString());
}

} // namespace tolvane
