// The installed application as the platform knows it.
#pragma once

#include <QString>

namespace tolvane {

// The path of the running application: its bundle on macOS, its executable elsewhere. The platform's
// room provides it.
QString applicationBundlePath();

} // namespace tolvane
