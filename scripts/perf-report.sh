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
# Raw outputs stay in <build-dir>/perf/. The report is rewritten after every
# benchmark, so an interrupted run leaves a report marked partial.
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
    database_adds=1000 batch_runs=1 rtf_runs=5 editor_runs=3
else
    database_adds=10000 batch_runs=3 rtf_runs=9 editor_runs=5
fi

for tool in cmake ninja Xvfb sqlite3 python3; do
    command -v "$tool" >/dev/null || { echo "perf-report: $tool is missing (bash scripts/deps.sh)" >&2; exit 1; }
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORREL_BUILD_BENCH=ON \
    -DQUORREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_rtf bench_collector bench_editor bench_database \
    bench_library bench_importexport

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
} >"$raw/machine"

xvfb_pid=
stop_xvfb() { [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null; xvfb_pid=; }
trap stop_xvfb EXIT
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 2

# Turns the raw outputs into the report; run after every benchmark.
report() {
    python3 - "$raw" "$out" <<'PY'
import os, re, sys

raw, out = sys.argv[1], sys.argv[2]

def read(name):
    path = os.path.join(raw, name)
    return open(path, encoding="utf-8", errors="replace").read() if os.path.exists(path) else None

machine = {}
for line in (read("machine") or "").splitlines():
    key, _, value = line.partition("=")
    machine[key] = value

BENCHES = ["bench_rtf", "bench_collector", "bench_editor", "bench_database", "bench_library",
           "bench_importexport"]
state = {}
for b in BENCHES:
    status = read(b + ".status")
    state[b] = "not run" if status is None else ("ok" if status.strip() == "0" else
               "stopped after the time limit" if status.strip() == "124" else
               "failed (exit %s)" % status.strip())

rows = []      # (area, figure, measured, goal, reference, ratio, verdict)
missed = []

def num(x):
    return float(x)

def fmt_ms(v):
    return "%.3g ms" % v if v < 10 else "%.1f ms" % v

def verdict(ok):
    return "met" if ok else "**not met**"

def add(area, figure, measured, goal="", reference="", ratio="", ok=None):
    v = "" if ok is None else verdict(ok)
    rows.append((area, figure, measured, goal, reference, ratio, v))
    if ok is False:
        missed.append("%s: %s — %s%s (goal %s)" % (area, figure, measured, ", %s the reference" % ratio if ratio else "", goal))

# bench_rtf: RichTextBuffer load + save against a raw read + write.
t = read("bench_rtf.txt") or ""
for m in re.finditer(r"^\s*(\d+) MB\s+([\d.]+) MB\s+([\d.]+) MB\s+([\d.]+) ms\s+([\d.]+) ms\s+([\d.]+) ms\s+([\d.]+) ms\s+([\d.]+)x", t, re.M):
    size, text, rtf, rawms, ls, codec, safe, ratio = m.groups()
    r = num(ls) / num(rawms)
    add("Doc.dat load + save", "%s MB of text (%s MB RTF)" % (size, rtf), fmt_ms(num(ls)), "≤ 5x the reference",
        "raw read + write of the same file %s (page cache, no sync); atomic write alone %s" % (fmt_ms(num(rawms)), fmt_ms(num(safe))),
        "%.2fx" % r, r <= 5)
m = re.search(r"per MB: 1 MB ([\d.]+) ms, 10 MB ([\d.]+) ms", t)
if m:
    a, b = num(m.group(1)), num(m.group(2))
    add("Doc.dat load + save", "cost per MB, 1 MB against 10 MB", "%.2f / %.2f ms" % (a, b), "linear in size (≤ 1.5x apart)",
        "", "%.2fx" % (max(a, b) / min(a, b)), max(a, b) / min(a, b) <= 1.5)

# bench_collector
t = read("bench_collector.txt") or ""
mini = re.search(r"minimal\s+([\d.]+) ms\s+peak RSS\s+([\d.]+) MB", t)
coll = re.search(r"collector\s+([\d.]+) ms\s+peak RSS\s+([\d.]+) MB", t)
if mini and coll:
    r = num(coll.group(1)) / num(mini.group(1))
    add("Start-up", "collector to first paint (median of 15, Xvfb)", fmt_ms(num(coll.group(1))), "≤ 1.5x the reference",
        "minimal Qt window %s" % fmt_ms(num(mini.group(1))), "%.2fx" % r, r <= 1.5)
    add("Start-up", "collector peak resident memory", "%s MB" % coll.group(2), "≤ 40 MB",
        "minimal Qt window %s MB" % mini.group(2), "", num(coll.group(2)) <= 40)
def size_text(size):
    return "%d KB" % (size // 1024) if size < 1 << 20 else "%.1f MB" % (size / (1 << 20))
for m in re.finditer(r"Doc\.dat\s+(\d+) bytes: drop\s+([\d.]+) ms \(([\d.]+)x raw\); raw read\+write\s+([\d.]+) ms \(goal <= 5x\), with fdatasync\s+([\d.]+) ms", t):
    size, v, _, plain, synced = m.groups()
    r = num(v) / num(synced)
    add("Drop, append at once", "Doc.dat of %s: one drop (median of 9)" % size_text(int(size)), fmt_ms(num(v)),
        "≤ 5x the reference",
        "raw read + write with fdatasync %s (without sync %s)" % (fmt_ms(num(synced)), fmt_ms(num(plain))),
        "%.2fx" % r, r <= 5)
m = re.search(r"Doc\.dat\s+(\d+) bytes: drop\s+([\d.]+) ms \(([\d.]+)x raw\); read\+rewrite as before\s+([\d.]+) ms \(([\d.]+)x raw\); raw read\+write with fdatasync\s+([\d.]+) ms", t)
if m:
    size, v, _, old, _, synced = m.groups()
    r = num(v) / num(synced)
    add("Drop, append at once", "foreign Doc.dat of %s (a word processor's RTF with pictures): one drop" % size_text(int(size)),
        fmt_ms(num(v)), "≤ 5x the reference",
        "raw read + write with fdatasync %s; the former read + rewrite %s" % (fmt_ms(num(synced)), fmt_ms(num(old))),
        "%.2fx" % r, r <= 5)
for m in re.finditer(r"^\s+(\d+) bytes: drop median ([\d.]+) ms, 90% ([\d.]+) ms; bare write\+fdatasync median ([\d.]+) ms", t, re.M):
    size, v, p90, bare = m.groups()
    add("Drop, cached append", "%s bytes: journal append + fdatasync (median of 200, 90%% %s)" % (size, fmt_ms(num(p90))),
        fmt_ms(num(v)), "", "bare write + fdatasync of the same bytes %s" % fmt_ms(num(bare)),
        "%.2fx" % (num(v) / num(bare)), None)
m = re.search(r"peak RSS, one drop into a foreign Doc\.dat of (\d+) bytes:\s+idle\s+([\d.]+) MB.*?append\s+([\d.]+) MB.*?rewrite\s+([\d.]+) MB.*?raw\s+([\d.]+) MB", t, re.S)
if m:
    size, idle, append, rewrite, raw = m.groups()
    r = num(append) / num(raw)
    add("Memory", "one drop into a foreign Doc.dat of %s: peak resident" % size_text(int(size)), "%s MB" % append,
        "at most one copy of the document",
        "raw read + write of the file %s MB; idle %s MB; the former read + rewrite %s MB" % (raw, idle, rewrite),
        "%.2fx" % r, r <= 1.1)
m = re.search(r"create with 32,000 numbered files: start-up scan ([\d.]+) ms, drop median ([\d.]+) ms", t)
if m:
    add("Drop, create", "with 32,000 numbered files present (median of 50)", fmt_ms(num(m.group(2))), "< 2 ms",
        "start-up scan of the folder %s" % fmt_ms(num(m.group(1))), "", num(m.group(2)) < 2)
m = re.search(r"database with 1,000,000 records: drop median ([\d.]+) ms, max ([\d.]+) ms", t)
if m:
    add("Drop, database", "1,000,000 records: median of 50 (slowest %s)" % fmt_ms(num(m.group(2))),
        fmt_ms(num(m.group(1))), "< 20 ms", "", "", num(m.group(1)) < 20)

# bench_editor: open and confirm against RichTextBuffer load + save.
t = read("bench_editor.txt") or ""
for m in re.finditer(r"^\s*(\d+) MB\s+([\d.]+) MB\s+([\d.]+) ms\s+([\d.]+) ms\s+([\d.]+) ms\s+([\d.]+) ms\s+([\d.]+)x\s+([\d.]+) ms\s+([\d.]+) ms", t, re.M):
    size, rtf, buf, opened, confirm, total, ratio, key, scroll = m.groups()
    r = num(total) / num(buf)
    label = "empty Doc.dat (the window alone)" if size == "0" else "%s MB of text (%s MB RTF)" % (size, rtf)
    add("Editor", "%s: open to text shown + confirm (save)" % label,
        "%s + %s" % (fmt_ms(num(opened)), fmt_ms(num(confirm))), "≤ 2x the reference",
        "RichTextBuffer load + save of the same file %s" % fmt_ms(num(buf)), "%.2fx" % r, r <= 2 if size != "0" else None)
    if size != "0":
        add("Editor", "%s: keystroke / scroll to the middle, until repainted" % label,
            "%s / %s" % (fmt_ms(num(key)), fmt_ms(num(scroll))), "stays responsive", "", "", None)

# bench_database
t = read("bench_database.txt") or ""
m = re.search(r"database: .*?, (\d+) records, ([\d.]+) MB", t)
size_note = "%s records, %s MB" % (format(int(m.group(1)), ","), m.group(2)) if m else ""
for m in re.finditer(r"^(.+?)\s+median\s+([\d.]+) ms\s+max\s+([\d.]+) ms\s+\((\d+) runs\)", t, re.M):
    what, med, mx, runs = m.group(1).strip(), num(m.group(2)), num(m.group(3)), m.group(4)
    goal, ok = "", None
    if what.startswith("drop:"):
        goal, ok = "< 20 ms", med < 20
    shown = fmt_ms(med) if runs != "1" else fmt_ms(med)
    add("Database (%s)" % size_note, "%s (%s)" % (what, "median of %s, slowest %s" % (runs, fmt_ms(mx)) if runs != "1" else "one run"),
        shown, goal, "", "", ok)
for m in re.finditer(r"^(.+?)\s+FAILED$", t, re.M):
    add("Database", m.group(1).strip(), "FAILED", "", "", "", False)

# bench_library: each size in a child that reports its peak memory.
t = read("bench_library.txt") or ""
# Each size runs twice, the first to warm the file cache: keep the last.
blocks = {}
for block in re.split(r"(?=^\s*\d+ rows: )", t, flags=re.M)[1:]:
    blocks[int(re.match(r"\s*(\d+) rows", block).group(1))] = block
for rows_n, block in sorted(blocks.items()):
    big = rows_n >= 1000000
    n = format(rows_n, ",")
    m = re.search(r"open to list painted\s+([\d.]+) ms \(CPU\s+([\d.]+) ms\)\s+worst of 40 scroll jumps\s+([\d.]+) ms", block)
    if m:
        add("Browser", "%s records: open to list painted (CPU %s)" % (n, fmt_ms(num(m.group(2)))), fmt_ms(num(m.group(1))),
            "< 500 ms" if big else "", "", "", num(m.group(1)) < 500 if big else None)
        add("Browser", "%s records: worst of 40 scroll jumps" % n, fmt_ms(num(m.group(3))), "no stall", "", "", None)
    m = re.search(r"10 KB\s+([\d.]+) ms \(\s*([\d.]+)\)\s+10 MB in lines\s+([\d.]+) ms \(\s*([\d.]+)\)\s+10 MB in one line\s+([\d.]+) ms \(\s*([\d.]+)\)", block)
    if m:
        g = [num(x) for x in m.groups()]
        add("Browser", "%s records: row click to content painted (all in the box), 10 KB / 10 MB in lines / 10 MB in one line" % n,
            "%s (%s) / %s (%s) / %s (%s)" % tuple(fmt_ms(x) for x in g), "no long freeze", "", "", None)
    m = re.search(r"one delete .*?([\d.]+) ms \(CPU\s+([\d.]+) ms\)", block)
    if m:
        add("Browser", "%s records: one delete (ask, delete, re-read, list painted)" % n, fmt_ms(num(m.group(1))), "", "", "", None)
    m = re.search(r"peak resident memory\s+([\d.]+) MB", block)
    if m:
        add("Browser", "%s records: peak resident memory" % n, "%s MB" % m.group(1), "< 150 MB" if big else "", "", "",
            num(m.group(1)) < 150 if big else None)

# bench_importexport: against the sqlite3 shell and cp in the same run.
t = read("bench_importexport.txt") or ""
m = re.search(r"database of (\d+) records, (\d+) MB", t)
dbnote = " into a database of %s records (%s MB)" % (format(int(m.group(1)), ","), m.group(2)) if m else ""
m = re.search(r"import 10,000 files\s+ours\s+([\d.]+) s\s+sqlite3 \(1 transaction\)\s+([\d.]+) s\s+ratio ([\d.]+)", t)
if m:
    r = num(m.group(1)) / num(m.group(2))
    add("Batch import", "10,000 files of 1 KB" + dbnote, "%s s" % m.group(1), "≤ 3x the reference",
        "sqlite3 shell inserting the same files in one transaction %s s" % m.group(2), "%.2fx" % r, r <= 3)
m = re.search(r"import into an empty one\s+ours\s+([\d.]+) s", t)
if m:
    add("Batch import", "10,000 files of 1 KB into an empty database", "%s s" % m.group(1), "no growth with the database", "", "", None)
m = re.search(r"export 10,000 records\s+ours\s+([\d.]+) s\s+cp -r of the files\s+([\d.]+) s\s+ratio ([\d.]+)", t)
if m:
    r = num(m.group(1)) / num(m.group(2))
    add("Batch export", "10,000 records to numbered files", "%s s" % m.group(1), "≤ 3x the reference",
        "cp -r of the same files %s s" % m.group(2), "%.2fx" % r, r <= 3)

partial = [b for b in BENCHES if state[b] != "ok"]
mem = machine.get("memory_kb", "")
lines = []
lines.append("# Performance")
lines.append("")
if partial:
    lines.append("> **Partial report.** Not (fully) measured in this run: " +
                 ", ".join("`%s` (%s)" % (b, state[b]) for b in partial) + ".")
    lines.append("")
lines.append("Written by `bash scripts/perf-report.sh`, which builds the benchmarks in `bench/` in Release, "
             "runs each of them once (those that paint under their own Xvfb) and fills this page from "
             "their output. Each figure stands beside its goal and beside the reference the goal is "
             "measured against, taken in the same run on the same machine. Rerun it to measure yours.")
lines.append("")
lines.append("## Machine")
lines.append("")
lines.append("| | |")
lines.append("|---|---|")
lines.append("| run | %s, commit %s |" % (machine.get("started", "?"), machine.get("commit", "?")))
lines.append("| CPU | %s |" % machine.get("cpu", "?"))
lines.append("| cores | %s |" % machine.get("cores", "?"))
lines.append("| memory | %s |" % ("%.1f GB" % (int(mem) / 1024 / 1024) if mem.isdigit() else "?"))
lines.append("| kernel | %s |" % machine.get("kernel", "?"))
lines.append("| system | %s; Qt %s; SQLite %s |" % (machine.get("os", "?"), machine.get("qt", "?"), machine.get("sqlite", "?")))
load = "load average %s at the start" % machine.get("load_start", "?")
if "load_end" in machine:
    load += ", %s at the end" % machine["load_end"]
lines.append("| load | %s (1, 5, 15 minutes) |" % load)
lines.append("")
lines.append("## Figures")
lines.append("")
lines.append("| area | figure | measured | goal | reference (same run) | ratio | goal met |")
lines.append("|---|---|---|---|---|---|---|")
for r in rows:
    lines.append("| " + " | ".join(x.replace("|", "\\|") for x in r) + " |")
if not rows:
    lines.append("| | nothing measured yet | | | | | |")
lines.append("")
lines.append("## Goals not met")
lines.append("")
if missed:
    for m in missed:
        lines.append("- " + m)
else:
    lines.append("- none" + (" among the figures measured so far" if partial else ""))
lines.append("")
lines.append("## Sizes and runs")
lines.append("")
adds = int(machine.get("database_adds", "10000") or 10000)
lines.append("- `bench_rtf %s`, `bench_editor %s`: medians of that many runs." % (machine.get("rtf_runs", "?"), machine.get("editor_runs", "?")))
lines.append("- `bench_collector`: start-up median of 15 runs; drops median of 8 after the first; 50 drops in create and database mode.")
note = "" if adds == 10000 else " (quick run: the benchmark's own size is 10,000)"
lines.append("- `bench_database 1000000 \"\" %d`: %s single adds, each its own transaction%s." % (adds, format(adds, ","), note))
runs = machine.get("batch_runs", "3")
lines.append("- `bench_importexport 1000000 %s`: median of %s run(s) of each side, taking turns to go first%s." % (runs, runs, "" if runs == "3" else " (quick run: the benchmark's own default is 3)"))
lines.append("- `bench_library`: 100,000 and 1,000,000 records, each opened once to warm the file cache, then measured.")
lines.append("- Wall times on a shared machine: where the load above is high, fsync-bound figures (drops, saves, adds) vary most.")
lines.append("")
lines.append("Raw outputs of the run are in the build folder, `perf/`.")
tmp = out + ".tmp"
with open(tmp, "w", encoding="utf-8") as f:
    f.write("\n".join(lines) + "\n")
os.replace(tmp, out)
PY
}
report

# name, platform, arguments: cheap ones first, so a stopped run still says most.
run() {
    local name=$1 platform=$2
    shift 2
    echo "== $name $*" >&2
    local status=0
    (cd "$raw" && DISPLAY=$display QT_QPA_PLATFORM=$platform \
        timeout "$timeout_s" "../bench/$name" "$@") >"$raw/$name.txt" 2>"$raw/$name.err" || status=$?
    echo "$status" >"$raw/$name.status"
    report
}
run bench_rtf offscreen "$rtf_runs"
run bench_collector xcb
run bench_editor xcb "$editor_runs"
run bench_database offscreen 1000000 "" "$database_adds"
run bench_library offscreen
run bench_importexport offscreen 1000000 "$batch_runs"

echo "load_end=$(cut -d' ' -f1-3 /proc/loadavg)" >>"$raw/machine"
report
echo "wrote $out" >&2
