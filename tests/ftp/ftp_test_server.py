#!/usr/bin/python3
"""A local FTP server for the tests and the upload benchmark.

Usage: ftp_test_server.py HOME USER PASSWORD [--tls CERTFILE] [--log FILE] [--slow BYTES]
                         [--disk BYTES] [--cut BYTES]
Serves HOME on 127.0.0.1 at a free port and prints "PORT <n>" once it accepts connections.
With --tls it speaks explicit FTPS and requires TLS on the control and data connections; the
certificate (with its key) is made in CERTFILE for CN=localhost unless the file exists, and its
SHA-256 fingerprint follows the port: "PORT <n> SHA256:AB:CD:...". With --log every command
line the server receives is appended to FILE. With --slow uploads are read at BYTES a second.
With --disk the server's disk is full once uploads have written BYTES in all. With --cut the
first upload that has brought BYTES has its connections cut (the server goes on).
"""
import argparse
import logging
import os

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def make_certificate(path):
    from OpenSSL import crypto
    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.get_subject().CN = "localhost"
    cert.get_subject().O = "Quillpost test"
    cert.set_serial_number(int.from_bytes(os.urandom(8), "big"))
    cert.gmtime_adj_notBefore(-60)
    cert.gmtime_adj_notAfter(7 * 86400)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    cert.sign(key, "sha256")
    with open(path, "wb") as f:
        f.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))


def fingerprint(path):
    from OpenSSL import crypto
    with open(path, "rb") as f:
        cert = crypto.load_certificate(crypto.FILETYPE_PEM, f.read())
    return "SHA256:" + cert.digest("sha256").decode()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("home")
    parser.add_argument("user")
    parser.add_argument("password")
    parser.add_argument("--tls")
    parser.add_argument("--log")
    parser.add_argument("--slow", type=int, default=0)
    parser.add_argument("--disk", type=int, default=0)
    parser.add_argument("--cut", type=int, default=0)
    args = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.home, perm="elradfmwMT")
    if args.tls:
        from pyftpdlib.handlers import TLS_FTPHandler
        if not os.path.exists(args.tls):
            make_certificate(args.tls)
        base = TLS_FTPHandler
    else:
        base = FTPHandler

    class Handler(base):
        def pre_process_command(self, line, cmd, arg):
            if args.log:
                with open(args.log, "a") as f:
                    f.write(line + "\n")
            return super().pre_process_command(line, cmd, arg)

    handler = Handler
    if args.tls:
        handler.certfile = args.tls
        handler.tls_control_required = True
        handler.tls_data_required = True
    if args.slow:
        from pyftpdlib.handlers import ThrottledDTPHandler
        if args.tls:
            from pyftpdlib.handlers import TLS_DTPHandler

            class SlowDTPHandler(TLS_DTPHandler, ThrottledDTPHandler):
                pass
        else:
            class SlowDTPHandler(ThrottledDTPHandler):
                pass
        SlowDTPHandler.read_limit = args.slow
        handler.dtp_handler = SlowDTPHandler
    if args.disk:
        import errno
        from pyftpdlib.filesystems import AbstractedFS
        left = [args.disk]

        class FullDisk:
            def __init__(self, file):
                self._file = file

            def write(self, data):
                if len(data) > left[0]:
                    raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))
                left[0] -= len(data)
                return self._file.write(data)

            def __getattr__(self, name):
                return getattr(self._file, name)

        class SmallDiskFS(AbstractedFS):
            def open(self, filename, mode):
                file = super().open(filename, mode)
                return FullDisk(file) if "w" in mode or "a" in mode else file

        handler.abstracted_fs = SmallDiskFS
    if args.cut:
        cut = [False]

        class CuttingDTPHandler(handler.dtp_handler):
            def handle_read(self):
                super().handle_read()
                if not cut[0] and self.tot_bytes_received >= args.cut:
                    cut[0] = True
                    cmd = self.cmd_channel
                    self.close()
                    cmd.close()

            handle_read_event = handle_read

        handler.dtp_handler = CuttingDTPHandler
    handler.authorizer = authorizer
    handler.banner = "test server ready"
    handler.auth_failed_timeout = 0.05
    server = FTPServer(("127.0.0.1", 0), handler)
    extra = " " + fingerprint(args.tls) if args.tls else ""
    print("PORT %d%s" % (server.address[1], extra), flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
