// App Translocation: macOS runs an application that was downloaded and opened where it lies (still
// quarantined, not moved) from a random read-only copy of its folder. From there the controller finds
// nothing beside its bundle (the uninstall tool, the server) and any path it records (the login agent)
// names a copy that is gone after the next restart.
#pragma once

#include <QString>

namespace tolvane {

// True when the bundle at `bundlePath` runs from such a copy. The platform's room provides it; only
// macOS translocates.
bool isTranslocated(const QString& bundlePath);

// Whether the path lies where the system puts translocated copies (a folder named "AppTranslocation"
// in a temporary folder): a hint, for when the system cannot be asked.
bool looksTranslocated(const QString& bundlePath);

} // namespace tolvane
