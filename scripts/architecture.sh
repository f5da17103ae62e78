#!/usr/bin/env bash
# Draws the program's libraries and their links from the build itself
# (cmake --graphviz, then Graphviz's dot) into docs/architecture.svg, so the
# picture in docs/architecture.md stays true. Usage: scripts/architecture.sh
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh run
if ! command -v dot >/dev/null; then
    sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q graphviz
fi

build=build-graph
mkdir -p "$build"
# The program's own libraries, the executable, Qt Widgets and SQLite; not the
# helpers that only build or test it, nor Qt's lower layers.
cat > "$build/CMakeGraphVizOptions.cmake" <<'OPTIONS'
set(GRAPHVIZ_GRAPH_NAME "Quorrel")
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "make_empty_db" "Qt6::moc" "Qt6::Core" "Qt6::Gui" "Qt6::Platform"
    "Qt6::.*Private" "WrapAtomic::.*" "Threads::Threads" "OpenGL::.*" "GLX" "XKB::.*"
    "-l.*" "Vulkan::.*" "WrapVulkanHeaders::.*" "PkgConfig::.*")
OPTIONS
cmake -S . -B "$build" -G Ninja -DQUORREL_BUILD_TESTS=OFF --graphviz="$build/quorrel.dot" >/dev/null
# Without CMake's legend of every kind of target: ours are all static
# libraries under one executable.
sed '/^subgraph clusterLegend {/,/^}/d' "$build/quorrel.dot" \
    | dot -Tsvg -Grankdir=TB -o docs/architecture.svg
echo "docs/architecture.svg"
