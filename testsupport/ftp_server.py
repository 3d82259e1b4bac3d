"""A real FTP server for the tests (pyftpdlib, or vsftpd), with optional misbehaviours.

Usage: ftp_server.py PORT DIR USER PASSWORD [--short-retr] [--stall-retr] [--refuse-port] [--refuse-retr]
                     [--after-auth silent|close|reset] [--ansi] [--throttle BYTES_PER_SECOND]
                     [--tls CERTIFICATE KEY] [--log FILE] [--vsftpd [--reuse]] [--host ADDRESS]

--short-retr sends only the first half of every file on RETR and still ends with 226, as a server
does that loses the data connection early without noticing; --stall-retr sends the first half and
then nothing more, keeping the data connection open. --refuse-port answers PORT and EPRT with 500, as
a server behind a firewall that allows passive mode only. --refuse-retr answers RETR with 550 although
SIZE found the file. --ansi reads the names in commands as Windows-1252, as a server on Windows does
that speaks its clients' code page. --after-auth accepts AUTH TLS and then never answers the
handshake, closes the connection or resets it, as a server whose TLS is broken. --throttle slows the
data connections down, so that a transfer lasts long enough to be looked at. --tls requires
explicit TLS (AUTH TLS before the login, PROT P before a transfer) with the given PEM certificate and
key, also together with a misbehaviour. --log records the commands the server receives, one a line
(vsftpd: its protocol log, with the TLS sessions). --host listens on ADDRESS (::1 for IPv6) instead of
127.0.0.1.

--vsftpd serves with vsftpd instead (the misbehaviours are pyftpdlib's): it needs root, and logs in a
local account, so a throw-away account USER is made for the run and removed after it. With --tls it
insists on TLS for the login and the data, and with --reuse on data connections that resume the control
connection's TLS session. Where a server cannot run here the script says why on standard error after
"unavailable: " and exits with 77.
"""
import os
import pwd
import signal
import socket
import struct
import subprocess
import sys
import tempfile

UNAVAILABLE = 77
VSFTPD = "/usr/sbin/vsftpd"
# Marks the throw-away accounts, with the process that made each, so that one left by a run that died can
# be found again.
ACCOUNT_MARK = "Pytagoras FTP test "


def unavailable(reason):
    sys.stderr.write("unavailable: %s\n" % reason)
    sys.exit(UNAVAILABLE)


def option_value(name, count=1):
    at = sys.argv.index(name)
    return sys.argv[at + 1 : at + 1 + count]


def host():
    return option_value("--host")[0] if "--host" in sys.argv[5:] else "127.0.0.1"


