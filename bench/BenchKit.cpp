// The benchmark kit.
#include "BenchKit.h"

#include "TestApplication.h"
#include "common/BuildInfo.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tolvane::bench {

QString defaultServerPath()
{
    return QStringLiteral(TOLVANE_SERVER_PATH);
}

void applySandbox(Sandbox& sandbox, const QString& executable)
{
    sandbox.apply(executable);
    sandbox.variables.set("QT_QPA_PLATFORM", QStringLiteral("offscreen"));
}

QString writeScriptOrExit(Sandbox& sandbox, const QString& name, const QByteArray& body)
{
    const QString path = sandbox.writeScript(name, body);
    if (path.isEmpty()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(sandbox.filePath(name)));
        std::exit(2);
    }
    return path;
}

QByteArray stoppedServerScript()
{
    return "#!/bin/sh\nexit 1\n";
}

QByteArray statefulServerScript()
{
    // Shell built-ins only: no command of its own, so a cycle costs the shells and nothing else.
    return "#!/bin/sh\n"
           "state=\"${TOLVANE_HOME:-/tmp}/fake-server-state\"\n"
           "case \"$1\" in\n"
           "start) echo running > \"$state\"; echo \"Tolvane is running at http://127.0.0.1:8008/\"; exit 0 "
           ";;\n"
           "stop) rm -f \"$state\"; echo \"Tolvane is stopped.\"; exit 0 ;;\n"
           "status) if [ -f \"$state\" ]; then echo \"Tolvane is running.\"; exit 0; fi\n"
           "        echo \"Tolvane is stopped.\"; exit 1 ;;\n"
           "*) echo \"usage: $0 start|stop|status\" >&2; exit 2 ;;\n"
           "esac\n";
}

void prepareApplication()
{
    testing::silenceOffscreenPlatformWarnings();
    QApplication::setOrganizationName(QStringLiteral("Tolvane"));
    QApplication::setOrganizationDomain(QStringLiteral("veltran.org"));
    QApplication::setApplicationName(QStringLiteral("tolvane"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tolvane"));
    QApplication::setApplicationVersion(ControllerVersion);
    QApplication::setQuitOnLastWindowClosed(false);
}

std::unique_ptr<AppDelegate> launchController(BenchHost& host, int timeoutMs)
{
    // A user who has run the controller before and switched the start at launch off.
    QSettings& store = host.userDefaults();
    store.setValue(QStringLiteral("version"), ControllerVersion);
    store.setValue(QStringLiteral("autoStartOnLoad"), false);
    store.sync();

    auto controller = std::make_unique<AppDelegate>();
    controller->loadInterface();
    controller->applicationWillFinishLaunching();
    const std::uint64_t before = host.terminations;
    controller->applicationDidFinishLaunching();
    if (!runUntil(
            host, [&] { return host.terminations > before && host.launches == host.terminations; },
            timeoutMs)) {
        std::fprintf(stderr, "the launch's status poll did not end within %d ms\n", timeoutMs);
        std::exit(3);
    }
    settleEvents();
    return controller;
}

bool runUntil(BenchHost& host, const std::function<bool()>& done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QMetaObject::Connection check = QObject::connect(&host, &BenchHost::interpreted, &loop, [&] {
        if (done())
            loop.quit();
    });
    timeout.start(timeoutMs);
    loop.exec();
    QObject::disconnect(check);
    return done();
}

bool runPolls(BenchHost& host, AppDelegate& controller, int count, int timeoutMs)
{
    // One event loop for the whole run; the next poll is issued from the end of the previous one, so
    // the harness adds one function call per poll and no timers.
    int ended = 0;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QMetaObject::Connection next = QObject::connect(&host, &BenchHost::interpreted, &loop, [&] {
        if (++ended >= count) {
            loop.quit();
            return;
        }
        controller.getTolvaneStatus();
    });
    timeout.start(timeoutMs);
    controller.getTolvaneStatus();
    loop.exec();
    QObject::disconnect(next);
    return ended >= count;
}

void settleEvents()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

bool waitForFreePort(int port, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool listening = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        ::close(fd);
        if (!listening)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

namespace {
double seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}
} // namespace

CpuTimes cpuTimes()
{
    rusage self{};
    rusage children{};
    ::getrusage(RUSAGE_SELF, &self);
    ::getrusage(RUSAGE_CHILDREN, &children);
    return CpuTimes{seconds(self.ru_utime), seconds(self.ru_stime), seconds(children.ru_utime),
                    seconds(children.ru_stime)};
}

CpuTimes operator-(const CpuTimes& a, const CpuTimes& b)
{
    return CpuTimes{a.selfUser - b.selfUser, a.selfSystem - b.selfSystem, a.childUser - b.childUser,
                    a.childSystem - b.childSystem};
}

long selfThreads()
{
    return procStatusField(::getpid(), "Threads").value_or(-1);
}

long openDescriptors()
{
    // The directory stream's own descriptor is counted too, the same before and after.
    DIR* fds = ::opendir("/proc/self/fd");
    if (!fds)
        return -1;
    long count = 0;
    while (const dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(fds);
    return count;
}

long childProcessCount()
{
    return static_cast<long>(testing::childProcesses(::getpid(), true).size());
}

std::string threadNames()
{
    std::string names;
    DIR* tasks = ::opendir("/proc/self/task");
    while (tasks) {
        const dirent* entry = ::readdir(tasks);
        if (!entry)
            break;
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        names += (names.empty() ? "" : ", ") + name;
    }
    if (tasks)
        ::closedir(tasks);
    return names;
}

std::string descriptorKinds()
{
    std::string kinds;
    DIR* fds = ::opendir("/proc/self/fd");
    while (fds) {
        const dirent* entry = ::readdir(fds);
        if (!entry)
            break;
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == ::dirfd(fds))
            continue;
        char target[512] = {};
        const ssize_t length =
            ::readlink((std::string("/proc/self/fd/") + entry->d_name).c_str(), target, sizeof target - 1);
        std::string kind = length > 0 ? std::string(target, static_cast<std::size_t>(length)) : "?";
        if (const auto bracket = kind.find(":[");
            bracket != std::string::npos && kind.rfind("anon_inode", 0) != 0)
            kind.resize(bracket);
        kinds += (kinds.empty() ? "" : ", ") + std::string(entry->d_name) + "=" + kind;
    }
    if (fds)
        ::closedir(fds);
    return kinds;
}

int runShell(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string machineLine()
{
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    return "cores " + std::to_string(std::thread::hardware_concurrency()) + ", load average " + one + " " +
           five + " " + fifteen;
}

} // namespace tolvane::bench
