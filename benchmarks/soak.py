"""The soak: Calidra.exe as a user has it (virtual K1 display, scripted sensor feed, local update server) taken
through what weeks of use bring, with what it holds printed before, between and after.

    python3 benchmarks/soak.py [--repaints N] [--rescans N] [--plugs N] [--updates N] [--starts N]
    (BUILD_DIR in the environment, default build/; benchmarks/soak.sh builds what it needs and runs it)

- repaints: hover in and out of the close mark and clicks on both switches, through the X server, each its own
  panel repaint; counted from wine's trace of UpdateLayeredWindow in Calidra.exe.
- rescans: resumes from sleep, each followed by the program opening the display again.
- plugs: the virtual K1 unplugged and plugged in, each followed by the program closing or opening it.
- updates: the program's update checks (software and firmware) against the local update server, named in the
  prefix's machine-wide "UpdateServer" value. Calidra checks only when it starts, so they run in the soak
  driver's own process, whose counters are printed beside.
- starts: that many Calidra.exe started at once leave exactly one running.

Counters: kernel handles, GDI objects (wine answers GetGuiResources with 0: the live entries of the process's
GDI handle table instead), windows (wine cannot count USER objects from outside), committed private memory as
Windows sees it, and the resident set, its anonymous part and the private pages as Linux sees them.
"""
import argparse
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from calidra_session import CALIDRA_TITLE, Session  # noqa: E402

BUILD = os.path.abspath(os.environ.get("BUILD_DIR", os.path.join(ROOT, "build")))
DRIVER = os.path.join("benchmarks", "soak_driver.exe")
# The sensor feed: a curve that changes every second.
CURVE = tuple((38 + (i * 7) % 45, (i * 13) % 100) for i in range(40))
# Panel points (client coordinates): the close mark, a spot that is nothing, the two switches.
CLOSE_MARK, NOWHERE, LIGHT_SWITCH, UNIT_SWITCH = (370, 25), (300, 60), (250, 106), (250, 163)
# Longer than a panel repaint with its 15 ms pause, so that each event is a repaint of its own.
EVENT_GAP_S = 0.03
EVENTS_PER_XDOTOOL = 200
SETTLE_S = 3
TRACE_MARK = b"NtUserUpdateLayeredWindow"
# Growth from the start to the end that counts as flat.
FLAT = {"handles": 2, "gdi_table": 2, "windows": 0, "private_kib": 1024, "rss_kib": 2048, "anon_kib": 1024}


def linux_memory(pid):
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "RssAnon"):
                values[key] = int(rest.split()[0])
    return values.get("VmRSS", 0), values.get("RssAnon", 0)


