// Only macOS translocates applications.
#include "platform/Translocation.h"

namespace tolvane {

bool isTranslocated(const QString&)
{
    return false;
}

} // namespace tolvane
