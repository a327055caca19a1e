"""Idle CPU of Calidra.exe with a display present and the panel hidden, beside a bare process that only wakes
every 16 ms, both under wine in the same prefix over the same seconds.

    python3 benchmarks/idle_cpu.py [SECONDS]      (BUILD_DIR in the environment, default build/; 60 s default)

CPU time is the sum over each process's threads of the time they ran (/proc/PID/task/*/schedstat), so
wineserver's own wake-ups are not counted against either.
"""
import glob
import os
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from calidra_session import CALIDRA_TITLE, Session  # noqa: E402

BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
SETTLE_S = 5


def cpu_seconds(pid):
    total = 0
    for stat in glob.glob(f"/proc/{pid}/task/*/schedstat"):
        try:
            with open(stat) as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass  # a thread that ended meanwhile
    return total / 1e9


def only_pid(session, name):
    pids = session.wait_for(lambda: session.processes_named(name), 30)
    if len(pids or []) != 1:
        raise SystemExit(f"idle_cpu: expected one {name}, found {pids}")
    return pids[0]


def main():
    seconds = max(10, int(sys.argv[1])) if len(sys.argv) > 1 else 60
    with Session(BUILD, os.path.join(BUILD, "bench-idle")) as s:
        s.ctl("plug", "K1")
        s.start_calidra()
        if not s.wait_for(lambda: s.window(CALIDRA_TITLE), 30):
            raise SystemExit("idle_cpu: no panel on screen")
        if not s.wait_for(lambda: int(s.display_state().get("K1", {}).get("reports", "0")) > 0, 15):
            raise SystemExit("idle_cpu: the display gets no reports")
        s.click_panel(370, 25)  # the close mark hides the panel
        if not s.wait_for(lambda: s.window(CALIDRA_TITLE) is None, 10):
            raise SystemExit("idle_cpu: the panel did not hide")
        s.start_program(os.path.join(BUILD, "benchmarks", "idle_poller.exe"), args=(str(seconds + 60),))
        calidra = only_pid(s, "Calidra.exe")
        poller = only_pid(s, "idle_poller.exe")
        time.sleep(SETTLE_S)

        reports_before = int(s.display_state()["K1"]["reports"])
        c0, p0, t0 = cpu_seconds(calidra), cpu_seconds(poller), time.monotonic()
        time.sleep(seconds)
        c1, p1, t1 = cpu_seconds(calidra), cpu_seconds(poller), time.monotonic()
        reports = int(s.display_state()["K1"]["reports"]) - reports_before

    wall = t1 - t0
    program = 100 * (c1 - c0) / wall
    bare = 100 * (p1 - p0) / wall
    print(f"idle CPU, panel hidden, one display, {wall:.0f} s (% of one core), stand-in {s.stand_in}.dll")
    print(f"Calidra.exe:                       {program:.3f} %  ({reports} reports meanwhile)")
    print(f"bare 16 ms poller:                 {bare:.3f} %")
    print(f"Calidra.exe / bare poller:         {program / bare:.2f}" if bare > 0 else "bare poller used no CPU")


if __name__ == "__main__":
    main()
