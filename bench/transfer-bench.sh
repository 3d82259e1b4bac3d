#!/usr/bin/env bash
# Download of a 1 GiB file through the transfer window (in-process, offscreen) and through the
# transfer core as `solvemar-ftp hent`, against the bare FTP client, on one vsftpd on loopback,
# interleaved.
# Target: program_ratio and window_ratio >= 0.9.
#
# Usage (as root: vsftpd drops to the user "ftp"):
#   bench/transfer-bench.sh [build folder, default build/release] [benchmark options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build/release}")"
shift || true
bench="$build/bench/transfer_bench"
program="$build/app/solvemar-ftp/solvemar-ftp"
[ -x "$bench" ] && [ -x "$program" ] || { echo "transfer-bench: build $build first" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "transfer-bench: run as root (vsftpd needs it)" >&2; exit 1; }

# The benchmark's own server; the build and the tests do not need it.
if [ ! -x /usr/sbin/vsftpd ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends vsftpd >/dev/null
fi

work="$(mktemp -d)"
server_pid=""
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

root="$work/root"
mkdir -p "$root" "$work/empty" "$work/downloads"
head -c $((1024 * 1024 * 1024)) /dev/urandom >"$root/big.bin"
chmod 555 "$root"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$work/vsftpd.conf" <<EOF
listen=YES
listen_ipv6=NO
background=NO
listen_address=127.0.0.1
listen_port=$port
seccomp_sandbox=NO
connect_from_port_20=NO
anonymous_enable=YES
local_enable=NO
no_anon_password=YES
anon_root=$root
secure_chroot_dir=$work/empty
pasv_enable=YES
port_enable=YES
xferlog_enable=NO
max_clients=0
max_per_ip=0
EOF
/usr/sbin/vsftpd "$work/vsftpd.conf" >"$work/vsftpd.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done

export TRANSFER_BENCH_PORT="$port" TRANSFER_BENCH_FILE=big.bin TRANSFER_BENCH_PROGRAM="$program"
export TRANSFER_BENCH_FOLDER="$work/downloads" QT_QPA_PLATFORM=offscreen
export APPDATA="$work/appdata" XDG_DATA_HOME="$work/appdata"
"$bench" "$@"
