#!/usr/bin/env python3
"""Resident memory of Calidra.exe after it has run a while with a virtual K1 display plugged in: the release
build, the test build, and a bare window program as the floor, one after the other in one prefix and on one
Xvfb display, each measured the same way (VmRSS of its process at the end).

    benchmarks/resident_memory.py TEST_BUILD RELEASE_STAGE [--seconds 60] [--rounds 1]

TEST_BUILD is the test tree (its out/ folder, virtual display and bare_window.exe); RELEASE_STAGE the staged
release folder (build-release/release/Calidra-<version>-x64). Use benchmarks/resident_memory.sh to build both.
"""
import argparse
import os
import shutil
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "scripts"))
from calidra_session import Session  # noqa: E402


def resident_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise RuntimeError(f"no VmRSS for {pid}")


def reports(s):
    return int(s.display_state().get("K1", {}).get("reports", "0"))


def measure(s, relative, name, seconds):
    """Starts the program from the session's install folder, waits, reads its resident size, ends it."""
    p = s.start_program(relative)
    pids = s.wait_for(lambda: s.processes_named(name), 30)
    if not pids:
        raise RuntimeError(f"{name} did not start")
    time.sleep(seconds)
    kib = resident_kib(pids[0])
    p.kill()
    for pid in s.processes_named(name):
        os.kill(pid, 9)
    s.wait_for(lambda: not s.processes_named(name), 10)
    return kib


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("release_stage")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--rounds", type=int, default=1)
    args = parser.parse_args()

    results = {"release": [], "test build": [], "bare window": []}
    with Session(args.build, os.path.join(args.build, "bench-memory")) as s:
        test_install = s.install
        release_install = os.path.join(s.work, "release-install")
        shutil.copytree(args.release_stage, release_install, ignore=shutil.ignore_patterns("*.debug"))
        shutil.copy2(os.path.join(s.build, "virtual_display", s.stand_in + ".dll"), release_install)
        s.install = release_install
        for folder in ("Termivox", "TermivoxWin7"):
            s.write_server_config(folder, s.csv_rows)
        bare = os.path.join(s.work, "bare")
        os.makedirs(bare)
        shutil.copy2(os.path.join(s.build, "benchmarks", "bare_window.exe"), bare)
        s.ctl("plug", "K1")

        for _ in range(args.rounds):
            for label, install, relative, name in (("release", release_install, "Calidra.exe", "Calidra.exe"),
                                                   ("test build", test_install, "Calidra.exe", "Calidra.exe"),
                                                   ("bare window", bare, "bare_window.exe", "bare_window.exe")):
                s.install = install
                before = reports(s)
                kib = measure(s, relative, name, args.seconds)
                results[label].append(kib)
                print(f"  {label:12s} {kib / 1024:6.1f} MiB  ({reports(s) - before} reports meanwhile)", flush=True)

    floor = statistics.median(results["bare window"])
    print(f"resident memory after {args.seconds:g} s with a K1 display ({args.rounds} round(s), medians):")
    for label, values in results.items():
        median = statistics.median(values)
        print(f"  {label:12s} {median / 1024:6.1f} MiB   {(median - floor) / 1024:+6.1f} MiB over the bare window")


if __name__ == "__main__":
    main()
