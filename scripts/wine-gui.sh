# Sourced by the scripts that show Windows windows under wine (scripts/test-windows, bench/windows-first-paint):
# a private X display (Xvfb) and a private wine prefix made for windows, with what they need here:
#   - Managed=N: wine draws its own frames, and closing a window does not wait for a window manager that
#     is not there;
#   - font replacements, so that the faces asked for resolve to look-alikes of the right shape (Arial,
#     Times New Roman, Courier New, Verdana), and Tahoma, Marlett and MS Sans Serif from Debian's fonts-wine
#     copied in, since this wine does not load them from where Debian puts them.
# gui_start WORK makes both under WORK and exports PYTAGORAS_GUI_DISPLAY and PYTAGORAS_GUI_WINEPREFIX (what
# scripts/wine-gui-run uses); gui_env CMD runs a command with them as DISPLAY and WINEPREFIX; gui_stop ends
# the prefix's wine processes and the display. gui_session does it all for a script that needs nothing else:
# a scratch folder $work holding both, all of it gone when the script exits.

gui_xvfb_pid=""

gui_env() {
    DISPLAY="$PYTAGORAS_GUI_DISPLAY" WINEPREFIX="$PYTAGORAS_GUI_WINEPREFIX" WINEDEBUG="${WINEDEBUG:--all}" \
        WINEDLLOVERRIDES="mscoree,mshtml=" "$@"
}

gui_start() {
    local work=$1
    mkdir -p "$work"
    Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$work/display" 2>"$work/xvfb.log" &
    gui_xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.05
    done
    [ -s "$work/display" ] || { echo "wine-gui: Xvfb did not start" >&2; return 1; }
    export PYTAGORAS_GUI_DISPLAY=":$(head -n1 "$work/display")" PYTAGORAS_GUI_WINEPREFIX="$work/prefix"
    gui_env /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
    local fonts="$PYTAGORAS_GUI_WINEPREFIX/drive_c/windows/Fonts"
    mkdir -p "$fonts"
    for f in tahoma.ttf tahomabd.ttf marlett.ttf ms_sans_serif.ttf; do
        if [ -f "/usr/share/wine/fonts/$f" ]; then cp "/usr/share/wine/fonts/$f" "$fonts/"; fi
    done
    cat >"$work/gui.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Arial"="Liberation Sans"
"Times New Roman"="Liberation Serif"
"Courier New"="Liberation Mono"
"Verdana"="DejaVu Sans"
REG
    gui_env /usr/lib/wine/wine64 regedit /S "$work/gui.reg" >/dev/null 2>&1
    gui_env /usr/lib/wine/wineserver -w
}

gui_stop() {
    if [ -n "${PYTAGORAS_GUI_WINEPREFIX:-}" ]; then
        gui_env /usr/lib/wine/wineserver -k 2>/dev/null || true
    fi
    if [ -n "$gui_xvfb_pid" ]; then
        kill "$gui_xvfb_pid" 2>/dev/null || true
        wait "$gui_xvfb_pid" 2>/dev/null || true
        gui_xvfb_pid=""
    fi
}

gui_session() {
    work=$(mktemp -d)
    trap 'gui_stop; rm -rf "$work"' EXIT
    gui_start "$work/gui" >/dev/null
}
