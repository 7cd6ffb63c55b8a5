// From a start request to the running presentation, split into the commands' own run time and the
// controller's part.
//
// In-process, real host, real login shell, real lsof, the stand-in server. startFunction() with the
// server stopped; the run ends when the status code is 0 and the status item shows "stop", checked as
// each command's end has been interpreted. Every command on the way (port check, status, start,
// status) is timed from the host's launch call to the moment the host reports its end; the
// controller's output handlers, which run inside that window, are taken out of it again. What is left
// of the total is the controller's part: its own logic, Qt's event delivery and the presentation.
#include "BenchKit.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

using namespace tolvane;
using namespace tolvane::bench;

namespace {

struct Run {
    double totalMs = 0;
    double commandsMs = 0;
    double launchCallsMs = 0;
    double handlersMs = 0;
    double controllerMs = 0;
    std::vector<std::pair<CommandKind, double>> commands;
    bool expectedPath = false;
};

double ms(std::int64_t ns)
{
    return static_cast<double>(ns) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    int runs = 5;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--runs") && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: tolvane_bench_start_latency [--runs N]\n");
            return 2;
        }
    }

    Sandbox sandbox;
    const QString server = defaultServerPath();
    applySandbox(sandbox, server);
    QApplication application(argc, argv);
    prepareApplication();

    std::printf(
        "[3] Start request to running presentation: startFunction() with the server stopped until status "
        "0 and the status item shows \"stop\"; median of %d runs\n",
        runs);
    std::printf("    real host, /bin/bash -l -c, lsof, the stand-in server; HOME is a fresh folder; %s\n",
                machineLine().c_str());
    if (!waitForFreePort(8008, 60000)) {
        std::printf(
            "    skipped: something else listens on 127.0.0.1:8008 and did not go away within 60 s\n");
        return 1;
    }
    // Whatever happens below, the server this program started does not outlive it.
    struct StopServer {
        QString server, data;
        ~StopServer() { runServer(server, QStringLiteral("stop"), data); }
    } stopServer{server, sandbox.data};

    BenchHost host;
    ScopedHost installed(host);
    std::unique_ptr<AppDelegate> controller = launchController(host);
    auto presented = [&](std::int32_t code, const char* image) {
        return controller->status() == code &&
               controller->outlets.statusItem->image() == QLatin1String(image) &&
               host.launches == host.terminations;
    };

    std::vector<BenchHost::Launch> launched;
    std::vector<BenchHost::Termination> ended;
    std::int64_t reachedNs = 0;
    host.onLaunch = [&](const BenchHost::Launch& launch) { launched.push_back(launch); };
    host.onTermination = [&](const BenchHost::Termination& termination) {
        ended.push_back(termination);
        if (!reachedNs && presented(ServerStatusRunning, "stop"))
            reachedNs = termination.interpretedNs;
    };

    std::vector<Run> results;
    std::printf("    %-4s %10s %10s %10s %10s %10s %12s %12s\n", "run", "total ms", "port chk", "status",
                "start", "status", "commands ms", "controller");
    for (int r = 0; r < runs; ++r) {
        launched.clear();
        ended.clear();
        reachedNs = 0;
        const std::uint64_t alertsBefore = host.alerts;
        const std::int64_t handlerBefore = host.handlerNs;
        const std::int64_t start = monotonicNs();
        controller->startFunction();
        const bool reached = runUntil(
            host, [&] { return reachedNs != 0 || host.alerts > alertsBefore; }, 60000);
        if (!reached || !reachedNs) {
            std::printf("    run %d: not presented as running within 60 s (alerts %llu, status %d)\n", r + 1,
                        static_cast<unsigned long long>(host.alerts - alertsBefore), controller->status());
            return 1;
        }
        Run run;
        run.totalMs = ms(reachedNs - start);
        run.handlersMs = ms(host.handlerNs - handlerBefore);
        const std::size_t pairs = std::min(launched.size(), ended.size());
        for (std::size_t i = 0; i < pairs; ++i) {
            const double own = ms(ended[i].seenNs - launched[i].callNs);
            run.commands.emplace_back(launched[i].kind, own);
            run.commandsMs += own;
            run.launchCallsMs += ms(launched[i].returnedNs - launched[i].callNs);
        }
        run.commandsMs -= run.handlersMs;
        run.controllerMs = run.totalMs - run.commandsMs;
        const std::vector<CommandKind> expected{CommandKind::PortCheck, CommandKind::Status,
                                                CommandKind::Start, CommandKind::Status};
        run.expectedPath = run.commands.size() == expected.size();
        for (std::size_t i = 0; run.expectedPath && i < expected.size(); ++i)
            run.expectedPath = run.commands[i].first == expected[i];
        if (run.expectedPath) {
            std::printf("    %-4d %10.1f %10.1f %10.1f %10.1f %10.1f %12.1f %12.2f\n", r + 1, run.totalMs,
                        run.commands[0].second, run.commands[1].second, run.commands[2].second,
                        run.commands[3].second, run.commandsMs, run.controllerMs);
        } else {
            std::printf("    %-4d %10.1f  unexpected path:", r + 1, run.totalMs);
            for (const auto& [kind, own] : run.commands)
                std::printf(" %s %.1f ms;", commandKindName(kind), own);
            std::printf(" commands %.1f ms, controller %.2f ms\n", run.commandsMs, run.controllerMs);
        }
        results.push_back(run);

        // Back to stopped for the next run.
        controller->stopFunction(false);
        if (!runUntil(
                host, [&] { return presented(ServerStatusStopped, "favicon"); }, 60000)) {
            std::printf("    the server was not presented as stopped within 60 s after run %d\n", r + 1);
            return 1;
        }
        settleEvents();
    }

    auto column = [&](double Run::*field) {
        std::vector<double> values;
        for (const Run& run : results)
            values.push_back(run.*field);
        return median(values);
    };
    std::printf("    medians, each of its own column: total %.1f ms, commands %.1f ms, controller %.2f ms "
                "(controller's share %.2f %%)\n",
                column(&Run::totalMs), column(&Run::commandsMs), column(&Run::controllerMs),
                100.0 * column(&Run::controllerMs) / std::max(1e-9, column(&Run::totalMs)));
    std::printf("    of the commands' time, the host's launch calls (pipe, fork, exec, handshake) took a "
                "median %.2f ms;"
                " the controller's output handlers %.3f ms (counted as the controller's)\n",
                column(&Run::launchCallsMs), column(&Run::handlersMs));
    return 0;
}
