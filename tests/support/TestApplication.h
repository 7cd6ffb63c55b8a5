// What a test or benchmark program sets up before its application object: the offscreen platform
// unless another is asked for, and Qt's messages less the ones that platform gives for every window
// feature and tray interface it lacks.
#pragma once

namespace tolvane::testing {

// Once, before the application object is made: it reads the platform when it is made.
void defaultToOffscreenPlatform();
// Installs the filter in front of the handler in place.
void silenceOffscreenPlatformWarnings();

} // namespace tolvane::testing
