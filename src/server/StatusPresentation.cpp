// What the user sees of a status code: the six Start/Stop/Open controls, the status item's image and
// tooltip, a notification for some codes, and the data-location control.
#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "prefs/PathControl.h"
#include "server/Paths.h"

namespace tolvane {

namespace {

const QString RunningNotification = QStringLiteral("Running, you can now click on 'Open in Browser' menu.");
const QString StoppedNotification = QStringLiteral("Stopped");
const QString SelectDataPathTip = QStringLiteral("Select Tolvane data path.");
const QString StillRunningTip = QStringLiteral("Tolvane is still running. Stop Tolvane to select data path.");

template <typename Control> void setEnabled(const QPointer<Control>& control, bool enabled)
{
    if (control)
        control->setEnabled(enabled);
}

} // namespace

void AppDelegate::showStatus(std::int32_t code)
{
    const bool exists = tolvaneExists();
    bool startEnabled = exists;
    bool othersEnabled = false;
    switch (code) {
    case ServerStatusRunning:
        startEnabled = false;
        othersEnabled = true;
        break;
    case ServerStatusStarting:
        startEnabled = false;
        break;
    default:
        break;
    }
    setEnabled(outlets.startTolvane, startEnabled);
    setEnabled(outlets.startButton, startEnabled);
    setEnabled(outlets.stopTolvane, othersEnabled);
    setEnabled(outlets.stopButton, othersEnabled);
    setEnabled(outlets.openInBrowserMenu, othersEnabled);
    setEnabled(outlets.openBrowserButton, othersEnabled);

    StatusItem* item = outlets.statusItem.get();
    auto present = [item](const QString& image, const QString& toolTip) {
        if (!item)
            return;
        item->setImage(image);
        item->setToolTip(toolTip);
    };
    switch (code) {
    case ServerStatusRunning:
        present(StopImage, QStringLiteral("Tolvane is running."));
        showNotification(RunningNotification, QString());
        toggleTolvaneDataPath(false);
        break;
    case ServerStatusStopped:
        present(FaviconImage, QStringLiteral("Tolvane is stopped."));
        if (isLoaded())
            showNotification(StoppedNotification, QString());
        toggleTolvaneDataPath(true);
        break;
    case ServerStatusStarting:
        if (item) {
            item->setToolTip(QStringLiteral("Tolvane is starting..."));
            item->setImage(LoadingImage);
        }
        toggleTolvaneDataPath(false);
        break;
    case ServerStatusFailedToStart:
        present(ExclaimImage, QStringLiteral("Tolvane failed to start."));
        toggleTolvaneDataPath(false);
        break;
    default:
        // Any other code changes only the image; the tooltip and the data-location control keep what
        // the previous presentation set.
        if (item)
            item->setImage(exists ? FaviconImage : ExclaimImage);
        break;
    }
    setIsLoaded(true);
}

void AppDelegate::toggleTolvaneDataPath(bool flag)
{
    if (!outlets.customTolvaneData)
        return;
    outlets.customTolvaneData->setEnabled(flag);
    outlets.customTolvaneData->setToolTip(flag ? SelectDataPathTip : StillRunningTip);
}

} // namespace tolvane
