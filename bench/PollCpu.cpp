// The controller's own CPU time per status poll, apart from the shell and the server.
//
// N polls of getTolvaneStatus() through the real host, each issued once the previous result has been
// interpreted. getrusage(RUSAGE_SELF) is this process alone; RUSAGE_CHILDREN is every reaped command
// with what it started (the login shell, its profile, the executable). For contrast the same command
// line runs N times without the controller: the executable alone, under "bash -c" and "bash -l -c",
// so that the login shell's share of a poll shows.
#include "BenchKit.h"
#include "common/ShellText.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <string>

using namespace tolvane;
using namespace tolvane::bench;

namespace {

struct Contrast {
    double childCpuMs;
    double wallMs;
};

Contrast measureDirect(const std::vector<std::string>& argv, int count)
{
    const CpuTimes before = cpuTimes();
    const std::int64_t start = monotonicNs();
    for (int i = 0; i < count; ++i)
        runShell(argv);
    const double wall = static_cast<double>(monotonicNs() - start) / 1e6;
    const CpuTimes used = cpuTimes() - before;
    return Contrast{used.children() * 1e3 / count, wall / count};
}

void usage()
{
    std::fprintf(stderr, "usage: tolvane_bench_poll_cpu [--polls N] [--fake script|server|PATH]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char* argv[])
{
    int polls = 200;
    std::string fake = "script";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--polls") && i + 1 < argc)
            polls = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--fake") && i + 1 < argc)
            fake = argv[++i];
        else
            usage();
    }

    Sandbox sandbox;
    QString executable;
    std::string description;
    if (fake == "script") {
        executable = writeScriptOrExit(sandbox, QStringLiteral("stopped-server.sh"), stoppedServerScript());
        description = "a shell script that exits 1 (stopped)";
    } else if (fake == "server") {
        executable = defaultServerPath();
        description = "the stand-in server's status, server stopped";
    } else {
        executable = QString::fromStdString(fake);
        description = fake;
    }
    applySandbox(sandbox, executable);

    QApplication application(argc, argv);
    prepareApplication();
    BenchHost host;
    ScopedHost installed(host);
    std::unique_ptr<AppDelegate> controller = launchController(host);

    // One poll beyond the launch's, so that every lazily made object exists before the count starts.
    runPolls(host, *controller, 1, 60000);
    settleEvents();

    const CpuTimes before = cpuTimes();
    const std::int64_t start = monotonicNs();
    const bool finished = runPolls(host, *controller, polls, polls * 60000);
    const double wallMs = static_cast<double>(monotonicNs() - start) / 1e6;
    const CpuTimes used = cpuTimes() - before;
    if (!finished) {
        std::printf("[1] the polls did not finish in time\n");
        return 1;
    }

    const double perPoll = 1e3 / polls;
    std::printf("[1] Controller CPU per status poll: %d polls of getTolvaneStatus() through the real host, "
                "each waited for until interpreted\n",
                polls);
    std::printf("    executable: %s; every poll runs /bin/bash -l -c '<executable> status'\n",
                description.c_str());
    std::printf("    HOME is a fresh folder: the login shell reads /etc/profile only; %s\n",
                machineLine().c_str());
    std::printf("    last status code %d (1 = stopped)\n", controller->status());
    std::printf("    wall time per poll                         %9.3f ms\n", wallMs / polls);
    std::printf("    controller's own CPU (RUSAGE_SELF)         %9.3f ms per poll  (user %.3f, sys %.3f)\n",
                used.self() * perPoll, used.selfUser * perPoll, used.selfSystem * perPoll);
    std::printf("    children's CPU (RUSAGE_CHILDREN)           %9.3f ms per poll  (user %.3f, sys %.3f)\n",
                used.children() * perPoll, used.childUser * perPoll, used.childSystem * perPoll);
    std::printf("    controller's share of all CPU of a poll    %9.1f %%\n",
                100.0 * used.self() / std::max(1e-9, used.self() + used.children()));

    // The same command line without the controller.
    const std::string exe = executable.toStdString();
    const std::string commandLine = QStringLiteral("%1 status").arg(shellQuoted(executable)).toStdString();
    const Contrast alone = measureDirect({exe, "status"}, polls);
    const Contrast plain = measureDirect({"/bin/bash", "-c", commandLine}, polls);
    const Contrast login = measureDirect({"/bin/bash", "-l", "-c", commandLine}, polls);
    std::printf(
        "  the same command %d times without the controller (posix_spawn + waitpid), children's CPU and "
        "wall per run:\n",
        polls);
    std::printf("    executable alone                           %9.3f ms CPU  %9.3f ms wall\n",
                alone.childCpuMs, alone.wallMs);
    std::printf("    /bin/bash -c                               %9.3f ms CPU  %9.3f ms wall\n",
                plain.childCpuMs, plain.wallMs);
    std::printf("    /bin/bash -l -c                            %9.3f ms CPU  %9.3f ms wall\n",
                login.childCpuMs, login.wallMs);
    std::printf(
        "    login shell's share (bash -l -c minus bash -c)  %6.3f ms CPU per poll, %.1f %% of a poll's "
        "children's CPU\n",
        login.childCpuMs - plain.childCpuMs,
        100.0 * (login.childCpuMs - plain.childCpuMs) / std::max(1e-9, used.children() * perPoll));
    return 0;
}
