#!/usr/bin/env bash
# pytagoras.exe and its installer end to end under wine, driven as a user would: on the private display and
# in the wine prefix made for windows (scripts/wine-gui.sh; DISPLAY and WINEPREFIX set by the caller).
#   1. start, screenshot: the navy triangle and the gray squares where the Linux window draws them;
#   2. A, 30, Enter: the panel changes, the figure does not;
#   3. Ctrl+Q: exit code 0, the INI file written back, the summary logged;
#   4. a second run ended by the end of the session: the same before the process goes;
#   5. the installer, silently: files, Start-menu entry and uninstall entry; then the uninstaller.
# Usage: gui-e2e.sh PYTAGORAS_EXE INSTALLER WORK
set -euo pipefail
exe=$1 installer=$2 work=$3
wine=/usr/lib/wine/wine64
fail() { echo "gui-e2e: $*" >&2; exit 1; }
mkdir -p "$work/app"
cd "$work/app"

shot() { import -window root "$work/$1.png"; }
# The box around every pixel of a colour, in the screenshot or in a part of it (WxH+X+Y): WxH+X+Y, counted
# from the part's corner; 0x0 when there is none.
box() {
    /usr/bin/convert "$work/$1.png" ${3:+-crop "$3"} -fill white +opaque "$2" -fill black -opaque "$2" -format '%@' \
        info: 2>/dev/null
}
log_file() { find "$WINEPREFIX/drive_c/users" -path '*Solvemar/log/pytagoras.log' | head -n1; }
# The INI file as the program found it, with a line the program does not know: written back, it is gone.
fresh_ini() { printf '[STANDARD]\r\nLogToFile=1\r\nVerboseLogging=1\r\n' >SOLVEMAR.INI; }
mark_ini() { printf '[E2E]\r\nmerke=1\r\n' >>SOLVEMAR.INI; }
expect_stopped_cleanly() {
    grep -q merke SOLVEMAR.INI && fail "$1: the INI file was not written back"
    tail -n2 "$(log_file)" | grep -q "AVSLUTTER PROGRAM. 0 feilmeldinger og 0 advarsler" ||
        fail "$1: no summary at the end of the log"
}
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true' EXIT
start() {
    "$wine" "$exe" &
    pid=$!
    window=$(timeout 30 xdotool search --sync --name '^Pytagoras$' | head -n1) || fail "no window"
    # The first paint: the navy triangle on the screen.
    for _ in $(seq 100); do
        shot "$1"
        [[ "$(box "$1" '#000080')" != 0x0* ]] && return 0
        sleep 0.1
    done
    fail "the window was never painted"
}

fresh_ini
start start
geometry=$(xdotool getwindowgeometry "$window")
grep -q "Geometry: 950x700" <<<"$geometry" || fail "not 950 x 700: $geometry"
# The client area's origin from the triangle (its outline from (250, 220) to (450, 420), pen 2): the squares
# must be where the Linux window draws them, (50, 20) to (650, 620).
read -r w h x y <<<"$(box start '#000080' | tr 'x+' '  ')"
[ "$w $h" = "202 202" ] || fail "the triangle is $w x $h"
cx=$((x - 249)) cy=$((y - 219))
# The client area left of the panel, whose smoothed letters may have a gray pixel or two.
figure="690x650+$cx+$cy"
[ "$(box start '#808080' "$figure")" = "601x601+50+20" ] ||
    fail "the squares are at $(box start '#808080' "$figure")"
mark_ini

# Keys go to the window that has the X focus: the program's, given it first.
press() {
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    xdotool key "$1"
}
press a
timeout 10 xdotool search --sync --name '^Input:$' >/dev/null || fail "A opened no input dialog"
xdotool type 30
xdotool key Return
for _ in $(seq 50); do
    xdotool search --name '^Input:$' >/dev/null || break
    sleep 0.1
done
shot angle
panel() { /usr/bin/convert "$work/$1.png" -crop "250x300+$((cx + 700))+$((cy + 100))" +repage "$work/$1-panel.png"; }
panel start
panel angle
changed=$(compare -metric AE "$work/start-panel.png" "$work/angle-panel.png" null: 2>&1 || true)
[ "${changed%% *}" -gt 0 ] || fail "the panel did not change after A 30"
for colour in '#000080' '#808080'; do
    [ "$(box start "$colour" "$figure")" = "$(box angle "$colour" "$figure")" ] || fail "the figure moved after A 30 ($colour)"
done

# Without a window manager wine does not always give the keyboard back to the window the dialog closed
# over; a second press, once it has, still counts.
press ctrl+q
if ! timeout 10 tail --pid="$pid" -f /dev/null; then
    press ctrl+q
    timeout 10 tail --pid="$pid" -f /dev/null || fail "Ctrl+Q did not end the program"
fi
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "exit code $status after Ctrl+Q"
expect_stopped_cleanly "Ctrl+Q"

fresh_ini
start session
mark_ini
"$wine" wineboot --end-session
timeout 20 tail --pid="$pid" -f /dev/null || fail "the end of the session did not end the program"
wait "$pid" || true
expect_stopped_cleanly "end of session"
echo "gui-e2e: pytagoras.exe draws its figure in place, takes A 30, ends on Ctrl+Q and with the session"

# The installer. wine's exit code proves nothing (a 32-bit installer does not even start): look at the results.
"$wine" "$installer" /S
root="$WINEPREFIX/drive_c/Program Files/Pytagoras"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pytagoras"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pytagoras'
for f in "$root/bin/pytagoras.exe" "$root/bin/solvemar-ftp.exe" "$root/Uninstall.exe" "$menu/Pytagoras.lnk"; do
    [ -f "$f" ] || fail "the installer did not install $f"
done
"$wine" reg query "$uninstall_key" /v DisplayName | grep -q "Pytagoras" || fail "no uninstall entry"
"$wine" "$root/bin/solvemar-ftp.exe" --help | grep -q "Bruk: solvemar-ftp" || fail "the installed solvemar-ftp.exe did not run"
# The uninstaller copies itself away and returns at once; it is done when all three are gone.
"$wine" "$root/Uninstall.exe" /S
for _ in $(seq 100); do
    [ -e "$root" ] || [ -e "$menu" ] || "$wine" reg query "$uninstall_key" >/dev/null 2>&1 || break
    sleep 0.2
done
[ ! -e "$root" ] || fail "the uninstaller left $root"
[ ! -e "$menu" ] || fail "the uninstaller left the Start-menu entry"
if "$wine" reg query "$uninstall_key" >/dev/null 2>&1; then fail "the uninstaller left its entry"; fi
echo "gui-e2e: $(basename "$installer") installs and uninstalls silently"
