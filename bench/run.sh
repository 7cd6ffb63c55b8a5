#!/usr/bin/env bash
# Builds the benchmarks in a Release tree (build-bench/) and runs all five in order, printing every
# figure. The full run includes the 10,000-cycle soak (20 to 25 minutes on two cores); --quick runs
# every benchmark with smaller counts, the soak with 300 cycles.
#
# The benchmarks that use port 8008 (the port check, the stand-in server) run in a network namespace
# of their own where this is possible (root, unshare and ip present), so that a server somebody else
# runs on this machine neither blocks them nor sees theirs.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
for argument in "$@"; do
    case "$argument" in
    --quick) quick=1 ;;
    -h | --help)
        echo "usage: bench/run.sh [--quick]"
        exit 0
        ;;
    *)
        echo "bench/run.sh: unknown argument '$argument' (usage: bench/run.sh [--quick])" >&2
        exit 2
        ;;
    esac
done

# Google Benchmark, for the log view benchmark; the project's setup script does not install it.
if ! dpkg-query -W -f='${Status}' libbenchmark-dev 2>/dev/null | grep -q "install ok installed"; then
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing libbenchmark-dev"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends libbenchmark-dev
    else
        echo "note: libbenchmark-dev is not installed; the log view benchmark is left out" >&2
    fi
fi

tree=build-bench
cmake -S . -B "$tree" -DCMAKE_BUILD_TYPE=Release -DTOLVANE_BUILD_TESTS=OFF -DTOLVANE_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$tree" -j"${JOBS:-2}" --target tolvane_benchmarks
bin="$tree/bin"

export QT_QPA_PLATFORM=offscreen
# A runtime folder of the run's own; the programs that launch a controller give it one of its own too.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR=$(mktemp -d)
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

isolated() {
    if [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null && command -v ip >/dev/null &&
        unshare --net true 2>/dev/null; then
        unshare --net sh -c 'ip link set lo up && exec "$@"' sh "$@"
    else
        "$@"
    fi
}

if ((quick)); then
    polls=100 rss_runs=1 rss_polls=200 start_runs=3 log_args=(--benchmark_min_time=0.1) soak_args=(--quick)
else
    polls=200 rss_runs=3 rss_polls=1000 start_runs=5 log_args=() soak_args=(--cycles 10000)
fi

echo
echo "== Machine: $(nproc) cores; $(lscpu | grep 'Model name' | sed 's/  */ /g'); load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== Build: $tree, Release; run: $( ((quick)) && echo quick || echo full)"
echo

echo "== 1. Controller CPU per status poll"
"$bin/tolvane_bench_poll_cpu" --polls "$polls" --fake script
"$bin/tolvane_bench_poll_cpu" --polls "$polls" --fake server
echo

echo "== 2. Resident memory"
isolated "$bin/tolvane_bench_rss_launch" --controller "$bin/tolvane-controller" --floor "$bin/tolvane_bench_tray_floor" \
    --server "$bin/tolvane-server" --runs "$rss_runs"
"$bin/tolvane_bench_rss_polls" --polls "$rss_polls"
echo

echo "== 3. Start request to running presentation"
isolated "$bin/tolvane_bench_start_latency" --runs "$start_runs"
echo

echo "== 4. Log view entry by log size"
if [ -x "$bin/tolvane_bench_log_view" ]; then
    "$bin/tolvane_bench_log_view" "${log_args[@]}"
else
    echo "not built: Google Benchmark is missing"
fi
echo

echo "== 5. Soak"
isolated "$bin/tolvane_bench_soak" "${soak_args[@]}"
echo
echo "== Done; load now: $(cut -d' ' -f1-3 /proc/loadavg)"
