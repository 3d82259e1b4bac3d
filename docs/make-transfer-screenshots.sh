#!/usr/bin/env bash
# Makes docs/transfer-window.png (solvemar-ftp during a download) and docs/server-settings.png (the
# settings dialog that a first transfer opens) under Xvfb, with a small window manager for the
# title bars. Needs a built solvemar-ftp: docs/make-transfer-screenshots.sh [path/to/solvemar-ftp]
set -euo pipefail
cd "$(dirname "$0")/.."
program="$(realpath "${1:-build/release/app/solvemar-ftp/solvemar-ftp}")"
docs="$(pwd)/docs"
server_script="$(pwd)/transfer/tests/ftp_server.py"

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

    cd "$work/local"
    "$program" hent kundeliste.xml &
    pid=$!
    sleep 3
    import -frame -window "$(window_of localhost)" "$docs/transfer-window.png"
    wait $pid

    # No FTP entry yet: the first transfer writes the defaults and opens the dialog to check them.
    cd "$work/first"
    "$program" hent kundeliste.xml &
    pid=$!
    sleep 3
    import -frame -window "$(window_of "Oppsett FTP-server")" "$docs/server-settings.png"
    kill $pid
    wait $pid || true
'
echo "wrote $docs/transfer-window.png and $docs/server-settings.png"
