#!/usr/bin/env python3
"""A local HTTPS update server for tests and the demo: https://localhost:PORT/ over a folder, with a certificate for
localhost made with openssl at test time (tests trust it in their wine prefix's machine "Root" store; see
tests/support/CertificateTrust.h and the TrustCertificate tool).

    update_server.py ROOT STATE     serves ROOT while the test holds its control connection

STATE receives server.json ({"port": ..., "silent_port": ..., "plain_port": ..., "untrusted_port": ...,
"expired_port": ..., "control_port": ...}) while the server listens, requests.log, one line per request with the
path exactly as sent, and headers.log, one line per request: the path, then each header line as received, all
separated by tabs. The test that started the server connects to
the control port and keeps that connection open; the server ends when it closes (which the test's end does
too), when nobody connects within a minute, or after --max-seconds. (A Linux program started from wine gets
neither a process handle nor a working standard input, hence the connection.) The certificates are kept in the
folder given by --certs (default STATE/..) and made again when they are a day old: cert.pem, key.pem and
cert.der for localhost (the one tests trust), untrusted.pem for localhost from nobody the tests trust, and
expired.pem for localhost issued by cert.pem but valid only in 2020.

What a path gets:
  a file under ROOT              200 with the file (any run of slashes counts as one when looking it up)
  a folder under ROOT named *.zip  200 with a zip archive of the folder's files, made on the fly
  anything else                  404 with the 9-character body "Not Found"
  /_status/CODE/REST             CODE with a Location header for https://localhost:PORT/REST and "Not Found"
  /_big/BYTES/REST               200 with BYTES bytes of "1"
  /_chunked/BYTES/REST           the same in chunks, with no length announced
  /_trickle/MS/REST              200 with "1.0.0.6\n" in chunks of one byte, MS milliseconds apart, no length announced
  /_stall/REST                   reads the request and never answers
  /_hold/REST                    what REST gets, but a request for a package (a path ending ".zip") is held until
                                 the test calls release_held(); held_packages() names those whose clients still wait
  PACKAGE.sig, with --sign KEY, for a package the server has (a file, or a folder named *.zip) and nothing
                                 named PACKAGE.sig: 200 with its signature by KEY, as a release signs it
                                 (packaging/update_signing.py), for the folder from its display-K component on;
                                 a folder named PACKAGE.sig makes it 404 (a package nobody signed)
The silent port accepts connections and never says anything (not even TLS). The plain port answers the same
paths over plain HTTP; the untrusted and expired ports over TLS with those certificates.

Python code (the whole-program tests) can run it in-process: UpdateServer(root, state).start() ... .stop().
"""
import argparse
import fcntl
import io
import json
import os
import select
import shutil
import socket
import ssl
import subprocess
import sys
import threading
import time
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                                "packaging"))
import update_signing  # noqa: E402

CERT_MAX_AGE_S = 24 * 3600
STALL_S = 120
TRICKLE_BODY = b"1.0.0.6\n"
CONTROL_WAIT_S = 60


def _openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True)


def _new_key(key, *request):
    """A fresh key at key and, from request, a certificate (-x509 ...) or a request (-new ...) for localhost."""
    _openssl("req", *request, "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key,
             "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost")


def _issue_expired(folder, issuer_cert, issuer_key, key, cert):
    """A certificate for localhost issued by issuer, valid for one day of 2020 (openssl ca is the one command
    that sets dates in the past)."""
    work = os.path.join(folder, "expired-ca")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    open(os.path.join(work, "index.txt"), "w").close()
    with open(os.path.join(work, "serial"), "w") as f:
        f.write("1000\n")
    config = os.path.join(work, "ca.cnf")
    with open(config, "w") as f:
        f.write(f"[ca]\ndefault_ca = issuer\n[issuer]\ndatabase = {work}/index.txt\nserial = {work}/serial\n"
                f"new_certs_dir = {work}\n"
                "default_md = sha256\npolicy = any\ncopy_extensions = copy\nunique_subject = no\n"
                "[any]\ncommonName = supplied\n")
    request = os.path.join(work, "expired.csr")
    _new_key(key, "-new", "-out", request)
    _openssl("ca", "-batch", "-config", config, "-cert", issuer_cert, "-keyfile", issuer_key, "-in", request,
             "-out", cert, "-startdate", "200101000000Z", "-enddate", "200102000000Z", "-notext")


