#!/usr/bin/env python3
"""Quorrel as a user meets it: the real program, a separate process on a real
X server (Xvfb), text dragged onto the collector from another program with
xdotool, the pop-up menu opened by a right press and driven by the keyboard.

Usage: e2e.py --quorrel BIN --drag-source BIN --rtf-text BIN --empty-db FILE [--wm]
With --wm the collector's part runs again under openbox with trayer as the
tray host (skipped when they are not installed).
"""
import argparse
import os
import random
import re
import shutil
import sqlite3
import subprocess
import sys
import tempfile
import time

COLLECTOR = (300, 300)  # left=4500, top=4500 twips at 96 DPI
SIDE = 37
DRAG_TEXT = "拖来的文字 😀 emoji\n第二行 second line"
DRAG_FILE = (DRAG_TEXT.replace("\n", "\r\n") + "\r\n").encode()  # as a numbered file holds it
PAGE_TITLE = "测试页面"
PAGE_URL = "https://example.org/%E6%B5%8B%E8%AF%95?q=1"
FAILURES = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        FAILURES.append(what)
    return condition


def wait_for(predicate, timeout=10.0, step=0.05):
    """Polls until `predicate` gives something true or `timeout` seconds
    passed; returns its last value. The only way this suite waits."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value
        time.sleep(step)


def holds(path, expected):
    """Whether the file at `path` exists and holds exactly `expected`."""
    try:
        with open(path, "rb") as f:
            return f.read() == expected
    except OSError:
        return False


class Lines:
    """The whole lines a child process printed so far, read without blocking."""

    def __init__(self, pipe):
        self.fd = pipe.fileno()
        os.set_blocking(self.fd, False)
        self.pending = b""
        self.lines = []

    def poll(self):
        while True:
            try:
                chunk = os.read(self.fd, 4096)
            except BlockingIOError:
                break
            if not chunk:
                break
            self.pending += chunk
        *done, self.pending = self.pending.split(b"\n")
        self.lines += [line.decode(errors="replace") for line in done]
        return self.lines

    def last(self, prefix):
        """The latest line starting with `prefix`, or None."""
        return next((line for line in reversed(self.poll()) if line.startswith(prefix)), None)


class Desktop:
    """An Xvfb of our own on a free display, optionally with a window manager
    and a tray host."""

    def __init__(self, wm=False):
        # A display number of our own, away from the low numbers that other
        # tests' servers take and drop; a number whose server fails is passed.
        self.extra = []
        self.xvfb = None
        for number in random.sample(range(200, 400), 200):
            if os.path.exists(f"/tmp/.X{number}-lock") or os.path.exists(f"/tmp/.X11-unix/X{number}"):
                continue
            self.env = dict(os.environ, DISPLAY=f":{number}", QT_QPA_PLATFORM="xcb")
            self.env.pop("WAYLAND_DISPLAY", None)
            self.xvfb = subprocess.Popen(
                ["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if wait_for(lambda: self.xvfb.poll() is not None or self.xdo("getdisplaygeometry"), 20) \
                    and self.xvfb.poll() is None:
                break
            self.xvfb.kill()
            self.xvfb.wait()
            self.xvfb = None
        if self.xvfb is None:
            raise RuntimeError("no Xvfb could be started")
        if wm:
            self.extra.append(self.spawn(["openbox"]))
            if not wait_for(lambda: "window id" in self.xprop("-root", "_NET_SUPPORTING_WM_CHECK"), 30):
                raise RuntimeError("openbox did not take charge of the display within 30 s")
            self.start_tray()

    def start_tray(self):
        """trayer as the tray host; it owns the tray selection before it
        shows its window. One that ends before it shows is started again."""
        for _ in range(3):
            log = tempfile.TemporaryFile()
            tray = self.spawn(["trayer", "--edge", "top", "--align", "left", "--widthtype", "pixel",
                               "--width", "120", "--height", "24", "--SetDockType", "true"],
                              stdout=log, stderr=subprocess.STDOUT)
            self.extra.append(tray)
            if wait_for(lambda: tray.poll() is not None
                        or self.xdo("search", "--onlyvisible", "--class", "^trayer$"), 30) and tray.poll() is None:
                return
            log.seek(0)
            print(f"     trayer {'ended with ' + str(tray.poll()) if tray.poll() is not None else 'did not show in 30 s'}"
                  f": {log.read().decode(errors='replace').strip()!r}", flush=True)
            tray.kill()
            tray.wait()
        raise RuntimeError("trayer did not show")

    def spawn(self, argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL):
        return subprocess.Popen(argv, env=self.env, stdout=stdout, stderr=stderr)

    def xdo(self, *args):
        result = subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True)
        return result.stdout.strip() if result.returncode == 0 else None

    def xprop(self, *args):
        return subprocess.run(["xprop", *args], env=self.env, capture_output=True, text=True).stdout

    def wiggle(self, x, y, done, timeout=10):
        """Moves the pointer to x, y and a pixel to the right, back and forth,
        until done() is true (a move the program had not read yet is made
        again); done()'s last value."""
        flip = [0]

        def step():
            flip[0] ^= 1
            self.xdo("mousemove", str(x + flip[0]), str(y))
            return done()
        return wait_for(step, timeout)

    def popups(self, pid):
        """The pop-up menus of process `pid` that are up: its mapped windows
        that the window manager leaves alone (override-redirect) and that stand
        on the screen itself (the tray icon's is one too, but inside the tray)."""
        found = self.xdo("search", "--onlyvisible", "--pid", str(pid)) or ""
        menus = []
        for wid in found.split():
            info = subprocess.run(["xwininfo", "-all", "-id", wid], env=self.env, capture_output=True,
                                  text=True).stdout
            if "Override Redirect State: yes" in info and re.search(r"Parent window id: \S+ \(the root window\)", info):
                menus.append(wid)
        return menus

    def focused(self, wid):
        """Whether window `wid` has the keyboard focus (keys typed go to it)."""
        return self.xdo("getwindowfocus", "-f") == wid

    def client_area(self, wid):
        """x, y, width, height of a window's inside on the screen (xdotool's
        own figure is off by the frame under a reparenting window manager)."""
        info = subprocess.run(["xwininfo", "-id", wid], env=self.env, capture_output=True,
                              text=True).stdout
        values = {}
        for line in info.splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def windows(self, name):
        found = self.xdo("search", "--onlyvisible", "--name", name)
        return found.split() if found else []

    def wait_window(self, name, timeout=10, focused=True):
        """The ids of the windows named `name` once one is shown and, with
        `focused`, has the keyboard focus, so keys pressed next reach it."""
        shown = wait_for(lambda: self.windows(name), timeout)
        if shown and focused and not wait_for(lambda: any(self.focused(w) for w in self.windows(name)), timeout):
            print(f"     {name} is shown but never got the keyboard focus "
                  f"(focus on {self.xdo('getwindowfocus', '-f')})", flush=True)
            return []
        return shown

    def wait_gone(self, name, timeout=10):
        return wait_for(lambda: not self.windows(name), timeout)

    def key(self, *keys):
        # Queued in order by the X server; the program reads them in turn.
        self.xdo("key", *keys)

    def close(self):
        for p in self.extra:
            p.kill()
        self.xvfb.kill()
        self.xvfb.wait()


