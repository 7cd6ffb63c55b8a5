// What the user sees of a status code: the six Start/Stop/Open controls, the status item's image and
// tooltip, a notification for some codes, and the data-location control. The rows are data
// (PresentationRows); here the controller applies one.
#include "app/AppDelegate.h"
#include "app/Messages.h"
#include "prefs/PathControl.h"
#include "server/Paths.h"
#include "server/PresentationRows.h"

namespace tolvane {

namespace {

const QString SelectDataPathTip = QStringLiteral("Select Tolvane data path.");
const QString StillRunningTip = QStringLiteral("Tolvane is still running. Stop Tolvane to select data path.");

template <typename Control> void setEnabled(const QPointer<Control>& control, bool enabled)
{
    if (control)
        control->setEnabled(enabled);
}

const QString& imageName(StatusImage image)
{
    switch (image) {
    case StatusImage::Loading:
        return LoadingImage;
    case StatusImage::Stop:
        return StopImage;
    case StatusImage::Exclaim:
        return ExclaimImage;
    case StatusImage::Favicon:
        break;
    }
    return FaviconImage;
}

} // namespace

void AppDelegate::showStatus(std::int32_t code)
{
    const Presentation row = presentationFor(code, tolvaneExists(), isLoaded());
    setEnabled(outlets.startTolvane, row.startTolvane);
    setEnabled(outlets.startButton, row.startButton);
    setEnabled(outlets.stopTolvane, row.stopTolvane);
    setEnabled(outlets.stopButton, row.stopButton);
    setEnabled(outlets.openInBrowserMenu, row.openInBrowserMenu);
    setEnabled(outlets.openBrowserButton, row.openBrowserButton);

    if (StatusItem* item = outlets.statusItem.get()) {
        if (row.toolTip && row.toolTipBeforeImage)
            item->setToolTip(*row.toolTip);
        item->setImage(imageName(row.image));
        if (row.toolTip && !row.toolTipBeforeImage)
            item->setToolTip(*row.toolTip);
    }
    if (row.notification)
        showNotification(*row.notification, QString());
    if (row.dataLocationEnabled)
        toggleTolvaneDataPath(*row.dataLocationEnabled);
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
