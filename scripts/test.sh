#!/usr/bin/env bash
# Builds Quorrel with its tests and runs the whole suite headless, under a
# fixed UTF-8 locale. Exits non-zero when anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh test
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 LANG=C.UTF-8
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORREL_BUILD_TESTS=ON
cmake --build build-test -j2
ctest --test-dir build-test --output-on-failure -j2