def ensure_certificate(folder):
    """(cert.pem, key.pem, cert.der) in folder for CN and DNS name localhost, made once a day together with the
    untrusted and the expired one; safe to call from several processes at once."""
    os.makedirs(folder, exist_ok=True)
    path = lambda name: os.path.join(folder, name)  # noqa: E731
    made = ("key.pem", "cert.pem", "untrusted.key", "untrusted.pem", "expired.key", "expired.pem", "cert.der")
    with open(path("cert.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        fresh = all(os.path.exists(path(n)) for n in made) and time.time() - os.path.getmtime(path("cert.der")) < CERT_MAX_AGE_S
        if not fresh:
            new = lambda name: path(name + ".new")  # noqa: E731
            _new_key(new("key.pem"), "-x509", "-days", "7", "-out", new("cert.pem"),
                     "-addext", "basicConstraints=critical,CA:TRUE")
            _openssl("x509", "-in", new("cert.pem"), "-outform", "der", "-out", new("cert.der"))
            _new_key(new("untrusted.key"), "-x509", "-days", "7", "-out", new("untrusted.pem"))
            _issue_expired(folder, new("cert.pem"), new("key.pem"), new("expired.key"), new("expired.pem"))
            for name in made:
                os.replace(new(name), path(name))
    return path("cert.pem"), path("key.pem"), path("cert.der")


def zip_folder(folder):
    data = io.BytesIO()
    with zipfile.ZipFile(data, "w", zipfile.ZIP_DEFLATED) as archive:
        for base, _, files in os.walk(folder):
            for name in sorted(files):
                path = os.path.join(base, name)
                archive.write(path, os.path.relpath(path, folder).replace(os.sep, "/"))
    return data.getvalue()


class _Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        # The path exactly as sent (http.server folds a leading run of slashes in self.path).
        sent = self.raw_requestline.decode("latin-1").split(" ")[1]
        server.log_request_path(sent, self.headers.items())
        parts = [p for p in self.path.split("?")[0].split("/") if p]
        if parts[:1] == ["_hold"]:
            parts = parts[1:]
            if parts and parts[-1].endswith(".zip"):
                if not server.hold.wait(self.connection, sent) or server.stopping.is_set():
                    self.close_connection = True
                    return
        if parts[:1] == ["_stall"]:
            server.stopping.wait(STALL_S)
            self.close_connection = True
            return
        if parts[:1] in (["_big"], ["_chunked"]) and len(parts) >= 2 and parts[1].isdigit():
            return self._send_big(int(parts[1]), parts[0] == "_chunked")
        if parts[:1] == ["_trickle"] and len(parts) >= 2 and parts[1].isdigit():
            return self._trickle(int(parts[1]) / 1000)
        if parts[:1] == ["_status"] and len(parts) >= 2 and parts[1].isdigit():
            location = f"https://localhost:{server.server_address[1]}/" + "/".join(parts[2:])
            return self._send(int(parts[1]), b"Not Found", {"Location": location})
        if ".." in parts:
            return self._send(404, b"Not Found")
        path = os.path.join(server.root, *parts)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                return self._send(200, f.read())
        if os.path.isdir(path) and path.endswith(".zip"):
            return self._send(200, zip_folder(path))
        if server.signing_key and path.endswith(update_signing.SIGNATURE_SUFFIX) and not os.path.exists(path):
            signature = self._signature(parts)
            if signature:
                return self._send(200, signature)
        return self._send(404, b"Not Found")

    def _signature(self, parts):
        """The signature of the package that parts name less ".sig" ("<prefix>-<version>.zip"), or None."""
        server = self.server
        parts = parts[:-1] + [parts[-1][:-len(update_signing.SIGNATURE_SUFFIX)]]
        path = os.path.join(server.root, *parts)
        if os.path.isfile(path):
            with open(path, "rb") as f:
                package = f.read()
        elif os.path.isdir(path) and path.endswith(".zip"):
            package = zip_folder(path)
        else:
            return None
        # The program signs the folder below its base address; a test's base address may put more in front.
        folder = parts[parts.index("display-K") if "display-K" in parts else 0:-1]
        version = parts[-1][:-len(".zip")].split("-", 1)[-1]
        statement = update_signing.statement("/".join(folder) + "/", parts[-1], version, package)
        return update_signing.sign(server.signing_key, statement)

    def _send(self, status, body, headers=None):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def _write(self, data, chunked):
        self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data) if chunked else data)

    def _send_big(self, size, chunked):
        self.send_response(200)
        self.send_header(*(("Transfer-Encoding", "chunked") if chunked else ("Content-Length", str(size))))
        self.end_headers()
        block = b"1" * 65536
        try:
            while size > 0:
                self._write(block[:min(size, len(block))], chunked)
                size -= len(block)
            if chunked:
                self._write(b"", True)
        except OSError:
            self.close_connection = True  # the client stopped reading

    def _trickle(self, gap_s):
        self.send_response(200)
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        try:
            for i in range(len(TRICKLE_BODY)):
                if self.server.stopping.wait(gap_s):
                    break
                self._write(TRICKLE_BODY[i:i + 1], True)
            self._write(b"", True)
        except OSError:
            self.close_connection = True


class _Hold:
    """Package requests held until the test releases them (the /_hold/ paths)."""

    def __init__(self):
        self.released = threading.Event()
        self._lock = threading.Lock()
        self._waiting = {}  # connection -> the path as sent

    def wait(self, connection, path):
        """Holds the request until the release; whether its client still waits for the answer then."""
        with self._lock:
            self._waiting[connection] = path
        self.released.wait(STALL_S)
        with self._lock:
            del self._waiting[connection]
        return self._waits(connection)

    def pending(self):
        """The paths of the held requests whose clients still wait."""
        with self._lock:
            return [path for connection, path in self._waiting.items() if self._waits(connection)]

    @staticmethod
    def _waits(connection):
        # A client that gave up has closed its connection, and one waiting for an answer sends nothing: a
        # readable connection has given up.
        return not select.select([connection], [], [], 0)[0]


