#!/usr/bin/env bash
# Makes docs/transfer-window.png (the transfer window of a host program during a download) and
# docs/server-settings.png (the settings dialog that a first transfer opens) under Xvfb, with a small
# window manager for the title bars. The host program is examples/hentfil, built against the
# release build installed into a scratch folder: docs/make-transfer-screenshots.sh [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build/release}")"
docs="$(pwd)/docs"
server_script="$(pwd)/testsupport/ftp_server.py"

# Only the pictures need these; the build and the tests do not.
for p in twm x11-utils imagemagick; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p" >/dev/null
done

work="$(mktemp -d)"
server_pid=""
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/server" "$work/appdata" "$work/local" "$work/first"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S examples/hentfil -B "$work/example" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/example" >/dev/null
program="$work/example/hentfil-eksempel"
head -c $((6 * 1024 * 1024)) /dev/urandom >"$work/server/kundeliste.xml"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# About a megabyte a second, so the picture catches the download half-way.
/usr/bin/python3 "$server_script" "$port" "$work/server" kari hemmelig --throttle 1000000 >/dev/null 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done

scrambled=$(/usr/bin/python3 -c 'import sys; t=sys.argv[1]; print("z"+"".join(chr((ord(c)+i+1)%256) for i,c in enumerate(t))+"2")' hemmelig)
printf '[STANDARD]\nLogToFile=1\n[SERVER-SETTING-FTP]\nname=Solvemar FTP-server\nserver=localhost\nfolder=\nusername=kari\npassword=%s\nport=%s\n' \
    "$scrambled" "$port" >"$work/local/SOLVEMAR.INI"

export APPDATA="$work/appdata" HOME="$work" XDG_DATA_HOME="$work/appdata" QT_QPA_PLATFORM=xcb
export program docs work
xvfb-run -a -s "-screen 0 800x640x24" bash -c '
    twm >/dev/null 2>&1 &
    sleep 1
    window_of() { xwininfo -root -tree | awk -v t="\"$1\"" "index(\$0, t) { print \$1; exit }"; }
    # import waits for a click when it is given no window: fail instead.
    shoot() { w=$(window_of "$1"); [ -n "$w" ] || { echo "no window \"$1\"" >&2; exit 1; }; import -frame -window "$w" "$2"; }

    cd "$work/local"
    "$program" kundeliste.xml &
    pid=$!
    sleep 3
    # A host program shows the server of the start values on its first transfer.
    shoot ftp.solvemar.no "$docs/transfer-window.png"
    wait $pid

    # No FTP entry yet: the first transfer writes the defaults and opens the dialog to check them.
    cd "$work/first"
    "$program" kundeliste.xml &
    pid=$!
    sleep 3
    shoot "Oppsett FTP-server" "$docs/server-settings.png"
    kill $pid
    wait $pid || true
'
echo "wrote $docs/transfer-window.png and $docs/server-settings.png"
