#!/usr/bin/env python3
"""Small source mutations for scripts/mutation.sh.

  mutants.py list  ROOT SEED SIZE      one line per mutant of the sample:
                                       index, file, line, kind, old -> new
  mutants.py apply ROOT SEED SIZE K    writes mutant K into its file under ROOT

Every candidate over the .cpp files of the folders below is listed in a fixed
order and a seeded sample drawn from them, so a seed names the same mutants
for as long as the sources stay the same.
"""
import random
import re
import sys
from pathlib import Path

FOLDERS = ["src/text", "src/storage", "src/database", "src/collector", "src/library"]

COMPARISON = {"==": "!=", "!=": "==", "<": "<=", "<=": "<", ">": ">=", ">=": ">"}
COMPARISON_RE = re.compile(r"(?<=\s)(==|!=|<=|>=|<|>)(?=\s)")
LOGIC_RE = re.compile(r"(?<=\s)(&&|\|\|)(?=\s)")
NUMBER_RE = re.compile(r"(?<![\w.'])(\d+)(?![\w.'])")
CONDITION_RE = re.compile(r"\b(if|while) \(")
# A whole statement on one line that does something: a call, an assignment,
# an increment; not a declaration (dropping one only breaks the build).
STATEMENT_RE = re.compile(
    r"^(\s+)((Q_EMIT )?[\w:]+(\.|->|\(|\[| [-+*/|&]?= |\+\+|--)[^;]*;|(\+\+|--)\w+;)\s*$")
SKIP_STATEMENT = re.compile(r"^\s*(return|case|default|using|typedef|static_assert)\b")


def code_spans(line):
    """The parts of a line outside string/char literals and // comments."""
    spans, start, i, quote = [], 0, 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                i += 1
            elif c == quote:
                quote, start = None, i + 1
        elif c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isdigit()):
            spans.append((start, i))
            quote = c
        elif line.startswith("//", i):
            break
        i += 1
    if not quote:
        spans.append((start, i))
    return spans


def in_code(spans, a, b):
    return any(s <= a and b <= e for s, e in spans)


def matching_paren(line, open_at):
    depth = 0
    for i in range(open_at, len(line)):
        depth += {"(": 1, ")": -1}.get(line[i], 0)
        if depth == 0:
            return i
    return None


def candidates_of(path, text):
    """(line number, kind, new line) for each mutation of one file."""
    lines = text.split("\n")
    previous = ""
    for n, line in enumerate(lines, 1):
        stripped = line.strip()
        ends_statement = previous.endswith((";", "{", "}")) or previous == "" \
            or previous.startswith("//")
        previous = stripped if not stripped.startswith("//") else previous
        if not stripped or stripped.startswith(("#", "//", "*", "/*")) \
                or "static_assert" in line or "template" in line:
            continue
        spans = code_spans(line)
        for m in COMPARISON_RE.finditer(line):
            if in_code(spans, m.start(), m.end()):
                new = COMPARISON[m.group(1)]
                yield n, "comparison", line[:m.start()] + new + line[m.end():]
        for m in LOGIC_RE.finditer(line):
            if in_code(spans, m.start(), m.end()):
                new = "||" if m.group(1) == "&&" else "&&"
                yield n, "logic", line[:m.start()] + new + line[m.end():]
        for m in CONDITION_RE.finditer(line):
            open_at = m.end() - 1
            close = matching_paren(line, open_at)
            declares = re.match(r"\((const |auto |[\w:]+\* )", line[open_at:])
            if close and not declares and in_code(spans, open_at, close + 1):
                yield n, "negation", (line[:open_at + 1] + "!(" + line[open_at + 1:close]
                                      + ")" + line[close:])
        for m in NUMBER_RE.finditer(line):
            if in_code(spans, m.start(), m.end()) and "[" not in line[:m.start()][-1:]:
                value = int(m.group(1))
                new = str(value + 1 if value == 0 or n % 2 else value - 1)
                yield n, "constant", line[:m.start()] + new + line[m.end():]
        if stripped == "return false;":
            yield n, "return false", line.replace("return false;", "{}")
        elif ends_statement and STATEMENT_RE.match(line) and not SKIP_STATEMENT.match(line) \
                and in_code(spans, len(line) - len(line.lstrip()), len(line.rstrip())):
            yield n, "statement", line[:len(line) - len(line.lstrip())] + "{}"


def all_candidates(root):
    result = []
    for folder in FOLDERS:
        for path in sorted((root / folder).rglob("*.cpp")):
            rel = path.relative_to(root).as_posix()
            for n, kind, new in candidates_of(rel, path.read_text(encoding="utf-8")):
                result.append((rel, n, kind, new))
    return result


def sample(root, seed, size):
    every = all_candidates(root)
    chosen = random.Random(seed).sample(range(len(every)), min(size, len(every)))
    return [every[i] for i in sorted(chosen)], len(every)


def main():
    command, root, seed, size = sys.argv[1], Path(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    mutants, total = sample(root, seed, size)
    if command == "list":
        print(f"# {len(mutants)} of {total} mutants, seed {seed}", file=sys.stderr)
        for k, (rel, n, kind, new) in enumerate(mutants):
            old = (root / rel).read_text(encoding="utf-8").split("\n")[n - 1]
            print(f"{k}\t{rel}\t{n}\t{kind}\t{old.strip()}  ->  {new.strip()}")
    elif command == "apply":
        rel, n, _, new = mutants[int(sys.argv[5])]
        path = root / rel
        lines = path.read_text(encoding="utf-8").split("\n")
        lines[n - 1] = new
        path.write_text("\n".join(lines), encoding="utf-8")


if __name__ == "__main__":
    main()
