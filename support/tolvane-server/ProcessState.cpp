// Every system but Linux: ps tells a process's state (macOS has no /proc). It runs only while an
// exited server still answers kill(), which a prompt reaper such as launchd keeps short.
#include "ProcessState.h"

#include <cstdio>
#include <string>

namespace tolvane {

bool isZombie(pid_t pid)
{
    // The pid is a number, so the command line needs no quoting.
    const std::string command = "/bin/ps -o stat= -p " + std::to_string(pid) + " 2>/dev/null";
    FILE* ps = ::popen(command.c_str(), "r");
    if (!ps) {
        return false;
    }
    int first = ' ';
    while (first == ' ' || first == '\t') {
        first = std::fgetc(ps);
    }
    // Read to the end, so ps never dies of a closed pipe.
    while (std::fgetc(ps) != EOF) {
    }
    ::pclose(ps);
    return first == 'Z';
}

} // namespace tolvane
