// Files the stand-in server keeps in its data folder, and the small I/O helpers around them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace tolvane {

namespace fs = std::filesystem;

// One line on stdout / stderr. Written unbuffered with write(2) so the two streams stay in order on a
// shared pipe; a closed pipe is not an error worth dying for, so failures are ignored.
void say(std::string_view line);
void complain(std::string_view line); // prefixes "tolvane-server: "

// TOLVANE_HOME, or ~/.tolvane when it is unset or empty, made absolute because the server runs from "/".
// Empty when no home folder can be found at all.
std::optional<fs::path> resolveDataFolder();

struct DataFolder {
    fs::path root;

    fs::path pidFile() const { return root / "tolvane.pid"; }
    fs::path stateFile() const { return root / "last-start"; }   // starting | running | stopped | failed: why
    fs::path serverLock() const { return root / "server.lock"; } // write-locked by the live server
    fs::path controlLock() const { return root / "control.lock"; } // serialises start and stop

    std::string state() const;
    bool setState(std::string_view word) const;
    pid_t pidFromFile() const; // 0 when missing or unreadable
    // The pid of the process holding the server lock: the kernel's answer, so a stale pid file cannot
    // make us signal an unrelated process. 0 when no server holds it.
    pid_t serverPid() const;
    // Blocks until this process alone may start or stop the server; returns the fd to close, or -1.
    int lockControl() const;
};

// Replaces the file through a temporary and rename, so readers never see half a file.
bool writeFileAtomically(const fs::path& file, std::string_view content);
// First line of a small file, without the newline; empty when it is missing.
std::string readFirstLine(const fs::path& file);

// True once the process has exited (a zombie counts as exited).
bool processGone(pid_t pid);

} // namespace tolvane
