// What the user sees of a server status code, as data: which of the six Start/Stop/Open controls can
// be used, the status item's image and tooltip, the notification and the data-location control.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace tolvane {

enum class StatusImage { Favicon, Loading, Stop, Exclaim };

struct Presentation {
    // The six controls: the Start menu item and button, the Stop menu item and button, the Open in
    // Browser menu item and button.
    bool startTolvane = false;
    bool startButton = false;
    bool stopTolvane = false;
    bool stopButton = false;
    bool openInBrowserMenu = false;
    bool openBrowserButton = false;
    StatusImage image = StatusImage::Favicon;
    std::optional<QString> toolTip; // absent: the tooltip stays as the previous presentation set it
    bool toolTipBeforeImage = false;
    std::optional<QString> notification;
    std::optional<bool> dataLocationEnabled; // absent: the data-location control stays as it was
};

// `loaded`: an earlier presentation has been made since launch (the first "Stopped" is not notified).
Presentation presentationFor(std::int32_t code, bool executableExists, bool loaded);

} // namespace tolvane