class _Server(ThreadingHTTPServer):
    """Plain HTTP, or TLS with the certificate and key given."""
    daemon_threads = True
    log_lock = threading.Lock()

    def __init__(self, root, state, stopping, hold, cert_and_key=None, signing_key=None):
        self.context = None
        self.hold = hold
        self.signing_key = signing_key
        if cert_and_key:
            self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.context.load_cert_chain(*cert_and_key)
        self.root = os.path.abspath(root)
        self.state = state
        self.stopping = stopping
        super().__init__(("127.0.0.1", 0), _Handler)

    def finish_request(self, request, client_address):
        # The handshake runs on the request's own thread, so a client that never finishes it holds no one up.
        if self.context:
            try:
                request = self.context.wrap_socket(request, server_side=True)
            except (ssl.SSLError, OSError):
                return
        try:
            super().finish_request(request, client_address)
        finally:
            request.close()

    def log_request_path(self, path, headers):
        with self.log_lock:
            with open(os.path.join(self.state, "requests.log"), "a") as log:
                log.write(path + "\n")
            with open(os.path.join(self.state, "headers.log"), "a") as log:
                log.write("\t".join([path] + [f"{name}: {value}" for name, value in headers]) + "\n")


class UpdateServer:
    """The server on a thread of its own, with the silent, plain, untrusted and expired ports beside it."""

    def __init__(self, root, state, certs=None, signing_key=None):
        os.makedirs(state, exist_ok=True)
        self.state = state
        self.certs = certs or os.path.join(os.path.dirname(os.path.abspath(state)), "certs")
        cert, key, self.der = ensure_certificate(self.certs)
        other = lambda name: (os.path.join(self.certs, name + ".pem"), os.path.join(self.certs, name + ".key"))  # noqa: E731
        self._stopping = threading.Event()
        self._hold = _Hold()
        self._server = _Server(root, state, self._stopping, self._hold, (cert, key), signing_key)
        self._others = {name: _Server(root, state, self._stopping, self._hold, pair) for name, pair in
                        (("plain", None), ("untrusted", other("untrusted")), ("expired", other("expired")))}
        self._silent = socket.create_server(("127.0.0.1", 0))
        self._held = []
        self.control = socket.create_server(("127.0.0.1", 0))
        self.port = self._server.server_address[1]
        self.silent_port = self._silent.getsockname()[1]

    @property
    def base_url(self):
        return f"https://localhost:{self.port}/"

    def start(self):
        for server in (self._server, *self._others.values()):
            threading.Thread(target=server.serve_forever, daemon=True).start()
        threading.Thread(target=self._hold_silently, daemon=True).start()
        ports = {"port": self.port, "silent_port": self.silent_port, "control_port": self.control.getsockname()[1]}
        ports.update({name + "_port": server.server_address[1] for name, server in self._others.items()})
        with open(os.path.join(self.state, "server.json.new"), "w") as f:
            json.dump(ports, f)
        os.replace(os.path.join(self.state, "server.json.new"), os.path.join(self.state, "server.json"))
        return self

    def stop(self):
        try:
            os.remove(os.path.join(self.state, "server.json"))  # tells a waiting test that the server is gone
        except OSError:
            pass
        self._stopping.set()
        self._hold.released.set()
        for server in (self._server, *self._others.values()):
            server.shutdown()
            server.server_close()
        self._silent.close()
        self.control.close()
        for connection in self._held:
            connection.close()

    def held_packages(self):
        """The paths (as sent) of the package requests held now whose clients still wait for the answer."""
        return self._hold.pending()

    def release_held(self):
        """Answers the held package requests, and those that come later at once."""
        self._hold.released.set()

    def requests(self):
        try:
            with open(os.path.join(self.state, "requests.log")) as log:
                return log.read().splitlines()
        except OSError:
            return []

    def _hold_silently(self):
        while True:
            try:
                connection, _ = self._silent.accept()
            except OSError:
                return
            self._held.append(connection)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("root")
    parser.add_argument("state")
    parser.add_argument("--certs")
    parser.add_argument("--max-seconds", type=float, default=600)
    parser.add_argument("--sign", metavar="KEY", help="signs the packages it serves with this private key")
    args = parser.parse_args()
    server = UpdateServer(args.root, args.state, args.certs, args.sign).start()
    watcher = threading.Thread(target=_wait_for_control, args=(server.control,), daemon=True)
    watcher.start()
    watcher.join(args.max_seconds)
    server.stop()


def _wait_for_control(control):
    control.settimeout(CONTROL_WAIT_S)
    try:
        connection, _ = control.accept()
        connection.settimeout(None)
        while connection.recv(64):
            pass
    except OSError:
        pass


if __name__ == "__main__":
    main()
