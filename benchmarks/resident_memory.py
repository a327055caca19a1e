#!/usr/bin/env python3
"""Memory of Calidra.exe (the release build) after it has run a while with a virtual K1 display plugged in,
beside two floors measured the same way in the same prefix and on the same Xvfb display:

- the fair floor (fair_floor.exe): a bare program that starts GDI+, COM and OLE, adds a tray icon, registers
  the program's private font, decodes the skin images the panel shows and pushes one layered frame of the
  panel's size -- what Calidra.exe must hold; and the same with one WinINet HTTPS request to the local update
  server first (what the start's update check adds, on its own line);
- a bare window program (bare_window.exe), the floor of any windowed program.

Each program runs alone for SECONDS, ROUNDS times, the order rotated from round to round. Figures: the
resident set (VmRSS), the proportional set (Pss: pages shared with other processes counted by their share) and
the anonymous resident memory (RssAnon: what belongs to the process alone, its private memory in Windows'
terms, which does not depend on what else runs); medians with the smallest and largest round. Every image is
stripped as the release's are: the floors, built in the test tree, and the virtual display's stand-in hid.dll
beside Calidra.exe (a real installation has none: the breakdown shows it on a line of its own). With
--breakdown, each program's memory is broken down by module and by kind at the end of each of its runs
(benchmarks/memory_breakdown.py) and the medians printed as a Markdown table.

    benchmarks/resident_memory.py TEST_BUILD RELEASE_STAGE [--seconds 30] [--rounds 5] [--breakdown]
        [--test-build]

TEST_BUILD is the test tree (its virtual display, the benchmark programs); RELEASE_STAGE the staged release
folder (build-release/release/Calidra-<version>-x64). --test-build adds the test tree's own Calidra.exe (the
same code, with its debug information still in the images). Use benchmarks/resident_memory.sh to build both.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "scripts"))
from calidra_session import SOFTWARE_FOLDER, Session  # noqa: E402
import memory_breakdown  # noqa: E402

METRICS = (("VmRSS", "resident"), ("Pss", "proportional"), ("RssAnon", "anonymous"))
CALIDRA = "Calidra.exe (release)"
FAIR_FLOOR = "fair floor"
FAIR_FLOOR_HTTPS = "fair floor + one HTTPS request"
BARE_WINDOW = "bare window"
TEST_BUILD = "Calidra.exe (test build)"
# The breakdown's columns, in this order.
BREAKDOWN_COLUMNS = (CALIDRA, FAIR_FLOOR, FAIR_FLOOR_HTTPS, BARE_WINDOW)
START_WAIT_S = 30
STRIP = "x86_64-w64-mingw32-strip"


def wine_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def memory_kib(pid):
    """{VmRSS, RssAnon, Pss} in KiB."""
    values = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "RssAnon"):
                values[key] = int(rest.split()[0])
    with open(f"/proc/{pid}/smaps_rollup") as f:
        for line in f:
            key, _, rest = line.partition(":")
            if key == "Pss":
                values["Pss"] = int(rest.split()[0])
    return values


def strip(image, to):
    subprocess.run([STRIP, "-o", to, image], check=True)


def reports(s):
    return int(s.display_state().get("K1", {}).get("reports", "0"))


class Program:
    def __init__(self, label, folder, executable, args=()):
        self.label, self.folder, self.executable, self.args = label, folder, executable, args


def measure(s, program, seconds, breakdown):
    """Runs the program alone for seconds from its folder; returns (memory, breakdown or None)."""
    s.install = program.folder
    before = reports(s)
    p = s.start_program(program.executable, args=program.args)
    pids = s.wait_for(lambda: s.processes_named(program.executable), START_WAIT_S)
    if not pids:
        raise SystemExit(f"resident_memory: {program.label} did not start")
    time.sleep(seconds)
    if p.poll() not in (None, 0):
        raise SystemExit(f"resident_memory: {program.label} ended early with {p.poll()}")
    values = memory_kib(pids[0])
    found = None
    if breakdown:
        sizes = memory_breakdown.skin_pixel_sizes(os.path.join(program.folder, "skins", "theme1"))
        found = memory_breakdown.capture(
            pids[0], lambda: s.tool(os.path.join("benchmarks", "memory_map.exe"), program.executable)[1],
            wine_path(program.folder) + "\\", sizes)
    p.kill()
    for pid in s.processes_named(program.executable):
        os.kill(pid, 9)
    s.wait_for(lambda: not s.processes_named(program.executable), 10)
    extra = f" ({reports(s) - before} reports meanwhile)" if program.executable == "Calidra.exe" else ""
    print(f"  {program.label:32} " + "  ".join(f"{name} {values[key] / 1024:5.1f}" for key, name in METRICS) +
          f" MiB{extra}", flush=True)
    return values, found


def print_summary(results, rounds, seconds):
    print(f"memory after {seconds:g} s with a K1 display, {rounds} rounds (order rotated), MiB: median "
          f"(smallest to largest round)")
    print(f"  {'':32}" + "".join(f"{name:>22}" for _, name in METRICS))
    for label, runs in results.items():
        cells = []
        for key, _ in METRICS:
            values = [r[key] / 1024 for r in runs]
            cells.append(f"{statistics.median(values):7.1f} ({min(values):5.1f}-{max(values):5.1f})")
        print(f"  {label:32}" + "".join(f"{c:>22}" for c in cells))
    def median(label, key):
        return statistics.median(r[key] for r in results[label]) / 1024

    for floor in (FAIR_FLOOR, FAIR_FLOOR_HTTPS, BARE_WINDOW):
        print(f"  Calidra.exe over the {floor}: " + ", ".join(
            f"{name} {median(CALIDRA, key) - median(floor, key):+.1f}" for key, name in METRICS) + " MiB")


def print_breakdown(found, seconds):
    """The median per kind over the rounds, for each program, as a Markdown table; then the heaps and the
    largest modules of the last round."""
    columns = [c for c in BREAKDOWN_COLUMNS if found.get(c)]
    rounds = min(len(found[c]) for c in columns)
    print(f"where the memory goes after {seconds:g} s, by module and by kind: resident / private KiB, the median of "
          f"{rounds} rounds")
    print("| kind | " + " | ".join(columns) + " |")
    print("|---|" + "---:|" * len(columns))
    totals = {c: [0, 0] for c in columns}
    for category in memory_breakdown.CATEGORIES:
        cells = []
        for c in columns:
            rss = statistics.median(run[0][category][0] for run in found[c])
            private = statistics.median(run[0][category][1] for run in found[c])
            totals[c][0] += rss
            totals[c][1] += private
            cells.append(f"{rss:,.0f} / {private:,.0f}")
        if any(cell != "0 / 0" for cell in cells):
            print(f"| {category} | " + " | ".join(cells) + " |")
    print("| sum of the medians | " + " | ".join(f"{t[0]:,.0f} / {t[1]:,.0f}" for t in totals.values()) + " |")
    if found.get(CALIDRA):
        stand_in = [run[0][memory_breakdown.STAND_IN] for run in found[CALIDRA]]
        print(f"of Calidra.exe's memory, the virtual display's stand-in (its image and threads, not shipped): "
              f"resident {statistics.median(s[0] for s in stand_in) / 1024:.1f} MiB, anonymous "
              f"{statistics.median(s[1] for s in stand_in) / 1024:.1f} MiB (medians)")
    for c in columns:
        _, detail, heaps = found[c][-1]
        print(f"{c}, last round: heaps, threads, other regions")
        print("\n".join("  " + line for line in heaps))
        largest = sorted(detail.items(), key=lambda item: -item[1])[:25]
        print(f"{c}, last round: the 25 largest modules and libraries, resident KiB")
        print("\n".join(f"  {kib:7} {name}" for name, kib in largest))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("release_stage")
    parser.add_argument("--seconds", type=float, default=30)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--breakdown", action="store_true")
    parser.add_argument("--test-build", action="store_true")
    args = parser.parse_args()

    with Session(args.build, os.path.join(args.build, "bench-memory")) as s:
        test_install = s.install
        release = os.path.join(s.work, "release-install")
        shutil.copytree(args.release_stage, release, ignore=shutil.ignore_patterns("*.debug"))
        strip(os.path.join(s.build, "virtual_display", s.stand_in + ".dll"), os.path.join(release, s.stand_in + ".dll"))
        s.install = release
        for folder in ("Termivox", "TermivoxWin7"):
            s.write_server_config(folder, s.csv_rows)
        # The floors run from a folder of the same layout (they read the skin from it).
        floors = os.path.join(s.work, "floors")
        shutil.copytree(os.path.join(release, "skins"), os.path.join(floors, "skins"))
        for name in ("fair_floor.exe", "bare_window.exe"):
            strip(os.path.join(s.build, "benchmarks", name), os.path.join(floors, name))
        s.ctl("plug", "K1")
        version_url = s.updates.base_url + SOFTWARE_FOLDER + "/version"
        programs = [Program(CALIDRA, release, "Calidra.exe"), Program(FAIR_FLOOR, floors, "fair_floor.exe"),
                    Program(FAIR_FLOOR_HTTPS, floors, "fair_floor.exe", ("--https", version_url)),
                    Program(BARE_WINDOW, floors, "bare_window.exe")]
        if args.test_build:
            programs.append(Program(TEST_BUILD, test_install, "Calidra.exe"))
        results = {p.label: [] for p in programs}
        found = {p.label: [] for p in programs}
        for round_ in range(args.rounds):
            print(f"round {round_ + 1}:", flush=True)
            for program in programs[round_ % len(programs):] + programs[:round_ % len(programs)]:
                values, breakdown = measure(s, program, args.seconds, args.breakdown)
                results[program.label].append(values)
                if breakdown:
                    found[program.label].append(breakdown)
    print_summary(results, args.rounds, args.seconds)
    if args.breakdown:
        print_breakdown(found, args.seconds)


if __name__ == "__main__":
    main()
