"""A real FTP server (pyftpdlib) for the transfer tests, with optional misbehaviours.

Usage: ftp_server.py PORT DIR USER PASSWORD [--short-retr] [--refuse-port] [--refuse-retr] [--ansi]
                     [--throttle BYTES_PER_SECOND] [--tls CERTIFICATE KEY]

--short-retr sends only the first half of every file on RETR and still ends with 226, as a server
does that loses the data connection early without noticing. --refuse-port answers PORT and EPRT
with 500, as a server behind a firewall that allows passive mode only. --refuse-retr answers RETR
with 550 although SIZE found the file. --ansi reads the names in commands as Windows-1252, as a
server on Windows does that speaks its clients' code page. --throttle slows the data connections
down, so that a transfer lasts long enough to be looked at. --tls requires explicit TLS (AUTH TLS
before the login, PROT P before a transfer) with the given PEM certificate and key.
"""
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


class ShortRetrHandler(FTPHandler):
    def ftp_RETR(self, file):
        try:
            with self.run_as_current_user(self.fs.open, file, "rb") as fd:
                data = fd.read()
        except OSError as err:
            self.respond("550 %s." % err.strerror)
            return None
        self.push_dtp_data(data[: len(data) // 2], isproducer=False, cmd="RETR")
        return file


class RefusePortHandler(FTPHandler):
    def ftp_PORT(self, line):
        self.respond("500 Active mode is not allowed here.")

    def ftp_EPRT(self, line):
        self.respond("500 Active mode is not allowed here.")


class RefuseRetrHandler(FTPHandler):
    def ftp_RETR(self, file):
        self.respond("550 Permission denied.")


def main():
    port, root, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    handler = FTPHandler
    if "--short-retr" in sys.argv[5:]:
        handler = ShortRetrHandler
    elif "--refuse-port" in sys.argv[5:]:
        handler = RefusePortHandler
    elif "--refuse-retr" in sys.argv[5:]:
        handler = RefuseRetrHandler
    if "--tls" in sys.argv[5:]:
        from pyftpdlib.handlers import TLS_FTPHandler

        at = sys.argv.index("--tls")
        handler = TLS_FTPHandler
        handler.certfile = sys.argv[at + 1]
        handler.keyfile = sys.argv[at + 2]
        handler.tls_control_required = True
        handler.tls_data_required = True
    if "--ansi" in sys.argv[5:]:
        handler = type("AnsiHandler", (handler,), {"decode": lambda self, line: line.decode("cp1252", "replace")})
    handler.authorizer = authorizer
    handler.banner = "transfer test server ready"
    handler.auth_failed_timeout = 0
    if "--throttle" in sys.argv[5:]:
        limit = int(sys.argv[sys.argv.index("--throttle") + 1])
        dtp = ThrottledDTPHandler
        dtp.read_limit = limit
        dtp.write_limit = limit
        handler.dtp_handler = dtp
    server = FTPServer(("127.0.0.1", port), handler)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
