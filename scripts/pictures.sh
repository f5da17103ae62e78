#!/usr/bin/env bash
# Renders every window of Quorrel under Xvfb to docs/window-*.png, for the
# README. Run it again whenever a window changes. Usage: scripts/pictures.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh test
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORREL_BUILD_TESTS=ON >/dev/null
cmake --build build-test -j2 --target render_windows quorrel_empty_database

# An X server of our own, on the first free display.
exec 3< <(exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null)
xvfb=$!
read -r -u 3 display
# By its process id: other X servers on the machine are not ours to end.
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
DISPLAY=":$display" QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 \
    build-test/tests/render_windows docs build-test/WebDocuments.mdb
