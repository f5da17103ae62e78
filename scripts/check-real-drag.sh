#!/usr/bin/env bash
# Drops text on the collector with a real drag under Xvfb and checks that it
# lands in Doc.dat: exits 1, saying what it waited for, when it does not.
# Usage: scripts/check-real-drag.sh <build dir with tests>
# (SHOT=file.png also takes a screenshot after the drop.)
set -euo pipefail
build="${1:-build-test}"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
text="拖放的文字 dragged text"

# Polls "$@" every 0.1 s for up to $seconds; says what it waited for on timeout.
wait_until() {
    local what=$1 seconds=$2; shift 2
    for ((i = 0; i < seconds * 10; i++)); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
    echo "失败：等了 ${seconds} 秒，$what" >&2
    exit 1
}

cp "$build/src/app/quorrel" "$work/"
# The collector stands at (300, 300) px, appending at once.
printf '[CollectorSet]\nleft=4500\ntop=4500\nCacheUpdate=false\ntip=false\n' > "$work/Set.ini"

export DISPLAY=:97
Xvfb :97 -screen 0 800x600x24 >/dev/null 2>&1 &
wait_until "X 服务器 :97 没有启动" 10 xdotool getdisplaygeometry
unset QT_QPA_PLATFORM
"$work/quorrel" &
placed() { xdotool search --onlyvisible --name '^Quorrel$' getwindowgeometry | grep -q 'Position: 300,300'; }
wait_until "收集器没有出现在 (300, 300)" 10 placed
"$build/tests/drag_source" "$text" > "$work/source.log" &
source=$!
over() {
    xdotool mousemove 60 40
    local under; under=$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')
    xdotool search --onlyvisible --pid "$source" --name . | grep -qx "$under"
}
wait_until "拖放源的窗口没有出现在指针下" 10 over

# A user's drag: press, move until the source starts its drag, move onto the
# collector until it accepts, release.
said() { grep -q "$1" "$work/source.log"; }
xdotool mousemove 60 40 mousedown 1
started() { xdotool mousemove 61 41 mousemove 60 40; said "drag started"; }
wait_until "拖放源没有开始拖动" 10 started
for x in 80 120 180 240 290 305 310; do xdotool mousemove "$x" $((x < 300 ? 100 + x / 2 : 312)); done
accepted() { xdotool mousemove 311 313 mousemove 310 312; said "drag action: 1"; }
wait_until "收集器没有接受拖动" 10 accepted
xdotool mouseup 1
landed() { [[ "$("$build/tests/test_tool" rtf-text "$work/Doc.dat")" == "$text" ]]; }
wait_until "Doc.dat 没有收到拖放的文字" 10 landed
[[ "${SHOT:-}" ]] && import -window root "$SHOT"
echo "通过：拖放的文字已写入 Doc.dat"
