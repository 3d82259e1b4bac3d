"""Starts real FTP servers on this machine for tests that run under wine.

A test under wine cannot start this machine's programs reliably (it sees neither their exit nor can it
stop them), so scripts/test windows runs this broker beside the tests and tells them its port in
PYTAGORAS_FTP_BROKER. A test connects and asks for one server with one line:

    serve TAB ROOT TAB USER TAB PASSWORD [TAB OPTION ...] LF

ROOT is a path of the wine prefix (C:\\users\\...) or of this machine; OPTIONs go to the server script
(--short-retr, --refuse-port, --tls CERTIFICATE KEY, --vsftpd, --host ::1 ...), paths of the prefix among
them made paths of this machine. The answer is "port N" LF, "unavailable TEXT" LF when the server cannot
run on this machine, or "error TEXT" LF. The server runs until the test closes the connection (or ends,
which closes it too).

Or it asks for the throw-away certificates of the TLS tests, which need this machine's openssl command:

    certificates TAB FOLDER LF

answered with "done" LF (make_test_certificates.sh has made them in FOLDER) or "error TEXT" LF.

Usage: ftp_server_broker.py SERVER_SCRIPT PORT_FILE
"""
import os
import re
import signal
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

# The servers running now, stopped together when the broker is told to end.
running = set()
running_lock = threading.Lock()


def unix_path(path):
    """The path of this machine for a path of the wine prefix, through the prefix's drive links."""
    match = re.match(r"^([A-Za-z]):[\\/]?(.*)$", path)
    if not match:
        return path
    drive = os.path.join(os.environ["WINEPREFIX"], "dosdevices", match.group(1).lower() + ":")
    return os.path.join(os.path.realpath(drive), match.group(2).replace("\\", "/"))


def free_port(host):
    with socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET) as probe:
        probe.bind((host, 0))
        return probe.getsockname()[1]


def accepts(host, port):
    try:
        with socket.create_connection((host, port), timeout=1):
            return True
    except OSError:
        return False


class Unavailable(Exception):
    """The server cannot run on this machine (the server script exits with 77 and says why)."""


def start_server(script, root, user, password, options):
    """The server process and its port; a port taken meanwhile by someone else is tried again."""
    host = options[options.index("--host") + 1] if "--host" in options[:-1] else "127.0.0.1"
    for _ in range(5):
        port = free_port(host)
        with tempfile.TemporaryFile() as errors:
            process = subprocess.Popen(
                [sys.executable, script, str(port), root, user, password, *options],
                stdout=subprocess.DEVNULL,
                stderr=errors,
            )
            with running_lock:
                running.add(process)
            deadline = time.monotonic() + 15
            while time.monotonic() < deadline and process.poll() is None:
                if accepts(host, port):
                    return process, port
                time.sleep(0.02)
            stop(process)
            if process.returncode == 77:
                errors.seek(0)
                raise Unavailable(errors.read().decode("utf-8", "replace").strip().replace("unavailable: ", ""))
    raise RuntimeError("the FTP server did not start")


def stop(process):
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    with running_lock:
        running.discard(process)


def stop_all(signum, frame):
    with running_lock:
        processes = list(running)
    for process in processes:
        stop(process)
    sys.exit(0)


def make_certificates(folder):
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "make_test_certificates.sh")
    result = subprocess.run(["bash", script, unix_path(folder)], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if result.returncode != 0:
        raise RuntimeError(result.stderr.decode("utf-8", "replace").strip().replace("\n", " "))


class Request(socketserver.StreamRequestHandler):
    def handle(self):
        fields = self.rfile.readline().decode("utf-8", "replace").rstrip("\r\n").split("\t")
        if len(fields) == 2 and fields[0] == "certificates":
            try:
                make_certificates(fields[1])
                self.wfile.write(b"done\n")
            except (OSError, RuntimeError) as error:
                self.wfile.write(("error %s\n" % error).encode())
            return
        if len(fields) < 4 or fields[0] != "serve":
            self.wfile.write(b"error expected: serve ROOT USER PASSWORD [OPTION ...] or certificates FOLDER\n")
            return
        root = unix_path(fields[1])
        try:
            os.makedirs(root, exist_ok=True)
            options = [unix_path(option) for option in fields[4:]]
            process, port = start_server(self.server.script, root, fields[2], fields[3], options)
        except Unavailable as why:
            self.wfile.write(("unavailable %s\n" % why).encode())
            return
        except (OSError, RuntimeError) as error:
            self.wfile.write(("error %s\n" % error).encode())
            return
        try:
            self.wfile.write(b"port %d\n" % port)
            self.wfile.flush()
            while self.rfile.read(4096):
                pass
        finally:
            stop(process)


class Broker(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    script, port_file = sys.argv[1], sys.argv[2]
    signal.signal(signal.SIGTERM, stop_all)
    with Broker(("127.0.0.1", 0), Request) as broker:
        broker.script = script
        with open(port_file + ".part", "w") as out:
            out.write("%d\n" % broker.server_address[1])
        os.replace(port_file + ".part", port_file)
        broker.serve_forever()


if __name__ == "__main__":
    main()
