#!/usr/bin/env bash
# Drops text on the collector with a real drag under Xvfb and checks that it
# lands in Doc.dat. Usage: scripts/check-real-drag.sh <build dir with tests>
set -euo pipefail
build="${1:-build-test}"
here="$(cd "$(dirname "$0")/.." && pwd)"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

cp "$build/src/app/quorrel" "$work/"
# The collector stands at (300, 300) px, appending at once.
printf '[CollectorSet]\nleft=4500\ntop=4500\nCacheUpdate=false\ntip=false\n' > "$work/Set.ini"

export DISPLAY=:97
Xvfb :97 -screen 0 800x600x24 >/dev/null 2>&1 &
sleep 1
unset QT_QPA_PLATFORM
"$work/quorrel" &
"$build/tests/drag_source" "拖放的文字 dragged text" &
sleep 2

xdotool mousemove 60 40 mousedown 1
for x in 80 120 180 240 290 305 310; do xdotool mousemove "$x" $((x < 300 ? 100 + x / 2 : 312)); sleep 0.05; done
sleep 0.2
xdotool mouseup 1
sleep 1
[[ "${SHOT:-}" ]] && import -window root "$SHOT"

"$build/tests/rtf_text" "$work/Doc.dat"