class Quorrel:
    """An installed Quorrel in a program folder of its own."""

    def __init__(self, desktop, args, settings, prefix="quorrel-e2e-"):
        self.desktop = desktop
        self.args = args
        self.dir = tempfile.mkdtemp(prefix=prefix)
        self.exe = os.path.join(self.dir, "quorrel")
        shutil.copy(args.quorrel, self.exe)
        shutil.copy(args.empty_db, os.path.join(self.dir, "WebDocuments.mdb"))
        with open(self.path("Set.ini"), "w", encoding="utf-8") as f:
            f.write("[CollectorSet]\nleft=4500\ntop=4500\n" + settings)
        self.proc = None
        self.source = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()

    def path(self, name):
        return os.path.join(self.dir, name)

    def start(self):
        log = open(self.path("stderr.log"), "ab")
        self.proc = self.desktop.spawn([self.exe], stderr=log)
        shown = wait_for(self.collector_window, 30)  # a busy machine starts slowly
        if not shown:
            log.flush()
            with open(self.path("stderr.log"), "rb") as f:
                print("     quorrel did not show; exit status", self.proc.poll(), "said:",
                      f.read().decode(errors="replace"), flush=True)
        return shown

    def collector_window(self):
        ids = self.desktop.xdo("search", "--all", "--onlyvisible", "--pid", str(self.proc.pid),
                               "--name", "^Quorrel$")
        return ids.split()[0] if ids else None

    def geometry(self):
        wid = self.collector_window()
        out = self.desktop.xdo("getwindowgeometry", "--shell", wid) if wid else None
        if not out:
            return None
        values = dict(line.split("=", 1) for line in out.splitlines())
        return int(values["X"]), int(values["Y"])

    def centre(self):
        x, y = self.geometry() or COLLECTOR
        return x + SIDE // 2, y + SIDE // 2

    def menu(self, *keys, at=None):
        """Right press on the face (or at `at`), then, once the menu is up,
        keys in it; the last one must close it. False, saying why, when the
        menu did not open or stayed open."""
        x, y = at or self.centre()
        self.desktop.xdo("mousemove", str(x), str(y), "click", "3")
        if not wait_for(lambda: self.desktop.popups(self.proc.pid), 10):
            print(f"     no menu opened within 10 s of a right press at {x},{y}", flush=True)
            return False
        self.desktop.key(*keys)
        if not wait_for(lambda: not self.desktop.popups(self.proc.pid), 10):
            print(f"     the menu was still open 10 s after the keys {' '.join(keys)}", flush=True)
            self.desktop.key("Escape")
            return False
        return True

    def exit(self):
        self.menu("Up", "Return")  # "退出" is the last item
        try:
            return self.proc.wait(10)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        self.end_source()
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def end_source(self):
        if self.source:
            self.source.kill()
            self.source.wait()
            self.source = None

    def document(self):
        if not os.path.exists(self.path("Doc.dat")):
            return None
        out = subprocess.run([self.args.rtf_text, self.path("Doc.dat")], capture_output=True)
        return out.stdout.decode("utf-8")[:-1] if out.returncode == 0 else None

    def records(self):
        with sqlite3.connect(self.path("WebDocuments.mdb")) as db:
            return db.execute("SELECT 标题, 内容 FROM WebDocuments ORDER BY rowid").fetchall()

    def sources(self):
        """(标题, 内容, 来源标题, 来源网址, 收集时间) of each record; the source
        fields are None where the table has none."""
        with sqlite3.connect(self.path("WebDocuments.mdb")) as db:
            fields = [row[1] for row in db.execute("PRAGMA table_info(WebDocuments)")]
            source = [f'"{name}"' if name in fields else "NULL" for name in ("来源标题", "来源网址", "收集时间")]
            return db.execute(f"SELECT 标题, 内容, {', '.join(source)} FROM WebDocuments ORDER BY rowid").fetchall()

    def settings(self):
        with open(self.path("Set.ini"), encoding="utf-8") as f:
            return dict(line.strip().split("=", 1) for line in f if "=" in line)

    def drag(self, text=DRAG_TEXT, attempts=2, options=()):
        """Drags `text` from a source window (drag_source with `options`) onto
        the collector; True when the source saw the drop taken. Each step waits for what the source says:
        the drag running, the collector accepting it, the drop taken. A drag
        that did not register is tried once more; one that registered is
        never repeated."""
        for _ in range(attempts):
            # The source must outlive the drop: its drag ends when it sends the
            # drop, and the collector fetches the text only afterwards.
            self.end_source()
            self.source = self.desktop.spawn([self.args.drag_source, *options, text], stdout=subprocess.PIPE)
            said = Lines(self.source.stdout)
            if not wait_for(lambda: self.desktop.xdo("search", "--onlyvisible", "--class", "^drag_source$"), 10):
                print("     the drag source did not show within 10 s", flush=True)
                continue
            tx, ty = self.centre()
            # The collector must be what lies under the target point.
            self.desktop.xdo("mousemove", str(tx), str(ty))
            wid = self.collector_window()
            wait_for(lambda: wid and f"window:{wid}" in (self.desktop.xdo("getmouselocation") or ""), 5)
            self.desktop.xdo("mousemove", "60", "40", "mousedown", "1")
            # The source starts its drag at a move with the button down.
            accepted = None
            started = self.desktop.wiggle(61, 41, lambda: said.last("drag started"))
            if started:
                for i in range(1, 9):
                    self.desktop.xdo("mousemove", str(60 + (tx - 60) * i // 8), str(40 + (ty - 40) * i // 8))
                # Each move over the collector asks it again whether it takes
                # the drag; released only once it said yes.
                accepted = self.desktop.wiggle(tx + 1, ty + 1,
                                               lambda: said.last("drag action:") == "drag action: 1")
            self.desktop.xdo("mouseup", "1")
            ended = wait_for(lambda: said.last("drag ended:"), 10)
            if ended == "drag ended: 1":
                return True
            why = ("the source never started its drag" if not started else
                   "the collector never accepted it" if not accepted else ended or "no answer")
            print(f"     drag not taken ({why}), pointer at {self.desktop.xdo('getmouselocation')}, "
                  f"the source said {said.poll()}", flush=True)
        return False


def notice(q, what):
    """The "提示" box is up; Return closes it."""
    shown = check(bool(q.desktop.wait_window("^提示$")), what + ': the "提示" box appears')
    q.desktop.key("Return")
    q.desktop.wait_gone("^提示$")
    return shown


def collector_part(desktop, args, label):
    print(f"--- the collector ({label})", flush=True)
    # Append at once, silent.
    with Quorrel(desktop, args, "CacheUpdate=false\ntip=false\n") as q:
        check(q.start() is not None, f"{label}: the collector shows")
        check(q.drag(), f"{label}: a drag is taken as a copy")
        check(wait_for(lambda: q.document() == DRAG_TEXT, 5), f"{label}: append at once writes Doc.dat")
        if args.wm:
            wid = q.collector_window()
            state = subprocess.run(["xprop", "-id", wid, "_NET_WM_STATE"], env=desktop.env,
                                   capture_output=True, text=True).stdout
            check("_NET_WM_STATE_ABOVE" in state, f"{label}: the collector stays on top")

        # A second Quorrel in the same folder ends at once.
        second = desktop.spawn([q.path("quorrel")])
        try:
            code = second.wait(10)
        except subprocess.TimeoutExpired:
            second.kill()
            code = None
        check(code == 0, f"{label}: a second Quorrel exits at once")

        # Moving the face with the left button, then the exit stores the place.
        start = q.geometry()
        x, y = q.centre()
        desktop.xdo("mousemove", str(x), str(y), "mousedown", "1")
        # The face follows the pointer once the window manager (or, on a bare
        # server, the collector itself) has taken the press.
        followed = desktop.wiggle(x + 20, y + 10, lambda: q.geometry() not in (None, start))
        for i in range(2, 6):
            desktop.xdo("mousemove", str(x + 20 * i), str(y + 10 * i))
        desktop.xdo("mouseup", "1")
        target = (start[0] + 100, start[1] + 50) if start else None
        moved = followed and wait_for(lambda: q.geometry() == target, 5) and target
        check(bool(moved), f"{label}: a left drag moves the collector by the pointer's way "
                           f"(from {start} to {q.geometry()}, {target} expected)")
        check(q.exit() == 0, f'{label}: "退出" ends the program')
        stored = q.settings()
        if moved:
            check((stored.get("left"), stored.get("top")) == (str(moved[0] * 15), str(moved[1] * 15)),
                  f"{label}: the exit stores the position in twips")
        check(q.start() is not None and wait_for(lambda: q.geometry() == moved, 5),
              f"{label}: the next start stands there")
        q.exit()

    # Cached append with notices: nothing on disk until the exit.
    with Quorrel(desktop, args, "") as q:
        q.start()
        check(q.drag(), f"{label}: cached drag taken")
        notice(q, f"{label}: cached drop")
        check(q.document() is None, f"{label}: cached text stays off the disk")
        check(q.exit() == 0 and q.document() == DRAG_TEXT, f"{label}: the exit writes the cached text")

    # Create mode: a numbered file with CR LF line ends.
    with Quorrel(desktop, args, "save=create\ntip=false\n") as q:
        q.start()
        check(q.drag(), f"{label}: create-mode drag taken")
        check(wait_for(lambda: holds(q.path("Documents/0.txt"), DRAG_FILE), 5),
              f"{label}: create mode writes Documents/0.txt")

    # Database mode: a typed title, a cancelled prompt, then automatic naming.
    with Quorrel(desktop, args, "save=database\n") as q:
        q.start()
        check(q.drag(), f"{label}: database drag taken")
        if check(bool(desktop.wait_window("^输入信息$")), f'{label}: the title prompt "输入信息" appears'):
            desktop.xdo("type", "--delay", "20", "e2e title")
            desktop.key("Return")
            notice(q, f"{label}: database drop")
        check(q.records() == [("e2e title", DRAG_TEXT)], f"{label}: the record holds the typed title")
        check(q.drag(), f"{label}: second database drag taken")
        if check(bool(desktop.wait_window("^输入信息$")), f"{label}: the title prompt appears again"):
            desktop.key("Escape")
            notice(q, f"{label}: cancelled title")
            check(len(q.records()) == 1, f"{label}: a cancelled prompt stores nothing")
    with Quorrel(desktop, args, "save=database\nAutoName=true\ntip=false\n") as q:
        q.start()
        check(q.drag(), f"{label}: automatic naming drag taken")
        check(wait_for(lambda: q.records() == [("文档", DRAG_TEXT)], 5), f'{label}: automatic naming titles "文档"')


def source_part(desktop, args, label):
    """A drag from a browser-like window keeps the page's title, the address
    the drag offers and the time; the title prompt offers the page's title."""
    print(f"--- where a drop came from ({label})", flush=True)
    with Quorrel(desktop, args, "save=database\ntip=false\n") as q:
        q.start()
        before = int(time.time())
        check(q.drag(options=("--title", PAGE_TITLE + " — Mozilla Firefox", "--moz-url", PAGE_URL)),
              f"{label}: a drag from a browser-like window taken")
        if check(bool(desktop.wait_window("^输入信息$")), f"{label}: the title prompt appears"):
            desktop.key("Down", "Return")  # the offered title, as it is
        stored = wait_for(lambda: q.sources(), 5)
        check(stored[:1] == [(PAGE_TITLE, DRAG_TEXT, PAGE_TITLE, PAGE_URL, stored[0][4])] if stored else False,
              f"{label}: the record keeps the page's title and address, and the prompt offered the title ({stored})")
        taken = stored[0][4] if stored else None
        try:
            seconds = time.mktime(time.strptime(taken, "%Y-%m-%d %H:%M:%S"))
        except (TypeError, ValueError):
            seconds = None
        check(seconds is not None and before - 1 <= seconds <= time.time() + 1,
              f"{label}: the record keeps the local time it was taken ({taken})")
        # A window that never takes the focus is not the active one: the
        # window such a drag comes from cannot be told, and it stores no source.
        check(q.drag(options=("--title", "Page - Chromium", "--no-focus")),
              f"{label}: a drag from a window that cannot be told taken")
        if desktop.wait_window("^输入信息$"):
            desktop.xdo("type", "--delay", "20", "plain")
            desktop.key("Return")
        stored = wait_for(lambda: len(q.sources()) == 2 and q.sources(), 5)
        check(bool(stored) and stored[1] == ("plain", DRAG_TEXT, None, None, None),
              f"{label}: a drag with no source stores none ({stored})")


def windows_part(desktop, args, label):
    """The windows reached from the collector's menu, as a user opens them."""
    print(f"--- the windows ({label})", flush=True)
    with Quorrel(desktop, args, "CacheUpdate=false\ntip=false\n") as q:
        q.start()
        # Advanced settings: the next drop follows the new save mode at once.
        q.menu("Up", "Up", "Up", "Up", "Return")
        if check(bool(desktop.wait_window("^高级设置$")), f'{label}: "高级设置" opens from the menu'):
            desktop.key("Down", "Return")  # from append to create, then OK
            desktop.wait_gone("^高级设置$")
        check(q.settings().get("save") == "create", f"{label}: OK writes the chosen save mode")
        check(q.drag(), f"{label}: drag after the settings change taken")
        check(wait_for(lambda: os.path.exists(q.path("Documents/0.txt")), 5),
              f"{label}: the next drop follows the new mode without a restart")
        q.menu("Up", "Up", "Up", "Up", "Return")
        if desktop.wait_window("^高级设置$"):
            desktop.key("Up", "Up", "space", "Return")  # back to append
            desktop.wait_gone("^高级设置$")
        check(q.settings().get("save") == "append", f"{label}: the mode switches back")

        # Help and about open and close from the keyboard.
        q.menu("Up", "Up", "Up", "Return")
        if check(bool(desktop.wait_window("^Quorrel帮助$")), f'{label}: "帮助" opens the help window'):
            desktop.key("Escape")
            check(bool(desktop.wait_gone("^Quorrel帮助$")), f"{label}: Escape closes the help window")
        q.menu("Up", "Up", "Return")
        if check(bool(desktop.wait_window("^关于本程序$")), f'{label}: "关于" opens the about window'):
            desktop.key("Return")
            check(bool(desktop.wait_gone("^关于本程序$")), f'{label}: "确    定" closes the about window')

        # The editor: typed text and a drop made while it is open both survive
        # its close (which saves, as exitnew is on by default).
        q.menu("Down", "Return")
        editor = desktop.wait_window("^Quorrel-默认文档编辑器$")
        if check(bool(editor), f'{label}: "启动文档编辑器" opens the editor'):
            desktop.xdo("windowactivate", "--sync", editor[0])
            desktop.xdo("type", "--delay", "20", "typed ")
            check(q.drag(), f"{label}: drag while the editor is open taken")
            wait_for(lambda: q.document() == DRAG_TEXT, 5)
            closed = False
            for _ in range(3):  # a key pressed while openbox still activates is lost
                desktop.xdo("windowactivate", "--sync", editor[0])
                desktop.key("alt+F4")
                closed = desktop.wait_gone("^Quorrel-默认文档编辑器$", 3)
                if closed:
                    break
            check(bool(closed), f"{label}: the editor closes (Alt+F4)")
            check(wait_for(lambda: q.document() == "typed " + DRAG_TEXT, 5),
                  f"{label}: closing the editor keeps the typed text and the drop ({q.document()!r})")
        check(q.exit() == 0, f"{label}: the exit after the windows")

    # The browser lists what a database-mode drop stored, and its batch export
    # writes it out.
    with Quorrel(desktop, args, "save=database\nAutoName=true\ntip=false\n") as q, \
            tempfile.TemporaryDirectory(prefix="quorrel-e2e-export-") as out:
        q.start()
        check(q.drag() and wait_for(lambda: len(q.records()) == 1, 5),
              f"{label}: a database-mode drop before the browser")
        q.menu("Down", "Down", "Return")
        browser = desktop.wait_window("^文档浏览器 - Quorrel专用版$")
        if check(bool(browser), f'{label}: "启动文档浏览器" opens the browser'):
            x, y, w, h = desktop.client_area(browser[0])
            # "成批导出": fourth of five buttons in the bottom row.
            desktop.xdo("mousemove", str(x + w * 7 // 10), str(y + h - 25), "click", "1")
            folder = desktop.wait_window("^请选择要导出文件存放的目录：$")
            if not folder and os.environ.get("E2E_SHOTS"):
                subprocess.run(["import", "-window", "root", "-display", desktop.env["DISPLAY"],
                                os.path.join(os.environ["E2E_SHOTS"], "export.png")])
            if check(bool(folder), f"{label}: batch export asks for the folder"):
                desktop.xdo("windowactivate", "--sync", folder[0])
                desktop.xdo("type", "--delay", "10", out)
                desktop.key("Return")
                check(wait_for(lambda: holds(os.path.join(out, "0.txt"), DRAG_FILE), 10),
                      f"{label}: the batch export writes the dropped record to 0.txt")
        check(q.exit() == 0 and not desktop.windows("^文档浏览器 - Quorrel专用版$"),
              f"{label}: the exit closes the browser too")


def tray_part(desktop, args, label):
    """Hide and show through the tray icon, where there is a tray."""
    with Quorrel(desktop, args, "tip=false\n") as q:
        q.start()
        q.menu("Down", "Down", "Down", "Down", "Return")  # "隐藏悬浮窗", enabled with a tray
        check(wait_for(lambda: q.collector_window() is None, 5), f"{label}: hide from the menu")
        # trayer stands at the top left; its one icon is ours.
        q.menu("Down", "Down", "Down", "Down", "Return", at=(12, 12))  # "显示悬浮窗"
        check(wait_for(lambda: q.collector_window() is not None, 5), f"{label}: show again from the tray icon")
        check(q.exit() == 0, f"{label}: the exit after hide and show")


def bare_menu_part(desktop, args, label):
    """Without a tray "隐藏悬浮窗" is disabled: nothing could bring the window
    back. The keyboard passes over it, so the fourth step is "高级设置"."""
    with Quorrel(desktop, args, "tip=false\n") as q:
        q.start()
        q.menu("Down", "Down", "Down", "Down", "Return")
        check(bool(desktop.wait_window("^高级设置$")) and q.collector_window() is not None,
              f'{label}: "隐藏悬浮窗" is disabled without a tray')
        desktop.key("Escape")
        desktop.wait_gone("^高级设置$")
        check(q.exit() == 0, f"{label}: the exit")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--quorrel", required=True)
    parser.add_argument("--drag-source", required=True)
    parser.add_argument("--rtf-text", required=True)
    parser.add_argument("--empty-db", required=True)
    parser.add_argument("--wm", action="store_true")
    args = parser.parse_args()
    for tool in ["Xvfb", "xdotool"] + (["openbox", "trayer", "xprop", "xwininfo"] if args.wm else []):
        if not shutil.which(tool):
            print(f"SKIP: {tool} is not installed")
            return 77
    desktop = Desktop(wm=args.wm)
    try:
        label = "window manager" if args.wm else "bare X"
        collector_part(desktop, args, label)
        source_part(desktop, args, label)
        if args.wm:  # closing windows needs a window manager
            tray_part(desktop, args, label)
            windows_part(desktop, args, label)
        else:
            bare_menu_part(desktop, args, label)
    finally:
        desktop.close()
    print(f"{len(FAILURES)} failed" if FAILURES else "all passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
