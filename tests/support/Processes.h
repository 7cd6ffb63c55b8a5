// Processes as a test or benchmark sees them from outside: pids a command wrote down, which of them
// still live, and readings of the process table in /proc, which only Linux has (elsewhere the readings
// find nothing).
#pragma once

#include <QString>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace tolvane::testing {

// The pids written in the file, one a line.
std::vector<pid_t> pidsIn(const QString& path);
// True while the process exists and has not ended: a process that ended and was not reaped yet (a
// zombie, which an init that does not reap keeps forever) counts as ended.
bool processRunning(pid_t pid);
// Those of the processes that still run.
std::vector<pid_t> livingProcesses(const std::vector<pid_t>& pids);

// A field of /proc/<pid>/status, as a number: VmRSS and VmHWM in kB, Threads.
std::optional<long> procStatusField(pid_t pid, const char* field);
// This process's resident memory in kB; -1 when it cannot be read.
long residentKiB();
// The processes whose parent is `parent`; zombies only when asked for.
std::vector<pid_t> childProcesses(pid_t parent, bool withZombies = false);
// Children, their children, and so on.
std::vector<pid_t> descendantProcesses(pid_t ancestor);

} // namespace tolvane::testing
