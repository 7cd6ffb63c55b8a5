// The help texts of the Preferences window: in the help popovers and as the help buttons' tooltips.
#pragma once

#include <QString>

namespace tolvane {

// The data help's tooltip lacks the README sentence that its popover shows.
inline const QString DataHelpShort = QStringLiteral(
    "This will set the TOLVANE_HOME environment variable to the selected Tolvane data location. \n \nClick "
    "the "
    "'Apply' button to save your changes and click the 'Start Tolvane' button to use your new data location. "
    "\n \nNOTE: To use your existing Tolvane data, manually copy it to the selected Tolvane data location.");
inline const QString DataHelpLong =
    DataHelpShort + QStringLiteral("\n \nFor more information, please refer to the README document.");
inline const QString UninstallHelp =
    QStringLiteral("This will uninstall the Tolvane application. \n \nCheck the `Delete Tolvane data folder` "
                   "option if you want "
                   "to delete your Tolvane data. \n \nNOTE: This will require admin privileges.");

} // namespace tolvane
