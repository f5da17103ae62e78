#!/usr/bin/env bash
# Builds the benchmarks in Release, runs every one of them and writes
# docs/performance.md: each figure beside its goal and beside its reference
# measured in the same run, with the machine it ran on.
#
#   bash scripts/perf-report.sh [build-dir]
#
# Environment:
#   PERF_DISPLAY   X display for the benchmarks that paint (default :99); an
#                  Xvfb is started there and stopped at the end
#   PERF_QUICK=1   smaller sizes for a quick look (1,000 single adds instead
#                  of 10,000, one run of each batch instead of three)
#   PERF_TIMEOUT   seconds one benchmark may take before it is stopped (3600)
#   PERF_OUT       the report's path (docs/performance.md)
# Raw outputs stay in <build-dir>/perf/. The report (scripts/perf_report.py)
# is rewritten after every benchmark, so an interrupted run leaves a report
# marked partial; a benchmark that failed, or whose output lacks a figure the
# report shows, marks it partial too and makes this script exit non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-bench}
display=${PERF_DISPLAY:-:99}
timeout_s=${PERF_TIMEOUT:-3600}
out=${PERF_OUT:-docs/performance.md}
raw="$build/perf"
export LC_ALL=C.UTF-8 LANG=C.UTF-8

# The benchmarks' own sizes by default; the quick ones are named in the report.
if [[ ${PERF_QUICK:-0} == 1 ]]; then
    database_adds=1000 batch_runs=1 rtf_runs=5 editor_runs=3 search_records=20000
else
    database_adds=10000 batch_runs=3 rtf_runs=9 editor_runs=5 search_records=100000
fi

for tool in cmake ninja Xvfb sqlite3 python3; do
    command -v "$tool" >/dev/null || { echo "perf-report: $tool is missing (bash scripts/deps.sh)" >&2; exit 1; }
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORREL_BUILD_BENCH=ON \
    -DQUORREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_rtf bench_collector bench_editor bench_database \
    bench_library bench_importexport bench_search

rm -rf "$raw"
mkdir -p "$raw"
started=$(date -u '+%Y-%m-%d %H:%M UTC')
{
    echo "started=$started"
    echo "commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
    echo "cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n1)"
    echo "cores=$(nproc)"
    echo "memory_kb=$(sed -n 's/^MemTotal:[[:space:]]*\([0-9]*\) kB/\1/p' /proc/meminfo)"
    echo "kernel=$(uname -srm)"
    echo "os=$(. /etc/os-release 2>/dev/null && echo "$PRETTY_NAME")"
    echo "load_start=$(cut -d' ' -f1-3 /proc/loadavg)"
    echo "qt=$(pkg-config --modversion Qt6Core 2>/dev/null || echo unknown)"
    echo "sqlite=$(sqlite3 --version | cut -d' ' -f1)"
    echo "database_adds=$database_adds"
    echo "batch_runs=$batch_runs"
    echo "rtf_runs=$rtf_runs"
    echo "editor_runs=$editor_runs"
    echo "search_records=$search_records"
} >"$raw/machine"

xvfb_pid=
stop_xvfb() { [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null; xvfb_pid=; }
trap stop_xvfb EXIT
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
# Up once its socket is there; a server already on that display makes ours end.
for _ in $(seq 200); do
    [[ -S /tmp/.X11-unix/X${display#:} ]] && kill -0 "$xvfb_pid" 2>/dev/null && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$xvfb_pid" 2>/dev/null && [[ -S /tmp/.X11-unix/X${display#:} ]] ||
    { echo "perf-report: Xvfb did not start on $display (PERF_DISPLAY)" >&2; exit 1; }

# Turns the raw outputs into the report; run after every benchmark. It fails
# when a benchmark that ran printed something it cannot read: the later ones
# still run, and the last call decides the exit status.
report() {
    python3 scripts/perf_report.py "$raw" "$out" "$@"
}
report || true

# name, platform, arguments: cheap ones first, so a stopped run still says most.
run() {
    local name=$1 platform=$2
    shift 2
    echo "== $name $*" >&2
    local status=0
    (cd "$raw" && DISPLAY=$display QT_QPA_PLATFORM=$platform \
        timeout "$timeout_s" "../bench/$name" "$@") >"$raw/$name.txt" 2>"$raw/$name.err" || status=$?
    echo "$status" >"$raw/$name.status"
    report || true
}
run bench_rtf offscreen "$rtf_runs"
run bench_collector xcb
run bench_editor xcb "$editor_runs"
run bench_database offscreen 1000000 "" "$database_adds"
run bench_library offscreen
run bench_importexport offscreen 1000000 "$batch_runs"
run bench_search offscreen "$search_records"

echo "load_end=$(cut -d' ' -f1-3 /proc/loadavg)" >>"$raw/machine"
status=0
report --final || status=$?
echo "wrote $out" >&2
exit "$status"
