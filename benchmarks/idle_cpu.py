"""Idle CPU of Calidra.exe with the panel hidden, beside a bare program doing the least the same state needs,
both measured over the same windows in two wine prefixes of their own (each with its own wineserver, Xvfb,
virtual display and scripted sensor feed whose readings move every second):

- one display plugged in: Calidra.exe beside a bare 1000 + 16 ms loop that sends one report through the same
  hidapi.dll each round (bare_report_loop.exe);
- no display (Calidra.exe polls its queue every 16 ms): beside a bare process that wakes every 16 ms
  (idle_poller.exe).

    python3 benchmarks/idle_cpu.py [SECONDS] [ROUNDS]   (BUILD_DIR in the environment, default build/;
                                                          default 120 s windows, 5 rounds)

The program and the baseline swap prefixes from round to round. CPU time is the sum over a process's threads
of the time they ran (/proc/PID/task/*/schedstat), per process: the program's own threads, its sensor server,
and the prefix's wineserver and wine services (explorer, services, ...), each less what the same processes used
over a window with nothing of ours running (the floor, measured first). Wake-ups are the threads' voluntary
context switches (each time a thread blocked and was woken again: a wait, a sleep, a wine server call), which
unlike CPU time and preemptions do not grow with the machine's load. Each figure is the median of the rounds,
with the smallest and largest.
"""
import glob
import os
import shutil
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from calidra_session import CALIDRA_TITLE, Session  # noqa: E402

BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
SETTLE_S = 5
GIVE_UP_S = 30
HIDE_CLICKS = 3
# A feed that changes every second, so that every report differs from the one before.
CURVE = tuple((38 + (i * 7) % 45, (i * 13) % 100) for i in range(40))
BASELINES = ("bare_report_loop.exe", "idle_poller.exe")
CLOSE_MARK = (370, 25)


def thread_totals(pid):
    """(seconds run, voluntary context switches) summed over the process's threads; (0, 0) once it has gone."""
    run, switches = 0, 0
    for task in glob.glob(f"/proc/{pid}/task/*"):
        try:
            with open(f"{task}/schedstat") as f:
                run += int(f.read().split()[0])
            with open(f"{task}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches"):
                        switches += int(line.split()[1])
        except (OSError, ValueError, IndexError):
            pass  # a thread that ended meanwhile
    return run / 1e9, switches


def prefix_processes(s):
    """{linux pid: executable name} of every process of the session's prefix, the wineserver included."""
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as f:
                if ("WINEPREFIX=" + s.prefix).encode() not in f.read().split(b"\0"):
                    continue
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
        except OSError:
            continue
        found[int(entry)] = argv0.replace("\\", "/").rsplit("/", 1)[-1]
    return found


class Window:
    """CPU seconds and wake-ups of each process of a prefix over one measuring window."""

    def __init__(self, s):
        self.s = s
        self.names = prefix_processes(s)
        self.start = {pid: thread_totals(pid) for pid in self.names}
        self.t0 = time.monotonic()

    def finish(self):
        self.wall = time.monotonic() - self.t0
        self.used = {}
        for pid, name in self.names.items():
            run, switches = thread_totals(pid)
            run0, switches0 = self.start[pid]
            if run or switches:
                self.used[pid] = (name, run - run0, switches - switches0)
        return self

    def share(self, pick):
        """(% of one core, wake-ups a second) of the processes whose name pick() accepts."""
        run = sum(u[1] for u in self.used.values() if pick(u[0]))
        wakes = sum(u[2] for u in self.used.values() if pick(u[0]))
        return 100 * run / self.wall, wakes / self.wall


def is_wineserver(name):
    return name.startswith("wineserver")  # wineserver64 behind Debian's wrapper script


def is_service(name, ours):
    return name not in ours and not is_wineserver(name)


OURS = ("Calidra.exe", "OpenTermivoxServer.exe") + BASELINES


def groups(window, floor, program):
    """{group: % of a core} for a window: the program itself, its sensor server, and the wineserver and wine
    services above their floor."""
    def above_floor(pick):
        return max(0.0, window.share(pick)[0] - floor.share(pick)[0])
    return {"own": window.share(lambda n: n == program)[0],
            "wakes": window.share(lambda n: n == program)[1],
            "sensor": window.share(lambda n: n == "OpenTermivoxServer.exe")[0],
            "wineserver": above_floor(is_wineserver),
            "services": above_floor(lambda n: is_service(n, OURS))}


def reports(s):
    return int(s.display_state().get("K1", {}).get("reports", "0"))


def end_ours(s):
    for p in s.processes:
        if p.poll() is None:
            p.kill()
    for name in OURS:
        for pid in s.processes_named(name):
            os.kill(pid, 9)
        s.wait_for(lambda: not s.processes_named(name), 10)
    # The wine server lets go of a killed process's mutexes a moment later.
    time.sleep(1)


