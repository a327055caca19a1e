#!/usr/bin/env python3
"""A local HTTPS update server for tests: https://localhost:PORT/ over a folder, with a certificate for localhost
made with openssl at test time (tests trust it in their wine prefix's machine "Root" store; see
CertificateTrust.h and the TrustCertificate tool).

    update_server.py ROOT STATE     serves ROOT while the test holds its control connection

STATE receives server.json ({"port": ..., "silent_port": ..., "control_port": ...}) while the server listens, and
requests.log, one line per request with the path exactly as sent. The test that started the server connects to
the control port and keeps that connection open; the server ends when it closes (which the test's end does
too), when nobody connects within a minute, or after --max-seconds. (A Linux program started from wine gets
neither a process handle nor a working standard input, hence the connection.) The certificate (cert.pem, key.pem, cert.der) is kept in the
folder given by --certs (default STATE/..) and made again when it is a day old.

What a path gets:
  a file under ROOT              200 with the file (any run of slashes counts as one when looking it up)
  a folder under ROOT named *.zip  200 with a zip archive of the folder's files, made on the fly
  anything else                  404 with the 9-character body "Not Found"
  /_status/CODE/REST             CODE with a Location header for https://localhost:PORT/REST and "Not Found"
  /_big/BYTES/REST               200 with BYTES bytes of "1"
  /_stall/REST                   reads the request and never answers
The silent port accepts connections and never says anything (not even TLS).

Python code (the whole-program tests) can run it in-process: UpdateServer(root, state).start() ... .stop().
"""
import argparse
import fcntl
import io
import json
import os
import socket
import ssl
import subprocess
import threading
import time
import zipfile
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CERT_MAX_AGE_S = 24 * 3600
STALL_S = 120
CONTROL_WAIT_S = 60


def ensure_certificate(folder):
    """(cert.pem, key.pem, cert.der) in folder for CN and DNS name localhost, made once a day; safe to call from
    several processes at once."""
    os.makedirs(folder, exist_ok=True)
    cert, key, der = (os.path.join(folder, n) for n in ("cert.pem", "key.pem", "cert.der"))
    with open(os.path.join(folder, "cert.lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        fresh = all(os.path.exists(p) for p in (cert, key, der)) and time.time() - os.path.getmtime(der) < CERT_MAX_AGE_S
        if not fresh:
            subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                            "-nodes", "-keyout", key + ".new", "-out", cert + ".new", "-days", "7",
                            "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost",
                            "-addext", "basicConstraints=critical,CA:TRUE"],
                           check=True, capture_output=True)
            subprocess.run(["openssl", "x509", "-in", cert + ".new", "-outform", "der", "-out", der + ".new"],
                           check=True, capture_output=True)
            for p in (key, cert, der):
                os.replace(p + ".new", p)
    return cert, key, der


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
        server.log_request_path(self.raw_requestline.decode("latin-1").split(" ")[1])
        parts = [p for p in self.path.split("?")[0].split("/") if p]
        if parts[:1] == ["_stall"]:
            server.stopping.wait(STALL_S)
            self.close_connection = True
            return
        if parts[:1] == ["_big"] and len(parts) >= 2 and parts[1].isdigit():
            return self._send_big(int(parts[1]))
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
        return self._send(404, b"Not Found")

    def _send(self, status, body, headers=None):
        self.send_response(status)
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def _send_big(self, size):
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        block = b"1" * 65536
        try:
            while size > 0:
                self.wfile.write(block[:min(size, len(block))])
                size -= len(block)
        except OSError:
            self.close_connection = True  # the client stopped reading


class _TlsServer(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, root, state, certs):
        cert, key, _ = ensure_certificate(certs)
        self.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        self.context.load_cert_chain(cert, key)
        self.root = os.path.abspath(root)
        self.log_path = os.path.join(state, "requests.log")
        self.log_lock = threading.Lock()
        self.stopping = threading.Event()
        super().__init__(("127.0.0.1", 0), _Handler)

    def finish_request(self, request, client_address):
        # The handshake runs on the request's own thread, so a client that never finishes it holds no one up.
        try:
            request = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError):
            return
        try:
            super().finish_request(request, client_address)
        finally:
            request.close()

    def log_request_path(self, path):
        with self.log_lock, open(self.log_path, "a") as log:
            log.write(path + "\n")


class UpdateServer:
    """The server on a thread of its own, with a silent port beside it."""

    def __init__(self, root, state, certs=None):
        os.makedirs(state, exist_ok=True)
        self.state = state
        self.certs = certs or os.path.join(os.path.dirname(os.path.abspath(state)), "certs")
        self._server = _TlsServer(root, state, self.certs)
        self._silent = socket.create_server(("127.0.0.1", 0))
        self._held = []
        self.control = socket.create_server(("127.0.0.1", 0))
        self.port = self._server.server_address[1]
        self.silent_port = self._silent.getsockname()[1]
        self.der = ensure_certificate(self.certs)[2]

    @property
    def base_url(self):
        return f"https://localhost:{self.port}/"

    def start(self):
        threading.Thread(target=self._server.serve_forever, daemon=True).start()
        threading.Thread(target=self._hold_silently, daemon=True).start()
        with open(os.path.join(self.state, "server.json.new"), "w") as f:
            json.dump({"port": self.port, "silent_port": self.silent_port,
                       "control_port": self.control.getsockname()[1]}, f)
        os.replace(os.path.join(self.state, "server.json.new"), os.path.join(self.state, "server.json"))
        return self

    def stop(self):
        try:
            os.remove(os.path.join(self.state, "server.json"))  # tells a waiting test that the server is gone
        except OSError:
            pass
        self._server.stopping.set()
        self._server.shutdown()
        self._server.server_close()
        self._silent.close()
        self.control.close()
        for connection in self._held:
            connection.close()

    def requests(self):
        try:
            with open(self._server.log_path) as log:
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
    args = parser.parse_args()
    server = UpdateServer(args.root, args.state, args.certs).start()
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
