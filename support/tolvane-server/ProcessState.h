// What the system says of a process that the server's own files cannot tell.
#pragma once

#include <sys/types.h>

namespace tolvane {

// True when the process has exited but nobody has reaped it yet: it still answers kill(pid, 0).
// False for a live process, for one that no longer exists, and when the system cannot tell.
bool isZombie(pid_t pid);

} // namespace tolvane
