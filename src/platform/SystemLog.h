// The system log: one record per entry, mirrored to standard error.
#pragma once

#include <QString>

namespace tolvane {

void writeSystemLog(const QString& record);

} // namespace tolvane
