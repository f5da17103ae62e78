#!/usr/bin/env python3
"""The performance page's parser (scripts/perf_report.py) over saved outputs
of every benchmark (tests/data/perf/): each section yields its rows, and an
output it cannot read a figure from gives a page that opens with "Partial
report", names the benchmark and the figure, and a non-zero exit."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPORT = os.path.join(HERE, "..", "..", "scripts", "perf_report.py")
DATA = os.path.join(HERE, "..", "data", "perf")

# Every area the page has from the saved outputs.
AREAS = ["Doc.dat load + save", "Start-up", "Drop, append at once", "Drop, cached append", "Memory",
         "Drop, create", "Drop, database", "Editor", "Database", "Browser", "Batch import",
         "Batch export", "Search"]


def edit(name, change):
    def apply(folder):
        path = os.path.join(folder, name)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        with open(path, "w", encoding="utf-8") as f:
            f.write(change(text))
    return apply


def drop_lines(name, pattern):
    return edit(name, lambda t: "".join(l for l in t.splitlines(True) if not re.search(pattern, l)))


def status(name, value):
    def apply(folder):
        path = os.path.join(folder, name + ".status")
        if value is None:
            os.remove(path)
        else:
            with open(path, "w") as f:
                f.write(value + "\n")
    return apply


# (what, damage, extra arguments, exit status, what the partial note must name)
CASES = [
    ("every output whole", None, [], 0, None),
    ("extra lines a newer benchmark prints are passed over",
     edit("bench_search.txt", lambda t: "index variant detail=none: 30.1 MB\n" + t +
          "4 characters                     median      0.50 ms  max      0.90 ms  first rows     0.40 ms  found 12\n"),
     [], 0, None),
    ("an editor row whose figure is not a number",
     edit("bench_editor.txt", lambda t: re.sub(r"(?m)^( *10 MB +\S+ MB +)\S+", r"\1-nan", t)),
     [], 1, ("bench_editor", "10 MB row")),
    ("a search length missing",
     drop_lines("bench_search.txt", r"^3 characters"), [], 1, ("bench_search", "searches of 3 characters")),
    ("the index build reworded",
     edit("bench_search.txt", lambda t: t.replace("index built in", "index made in")),
     [], 1, ("bench_search", "index build time")),
    ("an empty output", edit("bench_database.txt", lambda t: ""), [], 1, ("bench_database", "Refresh")),
    ("an output cut short",
     edit("bench_collector.txt", lambda t: t[:len(t) // 2]), [], 1, ("bench_collector", "database drop")),
    ("a size's run missing",
     edit("bench_library.txt", lambda t: t[:t.index("1000000 records")]),
     [], 1, ("bench_library", "1,000,000 records run")),
    ("a reference figure missing",
     edit("bench_importexport.txt", lambda t: t.replace("cp -r of the files", "copied")),
     [], 1, ("bench_importexport", "batch export against cp")),
    ("a summary line missing", drop_lines("bench_rtf.txt", r"^per MB"), [], 1, ("bench_rtf", "cost per MB")),
    ("a benchmark stopped at the time limit",
     status("bench_importexport", "124"), [], 1, ("bench_importexport", "stopped after the time limit")),
    ("a benchmark not run yet, while the run goes on", status("bench_search", None), [], 0,
     ("bench_search", "not run")),
    ("a benchmark not run at the end", status("bench_search", None), ["--final"], 1,
     ("bench_search", "not run")),
]


def rows_by_area(page):
    counts = {}
    for line in page.splitlines():
        if not line.startswith("| ") or line.startswith("| area "):
            continue
        area = line[2:].split(" | ")[0]
        for name in AREAS:
            if area.startswith(name):
                counts[name] = counts.get(name, 0) + 1
    return counts


def main():
    failures = []

    def check(ok, what):
        print(("ok   " if ok else "FAIL ") + what, flush=True)
        if not ok:
            failures.append(what)

    for what, damage, extra, expected_exit, named in CASES:
        folder = tempfile.mkdtemp(prefix="perf-report-test-")
        try:
            raw = os.path.join(folder, "perf")
            shutil.copytree(DATA, raw)
            if damage:
                damage(raw)
            out = os.path.join(folder, "performance.md")
            result = subprocess.run([sys.executable, REPORT, raw, out, *extra], capture_output=True, text=True)
            check(result.returncode == expected_exit,
                  f"{what}: exit {result.returncode}, {expected_exit} expected {result.stderr.strip()}")
            with open(out, encoding="utf-8") as f:
                page = f.read()
            head = page.split("## Machine")[0]
            if named is None:
                check("Partial report" not in page, f"{what}: a whole report")
                counts = rows_by_area(page)
                check(all(counts.get(area) for area in AREAS),
                      f"{what}: every area has its rows ({counts})")
            else:
                bench, figure = named
                note = next((l for l in head.splitlines() if f"`{bench}`" in l), "")
                check("Partial report" in head and figure in note,
                      f"{what}: the page opens with a partial note naming {bench} and {figure!r} ({note!r})")
                # The rest of the page stands: one damaged output costs only its own rows.
                check(rows_by_area(page).get("Batch import" if bench != "bench_importexport" else "Search", 0) > 0,
                      f"{what}: the other benchmarks' rows are still there")
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    print(f"{len(failures)} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
