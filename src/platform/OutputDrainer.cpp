// The drainer: a detached grandchild that reads the pipes of commands left running at exit.
#include "platform/OutputDrainer.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tolvane {

void drainUntilClosed(const std::vector<int>& readFds)
{
    if (readFds.empty())
        return;
    // Everything the child needs is prepared before the fork: only async-signal-safe calls run in it.
    std::vector<pollfd> polled;
    for (int fd : readFds)
        polled.push_back(pollfd{fd, POLLIN, 0});
    const long maxFd = std::min<long>(::sysconf(_SC_OPEN_MAX), 65536);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        for (int fd = 0; fd < maxFd; ++fd) {
            bool keep = false;
            for (const pollfd& p : polled)
                keep = keep || p.fd == fd;
            if (!keep)
                ::close(fd);
        }
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        // A grandchild, so that nobody has to reap the drainer.
        if (::fork() != 0)
            ::_exit(0);
        size_t open = polled.size();
        char buffer[4096];
        while (open > 0) {
            if (::poll(polled.data(), polled.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                break;
            }
            for (pollfd& p : polled) {
                if (p.fd < 0 || p.revents == 0)
                    continue;
                const ssize_t count = ::read(p.fd, buffer, sizeof buffer);
                if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN)) {
                    ::close(p.fd);
                    p.fd = -1;
                    --open;
                }
            }
        }
        ::_exit(0);
    }
    if (pid > 0)
        ::waitpid(pid, nullptr, 0);
}

} // namespace tolvane
