#!/usr/bin/env bash
# Makes docs/pytagoras-windows.png: pytagoras.exe at start, under wine on a private Xvfb display and wine
# prefix made for windows (scripts/wine-gui.sh), with wine's own window frame. Build the windows preset first.
set -euo pipefail
cd "$(dirname "$0")/.."
exe="$PWD/build/windows/win32/pytagoras.exe"
[ -f "$exe" ] || { echo "make-windows-screenshot: build the windows preset first" >&2; exit 1; }
source scripts/wine-gui.sh
gui_session
mkdir -p "$work/app"
(cd "$work/app" && gui_env /usr/lib/wine/wine64 "$exe") &
program=$!
window=$(gui_env timeout 30 xdotool search --sync --name '^Pytagoras$' | head -n1)
# Until the triangle is on the screen.
for _ in $(seq 100); do
    gui_env import -window "$window" "$work/shot.png"
    /usr/bin/convert "$work/shot.png" -fill white +opaque '#000080' -format '%@' info: 2>/dev/null | grep -qv '^0x0' && break
    sleep 0.1
done
cp "$work/shot.png" docs/pytagoras-windows.png
gui_env xdotool key ctrl+q
wait "$program"
echo "make-windows-screenshot: docs/pytagoras-windows.png"
