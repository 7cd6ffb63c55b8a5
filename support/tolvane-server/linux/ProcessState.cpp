// Linux: the process table is readable under /proc, without starting anything.
#include "ProcessState.h"

#include <fstream>
#include <string>

namespace tolvane {

bool isZombie(pid_t pid)
{
    // The state is the field after the command name, which is in parentheses and may hold any text.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return false;
    }
    const size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() &&
           (line[paren + 2] == 'Z' || line[paren + 2] == 'X');
}

} // namespace tolvane
