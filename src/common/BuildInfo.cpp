#include "common/BuildInfo.h"

#include "common/BuildRelease.h"

namespace tolvane {

const QString ControllerVersion = QStringLiteral(TOLVANE_VERSION);
const QString DefaultTolvaneExecutable = QStringLiteral(TOLVANE_DEFAULT_EXECUTABLE);

} // namespace tolvane