def start_hidden_calidra(s):
    s.start_calidra()
    if not s.wait_for(lambda: s.window(CALIDRA_TITLE), GIVE_UP_S):
        raise SystemExit("idle_cpu: no panel on screen")
    if not s.wait_for(lambda: reports(s) > 0, GIVE_UP_S):
        raise SystemExit("idle_cpu: the display gets no reports")
    # A click that comes while the panel is still settling can be lost (it happened once in five rounds):
    # click again rather than lose the whole run.
    for _ in range(HIDE_CLICKS):
        s.click_panel(*CLOSE_MARK)
        if s.wait_for(lambda: s.window(CALIDRA_TITLE) is None, GIVE_UP_S / HIDE_CLICKS):
            return
    raise SystemExit("idle_cpu: the panel did not hide")


def measure_pair(program_session, baseline_session, seconds):
    time.sleep(SETTLE_S)
    before = (reports(program_session), reports(baseline_session))
    windows = (Window(program_session), Window(baseline_session))
    time.sleep(seconds)
    done = tuple(w.finish() for w in windows)
    return done, (reports(program_session) - before[0], reports(baseline_session) - before[1])


def total(group):
    return sum(group[k] for k in ("own", "sensor", "wineserver", "services"))


def summary(values):
    return f"{statistics.median(values):7.3f} ({min(values):.3f}-{max(values):.3f})"


def print_state(title, rows, program, baseline):
    print(f"{title}, {len(rows)} rounds, % of one core: median (smallest-largest)")
    for key, label in (("own", "own threads"), ("sensor", "sensor server"),
                       ("wineserver", "wineserver above its floor"), ("services", "wine services above floor")):
        print(f"  {label:28} {program}: {summary([r[0][key] for r in rows])}   "
              f"{baseline}: {summary([r[1][key] for r in rows])}")
    print(f"  {'all of these':28} {program}: {summary([total(r[0]) for r in rows])}   "
          f"{baseline}: {summary([total(r[1]) for r in rows])}")
    print(f"  {'wake-ups a second':28} {program}: {summary([r[0]['wakes'] for r in rows])}   "
          f"{baseline}: {summary([r[1]['wakes'] for r in rows])}")
    wakes = [r[0]["wakes"] / r[1]["wakes"] for r in rows if r[1]["wakes"] > 0]
    own = [r[0]["own"] / r[1]["own"] for r in rows if r[1]["own"] > 0]
    whole = [total(r[0]) / total(r[1]) for r in rows if total(r[1]) > 0]
    if own:
        print(f"  ratio, own threads:          {summary(own)}")
    if whole:
        print(f"  ratio, with sensor server, wineserver and services: {summary(whole)}")
    if wakes:
        print(f"  ratio, wake-ups:             {summary(wakes)}")
    print(f"  reports meanwhile: {program} {statistics.median(r[2][0] for r in rows):.0f}, "
          f"{baseline} {statistics.median(r[2][1] for r in rows):.0f} (medians)")


def main():
    seconds = max(10, int(sys.argv[1])) if len(sys.argv) > 1 else 120
    rounds = max(1, int(sys.argv[2])) if len(sys.argv) > 2 else 5
    with Session(BUILD, os.path.join(BUILD, "bench-idle-a"), csv_rows=CURVE) as a, \
            Session(BUILD, os.path.join(BUILD, "bench-idle-b"), csv_rows=CURVE) as b:
        for s in (a, b):
            for name in BASELINES:
                shutil.copy2(os.path.join(BUILD, "benchmarks", name), s.install)
            s.ctl("plug", "K1")
        floors = {}
        print(f"idle CPU: the floor, {seconds} s with nothing of ours running in either prefix", flush=True)
        windows = (Window(a), Window(b))
        time.sleep(seconds)
        for s, w in zip((a, b), windows):
            floors[s.prefix] = w.finish()
        with_display, without_display = [], []
        for round_ in range(rounds):
            p, q = (a, b) if round_ % 2 == 0 else (b, a)
            print(f"round {round_ + 1}: Calidra.exe in {os.path.basename(p.work)}", flush=True)
            start_hidden_calidra(p)
            q.start_program("bare_report_loop.exe", args=(str(2 * seconds + 60),))
            (wp, wq), counts = measure_pair(p, q, seconds)
            with_display.append((groups(wp, floors[p.prefix], "Calidra.exe"),
                                 groups(wq, floors[q.prefix], "bare_report_loop.exe"), counts))
            p.ctl("unplug", "K1")
            for pid in q.processes_named("bare_report_loop.exe"):
                os.kill(pid, 9)
            q.start_program("idle_poller.exe", args=(str(seconds + 60),))
            (wp, wq), counts = measure_pair(p, q, seconds)
            without_display.append((groups(wp, floors[p.prefix], "Calidra.exe"),
                                    groups(wq, floors[q.prefix], "idle_poller.exe"), counts))
            end_ours(p)
            end_ours(q)
            p.ctl("plug", "K1")
    print(f"idle CPU, panel hidden, moving sensor feed, {seconds} s windows")
    print("floor (nothing of ours running), % of one core: " + ", ".join(
        f"{os.path.basename(os.path.dirname(prefix))}: wineserver {w.share(is_wineserver)[0]:.3f}, "
        f"services {w.share(lambda n: is_service(n, OURS))[0]:.3f}" for prefix, w in floors.items()))
    print_state("one display", with_display, "Calidra.exe", "bare 1000+16 ms report loop")
    print_state("no display (the program polls)", without_display, "Calidra.exe", "bare 16 ms poller")


if __name__ == "__main__":
    main()
