#!/usr/bin/env python3
"""Writes the performance page from the raw outputs of scripts/perf-report.sh.

    perf_report.py RAW_FOLDER OUT [--final]

RAW_FOLDER holds `machine` and, for each benchmark, <name>.txt (what it
printed) and <name>.status (its exit status, written once it ended). Every
figure the page shows is looked for in the output; a benchmark that ended
but whose output lacks one (its format changed, a number is not a number, the
run was cut short) makes the page open with "Partial report", naming the
benchmark and the figure, and the exit status 1. A benchmark with no status
yet is named as not run; with --final (the last call, once every benchmark
had its turn) that fails too.
"""
import os
import re
import sys

BENCHES = ["bench_rtf", "bench_collector", "bench_editor", "bench_database", "bench_library",
           "bench_importexport", "bench_search"]

NUMBER = r"(\d+(?:\.\d+)?)"  # nan, inf or a negative figure do not count as read


class Output:
    """One benchmark's output and the figures that could not be read from it."""

    def __init__(self, name, text):
        self.name = name
        self.text = text or ""
        self.unread = []

    def find(self, figure, pattern, text=None, flags=re.M):
        m = re.search(pattern, self.text if text is None else text, flags)
        if not m:
            self.unread.append(figure)
        return m

    def find_all(self, figure, pattern, count, text=None, flags=re.M):
        found = list(re.finditer(pattern, self.text if text is None else text, flags))
        if len(found) < count:
            self.unread.append("%s (%d of %d read)" % (figure, len(found), count))
        return found


class Page:
    def __init__(self):
        self.rows = []    # (area, figure, measured, goal, reference, ratio, verdict)
        self.missed = []

    def add(self, area, figure, measured, goal="", reference="", ratio="", ok=None):
        self.rows.append((area, figure, measured, goal, reference, ratio,
                          "" if ok is None else ("met" if ok else "**not met**")))
        if ok is False:
            self.missed.append("%s: %s — %s%s (goal %s)" % (
                area, figure, measured, ", %s the reference" % ratio if ratio else "", goal))


def num(x):
    return float(x)


def fmt_ms(v):
    return "%.3g ms" % v if v < 10 else "%.1f ms" % v


