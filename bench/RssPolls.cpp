// Resident memory of the controller across many status polls, in-process: the real binary polls only
// every 8 s, so this program builds the controller from the interface, launches it with the real host
// and runs the polls back to back, reading its own VmRSS as it goes.
#include "BenchKit.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

using namespace tolvane;
using namespace tolvane::bench;

int main(int argc, char* argv[])
{
    int polls = 1000;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--polls") && i + 1 < argc) {
            polls = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: tolvane_bench_rss_polls [--polls N]\n");
            return 2;
        }
    }

    Sandbox sandbox;
    applySandbox(sandbox, defaultServerPath());
    QApplication application(argc, argv);
    prepareApplication();
    BenchHost host;
    ScopedHost installed(host);

    const long beforeController = tolvane::testing::residentKiB();
    std::unique_ptr<AppDelegate> controller = launchController(host);
    const long launched = tolvane::testing::residentKiB();

    std::printf(
        "[2b] Resident memory across %d status polls, in-process: controller built from the interface "
        "(offscreen), real host, the stand-in server's status (server stopped)\n",
        polls);
    std::printf("    %s\n", machineLine().c_str());
    std::printf("    this program before the controller was made   %8.1f MiB\n", beforeController / 1024.0);
    std::printf("    after the launch (its first poll ended)        %8.1f MiB\n", launched / 1024.0);

    const int step = std::max(1, polls / 5);
    int done = 0;
    const std::int64_t start = monotonicNs();
    while (done < polls) {
        const int batch = std::min(step, polls - done);
        if (!runPolls(host, *controller, batch, batch * 60000)) {
            std::printf("    the polls did not finish in time\n");
            return 1;
        }
        done += batch;
        settleEvents();
        std::printf(
            "    after %5d polls                               %8.1f MiB  (%+ld KiB since the launch)\n",
            done, tolvane::testing::residentKiB() / 1024.0, tolvane::testing::residentKiB() - launched);
    }
    const double wallMs = static_cast<double>(monotonicNs() - start) / 1e6;
    std::printf(
        "    change over the %d polls                     %+8ld KiB; %.1f ms wall per poll; last status %d\n",
        polls, tolvane::testing::residentKiB() - launched, wallMs / polls, controller->status());
    return 0;
}
