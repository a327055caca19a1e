"""The soak: Calidra.exe as a user has it (virtual K1 display, scripted sensor feed, local update server) taken
through what weeks of use bring, with what it holds printed before, between and after, and wine's tracing off
in it.

    python3 benchmarks/soak.py [--repaints N] [--rescans N] [--plugs N] [--updates N] [--starts N] [--hours H]
    (BUILD_DIR in the environment, default build/; benchmarks/soak.sh builds what it needs and runs it)

- repaints: hover in and out of the close mark and clicks on both switches, through the X server, each its own
  panel repaint; counted by the X server (the DAMAGE extension on the panel's window: one batch per push).
- rescans: resumes from sleep, each followed by the program opening the display again.
- plugs: the virtual K1 unplugged and plugged in, each followed by the program closing or opening it.
- hours: the long mode: after the steps, the program runs that many hours with the feed moving and a little of
  each kind of event every ten minutes, its counters sampled each time (a day is about 86,000 reports).
- updates: the program's own update checks (software and firmware) against the local update server. The
  program checks once at every start, so they come as a user gets them: the running program is ended through
  Exit in its tray menu and started again, that many times; each start's two checks are counted in the
  server's request log, and the counters of every tenth instance are read once its checks are done.
- starts: that many Calidra.exe started at once leave exactly one running.

Counters: kernel handles, GDI objects (wine answers GetGuiResources with 0: the live entries of the process's GDI
handle table instead), windows (wine cannot count USER objects from outside), committed private memory as Windows
sees it, and the resident set and its anonymous part as Linux sees them. A step is flat when the private and the
anonymous memory each grow by at most FIXED_KIB plus BYTES_PER_EVENT for each of its events (a leak of 100 bytes
per repaint over 5,000 repaints is 488 KiB: several times the bound; the resident set is printed, not judged: it
also grows when pages of shared files are read in), and handles, GDI objects and windows by at most their small
fixed allowance. The starts compare the instances sampled last with those sampled first (medians of a third
each): each instance may hold INSTANCE_KIB more, as instances differ that much among themselves; a start that
leaves something behind for the next (a growing file read at start, a registry list) shows when it adds more than
a few KiB per start.
"""
import argparse
import os
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from calidra_session import CALIDRA_TITLE, FIRMWARE_FOLDERS, SOFTWARE_FOLDER, Session  # noqa: E402
from resident_memory import memory_kib  # noqa: E402
from x_damage import DamageCounter  # noqa: E402

BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
DRIVER = os.path.join("benchmarks", "soak_driver.exe")
# The sensor feed: a curve that changes every second.
CURVE = tuple((38 + (i * 7) % 45, (i * 13) % 100) for i in range(40))
# Panel points (client coordinates): the close mark, a spot that is nothing, the two switches.
CLOSE_MARK, NOWHERE, LIGHT_SWITCH, UNIT_SWITCH = (370, 25), (300, 60), (250, 106), (250, 163)
TRAY = "Wine System Tray"
# Longer than a panel repaint with its 15 ms pause, so that each event is a repaint of its own.
EVENT_GAP_S = 0.03
EVENTS_PER_XDOTOOL = 200
SETTLE_S = 3
# Before the first step: the private memory the same in this many readings this far apart, or this long.
SETTLED_READINGS, SETTLE_STEP_S, SETTLE_LIMIT_S = 3, 10, 240
GIVE_UP_S = 120
SAMPLE_EVERY_START = 10
# What a step may add and still count as flat.
FIXED_KIB = 64
BYTES_PER_EVENT = 10
FIXED = {"handles": 2, "gdi_table": 2, "windows": 0}
# What one instance may hold more than another after its start and checks.
INSTANCE_KIB = 512
MEMORY = (("private_kib", "private memory, KiB"), ("rss_kib", "resident, KiB"), ("anon_kib", "anonymous resident, KiB"))
# What the verdicts judge: the process's own memory. The resident set also counts pages of shared files (DLL
# code, fonts) read in the first time a path runs, which the program does not hold more of.
JUDGED = tuple(m for m in MEMORY if m[0] != "rss_kib")
LONG_CYCLE_S = 600


