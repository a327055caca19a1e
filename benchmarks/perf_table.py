"""The one performance table: reads what the benchmark scripts printed in one run of benchmarks/run-all.sh
(one file each in FOLDER) and prints the figures beside their baselines as a Markdown table.

    python3 benchmarks/perf_table.py FOLDER
"""
import os
import re
import sys


def read(folder, name):
    try:
        with open(os.path.join(folder, name + ".txt"), encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def number(text, pattern, group=1):
    m = re.search(pattern, text, re.M)
    return float(m.group(group)) if m else None


def fmt(value, form="{:.0f}", unit=""):
    return "—" if value is None else form.format(value) + unit


def ratio(a, b):
    return None if a is None or not b else a / b


def stats(text, label):
    """(median, p99) of a "label n=.. median=.. p99=.." line of the refresh benchmark (its first one)."""
    m = re.search(re.escape(label) + r"\s+n=\d+ median=([\d.]+) p99=([\d.]+)", text)
    return (float(m.group(1)), float(m.group(2))) if m else (None, None)


def main():
    folder = sys.argv[1]
    refresh = read(folder, "display_refresh")
    memory = read(folder, "resident_memory")
    paint = read(folder, "paint")
    unzip = read(folder, "unzip")
    start = read(folder, "offline_start")

    period, period99 = stats(refresh, "report period (ms):")
    bare_period, bare99 = stats(refresh, "bare 1000+16 ms loop (ms):")
    delay, delay99 = stats(refresh, "change to first report (ms):")
    idle = number(refresh, r"^Calidra\.exe:\s+([\d.]+) %")
    poller = number(refresh, r"^bare 16 ms poller:\s+([\d.]+) %")
    seconds = number(memory, r"resident memory after ([\d.]+) s")
    release = number(memory, r"^\s+release\s+([\d.]+) MiB\s+[+-]")
    test_build = number(memory, r"^\s+test build\s+([\d.]+) MiB\s+[+-]")
    bare_window = number(memory, r"^\s+bare window\s+([\d.]+) MiB\s+[+-]")

    def paint_ms(label):
        return number(paint, re.escape(label) + r"\s+wall median\s+([\d.]+) ms")

    bare_render, full, cached, hover = map(paint_ms, (
        "bare GDI+ render + UpdateLayeredWindow", "full repaint, background and controls redrawn",
        "full repaint from the caches", "button hover repaint"))
    hover_cached = number(paint, r"ratio hover / full repaint \(cached\):\s+wall ([\d.]+)")
    hover_full = number(paint, r"ratio hover / full repaint \(discarded\):\s+wall ([\d.]+)")
    floor = number(paint, r"ratio bare update, rectangle / whole:\s+wall ([\d.]+)")

    def unzip_speed(label):
        return number(unzip, r"^\s+" + re.escape(label) + r"\s+([\d.]+)\s+([\d.]+)")

    extract, miniunz, inflate = map(unzip_speed, ("ExtractZip", "miniunz (zlib's own)", "inflate only (the limit)"))
    vs_miniunz = number(unzip, r"ExtractZip / miniunz\s+([\d.]+)x")
    vs_inflate = number(unzip, r"ExtractZip / inflate only\s+([\d.]+)x")
    size = number(unzip, r"unzip of a ([\d.]+) MB package")

    def start_ms(label):
        """(median, max) of a line of the start benchmark."""
        pattern = re.escape(label) + r"\s+median\s+([\d.]+)\s+max\s+([\d.]+)"
        return number(start, pattern), number(start, pattern, 2)

    answering, _ = start_ms("update server answering")
    refusing, refusing_max = start_ms("update server refusing")
    absent, absent_max = start_ms("update server's name not found")

    rows = [
        ("report period, median (p99)", f"{fmt(period, '{:.1f}')} ({fmt(period99, '{:.1f}')}) ms",
         f"bare 1000 + 16 ms loop: {fmt(bare_period, '{:.1f}')} ({fmt(bare99, '{:.1f}')}) ms",
         fmt(ratio(period, bare_period), "{:.3f}"), "~1016 ms, p99 ≤ 1040 ms"),
        ("change to display, median (p99)", f"{fmt(delay)} ({fmt(delay99)}) ms", "—", "—", "p99 ≤ 1100 ms"),
        ("idle CPU, panel hidden, one display", f"{fmt(idle, '{:.3f}')} % of a core",
         f"bare 16 ms poller: {fmt(poller, '{:.3f}')} %", fmt(ratio(idle, poller), "{:.2f}"), "≤ 1.2"),
        (f"resident memory after {fmt(seconds)} s, one display",
         f"{fmt(release, '{:.1f}')} MiB release, {fmt(test_build, '{:.1f}')} MiB test build",
         f"bare window program: {fmt(bare_window, '{:.1f}')} MiB",
         "—" if release is None or bare_window is None else f"+{release - bare_window:.1f} MiB",
         "≤ +10 MiB"),
        ("paint: full repaint (background and controls redrawn)", f"{fmt(full, '{:.2f}')} ms",
         f"bare GDI+ render + UpdateLayeredWindow: {fmt(bare_render, '{:.2f}')} ms",
         fmt(ratio(full, bare_render), "{:.2f}"), "≤ 1.1"),
        ("paint: full repaint from the caches", f"{fmt(cached, '{:.2f}')} ms", "the same bare render",
         fmt(ratio(cached, bare_render), "{:.2f}"), "—"),
        ("paint: button hover repaint", f"{fmt(hover, '{:.2f}')} ms",
         f"full repaint: {fmt(hover_full, '{:.2f}')}x; from the caches: {fmt(hover_cached, '{:.2f}')}x",
         fmt(ratio(hover, bare_render), "{:.2f}"),
         f"≤ 0.5 of the full repaint (wine's floor: {fmt(floor, '{:.2f}')}x)"),
        (f"unzip of a {fmt(size, '{:.0f}')} MB package", f"ExtractZip {fmt(extract, '{:.0f}')} MB/s",
         f"miniunz {fmt(miniunz, '{:.0f}')} MB/s; inflate only {fmt(inflate, '{:.0f}')} MB/s",
         f"{fmt(vs_miniunz, '{:.2f}')}x; {fmt(vs_inflate, '{:.2f}')}x", "≥ 1.1x; ≥ 0.8x"),
        ("offline start to first report, median (max)",
         f"refusing: {fmt(refusing)} ({fmt(refusing_max)}) ms; name not found: {fmt(absent)} ({fmt(absent_max)}) ms",
         f"update server answering: {fmt(answering)} ms", fmt(ratio(refusing, answering), "{:.2f}"), "≤ 2000 ms"),
    ]
    print("| what | Calidra | baseline in the same run | ratio | aim |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