def quietly(args, stdin=None):
    return subprocess.run(args, stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def remove_stale_accounts():
    for account in pwd.getpwall():
        if account.pw_gecos.startswith(ACCOUNT_MARK):
            owner = int(account.pw_gecos[len(ACCOUNT_MARK) :] or 0)
            try:
                os.kill(owner, 0)
            except ProcessLookupError:
                quietly(["/usr/sbin/userdel", account.pw_name])
            except PermissionError:
                pass


def serve_vsftpd(port, root, user, password, options):
    if os.geteuid() != 0:
        unavailable("vsftpd needs root: it logs in a local account and drops to it")
    if not os.access(VSFTPD, os.X_OK):
        unavailable(VSFTPD + " is not installed (scripts/setup-deps installs it)")
    remove_stale_accounts()
    if quietly(["/usr/sbin/useradd", "--no-create-home", "--home-dir", root, "--shell", "/bin/sh",
                "--comment", ACCOUNT_MARK + str(os.getpid()), user]) != 0:
        sys.exit("useradd %s failed" % user)
    work = tempfile.mkdtemp(prefix="vsftpd-")
    server = None

    def stop(signum, frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    try:
        subprocess.run(["/usr/sbin/chpasswd"], input=("%s:%s\n" % (user, password)).encode(), check=True)
        account = pwd.getpwnam(user)
        os.chown(root, account.pw_uid, account.pw_gid)
        # The account's process must reach the folder it serves: every folder above it may be passed through.
        folder = os.path.dirname(os.path.abspath(root))
        while folder != "/":
            mode = os.stat(folder).st_mode
            if mode & 0o001 == 0:
                os.chmod(folder, mode | 0o011)
            folder = os.path.dirname(folder)
        os.mkdir(os.path.join(work, "empty"))
        log = option_value("--log")[0] if "--log" in options else os.path.join(work, "vsftpd.log")
        ipv6 = ":" in host()
        lines = ["listen=" + ("NO" if ipv6 else "YES"), "listen_ipv6=" + ("YES" if ipv6 else "NO"), "background=NO",
                 ("listen_address6=" if ipv6 else "listen_address=") + host(),
                 "listen_port=%d" % port, "seccomp_sandbox=NO", "connect_from_port_20=NO", "anonymous_enable=NO",
                 "local_enable=YES", "write_enable=YES", "local_umask=022", "local_root=" + root,
                 "secure_chroot_dir=" + os.path.join(work, "empty"), "pasv_enable=YES", "port_enable=YES",
                 "max_clients=0", "max_per_ip=0",
                 # Every command in the log, and whether each TLS connection resumed a session.
                 "xferlog_enable=YES", "xferlog_std_format=NO", "log_ftp_protocol=YES", "debug_ssl=YES",
                 "vsftpd_log_file=" + log]
        if "--tls" in options:
            certificate, key = option_value("--tls", 2)
            lines += ["ssl_enable=YES", "force_local_logins_ssl=YES", "force_local_data_ssl=YES",
                      "require_ssl_reuse=" + ("YES" if "--reuse" in options else "NO"),
                      # vsftpd's own default allows no TLS 1.2 cipher that an EC key can serve.
                      "ssl_ciphers=HIGH",
                      "rsa_cert_file=" + certificate, "rsa_private_key_file=" + key]
        configuration = os.path.join(work, "vsftpd.conf")
        with open(configuration, "w") as out:
            out.write("\n".join(lines) + "\n")
        server = subprocess.Popen([VSFTPD, configuration], start_new_session=True)
        server.wait()
    finally:
        if server is not None and server.poll() is None:
            os.killpg(server.pid, signal.SIGTERM)
            server.wait()
        quietly(["/usr/sbin/userdel", user])
        subprocess.run(["rm", "-rf", work])


def logging_commands(handler, path):
    out = open(path, "a", buffering=1)

    class Logged(handler):
        def pre_process_command(self, line, cmd, arg):
            out.write(line + "\n")
            return super().pre_process_command(line, cmd, arg)

    return Logged


def serve_pyftpdlib(port, root, user, password, options):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler, TLS_FTPHandler
    from pyftpdlib.servers import FTPServer

    # The misbehaviours sit on top of the plain handler or, with --tls, on top of the TLS one.
    base = TLS_FTPHandler if "--tls" in options else FTPHandler

    class Handler(base):
        proto_cmds = dict(base.proto_cmds)
        if "--after-auth" in options:
            proto_cmds["AUTH"] = dict(perm=None, auth=False, arg=True, help="Syntax: AUTH <SP> TLS.")

        def ftp_RETR(self, file):
            if "--refuse-retr" in options:
                self.respond("550 Permission denied.")
                return None
            if "--short-retr" not in options and "--stall-retr" not in options:
                return super().ftp_RETR(file)
            try:
                with self.run_as_current_user(self.fs.open, file, "rb") as fd:
                    data = fd.read()
            except OSError as err:
                self.respond("550 %s." % err.strerror)
                return None
            self.push_dtp_data(data[: len(data) // 2], isproducer=False, cmd="RETR")
            return file

        def decode(self, line):
            if "--ansi" in options:
                return line.decode("cp1252", "replace")
            return super().decode(line)

        def ftp_PORT(self, line):
            if "--refuse-port" not in options:
                return super().ftp_PORT(line)
            self.respond("500 Active mode is not allowed here.")

        def ftp_EPRT(self, line):
            if "--refuse-port" not in options:
                return super().ftp_EPRT(line)
            self.respond("500 Active mode is not allowed here.")

        def ftp_AUTH(self, line):
            if "--after-auth" not in options:
                return super().ftp_AUTH(line)
            self.respond("234 AUTH TLS successful.")
            self.collect_incoming_data = self.hear_hello
            self.found_terminator = lambda: self.hear_hello(b"")

        def hear_hello(self, data):
            # Once the client's hello is here, so that the client meets the break while it waits for the answer.
            broken_by = option_value("--after-auth")[0]
            if broken_by == "silent" or self._closed:
                return
            if broken_by == "reset":
                self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.close()

    handler = Handler
    if "--tls" in options:
        handler.certfile, handler.keyfile = option_value("--tls", 2)
        handler.tls_control_required = True
        handler.tls_data_required = True
    if "--log" in options:
        handler = logging_commands(handler, option_value("--log")[0])
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler.authorizer = authorizer
    handler.banner = "transfer test server ready"
    handler.auth_failed_timeout = 0
    if "--throttle" in options:
        limit = int(option_value("--throttle")[0])
        dtp = ThrottledDTPHandler
        dtp.read_limit = limit
        dtp.write_limit = limit
        handler.dtp_handler = dtp
    if "--stall-retr" in options:

        class Stalling(handler.dtp_handler):
            def close_when_done(self):
                pass  # the data stops, the connection stays open: the client waits in vain

        handler.dtp_handler = Stalling
    server = FTPServer((host(), port), handler)
    server.serve_forever(handle_exit=True)


def main():
    port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    options = sys.argv[5:]
    if "--vsftpd" in options:
        serve_vsftpd(port, root, user, password, options)
    else:
        serve_pyftpdlib(port, root, user, password, options)


if __name__ == "__main__":
    main()