class Soak:
    def __init__(self, s, args):
        self.s = s
        self.args = args
        self.trace = os.path.join(s.work, "calidra-trace.txt")
        self.rows = []

    # ---- the program ---------------------------------------------------------------------------------------
    def start(self):
        s = self.s
        s.ctl("firmware", "K1", "0x0100")  # the server's firmware "100" is then not newer: no offer
        s.offer_firmware("K1", "100")
        s.ctl("plug", "K1")
        s.start_calidra(extra_env={"WINEDEBUG": "-all,trace+win"}, stderr_path=self.trace)
        if not s.wait_for(lambda: s.window(CALIDRA_TITLE), 30):
            raise SystemExit("soak: no panel on screen")
        if not s.wait_for(lambda: self.reports() > 2, 20):
            raise SystemExit("soak: the display gets no reports")
        pids = s.processes_named("Calidra.exe")
        if len(pids) != 1:
            raise SystemExit(f"soak: expected one Calidra.exe, found {pids}")
        self.pid = pids[0]

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

    def repaints_traced(self):
        with open(self.trace, "rb") as f:
            return f.read().count(TRACE_MARK)

    # ---- counters --------------------------------------------------------------------------------------
    def sample(self, label):
        time.sleep(SETTLE_S)
        out = self.driver("counters", "Calidra.exe")
        line = next(l for l in out.splitlines() if l.startswith("Calidra.exe "))
        values = dict(p.split("=", 1) for p in line.split()[1:])
        rss, anon = linux_memory(self.pid)
        row = {"point": label, "handles": int(values["handles"]), "gdi_reported": int(values["gdi_reported"]),
               "user_reported": int(values["user_reported"]), "gdi_table": int(values["gdi_table"]),
               "windows": int(values["windows"]), "private_kib": int(values["private_kib"]), "rss_kib": rss,
               "anon_kib": anon, "reports": self.reports(), "repaints": self.repaints_traced()}
        self.rows.append(row)
        print(f"  {label:22} handles {row['handles']:4}  GDI {row['gdi_table']:4}  windows {row['windows']:3}  "
              f"private {row['private_kib']:7} KiB  resident {rss:7} KiB  anonymous {anon:7} KiB", flush=True)

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
        before = self.repaints_traced()
        light, unit = self.s.setting("led_switch"), self.s.setting("tempe_type")
        started = time.monotonic()
        self.repaint_events(count)
        time.sleep(1)
        painted = self.repaints_traced() - before
        light_clicks = sum(1 for i in range(count) if i % 20 == 8)
        unit_clicks = sum(1 for i in range(count) if i % 20 == 17)
        print(f"  repaints: {count} events ({light_clicks + unit_clicks} switch clicks), {painted} panel repaints "
              f"traced; {time.monotonic() - started:.0f} s", flush=True)
        # An even number of clicks on each switch leaves the settings as they were.
        if light_clicks % 2 == 0 and unit_clicks % 2 == 0 and \
                (self.s.setting("led_switch"), self.s.setting("tempe_type")) != (light, unit):
            raise SystemExit("soak: the switch clicks did not all arrive (the settings differ)")

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

    # ---- the report --------------------------------------------------------------------------------------
    def verdict(self, first, last):
        a = next(r for r in self.rows if r["point"] == first)
        b = next(r for r in self.rows if r["point"] == last)
        print(f"growth from '{first}' to '{last}':")
        flat = True
        for key, label in (("handles", "handles"), ("gdi_table", "GDI objects (handle table)"),
                           ("windows", "windows"), ("private_kib", "private memory, KiB"),
                           ("rss_kib", "resident, KiB"), ("anon_kib", "anonymous resident, KiB")):
            delta = b[key] - a[key]
            ok = delta <= FLAT[key]
            flat &= ok
            print(f"  {label:28} {a[key]:8} -> {b[key]:8}  ({delta:+d}){'' if ok else '  GROWTH'}")
        print(f"  GetGuiResources: GDI {b['gdi_reported']}, USER {b['user_reported']} (wine answers 0)")
        return flat


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repaints", type=int, default=10000)
    parser.add_argument("--rescans", type=int, default=1000)
    parser.add_argument("--plugs", type=int, default=1000)
    parser.add_argument("--updates", type=int, default=100)
    parser.add_argument("--starts", type=int, default=20)
    args = parser.parse_args()

    began = time.monotonic()
    with Session(BUILD, os.path.join(BUILD, "soak"), csv_rows=CURVE) as s:
        soak = Soak(s, args)
        soak.start()
        print("Calidra.exe, one virtual K1, the scripted sensor feed (counters after each step):", flush=True)
        soak.sample("launched")
        # Warm-up: the first of each kind fills caches that then stay.
        soak.repaints(100)
        soak.driver("rescans", "10")
        soak.driver("plugs", "10")
        soak.sample("start (warmed up)")
        half = args.repaints // 2
        soak.repaints(half)
        soak.sample(f"after {half} repaints")
        soak.repaints(args.repaints - half)
        soak.sample(f"after {args.repaints} repaints")
        soak.driver("rescans", str(args.rescans))
        soak.sample(f"after {args.rescans} rescans")
        soak.driver("plugs", str(args.plugs))
        soak.sample(f"after {args.plugs} plug events")
        time.sleep(30)
        soak.sample("end (30 s later)")
        flat = soak.verdict("start (warmed up)", "end (30 s later)")
        print(f"update checks in the soak driver's process ({args.updates} of each kind):", flush=True)
        soak.driver("updates", str(args.updates))
        one = soak.starts(args.starts)
    print(f"soak: {'flat' if flat else 'GROWTH'}; simultaneous starts: {'one instance' if one else 'NOT one'}; "
          f"{(time.monotonic() - began) / 60:.0f} min")
    return 0 if flat and one else 1


if __name__ == "__main__":
    sys.exit(main())
