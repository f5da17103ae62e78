#!/usr/bin/env bash
# Installs the Debian packages that building, running or testing Quorrel needs,
# and only those that are missing. Usage: scripts/deps.sh run|test
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libsqlite3-dev
          qt6-translations-l10n fonts-noto-cjk mdbtools-dev libxcb1-dev)
if [[ "${1:-run}" == test ]]; then
    # Headless display checks (xclip owns the selection --collect reads), a
    # window manager and tray host for the desktop end-to-end run, LibreOffice
    # as the reference RTF reader, the sqlite3 shell that the import benchmark
    # compares against, mdb-export that the Access benchmark compares against,
    # and pandoc that reads the Markdown export back.
    packages+=(xvfb xauth xdotool xclip x11-utils openbox trayer python3 imagemagick
               libreoffice-writer-nogui sqlite3 mdbtools pandoc)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}"
