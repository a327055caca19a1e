"""Start to first report: the time from starting Calidra.exe (nothing of it running, the virtual K1 plugged in)
to the display's first report, with the update server refusing connections, with its name not found, with a
server that accepts connections and never answers, and with a name whose lookup gets no answer, beside the same
start with the local update server answering, in turns in one prefix (the order rotated from round to round).

    python3 benchmarks/offline_start.py [ROUNDS]      (BUILD_DIR in the environment, default build/; 5 rounds)

The program asks its update server before it looks for displays, so an update server that does not answer
delays the first report; the aim is a first report within 2 s of an offline start.

The slow name lookup: the start runs in a mount namespace of its own whose /etc/resolv.conf names a name
server on 127.0.0.153 that takes queries and never answers, so the system's resolver waits out its own
time-outs (glibc: 5 s, two attempts, for each address family) as it does behind a dead name server. It needs
root (a port below 1024 and the mount); without it that line says why it was not measured.
"""
import os
import re
import socket
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from calidra_session import WINE, Session  # noqa: E402

BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
BENCH = os.path.join("benchmarks", "first_report_bench.exe")
REFUSING = "https://localhost:1/"
ABSENT = "https://updates.invalid/"
SLOW_LOOKUP = "https://updates.calidra-bench.example/"
DEAD_NAME_SERVER = "127.0.0.153"
AIM_MS = 2000
SETTLE_S = 1
LOOKUP_LABEL = "update server's name lookup unanswered"
WAIT_MS = 90000  # how long the first report may take before the start counts as failed


def end_program(s):
    for name in ("Calidra.exe", "OpenTermivoxServer.exe"):
        for pid in s.processes_named(name):
            os.kill(pid, 9)
        s.wait_for(lambda: not s.processes_named(name), 10)
    # The wine server lets go of a killed process's mutexes a moment later; a sensor server started before
    # that would take its predecessor for a running copy and end.
    time.sleep(SETTLE_S)


class DeadNameServer:
    """A name server that takes every query (UDP and TCP) and never answers, and a resolv.conf naming it; the
    start runs under it through wrap(). unavailable says why it could not be set up (then wrap is None)."""

    def __init__(self, work):
        self.sockets = []
        self.unavailable = None
        self.conf = os.path.join(work, "resolv.conf")
        try:
            udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            self.sockets.append(udp)
            udp.bind((DEAD_NAME_SERVER, 53))
            tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            self.sockets.append(tcp)
            tcp.bind((DEAD_NAME_SERVER, 53))
            tcp.listen()
            with open(self.conf, "w") as f:
                f.write(f"nameserver {DEAD_NAME_SERVER}\n")
            probe = subprocess.run(self.wrap(["true"]), capture_output=True, text=True, timeout=30)
            if probe.returncode != 0:
                self.unavailable = f"no private mount namespace: {probe.stderr.strip()}"
        except OSError as e:
            self.unavailable = f"no dead name server on {DEAD_NAME_SERVER}:53: {e}"

    def wrap(self, command):
        return ["unshare", "--mount", "--propagation", "private", "sh", "-c",
                'mount --bind "$0" /etc/resolv.conf && exec "$@"', self.conf, *command]

    def close(self):
        for s in self.sockets:
            s.close()


def first_report_ms(s, server, wrap=None):
    s.set_update_server(server)
    end_program(s)
    program = "Z:" + os.path.join(s.install, "Calidra.exe").replace("/", "\\")
    # The started program inherits this tool's standard streams and keeps them open: a file, not a pipe.
    output = os.path.join(s.work, "first-report.txt")
    command = [WINE, os.path.join(BUILD, BENCH), program, str(WAIT_MS)]
    with open(output, "w") as f:
        code = subprocess.run(wrap(command) if wrap else command, env=s.env, stdin=subprocess.DEVNULL, stdout=f,
                              stderr=subprocess.DEVNULL, timeout=WAIT_MS / 1000 + 30).returncode
    with open(output) as f:
        out = f.read()
    m = re.search(r"first report after ([\d.]+) ms", out)
    if code != 0 or not m:
        raise SystemExit(f"offline_start: update server {server}: {out.strip() or code}")
    return float(m.group(1))


def main():
    rounds = max(1, int(sys.argv[1])) if len(sys.argv) > 1 else 5
    with Session(BUILD, os.path.join(BUILD, "bench-offline")) as s:
        dns = DeadNameServer(s.work)
        s.ctl("plug", "K1")
        modes = [("update server answering", s.updates.base_url, None),
                 ("update server refusing", REFUSING, None),
                 ("update server's name not found", ABSENT, None),
                 ("update server silent (connects, never answers)", f"https://localhost:{s.updates.silent_port}/",
                  None)]
        if dns.unavailable is None:
            modes.append((LOOKUP_LABEL, SLOW_LOOKUP, dns.wrap))
        first_report_ms(s, s.updates.base_url)  # the first start in a prefix also fills its caches
        results = {label: [] for label, _, _ in modes}
        for round_ in range(rounds):
            for label, server, wrap in modes[round_ % len(modes):] + modes[:round_ % len(modes)]:
                results[label].append(first_report_ms(s, server, wrap))
        end_program(s)
        dns.close()
    medians = {label: statistics.median(values) for label, values in results.items()}
    online = medians[modes[0][0]]
    print(f"start to first report, {rounds} rounds, order rotated (ms; aim: within {AIM_MS} ms offline)")
    print("\n".join(f"  {label:48} n={len(values)} median {medians[label]:7.0f}  max {max(values):7.0f}  "
                    f"({medians[label] / online:.2f}x answering)" for label, values in results.items()))
    if dns.unavailable:
        print(f"  {LOOKUP_LABEL:48} not measured: {dns.unavailable}")


if __name__ == "__main__":
    main()
