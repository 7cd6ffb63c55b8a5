// A soak: many full command cycles through the real host and the real controller logic, against a
// fast fake executable (a shell script answering start, stop and status at once from a state file),
// with the process's descriptors, threads, children and resident memory compared before and after.
//
// One cycle: a status poll, Start (port check, status, start, status) until presented as running,
// Stop (stop, status) until presented as stopped. Every command runs through /bin/bash -l -c and the
// port check is the real lsof, as in the product. The baseline is taken after a few warm-up cycles, so
// that what Qt and the controller make once (and keep) is not counted as growth.
//
// The log view keeps every entry it is given, for as long as the controller runs or until Clear Logs:
// that memory is the user's log, not a leak. The memory target is therefore checked after Clear Logs,
// with free heap handed back to the system at the baseline and at the end alike; the growth with the
// log still held is shown beside it, with what each entry costs.
#include "BenchKit.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <cstdio>
#include <cstring>
#include <malloc.h>

using namespace tolvane;
using namespace tolvane::bench;

namespace {

struct Snapshot {
    long descriptors;
    long threads;
    long children;
    long rssKiB;
    long heapInUseKiB;
    std::string threadNames;
    std::string descriptorKinds;
};

Snapshot snapshot()
{
    settleEvents();
    // In use: chunks in the arenas and blocks of their own (large arrays are mapped apart).
    const struct mallinfo2 heap = ::mallinfo2();
    return Snapshot{openDescriptors(),
                    selfThreads(),
                    childProcessCount(),
                    tolvane::testing::residentKiB(),
                    static_cast<long>((heap.uordblks + heap.hblkhd) / 1024),
                    threadNames(),
                    descriptorKinds()};
}

void usage()
{
    std::fprintf(stderr, "usage: tolvane_bench_soak [--quick] [--cycles N] [--warmup N]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char* argv[])
{
    int cycles = 10000;
    int warmup = 20;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--quick"))
            cycles = 300;
        else if (!std::strcmp(argv[i], "--cycles") && i + 1 < argc)
            cycles = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--warmup") && i + 1 < argc)
            warmup = std::max(0, std::atoi(argv[++i]));
        else
            usage();
    }

    Sandbox sandbox;
    applySandbox(sandbox,
                 writeScriptOrExit(sandbox, QStringLiteral("fast-server.sh"), statefulServerScript()));
    QApplication application(argc, argv);
    prepareApplication();

    std::printf(
        "[5] Soak: %d full command cycles (status poll; start: port check, status, start, status; stop: "
        "stop, status) against a fast fake executable\n",
        cycles);
    std::printf("    real host, /bin/bash -l -c, the real lsof; HOME is a fresh folder; %s\n",
                machineLine().c_str());
    if (!waitForFreePort(8008, 60000))
        std::printf("    note: something listens on 127.0.0.1:8008; its cycles end in the port alert\n");

    BenchHost host;
    ScopedHost installed(host);
    const Snapshot atStart = snapshot();
    std::unique_ptr<AppDelegate> controller = launchController(host);
    auto presented = [&](std::int32_t code, const char* image) {
        return controller->status() == code &&
               controller->outlets.statusItem->image() == QLatin1String(image) &&
               host.launches == host.terminations;
    };

    std::uint64_t portAlerts = 0;
    auto cycle = [&]() -> bool {
        const std::uint64_t polled = host.terminations;
        controller->getTolvaneStatus();
        if (!runUntil(
                host, [&] { return host.terminations > polled && host.launches == host.terminations; },
                60000))
            return false;
        const std::uint64_t alerts = host.alerts;
        controller->startFunction();
        if (!runUntil(
                host, [&] { return presented(ServerStatusRunning, "stop") || host.alerts > alerts; }, 60000))
            return false;
        if (host.alerts > alerts) {
            ++portAlerts;
            return runUntil(
                host, [&] { return presented(ServerStatusStopped, "favicon"); }, 60000);
        }
        controller->stopFunction(false);
        return runUntil(
            host, [&] { return presented(ServerStatusStopped, "favicon"); }, 60000);
    };

    const std::int64_t warmupStart = monotonicNs();
    for (int i = 0; i < warmup; ++i) {
        if (!cycle()) {
            std::printf("    warm-up cycle %d did not finish within 60 s\n", i + 1);
            return 1;
        }
    }
    const double cycleMs = warmup ? static_cast<double>(monotonicNs() - warmupStart) / 1e6 / warmup : 0;
    // Empties the log view, then hands free heap back to the system: the baseline and the end of the
    // run are both measured this way, so the warm-up's entries are not part of the run either.
    auto clearLogsAndTrim = [&] {
        controller->clearLogs(nullptr);
        settleEvents();
        ::malloc_trim(0);
    };
    clearLogsAndTrim();
    const Snapshot before = snapshot();
    std::printf("    process at start (before the controller): %ld descriptors, %ld threads, %ld children, "
                "%.1f MiB\n",
                atStart.descriptors, atStart.threads, atStart.children, atStart.rssKiB / 1024.0);
    if (warmup)
        std::printf(
            "    one cycle takes %.1f ms (mean of %d warm-up cycles): %d cycles take about %.1f min\n",
            cycleMs, warmup, cycles, cycleMs * cycles / 60000.0);
    std::printf("    %8s %9s %10s %8s %9s %10s %11s\n", "cycle", "elapsed s", "RSS MiB", "fds", "threads",
                "children", "heap KiB");
    std::printf("    %8d %9.1f %10.1f %8ld %9ld %10ld %11ld   (baseline)\n", 0, 0.0, before.rssKiB / 1024.0,
                before.descriptors, before.threads, before.children, before.heapInUseKiB);

    const int sampleEvery = std::max(1, cycles / 10);
    const std::uint64_t commandsBefore = host.terminations;
    const std::int64_t start = monotonicNs();
    for (int i = 1; i <= cycles; ++i) {
        if (!cycle()) {
            std::printf("    cycle %d did not finish within 60 s\n", i);
            return 1;
        }
        if (i % sampleEvery == 0 || i == cycles) {
            const Snapshot now = snapshot();
            std::printf("    %8d %9.1f %10.1f %8ld %9ld %10ld %11ld\n", i,
                        static_cast<double>(monotonicNs() - start) / 1e9, now.rssKiB / 1024.0,
                        now.descriptors, now.threads, now.children, now.heapInUseKiB);
            std::fflush(stdout);
        }
    }
    const double elapsed = static_cast<double>(monotonicNs() - start) / 1e9;
    const Snapshot after = snapshot();
    const int logEntries = controller->outlets.taskLogs->document()->blockCount() - 1;

    std::printf(
        "    %d cycles, %llu commands in %.1f s: %.1f ms per cycle; port alerts %llu; log view entries %d\n",
        cycles, static_cast<unsigned long long>(host.terminations - commandsBefore), elapsed,
        elapsed * 1e3 / cycles, static_cast<unsigned long long>(portAlerts), logEntries);
    // What the log view holds: what Clear Logs gives back.
    clearLogsAndTrim();
    const Snapshot cleared = snapshot();
    const long logKiB = after.heapInUseKiB - cleared.heapInUseKiB;
    std::printf(
        "    the log view held %d entries in %ld KiB of heap (%.0f bytes each); Clear Logs gives it back\n",
        logEntries, logKiB, logEntries > 0 ? logKiB * 1024.0 / logEntries : 0.0);

    // "before" is the baseline after the warm-up; the process before the controller existed is shown too.
    // Fewer than before counts as back: Qt's pooled threads (with a descriptor each) end after 30 s idle.
    auto target = [](const char* what, long first, long was, long is, long allowed, const char* unit) {
        const bool met = is - was <= allowed;
        std::printf("    %-30s first %7ld  before %7ld  after %7ld  change %+6ld %s  target %s  %s\n", what,
                    first, was, is, is - was, unit, allowed ? "<= +2048 KiB" : "back to start",
                    met ? "MET" : "NOT MET");
        return met;
    };
    bool met =
        target("open descriptors", atStart.descriptors, before.descriptors, after.descriptors, 0, "   ");
    met = target("threads", atStart.threads, before.threads, after.threads, 0, "   ") && met;
    met = target("child processes", atStart.children, before.children, after.children, 0, "   ") && met;
    met =
        target("resident memory, log cleared", atStart.rssKiB, before.rssKiB, cleared.rssKiB, 2048, "KiB") &&
        met;
    std::printf(
        "    resident memory with the log held: %+ld KiB; heap in use with it %+ld KiB, cleared %+ld KiB\n",
        after.rssKiB - before.rssKiB, after.heapInUseKiB - before.heapInUseKiB,
        cleared.heapInUseKiB - before.heapInUseKiB);
    std::printf("    threads at the baseline: %s; after: %s\n", before.threadNames.c_str(),
                after.threadNames.c_str());
    std::printf("    descriptors at the baseline: %s\n    descriptors after: %s\n",
                before.descriptorKinds.c_str(), after.descriptorKinds.c_str());
    std::printf("    all targets %s\n", met ? "met" : "NOT met");
    return 0;
}
