// Whether processes a test started are still there.
#pragma once

#include <QString>

#include <sys/types.h>

#include <vector>

namespace tolvane::testing {

// True while the process exists and has not ended: a process that ended and was not reaped yet (a
// zombie, which an init that does not reap keeps forever) counts as ended.
bool processRunning(pid_t pid);

// The pids a command wrote into the file, one a line; none when the file is missing.
std::vector<pid_t> pidsInFile(const QString& path);

} // namespace tolvane::testing
