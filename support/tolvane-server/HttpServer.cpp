#include "HttpServer.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifndef MSG_NOSIGNAL
#define MSG_NOSIGNAL 0 // SIGPIPE is ignored anyway; the flag only saves a signal where it exists
#endif

namespace tolvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxClients = 64;
constexpr size_t kMaxRequestBytes = 16 * 1024;

int g_wakeWrite = -1; // self-pipe: the signal handler only writes a byte, the poll loop does the work
std::atomic<int> g_clients{0};

void onTerminate(int)
{
    int saved = errno;
    char byte = 't';
    [[maybe_unused]] ssize_t n = ::write(g_wakeWrite, &byte, 1);
    errno = saved;
}

int msLeft(Clock::time_point deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until fd is ready for `events` or the deadline passes.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        int n = ::poll(&p, 1, msLeft(deadline));
        if (n > 0) {
            return true;
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

bool sendAll(int fd, const std::string& data)
{
    size_t sent = 0;
    while (sent < data.size()) {
        ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

sockaddr_in loopback8008()
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPort);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

std::string response(const fs::path& root, bool withBody)
{
    std::string path = htmlEscape(root.string());
    std::string body = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Tolvane</title></head>\n"
                       "<body><h1>Tolvane</h1><p>Data folder: <code>" +
                       path + "</code></p></body></html>\n";
    std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                       std::to_string(body.size()) +
                       "\r\nConnection: close\r\nX-Tolvane-Pid: " + std::to_string(getpid()) + "\r\n\r\n";
    return withBody ? head + body : head;
}

struct Replies {
    std::string get;
    std::string head;
};

void serveClient(int fd, const Replies* replies)
{
    timeval timeout{5, 0}; // a client that never finishes its request must not pin a thread for ever
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    std::string request;
    char buffer[2048];
    while (request.size() < kMaxRequestBytes && request.find("\r\n\r\n") == std::string::npos &&
           request.find("\n\n") == std::string::npos) {
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        request.append(buffer, static_cast<size_t>(n));
    }
    if (!request.empty()) {
        sendAll(fd, request.rfind("HEAD ", 0) == 0 ? replies->head : replies->get);
    }
    ::shutdown(fd, SHUT_WR);
    ::close(fd);
    --g_clients;
}

void removeOwnPidFile(const DataFolder& folder)
{
    if (folder.pidFromFile() == getpid()) {
        std::error_code ec;
        fs::remove(folder.pidFile(), ec);
    }
}

[[noreturn]] void finish(const DataFolder& folder, int code, std::string_view state)
{
    removeOwnPidFile(folder);
    folder.setState(state);
    _exit(code);
}

[[noreturn]] void runServer(const DataFolder& folder, int delayMs, int handshakeFd)
{
    // The lock is what tells status and stop that this process is the folder's server.
    int lockFd = ::open(folder.serverLock().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (lockFd < 0 || ::fcntl(lockFd, F_SETLK, &whole) != 0) {
        _exit(1); // another server owns the folder; leave its files alone
    }
    writeFileAtomically(folder.pidFile(), std::to_string(getpid()) + "\n");

    int wake[2];
    if (::pipe(wake) != 0) {
        finish(folder, 1, "failed: " + std::string(std::strerror(errno)));
    }
    ::fcntl(wake[1], F_SETFL, O_NONBLOCK);
    g_wakeWrite = wake[1];
    struct sigaction onStop {};
    onStop.sa_handler = onTerminate;
    sigemptyset(&onStop.sa_mask);
    ::sigaction(SIGTERM, &onStop, nullptr);
    ::sigaction(SIGINT, &onStop, nullptr);

    pid_t self = getpid();
    [[maybe_unused]] ssize_t n = ::write(handshakeFd, &self, sizeof self);
    ::close(handshakeFd);

    if (delayMs > 0 && waitFor(wake[0], POLLIN, Clock::now() + std::chrono::milliseconds(delayMs))) {
        finish(folder, 0, "stopped");
    }

    int listenFd = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    sockaddr_in addr = loopback8008();
    if (listenFd < 0 || ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listenFd, 64) != 0) {
        finish(folder, 1,
               errno == EADDRINUSE ? "failed: port 8008 in use"
                                   : "failed: " + std::string(std::strerror(errno)));
    }
    ::fcntl(listenFd, F_SETFD, FD_CLOEXEC);
    folder.setState("running");

    const Replies replies{response(folder.root, true), response(folder.root, false)};
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wake[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (fds[1].revents != 0) {
            break;
        }
        if (fds[0].revents == 0) {
            continue;
        }
        int client = ::accept(listenFd, nullptr, nullptr);
        if (client < 0) {
            continue;
        }
        if (g_clients.load() >= kMaxClients) {
            ::close(client);
            continue;
        }
        ++g_clients;
        try {
            std::thread(serveClient, client, &replies).detach();
        } catch (const std::exception&) {
            --g_clients;
            ::close(client);
        }
    }
    ::close(listenFd);
    finish(folder, 0, "stopped");
}

// The server must not hold the controller's output pipe (it would wait for EOF for ever) nor any other
// descriptor the caller happened to pass down, such as the control lock.
void detachDescriptors(int keep)
{
    int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    } else {
        ::close(STDIN_FILENO);
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
    }
    long limit = ::sysconf(_SC_OPEN_MAX);
    if (limit < 0 || limit > 65536) {
        limit = 65536;
    }
    for (int fd = 3; fd < limit; ++fd) {
        if (fd != keep) {
            ::close(fd);
        }
    }
}

} // namespace

std::string htmlEscape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

pid_t spawnServer(const DataFolder& folder, int delayMs)
{
    int handshake[2];
    if (::pipe(handshake) != 0) {
        return 0;
    }
    pid_t child = ::fork();
    if (child < 0) {
        ::close(handshake[0]);
        ::close(handshake[1]);
        return 0;
    }
    if (child == 0) {
        // Double fork: the server is reparented to init, leaves the caller's session and never becomes
        // our zombie.
        ::close(handshake[0]);
        ::setsid();
        pid_t server = ::fork();
        if (server != 0) {
            _exit(server < 0 ? 1 : 0);
        }
        detachDescriptors(handshake[1]);
        [[maybe_unused]] int ignored = ::chdir("/");
        ::umask(022);
        ::signal(SIGHUP, SIG_IGN);
        ::signal(SIGPIPE, SIG_IGN);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        runServer(folder, delayMs, handshake[1]);
    }
    ::close(handshake[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t server = 0;
    size_t got = 0;
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (got < sizeof server && waitFor(handshake[0], POLLIN, deadline)) {
        ssize_t n = ::read(handshake[0], reinterpret_cast<char*>(&server) + got, sizeof server - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<size_t>(n);
    }
    ::close(handshake[0]);
    return got == sizeof server ? server : 0;
}

bool probeServer(pid_t pid, int timeoutMs)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return false;
    }
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    sockaddr_in addr = loopback8008();
    bool ok = false;
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc == 0 || (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline))) {
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        if (error == 0 && sendAll(fd, "HEAD / HTTP/1.0\r\nHost: 127.0.0.1:8008\r\n\r\n")) {
            // Only a reply carrying this pid counts: another program on 8008 is not our server answering.
            const std::string expected = "\r\nX-Tolvane-Pid: " + std::to_string(pid) + "\r\n";
            std::string reply;
            char buffer[1024];
            while (reply.size() < 8192 && reply.find("\r\n\r\n") == std::string::npos &&
                   waitFor(fd, POLLIN, deadline)) {
                ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
                        continue;
                    }
                    break;
                }
                reply.append(buffer, static_cast<size_t>(n));
            }
            ok = reply.rfind("HTTP/1.", 0) == 0 && reply.find(expected) != std::string::npos;
        }
    }
    ::close(fd);
    return ok;
}

} // namespace tolvane
