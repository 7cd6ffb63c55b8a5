// Bringing the application to the front before one of its windows is shown.
#pragma once

namespace tolvane {

// Makes the controller the active application, so that the window it shows next (Preferences, an
// alert, a confirmation) comes up in front with the keyboard focus. A menu-bar application is usually
// not the active one, and activating a window does not activate its application on macOS; elsewhere
// activating the window is enough and this does nothing. The platform's room provides it.
void activateApplication();

} // namespace tolvane
