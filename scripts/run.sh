#!/usr/bin/env bash
# Builds Quorrel (Release), installs it into its portable program folder and
# starts it from there. The folder defaults to ~/Quorrel; QUORREL_HOME moves it.
# Installing again replaces the program only: Set.ini, Doc.dat,
# WebDocuments.mdb and Documents/ in the folder are kept as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh run
prefix="${QUORREL_HOME:-$HOME/Quorrel}"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORREL_BUILD_TESTS=OFF
cmake --build build-release -j2
cmake --install build-release --prefix "$prefix"
echo "Quorrel is in $prefix"
exec "$prefix/quorrel" "$@"