def size_text(size):
    return "%d KB" % (size // 1024) if size < 1 << 20 else "%.1f MB" % (size / (1 << 20))


def thousands(n):
    return format(int(n), ",")


def rtf(out, page):
    """RichTextBuffer load + save against a raw read + write."""
    rows = {m.group(1): m for m in re.finditer(
        r"^\s*(\d+) MB\s+%s MB\s+%s MB\s+%s ms\s+%s ms\s+%s ms\s+%s ms\s+%sx" % ((NUMBER,) * 7),
        out.text, re.M)}
    for size in ["1", "10"]:
        m = rows.get(size)
        if not m:
            out.unread.append("the %s MB row (load + save, raw read + write)" % size)
            continue
        _, text, rtf_mb, raw_ms, ls, codec, safe, ratio = m.groups()
        r = num(ls) / num(raw_ms)
        page.add("Doc.dat load + save", "%s MB of text (%s MB RTF)" % (size, rtf_mb), fmt_ms(num(ls)),
                 "≤ 5x the reference",
                 "raw read + write of the same file %s (page cache, no sync); atomic write alone %s"
                 % (fmt_ms(num(raw_ms)), fmt_ms(num(safe))), "%.2fx" % r, r <= 5)
    m = out.find("cost per MB", r"per MB: 1 MB %s ms, 10 MB %s ms" % (NUMBER, NUMBER))
    if m:
        a, b = num(m.group(1)), num(m.group(2))
        spread = max(a, b) / min(a, b) if min(a, b) > 0 else float("inf")
        page.add("Doc.dat load + save", "cost per MB, 1 MB against 10 MB", "%.2f / %.2f ms" % (a, b),
                 "linear in size (≤ 1.5x apart)", "", "%.2fx" % spread, spread <= 1.5)


def collector(out, page):
    t = out.text
    mini = out.find("start-up of the minimal Qt window", r"minimal\s+%s ms\s+peak RSS\s+%s MB" % (NUMBER, NUMBER))
    coll = out.find("start-up of the collector", r"collector\s+%s ms\s+peak RSS\s+%s MB" % (NUMBER, NUMBER))
    if mini and coll:
        r = num(coll.group(1)) / num(mini.group(1))
        page.add("Start-up", "collector to first paint (median of 15, Xvfb)", fmt_ms(num(coll.group(1))),
                 "≤ 1.5x the reference", "minimal Qt window %s" % fmt_ms(num(mini.group(1))), "%.2fx" % r, r <= 1.5)
        page.add("Start-up", "collector peak resident memory", "%s MB" % coll.group(2), "≤ 40 MB",
                 "minimal Qt window %s MB" % mini.group(2), "", num(coll.group(2)) <= 40)
    for m in out.find_all("append at once: Doc.dat of 1 KB, 1 MB and 10 MB",
                          r"Doc\.dat\s+(\d+) bytes: drop\s+%s ms \(%sx raw\); raw read\+write\s+%s ms "
                          r"\(goal <= 5x\), with fdatasync\s+%s ms" % ((NUMBER,) * 4), 3):
        size, v, _, plain, synced = m.groups()
        r = num(v) / num(synced)
        page.add("Drop, append at once", "Doc.dat of %s: one drop (median of 9)" % size_text(int(size)),
                 fmt_ms(num(v)), "≤ 5x the reference",
                 "raw read + write with fdatasync %s (without sync %s)" % (fmt_ms(num(synced)), fmt_ms(num(plain))),
                 "%.2fx" % r, r <= 5)
    m = out.find("append to a foreign Doc.dat",
                 r"Doc\.dat\s+(\d+) bytes: drop\s+%s ms \(%sx raw\); read\+rewrite as before\s+%s ms "
                 r"\(%sx raw\); raw read\+write with fdatasync\s+%s ms" % ((NUMBER,) * 5))
    if m:
        size, v, _, old, _, synced = m.groups()
        r = num(v) / num(synced)
        page.add("Drop, append at once",
                 "foreign Doc.dat of %s (a word processor's RTF with pictures): one drop" % size_text(int(size)),
                 fmt_ms(num(v)), "≤ 5x the reference",
                 "raw read + write with fdatasync %s; the former read + rewrite %s" % (fmt_ms(num(synced)), fmt_ms(num(old))),
                 "%.2fx" % r, r <= 5)
    for m in out.find_all("cached append of a short and a long text",
                          r"^\s+(\d+) bytes: drop median %s ms, 90%% %s ms; bare write\+fdatasync median %s ms"
                          % ((NUMBER,) * 3), 2):
        size, v, p90, bare = m.groups()
        page.add("Drop, cached append",
                 "%s bytes: journal append + fdatasync (median of 200, 90%% %s)" % (size, fmt_ms(num(p90))),
                 fmt_ms(num(v)), "", "bare write + fdatasync of the same bytes %s" % fmt_ms(num(bare)),
                 "%.2fx" % (num(v) / num(bare)) if num(bare) > 0 else "", None)
    m = out.find("peak memory of one drop into a foreign Doc.dat",
                 r"peak RSS, one drop into a foreign Doc\.dat of (\d+) bytes:\s+idle\s+%s MB.*?append\s+%s MB"
                 r".*?rewrite\s+%s MB.*?raw\s+%s MB" % ((NUMBER,) * 4), flags=re.S)
    if m:
        size, idle, append, rewrite, raw_mb = m.groups()
        r = num(append) / num(raw_mb)
        page.add("Memory", "one drop into a foreign Doc.dat of %s: peak resident" % size_text(int(size)),
                 "%s MB" % append, "at most one copy of the document",
                 "raw read + write of the file %s MB; idle %s MB; the former read + rewrite %s MB" % (raw_mb, idle, rewrite),
                 "%.2fx" % r, r <= 1.1)
    m = out.find("create with 32,000 numbered files",
                 r"create with 32,000 numbered files: start-up scan %s ms, drop median %s ms" % (NUMBER, NUMBER))
    if m:
        page.add("Drop, create", "with 32,000 numbered files present (median of 50)", fmt_ms(num(m.group(2))),
                 "< 2 ms", "start-up scan of the folder %s" % fmt_ms(num(m.group(1))), "", num(m.group(2)) < 2)
    m = out.find("database drop with 1,000,000 records",
                 r"database with 1,000,000 records: drop median %s ms, max %s ms" % (NUMBER, NUMBER))
    if m:
        page.add("Drop, database", "1,000,000 records: median of 50 (slowest %s)" % fmt_ms(num(m.group(2))),
                 fmt_ms(num(m.group(1))), "< 20 ms", "", "", num(m.group(1)) < 20)


def editor(out, page):
    """Open and confirm against RichTextBuffer load + save."""
    rows = {m.group(1): m for m in re.finditer(
        r"^\s*(\d+) MB\s+%s MB\s+%s ms\s+%s ms\s+%s ms\s+%s ms\s+%sx\s+%s ms\s+%s ms" % ((NUMBER,) * 8),
        out.text, re.M)}
    for size in ["0", "1", "10"]:
        m = rows.get(size)
        if not m:
            out.unread.append("the %s MB row (open, confirm, keystroke, scroll)" % size)
            continue
        _, rtf_mb, buf, opened, confirm, total, ratio, key, scroll = m.groups()
        r = num(total) / num(buf) if num(buf) > 0 else float("inf")
        label = "empty Doc.dat (the window alone)" if size == "0" else "%s MB of text (%s MB RTF)" % (size, rtf_mb)
        page.add("Editor", "%s: open to text shown + confirm (save)" % label,
                 "%s + %s" % (fmt_ms(num(opened)), fmt_ms(num(confirm))), "≤ 2x the reference",
                 "RichTextBuffer load + save of the same file %s" % fmt_ms(num(buf)), "%.2fx" % r,
                 r <= 2 if size != "0" else None)
        if size != "0":
            page.add("Editor", "%s: keystroke / scroll to the middle, until repainted" % label,
                     "%s / %s" % (fmt_ms(num(key)), fmt_ms(num(scroll))), "stays responsive", "", "", None)


def database(out, page):
    m = out.find("the database's size", r"database: .*?, (\d+) records, %s MB" % NUMBER)
    area = "Database (%s records, %s MB)" % (thousands(m.group(1)), m.group(2)) if m else "Database"
    timed = {}
    for m in re.finditer(r"^(.+?)\s+median\s+%s ms\s+max\s+%s ms\s+\((\d+) runs\)" % (NUMBER, NUMBER), out.text, re.M):
        timed[m.group(1).strip()] = m
    failed = [m.group(1).strip() for m in re.finditer(r"^(.+?)\s+FAILED$", out.text, re.M)]
    for label, pattern in [("Refresh", r"Refresh$"), ("one database-mode drop", r"drop:"),
                           ("single adds", r"[\d,]+ x \(AddNew"), ("reading every title", r"every title")]:
        if not any(re.match(pattern, what) for what in list(timed) + failed):
            out.unread.append(label)
    for what, m in timed.items():
        med, mx, runs = num(m.group(2)), num(m.group(3)), m.group(4)
        goal, ok = ("< 20 ms", med < 20) if what.startswith("drop:") else ("", None)
        page.add(area, "%s (%s)" % (what, "median of %s, slowest %s" % (runs, fmt_ms(mx)) if runs != "1" else "one run"),
                 fmt_ms(med), goal, "", "", ok)
    for what in failed:
        page.add(area, what, "FAILED", "", "", "", False)


def library(out, page):
    """Each size in a child that reports its peak memory."""
    blocks = {}
    for block in re.split(r"(?=^\s*\d+ rows: )", out.text, flags=re.M)[1:]:
        blocks[int(re.match(r"\s*(\d+) rows", block).group(1))] = block
    for rows_n in [100000, 1000000]:
        big = rows_n >= 1000000
        n = thousands(rows_n)
        block = blocks.get(rows_n)
        if block is None:
            out.unread.append("the %s records run" % n)
            continue
        m = out.find("%s records: open and scroll jumps" % n,
                     r"open to list painted\s+%s ms \(CPU\s+%s ms\)\s+worst of 40 scroll jumps\s+%s ms" % ((NUMBER,) * 3),
                     block)
        if m:
            page.add("Browser", "%s records: open to list painted (CPU %s)" % (n, fmt_ms(num(m.group(2)))),
                     fmt_ms(num(m.group(1))), "< 500 ms" if big else "", "", "", num(m.group(1)) < 500 if big else None)
            page.add("Browser", "%s records: worst of 40 scroll jumps" % n, fmt_ms(num(m.group(3))), "no stall", "", "", None)
        m = out.find("%s records: row clicks" % n,
                     r"10 KB\s+%s ms \(\s*%s\)\s+10 MB in lines\s+%s ms \(\s*%s\)\s+10 MB in one line\s+%s ms \(\s*%s\)"
                     % ((NUMBER,) * 6), block)
        if m:
            g = [num(x) for x in m.groups()]
            page.add("Browser", "%s records: row click to content painted (all in the box), "
                     "10 KB / 10 MB in lines / 10 MB in one line" % n,
                     "%s (%s) / %s (%s) / %s (%s)" % tuple(fmt_ms(x) for x in g), "no long freeze", "", "", None)
        if "delete FAILED" in block:
            page.add("Browser", "%s records: one delete" % n, "FAILED", "the record deleted", "", "", False)
        elif big:
            m = out.find("%s records: one delete" % n, r"one delete .*?%s ms \(CPU\s+%s ms\)" % (NUMBER, NUMBER), block)
            if m:
                page.add("Browser", "%s records: one delete (ask, delete, re-read, list painted)" % n,
                         fmt_ms(num(m.group(1))), "", "", "", None)
        m = out.find("%s records: peak memory" % n, r"peak resident memory\s+%s MB" % NUMBER, block)
        if m:
            page.add("Browser", "%s records: peak resident memory" % n, "%s MB" % m.group(1),
                     "< 150 MB" if big else "", "", "", num(m.group(1)) < 150 if big else None)


def importexport(out, page):
    """Against the sqlite3 shell and cp in the same run."""
    m = out.find("the database's size", r"database of (\d+) records, %s MB" % NUMBER)
    into = " into a database of %s records (%s MB)" % (thousands(m.group(1)), m.group(2)) if m else ""
    m = out.find("batch import against sqlite3",
                 r"import 10,000 files\s+ours\s+%s s\s+sqlite3 \(1 transaction\)\s+%s s\s+ratio" % (NUMBER, NUMBER))
    if m:
        r = num(m.group(1)) / num(m.group(2))
        page.add("Batch import", "10,000 files of 1 KB" + into, "%s s" % m.group(1), "≤ 3x the reference",
                 "sqlite3 shell inserting the same files in one transaction %s s" % m.group(2), "%.2fx" % r, r <= 3)
    m = out.find("batch import into an empty database", r"import into an empty one\s+ours\s+%s s" % NUMBER)
    if m:
        page.add("Batch import", "10,000 files of 1 KB into an empty database", "%s s" % m.group(1),
                 "no growth with the database", "", "", None)
    m = out.find("batch export against cp",
                 r"export 10,000 records\s+ours\s+%s s\s+cp -r of the files\s+%s s\s+ratio" % (NUMBER, NUMBER))
    if m:
        r = num(m.group(1)) / num(m.group(2))
        page.add("Batch export", "10,000 records to numbered files", "%s s" % m.group(1), "≤ 3x the reference",
                 "cp -r of the same files %s s" % m.group(2), "%.2fx" % r, r <= 3)


def search(out, page, records):
    """The index's build and size, then searches by length. Only the lines
    read here are relied on: the benchmark may print more."""
    m = re.search(r"made (\d+) records", out.text)
    n = thousands(m.group(1)) if m else (thousands(records) if records.isdigit() else "?")
    area = "Search (%s records)" % n
    m = out.find("index build time", r"index built in %s s" % NUMBER)
    if m:
        big = records.isdigit() and int(records) >= 1000000
        page.add(area, "building the index, as the browser does (in slices)", "%s s" % m.group(1),
                 "< 3 min" if big else "", "", "", num(m.group(1)) < 180 if big else None)
    m = out.find("index size against the database", r"database %s MB, index %s MB" % (NUMBER, NUMBER))
    if m:
        db, index = num(m.group(1)), num(m.group(2))
        r = index / db if db > 0 else float("inf")
        page.add(area, "index size on disk", "%.1f MB" % index, "no larger than the database",
                 "the database %.1f MB" % db, "%.2fx" % r, r <= 1)
    lengths = set()
    for m in re.finditer(r"^(\d+) characters?\b(.*?)\s+median\s+%s ms\s+max\s+%s ms\s+first rows\s+%s ms\s+found (\d+)"
                         % ((NUMBER,) * 3), out.text, re.M):
        chars, what, med, mx, first, found = m.groups()
        chars = int(chars)
        lengths.add(chars)
        goal, ok = ("< 50 ms", num(med) < 50) if chars >= 3 else ("< 1 s", num(med) < 1000)
        label = "%d character%s%s" % (chars, "" if chars == 1 else "s", what.rstrip())
        page.add(area, "search, %s: whole result (median of 5, slowest %s; first rows %s; %s found)"
                 % (label, fmt_ms(num(mx)), fmt_ms(num(first)), thousands(found)),
                 fmt_ms(num(med)), goal, "", "", ok)
    for chars in [1, 2, 3, 8]:
        if chars not in lengths:
            out.unread.append("searches of %d character%s" % (chars, "" if chars == 1 else "s"))


def read(raw, name):
    path = os.path.join(raw, name)
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def state_of(status):
    if status is None:
        return "not run"
    status = status.strip()
    return ("ok" if status == "0" else "stopped after the time limit" if status == "124"
            else "failed (exit %s)" % status)


def build(raw, final=False):
    """The page's text and whether every benchmark that ended was read whole."""
    machine = {}
    for line in (read(raw, "machine") or "").splitlines():
        key, _, value = line.partition("=")
        machine[key] = value
    page = Page()
    problems = []   # lines of the partial note
    complete = True
    readers = {
        "bench_rtf": rtf, "bench_collector": collector, "bench_editor": editor, "bench_database": database,
        "bench_library": library, "bench_importexport": importexport,
        "bench_search": lambda out, p: search(out, p, machine.get("search_records", "")),
    }
    for name in BENCHES:
        status = read(raw, name + ".status")
        state = state_of(status)
        if status is None:
            problems.append("`%s`: not run" % name)
            complete = complete and not final
            continue
        out = Output(name, read(raw, name + ".txt"))
        readers[name](out, page)
        if state != "ok":
            complete = False
            problems.append("`%s`: %s" % (name, state) + ("; not read: " + ", ".join(out.unread) if out.unread else ""))
        elif out.unread:
            complete = False
            problems.append("`%s`: ran, but its output has no readable %s" % (name, "; ".join(out.unread)))

    mem = machine.get("memory_kb", "")
    lines = ["# Performance", ""]
    if problems:
        lines.append("> **Partial report.** Figures missing from this page:")
        lines.append(">")
        for p in problems:
            lines.append("> - " + p)
        lines.append("")
    lines.append("Written by `bash scripts/perf-report.sh`, which builds the benchmarks in `bench/` in Release, "
                 "runs each of them once (those that paint under their own Xvfb) and fills this page from "
                 "their output. Each figure stands beside its goal and beside the reference the goal is "
                 "measured against, taken in the same run on the same machine. Rerun it to measure yours.")
    lines += ["", "## Machine", "", "| | |", "|---|---|"]
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
    lines += ["", "## Figures", "",
              "| area | figure | measured | goal | reference (same run) | ratio | goal met |",
              "|---|---|---|---|---|---|---|"]
    for r in page.rows:
        lines.append("| " + " | ".join(x.replace("|", "\\|") for x in r) + " |")
    if not page.rows:
        lines.append("| | nothing measured yet | | | | | |")
    lines += ["", "## Goals not met", ""]
    if page.missed:
        lines += ["- " + m for m in page.missed]
    else:
        lines.append("- none" + (" among the figures measured so far" if problems else ""))
    lines += ["", "## Sizes and runs", ""]
    adds = int(machine.get("database_adds", "10000") or 10000)
    lines.append("- `bench_rtf %s`, `bench_editor %s`: medians of that many runs."
                 % (machine.get("rtf_runs", "?"), machine.get("editor_runs", "?")))
    lines.append("- `bench_collector`: start-up median of 15 runs; drops median of 8 after the first; "
                 "50 drops in create and database mode.")
    note = "" if adds == 10000 else " (quick run: the benchmark's own size is 10,000)"
    lines.append("- `bench_database 1000000 \"\" %d`: %s single adds, each its own transaction%s."
                 % (adds, format(adds, ","), note))
    runs = machine.get("batch_runs", "3")
    lines.append("- `bench_importexport 1000000 %s`: median of %s run(s) of each side, taking turns to go first%s."
                 % (runs, runs, "" if runs == "3" else " (quick run: the benchmark's own default is 3)"))
    lines.append("- `bench_library`: 100,000 and 1,000,000 records, each opened once to warm the file cache, then measured.")
    lines.append("- `bench_search %s`: the index built from nothing as the browser builds it, then each search "
                 "5 times on a warm cache." % machine.get("search_records", "?"))
    lines.append("- Wall times on a shared machine: where the load above is high, fsync-bound figures "
                 "(drops, saves, adds) vary most.")
    lines += ["", "Raw outputs of the run are in the build folder, `perf/`."]
    return "\n".join(lines) + "\n", complete


def main(argv):
    args = [a for a in argv[1:] if a != "--final"]
    if len(args) != 2:
        print("usage: perf_report.py RAW_FOLDER OUT [--final]", file=sys.stderr)
        return 2
    raw_folder, out = args
    text, complete = build(raw_folder, final="--final" in argv)
    tmp = out + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
        f.flush()
        os.fsync(f.fileno())
    os.replace(tmp, out)
    if not complete:
        print("perf_report: partial report written to %s" % out, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
