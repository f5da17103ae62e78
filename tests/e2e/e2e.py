#!/usr/bin/env python3
"""Quorrel as a user meets it: the real program on Xvfb, text dragged onto the
collector from another program with xdotool, the pop-up menu driven by the keyboard.

Usage: e2e.py --quorrel BIN --drag-source BIN --test-tool BIN --empty-db FILE [--wm]
(--wm: under openbox with trayer as the tray host; skipped without them)
"""
import argparse
import os
import sys
import tempfile

from e2e_common import DRAG_TEXT, Desktop, Quorrel, check, exit_code, holds, notice, run, title, wait_for

DRAG_FILE = (DRAG_TEXT.replace("\n", "\r\n") + "\r\n").encode()  # as a numbered file holds it
PAGE_TITLE = "测试页面"
PAGE_URL = "https://example.org/%E6%B5%8B%E8%AF%95?q=1"


def collector_part(desktop, args, label):
    print(f"--- the collector ({label})", flush=True)
    # Append at once, silent.
    with Quorrel(desktop, args, "CacheUpdate=false\ntip=false\n") as q:
        check(q.start() is not None, f"{label}: the collector shows")
        check(q.drag(), f"{label}: a drag is taken as a copy")
        check(wait_for(lambda: q.document() == DRAG_TEXT, 5), f"{label}: append at once writes Doc.dat")
        if args.wm:
            check("_NET_WM_STATE_ABOVE" in desktop.out("xprop", "-id", q.collector_window(), "_NET_WM_STATE"),
                  f"{label}: the collector stays on top")

        # A second Quorrel in the same folder ends at once.
        second = desktop.spawn([q.path("quorrel")])
        check(exit_code(second, 10) == 0, f"{label}: a second Quorrel exits at once")
        second.kill()

        # Moving the face with the left button, then the exit stores the place.
        start = q.geometry()
        x, y = q.centre()
        desktop.xdo("mousemove", str(x), str(y), "mousedown", "1")
        # The face follows once the window manager (or the collector) took the press.
        followed = desktop.wiggle(x + 20, y + 10, lambda: q.geometry() not in (None, start))
        for i in range(2, 6):
            desktop.xdo("mousemove", str(x + 20 * i), str(y + 10 * i))
        desktop.xdo("mouseup", "1")
        target = (start[0] + 100, start[1] + 50) if start else None
        moved = followed and wait_for(lambda: q.geometry() == target, 5) and target
        check(bool(moved), f"{label}: a left drag moves the collector by the pointer's way "
                           f"(from {start} to {q.geometry()}, {target} expected)")
        check(q.exit() == 0, f'{label}: "退出" ends the program')
        # The exit stored the place (in twips: tst_settings and tst_exit check those).
        check(q.start() is not None and wait_for(lambda: q.geometry() == moved, 5),
              f"{label}: the next start stands there")
        q.exit()

    # Cached append with notices: nothing on disk until the exit.
    with Quorrel(desktop, args, "") as q:
        q.start()
        check(q.drag(), f"{label}: cached drag taken")
        notice(desktop, f"{label}: cached drop")
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
        title(desktop, f"{label}: database drop", "e2e title")
        check(q.records() == [("e2e title", DRAG_TEXT)], f"{label}: the record holds the typed title")
        check(q.drag(), f"{label}: second database drag taken")
        if check(bool(desktop.wait_window("^输入信息$")), f"{label}: the title prompt appears again"):
            desktop.key("Escape")
            notice(desktop, f"{label}: cancelled title")
            check(len(q.records()) == 1, f"{label}: a cancelled prompt stores nothing")
    with Quorrel(desktop, args, "save=database\nAutoName=true\ntip=false\n") as q:
        q.start()
        check(q.drag(), f"{label}: automatic naming drag taken")
        check(wait_for(lambda: q.records() == [("文档", DRAG_TEXT)], 5), f'{label}: automatic naming titles "文档"')


def source_part(desktop, args, label):
    """A drag from a browser-like window keeps the page's title and the address
    the drag offers; the title prompt offers the page's title."""
    print(f"--- where a drop came from ({label})", flush=True)
    with Quorrel(desktop, args, "save=database\ntip=false\n") as q:
        q.start()
        check(q.drag(options=("--title", PAGE_TITLE + " — Mozilla Firefox", "--moz-url", PAGE_URL)),
              f"{label}: a drag from a browser-like window taken")
        if check(bool(desktop.wait_window("^输入信息$")), f"{label}: the title prompt appears"):
            desktop.key("Down", "Return")  # the offered title, as it is
        stored = wait_for(lambda: q.sources(), 5)
        check(stored[:1] == [(PAGE_TITLE, DRAG_TEXT, PAGE_TITLE, PAGE_URL, stored[0][4])] if stored else False,
              f"{label}: the record keeps the page's title and address, and the prompt offered the title ({stored})")
        # The time it was taken: tst_drops dropsKeepTheirSource.
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
        for steps, name, key in [(3, "Quorrel帮助", "Escape"), (2, "关于本程序", "Return")]:
            q.menu(*["Up"] * steps, "Return")
            if check(bool(desktop.wait_window(f"^{name}$")), f"{label}: {name} opens from the menu"):
                desktop.key(key)
                check(bool(desktop.wait_gone(f"^{name}$")), f"{label}: {key} closes {name}")

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
            if not folder:
                desktop.shot("export.png")
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


def parts(desktop, args):
    label = "window manager" if args.wm else "bare X"
    collector_part(desktop, args, label)
    source_part(desktop, args, label)
    if args.wm:  # closing windows needs a window manager
        tray_part(desktop, args, label)
        windows_part(desktop, args, label)
    else:
        bare_menu_part(desktop, args, label)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--drag-source", required=True)
    parser.add_argument("--wm", action="store_true")
    sys.exit(run(parser, parts, lambda args: ["openbox", "trayer", "xprop", "xwininfo"] if args.wm else [],
                 lambda args: Desktop(wm=args.wm)))
