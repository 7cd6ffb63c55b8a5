// Runs the stand-in server program the way the controller does, and talks to 127.0.0.1:8008 directly.
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tolvane::test {

namespace fs = std::filesystem;

// A value sets the variable for the child, nullopt removes it; everything else is inherited.
using EnvOverrides = std::map<std::string, std::optional<std::string>>;

struct RunResult {
    bool exited = false;   // false when a signal ended it or the run timed out
    int code = -1;         // exit code, or the signal number when !exited
    bool timedOut = false; // the program, or something it left behind, kept our pipes open too long
    std::string out;
    std::string err;
};

// A `/bin/bash -l -c "<server> <words>"` run in flight; finish() collects it.
class ServerRun {
public:
    ServerRun(const std::vector<std::string>& words, const EnvOverrides& env, const fs::path& cwd = {});
    ~ServerRun();
    ServerRun(const ServerRun&) = delete;
    ServerRun& operator=(const ServerRun&) = delete;

    // Waits for EOF on both pipes and for the exit, bounded by `timeout`.
    RunResult finish(std::chrono::milliseconds timeout = std::chrono::seconds(20));

private:
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    bool finished_ = false;
};

RunResult runServer(const std::vector<std::string>& words, const EnvOverrides& env, const fs::path& cwd = {});

// Runs with stdout and stderr on one pipe whose read end is closed before the program starts, so every
// write it makes fails. Only the exit status is collected.
RunResult runWithClosedPipe(const std::vector<std::string>& words, const EnvOverrides& env);

struct HttpReply {
    std::string statusLine;
    std::map<std::string, std::string> headers; // names as sent
    std::string body;
};

// What a client reads back from 127.0.0.1:8008 for a request, byte for byte up to the end of the head.
struct HttpExchange {
    std::string statusLine;               // the first line, without its CRLF
    std::vector<std::string> headerLines; // every line after it, in order, without CRLF; duplicates kept
    std::string body;                     // everything after the blank line
    bool closedByServer = false;          // the server ended the connection (not our timeout)
};

// Sends the request as it is and reads until the server closes the connection or the timeout passes;
// nullopt when nothing answered, or the reply has no head ending in an empty CRLF line.
std::optional<HttpExchange> httpExchange(const std::string& request,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(3));

// GET on 127.0.0.1:8008; nullopt when nothing answered within the timeout.
std::optional<HttpReply> httpGet(const std::string& target,
                                 std::chrono::milliseconds timeout = std::chrono::seconds(3));

// A connected socket to 127.0.0.1:8008, or -1.
int connectTo8008();
// A listening socket on 127.0.0.1:8008 (with SO_REUSEADDR, as servers usually set it), or -1.
int listenOn8008();
bool portAnswers();

bool processGone(pid_t pid);
std::string readFile(const fs::path& file);
void writeFile(const fs::path& file, const std::string& content);

} // namespace tolvane::test
