#!/usr/bin/env bash
# Builds Quorrel (Release), installs it into its portable program folder and
# starts it from there. The folder defaults to ~/Quorrel; QUORREL_HOME moves it.
# Installing again replaces the program only: Set.ini, Doc.dat,
# WebDocuments.mdb and Documents/ in the folder are kept as they are.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh run
prefix="${QUORREL_HOME:-$HOME/Quorrel}"
# A new program folder is the user's alone: it will hold their clippings.
[[ -e $prefix ]] || mkdir -p -m 700 "$prefix"
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORREL_BUILD_TESTS=OFF
cmake --build build-release -j2
cmake --install build-release --prefix "$prefix"
# An entry in the applications menu that starts the installed program.
applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$applications"
desktop_entry=$(mktemp "$applications/.quorrel.XXXXXX")
cat > "$desktop_entry" <<ENTRY
[Desktop Entry]
Type=Application
Name=Quorrel
Name[zh_CN]=Quorrel 文字收集器
Comment=Keep the text you drag onto a small floating window
Comment[zh_CN]=把选中的文字拖放到悬浮窗，随即保存
Exec="$prefix/quorrel"
Path=$prefix
Icon=$prefix/quorrel.svg
Terminal=false
Categories=Utility;TextTools;
StartupNotify=false
Actions=collect;

[Desktop Action collect]
Name=收集选中的文字
Exec="$prefix/quorrel" --collect
ENTRY
mv -f "$desktop_entry" "$applications/quorrel.desktop"
echo "Quorrel is in $prefix (menu entry: $applications/quorrel.desktop)"
exec "$prefix/quorrel" "$@"