class Soak:
    def __init__(self, s):
        self.s = s
        self.rows = []
        self.verdicts = []

    # ---- the program ---------------------------------------------------------------------------------------
    def prepare(self):
        s = self.s
        s.ctl("firmware", "K1", "0x0100")  # the server's firmware "100" is then not newer: no offer
        s.offer_firmware("K1", "100")
        s.ctl("plug", "K1")

    def start(self):
        """Starts the program; returns once its panel and tray icon show and the display has a new report."""
        s = self.s
        before = self.reports()
        s.start_calidra()
        if not s.wait_for(lambda: s.window(CALIDRA_TITLE) and s.window(TRAY), 30):
            raise SystemExit("soak: no panel or no tray icon on screen")
        if not s.wait_for(lambda: self.reports() > before, 20):
            raise SystemExit("soak: the display gets no reports")
        pids = s.processes_named("Calidra.exe")
        if len(pids) != 1:
            raise SystemExit(f"soak: expected one Calidra.exe, found {pids}")
        self.pid = pids[0]
        ids = s.xdotool("search", "--onlyvisible", "--name", f"^{CALIDRA_TITLE}$").split()
        self.panel_window = int(ids[-1])

    def exit_through_menu(self):
        """Ends the program as a user does: Exit, the last item of its tray icon's menu."""
        s = self.s

        def program_windows():
            return set(s.xdotool("search", "--onlyvisible", "--class", "calidra.exe").split())

        before = program_windows()
        s.click_tray_icon(button=3)
        if not s.wait_for(lambda: program_windows() - before, GIVE_UP_S):
            raise SystemExit("soak: the tray menu did not open")
        s.key("Up", "Return")
        if not s.wait_for(lambda: not s.processes_named("Calidra.exe"), GIVE_UP_S):
            raise SystemExit("soak: Exit in the tray menu did not end the program")

    def reports(self):
        return int(self.s.display_state().get("K1", {}).get("reports", "0"))

    def driver(self, *args, timeout=3600):
        code, out = self.s.tool(DRIVER, *args, timeout=timeout)
        for line in out.splitlines():
            if line and not line.startswith("Calidra.exe "):
                print("  " + line, flush=True)
        if code != 0:
            raise SystemExit(f"soak: soak_driver {' '.join(args)} ended with {code}")
        return out

    # ---- counters --------------------------------------------------------------------------------------
    def counters(self):
        out = self.driver("counters", "Calidra.exe")
        line = next(l for l in out.splitlines() if l.startswith("Calidra.exe "))
        return dict(p.split("=", 1) for p in line.split()[1:])

    def settle(self):
        """Waits until the program's private memory has held still for a while: a minute or so after its start
        it lets go of some of what the start needed, which would hide growth in the first step."""
        last, same = None, 0
        end = time.monotonic() + SETTLE_LIMIT_S
        while same < SETTLED_READINGS and time.monotonic() < end:
            time.sleep(SETTLE_STEP_S)
            value = self.counters()["private_kib"]
            same = same + 1 if value == last else 0
            last = value

    def sample(self, label, events=0):
        """Counters now; events: how many events the step since the last sample brought (for its verdict)."""
        time.sleep(SETTLE_S)
        values = self.counters()
        linux = memory_kib(self.pid)
        rss, anon = linux.get("VmRSS", 0), linux.get("RssAnon", 0)
        row = {"point": label, "handles": int(values["handles"]), "gdi_reported": int(values["gdi_reported"]),
               "user_reported": int(values["user_reported"]), "gdi_table": int(values["gdi_table"]),
               "windows": int(values["windows"]), "private_kib": int(values["private_kib"]), "rss_kib": rss,
               "anon_kib": anon, "reports": self.reports(), "events": events}
        self.rows.append(row)
        print(f"  {label:26} handles {row['handles']:4}  GDI {row['gdi_table']:4}  windows {row['windows']:3}  "
              f"private {row['private_kib']:7} KiB  resident {rss:7} KiB  anonymous {anon:7} KiB  "
              f"reports {row['reports']}", flush=True)
        return row

    # ---- what the soak does ----------------------------------------------------------------------------
    def repaint_events(self, count):
        """count events, each a panel repaint: the close mark in and out, and a click on each switch. Clicks on
        one switch lie 20 events (600 ms) apart, beyond the double-click time."""
        hover = [("move", CLOSE_MARK), ("move", NOWHERE)]
        cycle = hover * 4 + [("click", LIGHT_SWITCH)] + hover * 4 + [("click", UNIT_SWITCH)] + hover
        x0, y0, _, _ = self.s.window(CALIDRA_TITLE)
        events = [cycle[i % len(cycle)] for i in range(count)]
        for first in range(0, len(events), EVENTS_PER_XDOTOOL):
            command = []
            for kind, (x, y) in events[first:first + EVENTS_PER_XDOTOOL]:
                command += ["mousemove", str(x0 + x), str(y0 + y)]
                if kind == "click":
                    command += ["click", "1"]
                command += ["sleep", str(EVENT_GAP_S)]
            self.s.xdotool(*command)
        # Park the pointer where it changes nothing.
        self.s.xdotool("mousemove", str(x0 + NOWHERE[0]), str(y0 + NOWHERE[1]))

    def repaints(self, count):
        light, unit = self.s.setting("led_switch"), self.s.setting("tempe_type")
        started = time.monotonic()
        with DamageCounter(self.s.display, self.panel_window) as damage:
            self.repaint_events(count)
            time.sleep(1)
            painted = damage.count()
        light_clicks = sum(1 for i in range(count) if i % 20 == 8)
        unit_clicks = sum(1 for i in range(count) if i % 20 == 17)
        print(f"  repaints: {count} events ({light_clicks + unit_clicks} switch clicks), {painted} pushes of the "
              f"panel seen by the X server; {time.monotonic() - started:.0f} s", flush=True)
        # An even number of clicks on each switch leaves the settings as they were.
        if light_clicks % 2 == 0 and unit_clicks % 2 == 0 and \
                (self.s.setting("led_switch"), self.s.setting("tempe_type")) != (light, unit):
            raise SystemExit("soak: the switch clicks did not all arrive (the settings differ)")
        return painted

    def version_requests(self):
        paths = self.s.update_requests()
        software = sum(1 for p in paths if p.endswith(f"{SOFTWARE_FOLDER}/version"))
        firmware = sum(1 for p in paths if p.endswith(f"{FIRMWARE_FOLDERS['K1']}/version"))
        return software, firmware

    def updates(self, count):
        """count starts of the program, each with its software and firmware check; the earlier instance ends
        through its tray menu. The counters of every tenth instance once its checks are done; returns those
        rows."""
        started = time.monotonic()
        rows = []
        log_before = len(self.s.program_log())
        for i in range(1, count + 1):
            self.exit_through_menu()
            before = self.version_requests()
            self.start()
            if not self.s.wait_for(lambda: all(a > b for a, b in zip(self.version_requests(), before)), GIVE_UP_S):
                raise SystemExit(f"soak: start {i} did not check for software and firmware within {GIVE_UP_S} s")
            if i % SAMPLE_EVERY_START == 0 or i == count:
                rows.append(self.sample(f"start {i}, checks done"))
        log_after = len(self.s.program_log())
        print(f"  updates: {count} starts, each with a software and a firmware check of its own; the program's "
              f"log grew by {log_after - log_before} characters; {time.monotonic() - started:.0f} s", flush=True)
        return rows

    def instances_verdict(self, rows):
        """Instances differ by a few hundred KiB among themselves (what each has freed when it is sampled): the
        median of the last third of the sampled instances against that of the first third."""
        third = max(1, len(rows) // 3)

        def median_row(part):
            return {key: statistics.median(r[key] for r in part) for key, _ in MEMORY + tuple(
                (k, k) for k in FIXED)}

        early, late = median_row(rows[:third]), median_row(rows[-third:])
        notes = [f"{label} {late[key] - early[key]:+.0f} (bound {INSTANCE_KIB})" for key, label in JUDGED
                 if late[key] - early[key] > INSTANCE_KIB]
        notes += [f"{key} {late[key] - early[key]:+.0f}" for key, allowance in FIXED.items()
                  if late[key] - early[key] > allowance]
        self.verdicts.append(not notes)
        print(f"  the starts, the median of the last {third} sampled instances against the first {third}: "
              f"{'flat' if not notes else 'GROWTH: ' + ', '.join(notes)}", flush=True)

    def starts(self, count):
        """count simultaneous starts with no instance running: exactly one stays."""
        s = self.s
        for p in s.processes:
            if p.poll() is None:
                p.kill()
        for pid in s.processes_named("Calidra.exe"):
            os.kill(pid, 9)
        s.wait_for(lambda: not s.processes_named("Calidra.exe"), 10)
        started = [s.start_calidra() for _ in range(count)]
        # The extra ones end by themselves; wait until they have and the survivor shows its panel.
        s.wait_for(lambda: sum(p.poll() is None for p in started) <= 1 and s.window(CALIDRA_TITLE), 120, 0.5)
        time.sleep(5)
        running = s.processes_named("Calidra.exe")
        codes = sorted(p.poll() for p in started if p.poll() is not None)
        servers = s.processes_named("OpenTermivoxServer.exe")
        print(f"  starts: {count} at once -> {len(running)} Calidra.exe running, {len(servers)} sensor server(s); "
              f"the others ended with {sorted(set(codes))}", flush=True)
        return len(running) == 1

    def long_run(self, hours):
        """The program runs hours more; every ten minutes a few events of each kind, then the counters."""
        end = time.monotonic() + hours * 3600
        first = self.rows[-1]
        cycle = 0
        while time.monotonic() < end:
            cycle += 1
            self.repaints(100)
            self.driver("rescans", "5")
            self.driver("plugs", "10")
            time.sleep(max(0.0, min(LONG_CYCLE_S - 60, end - time.monotonic())))
            self.sample(f"long run, cycle {cycle}", events=100 + 5 + 10)
        reports = self.rows[-1]["reports"] - first["reports"]
        events = sum(r["events"] for r in self.rows[self.rows.index(first) + 1:])
        # Each report is an event too: a day brings about 86,000.
        self.step_verdict(first, self.rows[-1], events + reports, f"the long run ({hours:g} h, {reports} reports)")

    # ---- the report --------------------------------------------------------------------------------------
    def step_verdict(self, a, b, events, what):
        flat = True
        notes = []
        for key, label in JUDGED:
            delta = b[key] - a[key]
            bound = FIXED_KIB + events * BYTES_PER_EVENT / 1024
            if delta > bound:
                flat = False
                notes.append(f"{label} {delta:+d} (bound {bound:.0f})")
        for key, allowance in FIXED.items():
            if b[key] - a[key] > allowance:
                flat = False
                notes.append(f"{key} {b[key] - a[key]:+d}")
        self.verdicts.append(flat)
        print(f"  {what}: {'flat' if flat else 'GROWTH: ' + ', '.join(notes)}", flush=True)

    def verdict(self):
        print(f"each step's growth against its bound ({FIXED_KIB} KiB + {BYTES_PER_EVENT} B per event for private "
              f"and anonymous memory; handles +{FIXED['handles']}, GDI objects +{FIXED['gdi_table']}, "
              f"windows +{FIXED['windows']}):")
        for a, b in zip(self.rows[1:], self.rows[2:]):
            self.step_verdict(a, b, b["events"], f"'{a['point']}' to '{b['point']}' ({b['events']} events)")
        first, last = self.rows[1], self.rows[-1]
        print(f"growth from '{first['point']}' to '{last['point']}':")
        for key, label in (("handles", "handles"), ("gdi_table", "GDI objects (handle table)"), ("windows", "windows"),
                           *MEMORY):
            print(f"  {label:28} {first[key]:8} -> {last[key]:8}  ({last[key] - first[key]:+d})")
        print(f"  GetGuiResources: GDI {last['gdi_reported']}, USER {last['user_reported']} (wine answers 0)")
        return all(self.verdicts)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repaints", type=int, default=10000)
    parser.add_argument("--rescans", type=int, default=1000)
    parser.add_argument("--plugs", type=int, default=1000)
    parser.add_argument("--updates", type=int, default=100)
    parser.add_argument("--starts", type=int, default=20)
    parser.add_argument("--hours", type=float, default=0)
    args = parser.parse_args()

    began = time.monotonic()
    with Session(BUILD, os.path.join(BUILD, "soak"), csv_rows=CURVE) as s:
        soak = Soak(s)
        soak.prepare()
        soak.start()
        print("Calidra.exe, one virtual K1, the scripted sensor feed, no tracing (counters after each step):",
              flush=True)
        soak.sample("launched")
        # Warm-up: the first of each kind fills caches that then stay.
        soak.repaints(100)
        soak.driver("rescans", "10")
        soak.driver("plugs", "10")
        soak.settle()
        soak.sample("start (warmed up)")
        half = args.repaints // 2
        painted = soak.repaints(half)
        soak.sample(f"after {half} repaints", events=half)
        painted += soak.repaints(args.repaints - half)
        soak.sample(f"after {args.repaints} repaints", events=args.repaints - half)
        soak.driver("rescans", str(args.rescans))
        soak.sample(f"after {args.rescans} rescans", events=args.rescans)
        soak.driver("plugs", str(args.plugs))
        soak.sample(f"after {args.plugs} plug events", events=args.plugs)
        time.sleep(30)
        soak.sample("end (30 s later)")
        flat = soak.verdict()
        if args.hours > 0:
            soak.long_run(args.hours)
            flat = flat and soak.verdicts[-1]
        if args.updates > 0:
            soak.instances_verdict(soak.updates(args.updates))
            flat = flat and soak.verdicts[-1]
        one = soak.starts(args.starts)
    print(f"soak: {'flat' if flat else 'GROWTH'}; {painted} of {args.repaints} repaints pushed; simultaneous "
          f"starts: {'one instance' if one else 'NOT one'}; {(time.monotonic() - began) / 60:.0f} min")
    return 0 if flat and one else 1


if __name__ == "__main__":
    sys.exit(main())
