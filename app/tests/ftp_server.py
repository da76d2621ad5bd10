#!/usr/bin/env python3
"""An FTP server on loopback for the update tests.

Serves ROOT to one account on a free port and prints "port N" once it listens, then one
line per event: "connect", "login USER tls=0|1", "login-failed USER", "RETR NAME
prot=0|1", "sent NAME", "incomplete NAME", "QUIT", "disconnect". It ends when its
standard input closes, so it never outlives the test that started it.

Faults on request, each for the first RETR of its file only:
  --stall NAME     RETR NAME opens the transfer and then sends nothing
  --cut NAME:N     RETR NAME sends the first N bytes, then fails the transfer (426)
  --late NAME:S    RETR NAME sends its first byte only after S seconds, then the file
  --trickle NAME:S RETR NAME sends one byte every S seconds
  --short NAME:N   RETR NAME sends the first N bytes and ends the transfer as if whole (226)
  --no-size        SIZE is refused for every file, so a client learns no size before RETR
  --login-folder NAME  the account logs in to ROOT/NAME rather than ROOT
  --tls DIR        offers TLS with a new certificate for 127.0.0.1, written to
                   DIR/cert.pem (trust it as the certificate authority) and DIR/key.pem
"""

import argparse
import datetime
import os
import sys
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def event(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def make_certificate(folder):
    import ipaddress

    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import rsa
    from cryptography.x509.oid import NameOID

    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "127.0.0.1")])
    now = datetime.datetime.utcnow()
    cert = (
        x509.CertificateBuilder()
        .subject_name(name)
        .issuer_name(name)
        .public_key(key.public_key())
        .serial_number(x509.random_serial_number())
        .not_valid_before(now - datetime.timedelta(hours=1))
        .not_valid_after(now + datetime.timedelta(days=1))
        .add_extension(
            x509.SubjectAlternativeName([x509.IPAddress(ipaddress.ip_address("127.0.0.1"))]),
            critical=False,
        )
        .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
        .sign(key, hashes.SHA256())
    )
    cert_path = os.path.join(folder, "cert.pem")
    key_path = os.path.join(folder, "key.pem")
    with open(cert_path, "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(key_path, "wb") as f:
        f.write(
            key.private_bytes(
                serialization.Encoding.PEM,
                serialization.PrivateFormat.TraditionalOpenSSL,
                serialization.NoEncryption(),
            )
        )
    return cert_path, key_path


class CutProducer:
    """The first `size` bytes of a file, then an error: the transfer fails."""

    def __init__(self, file, size):
        self.file, self.left = file, int(size)

    def more(self):
        if self.left <= 0:
            raise OSError("transfer cut off")
        data = self.file.read(min(65536, self.left))
        self.left -= len(data)
        return data


class TrickleProducer:
    """The file one byte at a time, `pause` seconds apart."""

    def __init__(self, file, pause):
        self.file, self.pause = file, pause

    def more(self):
        time.sleep(self.pause)   # one client: the server may wait
        return self.file.read(1)


class ShortProducer:
    """The first `size` bytes of a file, then the end, as if that were all."""

    def __init__(self, file, size):
        self.file, self.left = file, int(size)

    def more(self):
        data = self.file.read(min(65536, self.left))
        self.left -= len(data)
        return data


def handler_class(base, faults):
    pending = {"stall": faults.stall, "cut": faults.cut, "late": faults.late,
               "trickle": faults.trickle, "short": faults.short}

    def fault(kind, name):
        wanted = pending.get(kind)
        if wanted and wanted.split(":")[0] == name:
            pending[kind] = None
            return wanted
        return None

    class Handler(base):
        use_sendfile = False   # the faults below go through producers

        def on_connect(self):
            event("connect")

        def on_disconnect(self):
            event("disconnect")

        def on_login(self, username):
            if faults.login_folder:   # the account starts below the server's root
                self.fs.cwd = "/" + faults.login_folder
            event("login %s tls=%d" % (username, int(bool(getattr(self, "_ssl_established", False)))))

        def on_login_failed(self, username, password):
            event("login-failed %s" % username)

        def on_file_sent(self, file):
            event("sent " + os.path.basename(file))

        def on_incomplete_file_sent(self, file):
            event("incomplete " + os.path.basename(file))

        def ftp_QUIT(self, line):
            event("QUIT")
            return super().ftp_QUIT(line)

        def ftp_SIZE(self, path):
            if faults.no_size:
                self.respond("502 SIZE not implemented.")
                return None
            return super().ftp_SIZE(path)

        def ftp_RETR(self, file):
            name = os.path.basename(file)
            event("RETR %s prot=%d" % (name, int(bool(getattr(self, "_prot", False)))))
            if fault("stall", name):
                self.respond("150 File status okay. About to open data connection.")
                return None
            late = fault("late", name)
            if late:
                time.sleep(float(late.split(":")[1]))   # one client: the server may wait
            producers = {"cut": CutProducer, "short": ShortProducer, "trickle": TrickleProducer}
            for kind, producer in producers.items():
                wanted = fault(kind, name)
                if wanted:
                    fd = self.run_as_current_user(self.fs.open, file, "rb")
                    self.push_dtp_data(producer(fd, float(wanted.split(":")[1])),
                                       isproducer=True, file=fd, cmd="RETR")
                    return file
            return super().ftp_RETR(file)

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("--user", default="Uploader")
    parser.add_argument("--password", default="ab#123456")
    parser.add_argument("--stall")
    parser.add_argument("--cut")
    parser.add_argument("--tls")
    parser.add_argument("--late")
    parser.add_argument("--trickle")
    parser.add_argument("--short")
    parser.add_argument("--no-size", action="store_true")
    parser.add_argument("--login-folder")
    args = parser.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elr")
    if args.tls:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class DataChannel(TLS_DTPHandler):
            # the library closes a data channel that is readable before its transfer
            # began, which a TLS handshake on it always is
            def readable(self):
                return self._ssl_accepting or super().readable()

        cert, key = make_certificate(args.tls)
        base = TLS_FTPHandler
        base.certfile, base.keyfile = cert, key
        base.dtp_handler = DataChannel
    else:
        base = FTPHandler
    handler = handler_class(base, args)
    handler.authorizer = authorizer
    handler.passive_ports = None
    handler.auth_failed_timeout = 0.1   # a refused login is answered at once
    server = FTPServer(("127.0.0.1", 0), handler)
    event("port %d" % server.socket.getsockname()[1])

    def watch_stdin():
        sys.stdin.read()
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    import logging

    logging.basicConfig(level=logging.CRITICAL)
    main()
