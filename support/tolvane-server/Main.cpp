// tolvane-server start|stop|status: the stand-in server the controller drives by exit status.
//
// status exits 0 running, 1 stopped, 4 starting, 6 failed to start. start mirrors those for its own
// outcome. Usage errors exit 2, an unusable data folder 3, a server that will not stop
// or an unexpected error 5.

#include "DataFolder.h"
#include "HttpServer.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <signal.h>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace tolvane;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

enum Exit {
    kRunning = 0,
    kStopped = 1,
    kUsage = 2,
    kBadFolder = 3,
    kStarting = 4,
    kError = 5,
    kFailed = 6,
};

constexpr const char* kUrl = "http://127.0.0.1:8008/";
constexpr int kProbeMs = 800;     // status: generous, a loaded machine may answer slowly
constexpr int kPollProbeMs = 300; // start re-probes often anyway while it waits

int startDelayMs()
{
    const char* text = std::getenv("TOLVANE_SERVER_START_DELAY_MS");
    if (!text || !*text) {
        return 0;
    }
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0) {
        return 0;
    }
    return value > 60000 ? 60000 : static_cast<int>(value);
}

// Keeps an error about an odd argument on one readable line.
std::string printable(std::string_view word)
{
    std::string out;
    for (char c : word.substr(0, 40)) {
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    }
    return word.size() > 40 ? out + "..." : out;
}

std::string runningLine(const DataFolder& folder)
{
    return std::string("Tolvane is running at ") + kUrl + " (data: " + folder.root.string() + ")";
}

std::string failure(const DataFolder& folder)
{
    std::string state = folder.state();
    return state.rfind("failed: ", 0) == 0 ? state.substr(8) : "the server exited";
}

enum class Presence { Present, Missing, Unusable };

// A folder that simply does not exist yet is a normal "stopped"; anything else in the way is an error.
Presence inspect(const DataFolder& folder)
{
    struct stat info {};
    if (::stat(folder.root.c_str(), &info) != 0) {
        if (errno == ENOENT) {
            return Presence::Missing;
        }
        complain("cannot use the data folder '" + folder.root.string() + "': " + std::strerror(errno));
        return Presence::Unusable;
    }
    if (!S_ISDIR(info.st_mode)) {
        complain("the data folder '" + folder.root.string() + "' is not a folder");
        return Presence::Unusable;
    }
    return Presence::Present;
}

bool prepareFolder(const DataFolder& folder)
{
    std::error_code ec;
    fs::create_directories(folder.root, ec);
    Presence presence = inspect(folder); // complains itself when something is in the way
    if (presence == Presence::Missing) {
        complain("cannot create the data folder '" + folder.root.string() + "': " + ec.message());
    }
    if (presence != Presence::Present) {
        return false;
    }
    if (::access(folder.root.c_str(), W_OK | X_OK) != 0) {
        complain("the data folder '" + folder.root.string() + "' is not writable");
        return false;
    }
    return true;
}

// Follows a server that lives but does not answer yet, until it answers, dies or the budget is spent.
int waitForOutcome(const DataFolder& folder, pid_t pid, int budgetMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(budgetMs);
    for (;;) {
        if (folder.serverPid() != pid) {
            if (folder.state().rfind("failed", 0) == 0) {
                complain("Tolvane failed to start: " + failure(folder));
                return kFailed;
            }
            complain("Tolvane stopped before it answered");
            return kStopped;
        }
        if (probeServer(pid, kPollProbeMs)) {
            say(runningLine(folder));
            return kRunning;
        }
        if (Clock::now() >= deadline) {
            say("Tolvane is still starting (data: " + folder.root.string() + "); 'status' follows it.");
            return kStarting;
        }
        std::this_thread::sleep_for(50ms);
    }
}

