#include "platform/TrayWatcher.h"

namespace tolvane {

TrayWatcher::~TrayWatcher() = default;

} // namespace tolvane
