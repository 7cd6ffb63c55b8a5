// Resident memory at rest: the real controller binary and the minimal tray program, each started as a
// person would start it (offscreen, a fresh user), read from /proc/<pid>/status after it settled.
// The controller's first run starts the server at launch; the server is stopped afterwards.
#include "BenchKit.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tolvane::bench;

namespace {

struct Reading {
    long rssKiB = -1;
    long peakKiB = -1;
    long threads = -1;
    int serverStatus = -1;
    bool endedEarly = false;
};

// Reaps the ended processes whose parent is this one; answers how many are still there.
long reapChildren()
{
    const long self = static_cast<long>(::getpid());
    long alive = 0;
    DIR* proc = ::opendir("/proc");
    while (proc) {
        const dirent* entry = ::readdir(proc);
        if (!entry)
            break;
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string text;
        std::getline(stat, text);
        const auto close = text.rfind(')');
        char state = 0;
        long parent = 0;
        if (close == std::string::npos ||
            std::sscanf(text.c_str() + close + 1, " %c %ld", &state, &parent) != 2 || parent != self)
            continue;
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (::waitpid(pid, nullptr, WNOHANG) != pid)
            ++alive;
    }
    if (proc)
        ::closedir(proc);
    return alive;
}

// The controller ended while a command may still be under way (a start goes on without it): stop the
// server until no command of it and no server is left. This process is their subreaper, so every one
// of them is its child by now.
void stopEverything(const QString& server, const QString& data)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    do {
        runServer(server, QStringLiteral("stop"), data);
        if (reapChildren() == 0)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    } while (std::chrono::steady_clock::now() < deadline);
    std::fprintf(stderr, "commands of the ended controller are still running after 90 s\n");
}

Reading readAtRest(const QString& program, const QString& server, double settleSeconds)
{
    Sandbox sandbox;
    QProcess process;
    QProcessEnvironment environment = sandbox.environment(server);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(sandbox.folder.filePath(QStringLiteral("program.log")));
    process.setStandardErrorFile(sandbox.folder.filePath(QStringLiteral("program.log")), QIODevice::Append);
    process.start(program, {});
    Reading reading;
    if (!process.waitForStarted(30000)) {
        std::fprintf(stderr, "cannot start %s: %s\n", qPrintable(program), qPrintable(process.errorString()));
        return reading;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(settleSeconds));
    if (process.state() != QProcess::Running || process.waitForFinished(0)) {
        reading.endedEarly = true;
        QFile log(sandbox.folder.filePath(QStringLiteral("program.log")));
        log.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "%s ended before it was read, exit status %d; its output:\n%s\n",
                     qPrintable(program), process.exitCode(), log.readAll().constData());
        stopEverything(server, sandbox.data);
        return reading;
    }
    const pid_t pid = static_cast<pid_t>(process.processId());
    reading.rssKiB = procStatusField(pid, "VmRSS").value_or(-1);
    reading.peakKiB = procStatusField(pid, "VmHWM").value_or(-1);
    reading.threads = procStatusField(pid, "Threads").value_or(-1);
    // What the controller had made of the server by then: 0 running, 4 starting, 1 stopped.
    reading.serverStatus = runServer(server, QStringLiteral("status"), sandbox.data);
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(10000);
    }
    stopEverything(server, sandbox.data);
    return reading;
}

double mib(double kib)
{
    return kib / 1024.0;
}

void usage()
{
    std::fprintf(stderr, "usage: tolvane_bench_rss_launch --controller PATH --floor PATH [--server PATH] "
                         "[--settle SECONDS] [--runs N]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    // Commands and the server that a killed controller leaves behind become this process's children.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    QString controller;
    QString floor;
    QString server = defaultServerPath();
    double settle = 3.0;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--controller") && i + 1 < argc)
            controller = QString::fromLocal8Bit(argv[++i]);
        else if (!std::strcmp(argv[i], "--floor") && i + 1 < argc)
            floor = QString::fromLocal8Bit(argv[++i]);
        else if (!std::strcmp(argv[i], "--server") && i + 1 < argc)
            server = QString::fromLocal8Bit(argv[++i]);
        else if (!std::strcmp(argv[i], "--settle") && i + 1 < argc)
            settle = std::atof(argv[++i]);
        else if (!std::strcmp(argv[i], "--runs") && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            usage();
    }
    if (controller.isEmpty() || floor.isEmpty())
        usage();

    std::printf("[2] Resident memory at rest: VmRSS of the started program %.1f s after launch, median of %d "
                "launches (offscreen, fresh HOME)\n",
                settle, runs);
    std::printf("    %s\n", machineLine().c_str());
    if (!waitForFreePort(8008, 60000)) {
        std::printf(
            "    skipped: something else listens on 127.0.0.1:8008 and did not go away within 60 s\n");
        return 1;
    }

    std::vector<double> controllerRss, controllerPeak, floorRss, floorPeak;
    std::string controllerRuns, floorRuns, statuses;
    long controllerThreads = -1, floorThreads = -1;
    for (int run = 0; run < runs; ++run) {
        const Reading c = readAtRest(controller, server, settle);
        const Reading f = readAtRest(floor, server, settle);
        if (c.endedEarly || f.endedEarly) {
            std::printf("    a program ended before it was read; no figure\n");
            return 1;
        }
        controllerRss.push_back(static_cast<double>(c.rssKiB));
        controllerPeak.push_back(static_cast<double>(c.peakKiB));
        floorRss.push_back(static_cast<double>(f.rssKiB));
        floorPeak.push_back(static_cast<double>(f.peakKiB));
        controllerThreads = c.threads;
        floorThreads = f.threads;
        char piece[64];
        std::snprintf(piece, sizeof piece, "%s%.1f", run ? ", " : "", mib(static_cast<double>(c.rssKiB)));
        controllerRuns += piece;
        std::snprintf(piece, sizeof piece, "%s%.1f", run ? ", " : "", mib(static_cast<double>(f.rssKiB)));
        floorRuns += piece;
        statuses += (run ? ", " : "") + std::to_string(c.serverStatus);
    }
    std::printf("    tolvane-controller            VmRSS %7.1f MiB  (peak VmHWM %.1f MiB, %ld threads; runs: "
                "%s MiB)\n",
                mib(median(controllerRss)), mib(median(controllerPeak)), controllerThreads,
                controllerRuns.c_str());
    std::printf(
        "                                  server status when read: %s (0 running, 4 starting, 1 stopped)\n",
        statuses.c_str());
    std::printf("    minimal Qt tray program       VmRSS %7.1f MiB  (peak VmHWM %.1f MiB, %ld threads; runs: "
                "%s MiB)\n",
                mib(median(floorRss)), mib(median(floorPeak)), floorThreads, floorRuns.c_str());
    std::printf("    controller above the floor          %+7.1f MiB\n",
                mib(median(controllerRss) - median(floorRss)));
    return 0;
}
