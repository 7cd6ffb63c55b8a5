#include "DataFolder.h"

#include "ProcessState.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

namespace tolvane {

namespace {

void writeLine(int fd, std::string_view line)
{
    std::string text(line);
    text += '\n';
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return; // reader gone or stream closed: nothing useful left to do
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace

void say(std::string_view line)
{
    writeLine(STDOUT_FILENO, line);
}

void complain(std::string_view line)
{
    writeLine(STDERR_FILENO, "tolvane-server: " + std::string(line));
}

std::optional<fs::path> resolveDataFolder()
{
    fs::path folder;
    if (const char* env = std::getenv("TOLVANE_HOME"); env && *env) {
        folder = env;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : nullptr;
        }
        if (!home || !*home) {
            return std::nullopt;
        }
        folder = fs::path(home) / ".tolvane";
    }
    std::error_code ec;
    fs::path absolute = fs::absolute(folder, ec);
    if (ec) {
        return std::nullopt;
    }
    std::string text = absolute.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return fs::path(text);
}

bool writeFileAtomically(const fs::path& file, std::string_view content)
{
    fs::path temp = file;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << content;
        if (!out.flush()) {
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

std::string readFirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    if (line.size() > 512) {
        line.resize(512);
    }
    return line;
}

std::string DataFolder::state() const
{
    return readFirstLine(stateFile());
}

bool DataFolder::setState(std::string_view word) const
{
    return writeFileAtomically(stateFile(), std::string(word) + "\n");
}

pid_t DataFolder::pidFromFile() const
{
    std::string text = readFirstLine(pidFile());
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value <= 0 || value > 0x7fffffff) {
        return 0;
    }
    return static_cast<pid_t>(value);
}

pid_t DataFolder::serverPid() const
{
    int fd = ::open(serverLock().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    pid_t holder = 0;
    if (::fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK && query.l_pid > 0) {
        holder = query.l_pid;
    }
    ::close(fd);
    return holder;
}

int DataFolder::lockControl() const
{
    int fd = ::open(controlLock().c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return -1;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

bool processGone(pid_t pid)
{
    if (pid <= 0) {
        return true;
    }
    if (::kill(pid, 0) != 0 && errno == ESRCH) {
        return true;
    }
    // An exited server that nobody has reaped yet still answers kill().
    return isZombie(pid);
}

} // namespace tolvane
