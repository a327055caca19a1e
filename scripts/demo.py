#!/usr/bin/env python3
"""Runs Calidra as a user would have it, with a virtual K1 display plugged in and a scripted CPU temperature,
and prints what the display shows once a second until interrupted (Ctrl+C).

    scripts/demo.py BUILD_DIR [--seconds N] [--offer-update [--answer yes|no]] [--stand-in hid|hidapi]

With --offer-update the local update server offers software 1.0.0.6, signed with the build's test key: Calidra
asks in its message box (kept as a screenshot), and YES downloads the package, checks its signature, unpacks it
and starts its installer (a stand-in that only records that it ran), after which Calidra ends. --answer clicks the answer after a few seconds.

The virtual display sits beneath the real hidapi.dll, the one the release ships (--stand-in hid, the default), or
takes hidapi.dll's place (--stand-in hidapi). Everything runs under wine on its own Xvfb display; a screenshot of that display is kept in
BUILD_DIR/demo/artefacts/ when the demo ends.
"""
import argparse
import math
import os
import signal
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from calidra_session import CALIDRA_TITLE, STAND_IN_HID, STAND_IN_HIDAPI, Session  # noqa: E402


def curve():
    """Two minutes of a CPU warming under load and cooling again, with its load as the second reading."""
    rows = []
    for i in range(120):
        load = 50 + 45 * math.sin(i / 120 * 2 * math.pi)
        rows.append((round(42 + load * 0.4, 1), round(load)))
    return rows


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--seconds", type=float, default=0, help="stop after this long (0: until interrupted)")
    parser.add_argument("--offer-update", action="store_true", help="the update server offers software 1.0.0.6")
    parser.add_argument("--answer", choices=("yes", "no"), help="answer the offer by a click")
    parser.add_argument("--stand-in", choices=(STAND_IN_HID, STAND_IN_HIDAPI),
                        help="which stand-in of the virtual display (default hid: beneath the real hidapi.dll)")
    args = parser.parse_args()

    stop = {"now": False}
    signal.signal(signal.SIGINT, lambda *_: stop.update(now=True))
    signal.signal(signal.SIGTERM, lambda *_: stop.update(now=True))

    with Session(args.build, os.path.join(args.build, "demo"), csv_rows=curve(), stand_in=args.stand_in) as s:
        print(f"demo: Xvfb display {s.display}, install folder {s.install}, virtual display: stand-in {s.stand_in}.dll")
        s.ctl("plug", "K1")
        installer_log = os.path.join(s.work, "installer.log")
        if args.offer_update:
            s.offer_software("1.0.0.6", installer=os.path.join(s.build, "tests", "ServerProbe.exe"))
            print(f"demo: the update server ({s.updates.base_url}) offers software 1.0.0.6; answer the box")
        calidra = s.start_calidra(extra_env={"CALIDRA_PROBE_LOG": "Z:" + installer_log.replace("/", "\\")})
        s.wait_for(lambda: s.window(CALIDRA_TITLE), 30)
        print("demo: Calidra is running; the virtual K1 shows (Ctrl+C to stop):")
        started = time.monotonic()
        last = None
        offer_seen = False
        while not stop["now"] and (args.seconds <= 0 or time.monotonic() - started < args.seconds):
            box = s.window("MessageBox")
            if args.offer_update and not offer_seen and box and box[0] > 0:
                offer_seen = True
                time.sleep(1)
                print("demo: the offer is on screen:", s.screenshot("update-offer"))
                if args.answer:
                    time.sleep(2)
                    print(f"demo: answering {args.answer.upper()}")
                    s.click(box[0] + (120 if args.answer == "yes" else 260), box[1] + 175)
            k1 = s.display_state().get("K1", {})
            if "shown" in k1 and k1.get("shown") != "none":
                line = (f"  K1: {k1['shown']} °{k1.get('unit', '?')}  level {k1.get('level', '?')}  "
                        f"second {k1.get('second', '?')}  light {k1.get('light', '?')}  "
                        f"(reports {k1.get('reports', '0')})")
            else:
                line = "  K1: (no report yet)"
            if line != last:
                print(line, flush=True)
                last = line
            if calidra.poll() is not None:
                print(f"demo: Calidra ended with exit code {calidra.returncode}")
                if os.path.exists(installer_log):
                    with open(installer_log, "rb") as f:
                        print("demo: the update's installer ran:", f.read().decode("utf-16-le").strip())
                break
            time.sleep(1)
        print("demo: stopping; screenshot:", s.screenshot("demo"))


if __name__ == "__main__":
    main()
