// Desktops raise a window together with its application: activating the window is enough.
#include "platform/Activation.h"

namespace tolvane {

void activateApplication() {}

} // namespace tolvane
