// One row per status code with a meaning of its own, and the default row for every other value.
#include "server/PresentationRows.h"

#include "server/StatusCodes.h"
#include "server/StatusInterpreter.h"

namespace tolvane {

namespace {

const QString RunningNotification = QStringLiteral("Running, you can now click on 'Open in Browser' menu.");
const QString StoppedNotification = QStringLiteral("Stopped");

void setStart(Presentation& row, bool enabled)
{
    row.startTolvane = enabled;
    row.startButton = enabled;
}

void setOthers(Presentation& row, bool enabled)
{
    row.stopTolvane = enabled;
    row.stopButton = enabled;
    row.openInBrowserMenu = enabled;
    row.openBrowserButton = enabled;
}

} // namespace

Presentation presentationFor(std::int32_t code, bool executableExists, bool loaded)
{
    Presentation row;
    // Start stays available whenever nothing runs or starts, also while the server executable is
    // missing: a start then tells the user so again, and works once the executable is back.
    setStart(row, true);
    setOthers(row, false);
    switch (code) {
    case ServerStatusRunning:
        setStart(row, false);
        setOthers(row, true);
        row.image = StatusImage::Stop;
        row.toolTip = QStringLiteral("Tolvane is running.");
        row.notification = RunningNotification;
        row.dataLocationEnabled = false;
        break;
    case ServerStatusStopped:
        row.image = StatusImage::Favicon;
        row.toolTip = QStringLiteral("Tolvane is stopped.");
        if (loaded)
            row.notification = StoppedNotification;
        row.dataLocationEnabled = true;
        break;
    case ServerStatusStarting:
        setStart(row, false);
        row.image = StatusImage::Loading;
        row.toolTip = QStringLiteral("Tolvane is starting...");
        row.toolTipBeforeImage = true;
        row.dataLocationEnabled = false;
        break;
    case ServerStatusFailedToStart:
        row.image = StatusImage::Exclaim;
        row.toolTip = QStringLiteral("Tolvane failed to start.");
        row.dataLocationEnabled = false;
        break;
    default:
        // Any other code changes the image only; without the server executable the tooltip says why
        // nothing works, instead of keeping what an earlier presentation said ("Tolvane is running.").
        row.image = executableExists ? StatusImage::Favicon : StatusImage::Exclaim;
        if (!executableExists)
            row.toolTip = ExecutableMissingText;
        break;
    }
    return row;
}

} // namespace tolvane
