#include "ServerHarness.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tolvane::test {

namespace {

using Clock = std::chrono::steady_clock;

std::string shellQuote(const std::string& word)
{
    std::string out = "'";
    for (char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::vector<std::string> childEnvironment(const EnvOverrides& overrides)
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        if (!overrides.contains(text.substr(0, text.find('=')))) {
            env.push_back(text);
        }
    }
    for (const auto& [name, value] : overrides) {
        if (value) {
            env.push_back(name + "=" + *value);
        }
    }
    return env;
}

struct Exec {
    std::vector<std::string> argStrings;
    std::vector<std::string> envStrings;
    std::vector<char*> argv;
    std::vector<char*> envp;
};

// Built before fork so the child only calls async-signal-safe functions.
Exec prepareExec(const std::vector<std::string>& words, const EnvOverrides& overrides)
{
    std::string command = shellQuote(TOLVANE_SERVER_PATH);
    for (const auto& word : words) {
        command += " " + shellQuote(word);
    }
    Exec exec;
    exec.argStrings = {"bash", "-l", "-c", command};
    exec.envStrings = childEnvironment(overrides);
    for (auto& s : exec.argStrings) {
        exec.argv.push_back(s.data());
    }
    exec.argv.push_back(nullptr);
    for (auto& s : exec.envStrings) {
        exec.envp.push_back(s.data());
    }
    exec.envp.push_back(nullptr);
    return exec;
}

// The test runner may ignore SIGPIPE; the program under test must cope with the default action.
void resetSignalsInChild()
{
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

void setCloexec(int fd)
{
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

bool waitForExit(pid_t pid, Clock::time_point deadline, int& status)
{
    for (;;) {
        pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return true;
        }
        if (done < 0 && errno != EINTR) {
            return false;
        }
        if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void decodeStatus(int status, RunResult& result)
{
    result.exited = WIFEXITED(status);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? WTERMSIG(status) : -1;
}

sockaddr_in loopback8008()
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(8008);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

} // namespace

ServerRun::ServerRun(const std::vector<std::string>& words, const EnvOverrides& env, const fs::path& cwd)
{
    Exec exec = prepareExec(words, env);
    int out[2];
    int err[2];
    if (::pipe(out) != 0 || ::pipe(err) != 0) {
        return;
    }
    for (int fd : {out[0], out[1], err[0], err[1]}) {
        setCloexec(fd);
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setpgid(0, 0);
        resetSignalsInChild();
        int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) {
            _exit(126);
        }
        ::execve("/bin/bash", exec.argv.data(), exec.envp.data());
        _exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

ServerRun::~ServerRun()
{
    if (!finished_) {
        finish(std::chrono::seconds(20));
    }
}

RunResult ServerRun::finish(std::chrono::milliseconds timeout)
{
    RunResult result;
    if (finished_ || pid_ <= 0) {
        return result;
    }
    finished_ = true;
    auto deadline = Clock::now() + timeout;
    std::string* sinks[2] = {&result.out, &result.err};
    int fds[2] = {outFd_, errFd_};
    while (fds[0] >= 0 || fds[1] >= 0) {
        pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            result.timedOut = true;
            break;
        }
        if (::poll(polled, 2, static_cast<int>(left)) < 0 && errno != EINTR) {
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i] < 0 || polled[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            ssize_t n = ::read(fds[i], buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(fds[i]);
                fds[i] = -1;
            }
        }
    }
    for (int fd : fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    int status = 0;
    if (!waitForExit(pid_, deadline, status)) {
        result.timedOut = true;
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
    if (!result.timedOut) {
        decodeStatus(status, result);
    }
    return result;
}

RunResult runServer(const std::vector<std::string>& words, const EnvOverrides& env, const fs::path& cwd)
{
    return ServerRun(words, env, cwd).finish();
}

RunResult runWithClosedPipe(const std::vector<std::string>& words, const EnvOverrides& env)
{
    Exec exec = prepareExec(words, env);
    RunResult result;
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return result;
    }
    // Closing the read end before the fork means no reader exists by the time anything is written.
    ::close(pipeFds[0]);
    pid_t pid = ::fork();
    if (pid == 0) {
        resetSignalsInChild();
        int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[1]);
        ::execve("/bin/bash", exec.argv.data(), exec.envp.data());
        _exit(127);
    }
    ::close(pipeFds[1]);
    int status = 0;
    if (!waitForExit(pid, Clock::now() + std::chrono::seconds(20), status)) {
        result.timedOut = true;
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return result;
    }
    decodeStatus(status, result);
    return result;
}

int connectTo8008()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in addr = loopback8008();
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int listenOn8008()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    sockaddr_in addr = loopback8008();
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return -1;
    }
    return fd;
}

bool portAnswers()
{
    int fd = connectTo8008();
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

std::optional<HttpReply> httpGet(const std::string& target, std::chrono::milliseconds timeout)
{
    const auto exchange =
        httpExchange("GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:8008\r\n\r\n", timeout);
    if (!exchange) {
        return std::nullopt;
    }
    HttpReply reply;
    reply.statusLine = exchange->statusLine;
    for (const std::string& line : exchange->headerLines) {
        size_t colon = line.find(':');
        if (colon != std::string::npos) {
            size_t value = line.find_first_not_of(' ', colon + 1);
            reply.headers[line.substr(0, colon)] = value == std::string::npos ? "" : line.substr(value);
        }
    }
    reply.body = exchange->body;
    return reply;
}

std::optional<HttpExchange> httpExchange(const std::string& request, std::chrono::milliseconds timeout)
{
    int fd = connectTo8008();
    if (fd < 0) {
        return std::nullopt;
    }
    timeval tv{static_cast<time_t>(timeout.count() / 1000),
               static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::string raw;
    bool closed = false;
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char buffer[4096];
        for (;;) {
            ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                closed = n == 0;
                break;
            }
            raw.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    const std::string crlf = "\r\n";
    size_t split = raw.find(crlf + crlf);
    if (split == std::string::npos) {
        return std::nullopt;
    }
    HttpExchange reply;
    reply.closedByServer = closed;
    const std::string head = raw.substr(0, split);
    size_t lineStart = 0;
    for (;;) {
        size_t lineEnd = head.find(crlf, lineStart);
        std::string line = head.substr(lineStart, lineEnd - lineStart);
        if (lineStart == 0) {
            reply.statusLine = line;
        } else {
            reply.headerLines.push_back(line);
        }
        if (lineEnd == std::string::npos) {
            break;
        }
        lineStart = lineEnd + crlf.size();
    }
    reply.body = raw.substr(split + 2 * crlf.size());
    return reply;
}

bool processGone(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
        return true;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) {
        return true;
    }
    size_t paren = line.rfind(')');
    return paren != std::string::npos && paren + 2 < line.size() &&
           (line[paren + 2] == 'Z' || line[paren + 2] == 'X');
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& file, const std::string& content)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << content;
}

} // namespace tolvane::test
