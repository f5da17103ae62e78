#!/usr/bin/env python3
"""Reads an export of every record back with readers Quorrel did not write
(Python's json for JSON Lines, pandoc for Markdown) and prints the records as
a JSON list of [title, content, source title, address, time].

Usage: read_export.py jsonl|md FILE"""
import json
import subprocess
import sys

FIELDS = {"来源标题": 2, "来源网址": 3, "收集时间": 4}


def inline_text(inlines):
    out = []
    for node in inlines:
        kind = node["t"]
        if kind == "Str":
            out.append(node["c"])
        elif kind == "Space":
            out.append(" ")
        elif kind == "Link":
            out.append(inline_text(node["c"][1]))
        else:  # any other markup means the text was not written literally
            raise ValueError("unexpected %s in %r" % (kind, inlines))
    return "".join(out)


def read_markdown(path):
    ast = json.loads(subprocess.run(
        ["pandoc", "--from=markdown", "--to=json", "--preserve-tabs", path],
        check=True, capture_output=True).stdout)
    records = []
    for block in ast["blocks"]:
        kind = block["t"]
        if kind == "Header":
            records.append([inline_text(block["c"][2]), "", "", "", ""])
        elif kind == "BulletList":
            for item in block["c"]:
                label, value = inline_text(item[0]["c"]).split("：", 1)
                records[-1][FIELDS[label]] = value
        elif kind == "CodeBlock":
            (_, classes, _), text = block["c"]
            if "crlf" in classes:
                text = text.replace("\n", "\r\n")
            if "json" in classes:
                text = json.loads(text)
            records[-1][1] = text
        else:
            raise ValueError("unexpected block %s" % kind)
    return records


def read_json_lines(path):
    with open(path, encoding="utf-8", newline="") as f:
        return [[r["title"], r["content"], r["source_title"], r["source_url"],
                 r["collected_at"]] for r in map(json.loads, f)]


read = read_markdown if sys.argv[1] == "md" else read_json_lines
json.dump(read(sys.argv[2]), sys.stdout)
