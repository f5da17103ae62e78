#!/usr/bin/env python3
"""`quorrel --collect` as a key binding runs it, on Xvfb, the selection owned by
xclip, with and without a collector running, in each save mode.

Usage: e2e_collect.py --quorrel BIN --test-tool BIN --empty-db FILE
E2E_SHOTS=folder keeps a screenshot of the title prompt a --collect raised.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

import e2e_common as e2e
from e2e_common import check, holds, run, title, wait_for

SELECTED = "选中的文字 😀\r\n第二行 second line"
KEPT = SELECTED.replace("\r\n", "\n")


class Desktop(e2e.Desktop):
    """With a runtime folder of our own (the collector's lock and channel) and
    programs that own the selections."""

    def __init__(self):
        self.runtime = tempfile.mkdtemp(prefix="quorrel-e2e-run-")
        os.chmod(self.runtime, 0o700)
        self.owners = {}
        super().__init__()
        self.env["XDG_RUNTIME_DIR"] = self.runtime

    def select(self, data, target=None, selection="primary"):
        """Another program owns the selection with `data` (bytes) as `target`."""
        self.drop_selection(selection)
        owner = subprocess.Popen(["xclip", "-selection", selection, "-quiet", "-i",
                                  *(["-t", target] if target else [])], env=self.env, stdin=subprocess.PIPE,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.owners[selection] = owner
        owner.stdin.write(data)
        owner.stdin.close()
        # Owned once xclip answers for it.
        wanted = target or "UTF8_STRING"
        return wait_for(lambda: wanted in subprocess.run(
            ["xclip", "-selection", selection, "-o", "-t", "TARGETS"], env=self.env,
            capture_output=True, text=True, timeout=10).stdout, 10)

    def drop_selection(self, selection="primary"):
        owner = self.owners.pop(selection, None)
        if owner:
            owner.kill()
            owner.wait()

    def close(self):
        for selection in list(self.owners):
            self.drop_selection(selection)
        super().close()
        shutil.rmtree(self.runtime, ignore_errors=True)


class Quorrel(e2e.Quorrel):
    def __init__(self, desktop, args, settings):
        super().__init__(desktop, args, settings, prefix="quorrel-e2e-collect-")

    def __exit__(self, *exc):
        self.end()

    def collectors(self):
        """Processes running this folder's executable (detached from us)."""
        def exe(pid):
            try:
                return os.readlink(f"/proc/{pid}/exe")
            except OSError:
                return None
        return [int(pid) for pid in filter(str.isdigit, os.listdir("/proc")) if exe(pid) == self.exe]

    def start(self):
        subprocess.Popen([self.exe], env=self.desktop.env, cwd=self.dir,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return wait_for(lambda: self.collector_window(), 30)

    def collector_window(self):
        return self.desktop.windows("^Quorrel$")

    def collect(self, *args, stdin=None):
        """Runs `quorrel --collect ARGS`; its exit code and standard error."""
        result = subprocess.run([self.exe, *(args or ("--collect",))], env=self.desktop.env,
                                input=stdin, capture_output=True, timeout=60)
        return result.returncode, result.stderr.decode(errors="replace").strip()

    def end(self):
        for pid in self.collectors():
            try:
                os.kill(pid, 9)
            except ProcessLookupError:
                pass
        wait_for(lambda: not self.collectors(), 10)
        shutil.rmtree(self.dir, ignore_errors=True)


def taken(q, label, *args, stdin=None):
    code, err = q.collect(*args, stdin=stdin)
    return check(code == 0 and err == "", f"{label}: the command exits 0 and says nothing ({code}, {err!r})")


def append_mode(desktop, args):
    with Quorrel(desktop, args, "CacheUpdate=false\ntip=false\n") as q:
        desktop.select(SELECTED.encode())
        taken(q, "append, none running")
        check(bool(wait_for(q.collector_window, 30)), "append, none running: a collector starts and shows")
        check(wait_for(lambda: q.document() == KEPT, 10), "append, none running: Doc.dat holds the selection")
        desktop.select("+again".encode())
        taken(q, "append, running")
        check(wait_for(lambda: q.document() == KEPT + "+again", 10), "append, running: added to Doc.dat")
        check(len(q.collectors()) == 1, "append: still one collector")

        # Standard input (GB18030 as well as UTF-8) and the clipboard.
        taken(q, "standard input", "--collect", "-", stdin="+中文".encode("gb18030"))
        check(wait_for(lambda: q.document() == KEPT + "+again+中文", 10), "standard input: GB18030 read")
        desktop.select(b"+clip", selection="clipboard")
        taken(q, "clipboard", "--collect-clipboard")
        check(wait_for(lambda: q.document() == KEPT + "+again+中文+clip", 10), "clipboard: added")

        # No text: an image, a file list without a text form, nothing selected.
        before = q.document()
        for what, data, target in [("an image", b"\x89PNG\r\n\x1a\n", "image/png"),
                                   ("a file list", b"file:///etc/hostname\r\n", "text/uri-list"),
                                   ("an empty selection", b"", None)]:
            desktop.select(data, target)
            code, err = q.collect()
            check(code != 0 and err.startswith("quorrel: "),
                  f"{what}: exits {code} with a message ({err!r})")
        check(q.document() == before, "no text: nothing stored")


def create_mode(desktop, args):
    with Quorrel(desktop, args, "save=create\ntip=false\n") as q:
        desktop.drop_selection()
        code, err = q.collect()
        check(code != 0 and err, f"nothing selected, none running: exits {code} with a message")
        check(not q.collectors(), "nothing selected, none running: no collector started")
        check(q.start() is not None, "create: a plain start shows the collector")
        desktop.select(SELECTED.encode())
        taken(q, "create, running")
        check(wait_for(lambda: holds(q.path("Documents/0.txt"), (KEPT.replace("\n", "\r\n") + "\r\n").encode()), 10),
              "create, running: Documents/0.txt")


def database_mode(desktop, args):
    with Quorrel(desktop, args, "save=database\n") as q:
        desktop.select(SELECTED.encode())
        taken(q, "database, none running")  # before the prompt: it has the text
        title(desktop, "database, none running", "typed title", "collect-title.png")
        check(wait_for(lambda: q.records() == [("typed title", KEPT)], 10),
              "database, none running: the record holds the typed title and the selection")


def parts(desktop, args):
    append_mode(desktop, args)
    create_mode(desktop, args)
    database_mode(desktop, args)


if __name__ == "__main__":
    sys.exit(run(argparse.ArgumentParser(), parts, lambda args: ["xclip"], lambda args: Desktop()))
