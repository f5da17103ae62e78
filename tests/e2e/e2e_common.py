"""What the end-to-end scripts share: an Xvfb of their own, an installed
Quorrel in a program folder of its own, the checks and the bounded waits."""
import itertools
import os
import random
import re
import shutil
import sqlite3
import subprocess
import tempfile
import time

COLLECTOR = (300, 300)  # left=4500, top=4500 twips at 96 DPI
SIDE = 37
DRAG_TEXT = "拖来的文字 😀 emoji\n第二行 second line"
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


def exit_code(proc, timeout):
    """`proc`'s exit code once it ended within `timeout` seconds, else None."""
    try:
        return proc.wait(timeout)
    except subprocess.TimeoutExpired:
        return None


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
        try:
            while chunk := os.read(self.fd, 4096):
                self.pending += chunk
        except BlockingIOError:
            pass
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
            if not wait_for(lambda: "window id" in self.out("xprop", "-root", "_NET_SUPPORTING_WM_CHECK"), 30):
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

    def out(self, *argv):
        """What the X client `argv` printed."""
        return subprocess.run(argv, env=self.env, capture_output=True, text=True).stdout

    def wiggle(self, x, y, done, timeout=10):
        """Moves the pointer between x, y and a pixel to the right until done()
        (a move the program had not read yet is made again); done()'s last value."""
        flip = itertools.cycle((1, 0))
        return wait_for(lambda: [self.xdo("mousemove", str(x + next(flip)), str(y)), done()][1], timeout)

    def popups(self, pid):
        """The pop-up menus of process `pid` that are up: its mapped windows
        that the window manager leaves alone (override-redirect) and that stand
        on the screen itself (the tray icon's is one too, but inside the tray)."""
        found = self.xdo("search", "--onlyvisible", "--pid", str(pid)) or ""
        return [wid for wid in found.split()
                if "Override Redirect State: yes" in (info := self.out("xwininfo", "-all", "-id", wid))
                and re.search(r"Parent window id: \S+ \(the root window\)", info)]

    def client_area(self, wid):
        """x, y, width, height of a window's inside on the screen (xdotool's
        own figure is off by the frame under a reparenting window manager)."""
        info = self.out("xwininfo", "-id", wid)
        return tuple(int(re.search(rf"{key}: +(-?\d+)", info)[1])
                     for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def windows(self, name):
        found = self.xdo("search", "--onlyvisible", "--name", name)
        return found.split() if found else []

    def wait_window(self, name, timeout=10):
        """The ids of the windows named `name` once one is shown and has the
        keyboard focus, so keys pressed next reach it."""
        shown = wait_for(lambda: self.windows(name), timeout)
        if shown and not wait_for(lambda: self.xdo("getwindowfocus", "-f") in self.windows(name), timeout):
            print(f"     {name} is shown but never got the keyboard focus "
                  f"(focus on {self.xdo('getwindowfocus', '-f')})", flush=True)
            return []
        return shown

    def wait_gone(self, name, timeout=10):
        return wait_for(lambda: not self.windows(name), timeout)

    def key(self, *keys):
        # Queued in order by the X server; the program reads them in turn.
        self.xdo("key", *keys)

    def shot(self, name):
        """A screenshot into $E2E_SHOTS, when set."""
        folder = os.environ.get("E2E_SHOTS")
        if folder:
            subprocess.run(["import", "-window", "root", "-display", self.env["DISPLAY"],
                            os.path.join(folder, name)])

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
        values = dict(line.split("=", 1) for line in (out or "").splitlines())
        return (int(values["X"]), int(values["Y"])) if values else None

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
        return exit_code(self.proc, 10)

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
        out = subprocess.run([self.args.test_tool, "rtf-text", self.path("Doc.dat")], capture_output=True)
        return out.stdout.decode("utf-8")[:-1] if out.returncode == 0 else None

    def records(self):
        return [row[:2] for row in self.sources()]

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
        """Drags `text` from drag_source `options` onto the collector, each step
        waiting for what the source says; True once it saw the drop taken. Only
        a drag that did not register is tried again."""
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


def notice(desktop, what):
    """The "提示" box is up; Return closes it."""
    shown = check(bool(desktop.wait_window("^提示$")), what + ': the "提示" box appears')
    desktop.key("Return")
    desktop.wait_gone("^提示$")
    return shown


def title(desktop, label, typed, shot=None):
    """The title prompt is up: type the title, then close the "提示" box."""
    if check(bool(desktop.wait_window("^输入信息$", 30)), f'{label}: the title prompt "输入信息" appears'):
        desktop.xdo("type", "--delay", "20", typed)
        if shot:
            desktop.shot(shot)
        desktop.key("Return")
        notice(desktop, label)


def run(parser, parts, tools=lambda args: [], desktop=lambda args: Desktop()):
    """Parses the arguments (each script takes --quorrel, --test-tool and
    --empty-db), skips (77) without a tool it needs, runs parts(desktop, args)
    on an X server of its own; the exit code."""
    for name in ("--quorrel", "--test-tool", "--empty-db"):
        parser.add_argument(name, required=True)
    args = parser.parse_args()
    for tool in ["Xvfb", "xdotool", *tools(args)]:
        if not shutil.which(tool):
            print(f"SKIP: {tool} is not installed")
            return 77
    screen = desktop(args)
    try:
        parts(screen, args)
    finally:
        screen.close()
    print(f"{len(FAILURES)} failed" if FAILURES else "all passed")
    return 1 if FAILURES else 0
