"""Start to first report: the time from starting Calidra.exe (nothing of it running, the virtual K1 plugged in)
to the display's first report, with the update server refusing connections and with its name not found,
beside the same start with the local update server answering, in turns in one prefix.

    python3 benchmarks/offline_start.py [ROUNDS]      (BUILD_DIR in the environment, default build/; 5 rounds)

The program asks its update server before it looks for displays, so an update server that does not answer
delays the first report; the aim is a first report within 2 s of an offline start.
"""
import os
import re
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from calidra_session import WINE, Session  # noqa: E402

BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
BENCH = os.path.join("benchmarks", "first_report_bench.exe")
REFUSING = "https://localhost:1/"
ABSENT = "https://updates.invalid/"
AIM_MS = 2000
SETTLE_S = 1


def end_program(s):
    for name in ("Calidra.exe", "OpenTermivoxServer.exe"):
        for pid in s.processes_named(name):
            os.kill(pid, 9)
        s.wait_for(lambda: not s.processes_named(name), 10)
    # The wine server lets go of a killed process's mutexes a moment later; a sensor server started before
    # that would take its predecessor for a running copy and end.
    time.sleep(SETTLE_S)


def first_report_ms(s, server):
    s.set_update_server(server)
    end_program(s)
    program = "Z:" + os.path.join(s.install, "Calidra.exe").replace("/", "\\")
    # The started program inherits this tool's standard streams and keeps them open: a file, not a pipe.
    output = os.path.join(s.work, "first-report.txt")
    with open(output, "w") as f:
        code = subprocess.run([WINE, os.path.join(BUILD, BENCH), program, "20000"], env=s.env,
                              stdin=subprocess.DEVNULL, stdout=f, stderr=subprocess.DEVNULL, timeout=60).returncode
    with open(output) as f:
        out = f.read()
    m = re.search(r"first report after ([\d.]+) ms", out)
    if code != 0 or not m:
        raise SystemExit(f"offline_start: update server {server}: {out.strip() or code}")
    return float(m.group(1))


def main():
    rounds = max(1, int(sys.argv[1])) if len(sys.argv) > 1 else 5
    with Session(BUILD, os.path.join(BUILD, "bench-offline")) as s:
        s.ctl("plug", "K1")
        modes = (("update server answering", s.updates.base_url), ("update server refusing", REFUSING),
                 ("update server's name not found", ABSENT))
        first_report_ms(s, s.updates.base_url)  # the first start in a prefix also fills its caches
        results = {label: [] for label, _ in modes}
        for _ in range(rounds):
            for label, server in modes:
                results[label].append(first_report_ms(s, server))
        end_program(s)
    medians = {label: statistics.median(values) for label, values in results.items()}
    online = medians[modes[0][0]]
    print(f"start to first report, {rounds} rounds (ms; aim: within {AIM_MS} ms offline)")
    print("\n".join(f"  {label:32} median {medians[label]:7.0f}  max {max(values):7.0f}  "
                    f"({medians[label] / online:.2f}x answering)" for label, values in results.items()))


if __name__ == "__main__":
    main()