int start(const DataFolder& folder)
{
    if (!prepareFolder(folder)) {
        return kBadFolder;
    }
    int control = folder.lockControl();
    if (control < 0) {
        complain("cannot lock the data folder '" + folder.root.string() + "': " + std::strerror(errno));
        return kBadFolder;
    }
    int delay = startDelayMs();
    pid_t pid = folder.serverPid();
    if (pid > 0 && probeServer(pid, kProbeMs)) {
        ::close(control);
        say("Tolvane is already running at " + std::string(kUrl) + " (data: " + folder.root.string() + ")");
        return kRunning;
    }
    if (pid == 0) {
        if (!folder.setState("starting")) {
            ::close(control);
            complain("cannot write to the data folder '" + folder.root.string() + "'");
            return kBadFolder;
        }
        pid = spawnServer(folder, delay);
        if (pid == 0) {
            ::close(control);
            complain("Tolvane failed to start: " + failure(folder));
            return kFailed;
        }
    }
    // The server holds its own lock from here on, so a stop may run while we watch it come up.
    ::close(control);
    return waitForOutcome(folder, pid, 5000 + delay);
}

bool waitUntilGone(const DataFolder& folder, pid_t pid, std::chrono::milliseconds budget)
{
    auto deadline = Clock::now() + budget;
    while (folder.serverPid() == pid || !processGone(pid)) {
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

int stop(const DataFolder& folder)
{
    switch (inspect(folder)) {
    case Presence::Missing:
        say("Tolvane is stopped.");
        return 0;
    case Presence::Unusable:
        return kBadFolder;
    case Presence::Present:
        break;
    }
    int control = folder.lockControl();
    if (control < 0) {
        complain("cannot lock the data folder '" + folder.root.string() + "': " + std::strerror(errno));
        return kBadFolder;
    }
    // Only the lock holder is signalled: a pid file may name a process that merely reused the number.
    if (pid_t pid = folder.serverPid(); pid > 0) {
        if (::kill(pid, SIGTERM) != 0 && errno == EPERM) {
            ::close(control);
            complain("not allowed to stop Tolvane (pid " + std::to_string(pid) + ")");
            return kError;
        }
        if (!waitUntilGone(folder, pid, 5s)) {
            ::kill(pid, SIGKILL);
            // An unreaped zombie still counts as stopped once it has let go of the lock.
            if (!waitUntilGone(folder, pid, 2s) && folder.serverPid() == pid) {
                ::close(control);
                complain("Tolvane (pid " + std::to_string(pid) + ") did not stop");
                return kError;
            }
        }
    }
    std::error_code ec;
    fs::remove(folder.pidFile(), ec);
    if (fs::exists(folder.stateFile()) && folder.state() != "stopped") {
        folder.setState("stopped");
    }
    ::close(control);
    say("Tolvane is stopped.");
    return 0;
}

// Runs every few seconds, so it only reads: the lock holder, one quick probe and the last outcome.
int status(const DataFolder& folder)
{
    switch (inspect(folder)) {
    case Presence::Missing:
        say("Tolvane is stopped.");
        return kStopped;
    case Presence::Unusable:
        return kBadFolder;
    case Presence::Present:
        break;
    }
    if (pid_t pid = folder.serverPid(); pid > 0) {
        if (probeServer(pid, kProbeMs)) {
            say(runningLine(folder));
            return kRunning;
        }
        say("Tolvane is starting (data: " + folder.root.string() + ").");
        return kStarting;
    }
    if (folder.state().rfind("failed", 0) == 0) {
        say("Tolvane failed to start: " + failure(folder));
        return kFailed;
    }
    say("Tolvane is stopped.");
    return kStopped;
}

} // namespace

int main(int argc, char** argv)
{
    // The controller reads only the first part of our output and may close the pipe early.
    ::signal(SIGPIPE, SIG_IGN);

    if (argc < 2) {
        complain("missing command; expected start, stop or status");
        return kUsage;
    }
    if (argc > 2) {
        complain("too many arguments; expected one of start, stop or status");
        return kUsage;
    }
    const std::string word = argv[1];
    if (word != "start" && word != "stop" && word != "status") {
        complain("unknown command '" + printable(word) + "'; expected start, stop or status");
        return kUsage;
    }
    try {
        auto root = resolveDataFolder();
        if (!root) {
            complain("cannot find the home folder; set TOLVANE_HOME");
            return kBadFolder;
        }
        const DataFolder folder{*root};
        if (word == "start") {
            return start(folder);
        }
        return word == "stop" ? stop(folder) : status(folder);
    } catch (const std::exception& e) {
        complain(std::string("unexpected error: ") + e.what());
        return kError;
    }
}
