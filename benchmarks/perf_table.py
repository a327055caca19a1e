"""The one performance table: reads what the benchmark scripts printed in one run of benchmarks/run-all.sh
(one file each in FOLDER) and prints the figures beside their baselines as a Markdown table, each with its
number of samples, then the memory breakdown table the memory benchmark printed.

    python3 benchmarks/perf_table.py FOLDER
"""
import os
import re
import sys

NUMBER = r"([\d.]+)"
SPREAD = NUMBER + r" \(\s*" + NUMBER + r"\s*-\s*" + NUMBER + r"\)"  # median (smallest-largest)


def read(folder, name):
    try:
        with open(os.path.join(folder, name + ".txt"), encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return ""


def search(text, pattern):
    """The groups of the first match as floats (None for each when there is none)."""
    m = re.search(pattern, text, re.M)
    count = re.compile(pattern).groups
    return tuple(float(g) for g in m.groups()) if m else (None,) * count


def fmt(value, form="{:.0f}"):
    return "—" if value is None else form.format(value)


def ratio(a, b, form="{:.2f}"):
    return "—" if a is None or not b else form.format(a / b)


def spread(values, form="{:.3f}"):
    """"median (smallest–largest)" of a (median, smallest, largest) triple."""
    median, low, high = values
    return "—" if median is None else f"{form.format(median)} ({form.format(low)}–{form.format(high)})"


def section(text, start, end=None):
    """The part of text from the first line that starts with start to the next that starts with end."""
    i = text.find(start)
    if i < 0:
        return ""
    j = text.find(end, i + len(start)) if end else -1
    return text[i:j] if j >= 0 else text[i:]


def refresh_rows(text):
    """Over the real hidapi.dll (the first block of the refresh benchmark's output)."""
    text = section(text, "== over the real hidapi.dll", "== over the stand-in")
    instant, slow = section(text, "display refresh", "with 5 ms"), section(text, "with 5 ms")

    def stats(block, label):
        return search(block, re.escape(label) + r"\s+n=(\d+) median=" + NUMBER + " max=" + NUMBER)

    n, period, high = stats(instant, "report period (ms):")
    bn, bare, bare_high = stats(instant, "bare 1000+16 ms loop (ms):")
    dn, delay, delay_high = stats(instant, "change to first report (ms):")
    sn, slow_period, slow_high = stats(slow, "report period (ms):")
    sbn, slow_bare, slow_bare_high = stats(slow, "bare 1000+16 ms loop (ms):")
    stn, stop, stop_high = stats(slow, "Stop (ms):")
    btn, bare_stop, bare_stop_high = stats(slow, "bare 16 ms loop, stopped (ms):")
    return [
        (f"report period, median (max); n = {fmt(n)}", f"{fmt(period, '{:.1f}')} ({fmt(high, '{:.1f}')}) ms",
         f"bare 1000 + 16 ms loop: {fmt(bare, '{:.1f}')} ({fmt(bare_high, '{:.1f}')}) ms, n = {fmt(bn)}",
         ratio(period, bare, "{:.3f}"), "~1016 ms, max ≤ 1040 ms"),
        (f"report period with 5 ms transfers, median (max); n = {fmt(sn)}",
         f"{fmt(slow_period, '{:.1f}')} ({fmt(slow_high, '{:.1f}')}) ms",
         f"bare 1000 + 16 ms loop: {fmt(slow_bare, '{:.1f}')} ({fmt(slow_bare_high, '{:.1f}')}) ms, n = {fmt(sbn)}",
         ratio(slow_period, slow_bare, "{:.3f}"), "~1016 ms + the transfer"),
        (f"Stop with 5 ms transfers, median (max); n = {fmt(stn)}",
         f"{fmt(stop, '{:.1f}')} ({fmt(stop_high, '{:.1f}')}) ms",
         f"bare 16 ms loop stopped: {fmt(bare_stop, '{:.1f}')} ({fmt(bare_stop_high, '{:.1f}')}) ms, n = {fmt(btn)}",
         "—", "max ≤ 1000 ms (its bound)"),
        (f"change to display, median (max); n = {fmt(dn)}", f"{fmt(delay)} ({fmt(delay_high)}) ms", "—", "—",
         "max ≤ 1100 ms"),
    ]


def idle_rows(text):
    seconds = search(text, r"moving sensor feed, (\d+) s windows")[0]
    rows = []
    for title, block, baseline in (
            ("one display", section(text, "one display, ", "no display ("), "bare 1000 + 16 ms report loop"),
            ("no display (it polls)", section(text, "no display ("), "bare 16 ms poller")):
        rounds = search(block, r", (\d+) rounds")[0]
        label = f"idle CPU, panel hidden, {title}; {fmt(rounds)} rounds of {fmt(seconds)} s"
        for what, line, ratio_line, unit in (
                ("own threads", "own threads", "ratio, own threads:", " % of a core"),
                ("with its sensor server, the wineserver and services", "all of these",
                 "ratio, with sensor server, wineserver and services:", " % of a core"),
                ("own threads' wake-ups", "wake-ups a second", "ratio, wake-ups:", " a second")):
            m = re.search(re.escape(line) + r"\s+Calidra\.exe:\s+" + SPREAD + r"\s+[^:]+:\s+" + SPREAD, block)
            values = tuple(float(g) for g in m.groups()) if m else (None,) * 6
            rows.append((f"{label}: {what}", spread(values[:3]) + unit,
                         f"{baseline}: {spread(values[3:])}{unit}",
                         spread(search(block, re.escape(ratio_line) + r"\s+" + SPREAD), "{:.2f}"), "≤ 1.2"))
    return rows


def memory_rows(text):
    seconds, rounds = search(text, r"memory after ([\d.]+) s with a K1 display, (\d+) rounds")

    def line(label):
        """(median, smallest, largest) of the resident, proportional and anonymous memory."""
        m = re.search(r"^\s+" + re.escape(label) + r"\s+" + r"\s+".join([SPREAD] * 3), text, re.M)
        return [tuple(float(g) for g in m.groups()[i:i + 3]) for i in range(0, 9, 3)] if m else [(None,) * 3] * 3

    calidra, floor, https, bare = (line(label) for label in (
        "Calidra.exe (release)", "fair floor", "fair floor + one HTTPS request", "bare window"))
    stand_in = search(text, r"stand-in \(its image and threads, not shipped\): resident " + NUMBER +
                      " MiB, anonymous " + NUMBER)
    rows = []
    for i, kind in ((0, "resident"), (1, "proportional"), (2, "anonymous")):
        over = "—" if calidra[i][0] is None or floor[i][0] is None else f"{calidra[i][0] - floor[i][0]:+.1f} MiB"
        if over != "—" and stand_in[0] is not None and i != 1:
            # The stand-in hid.dll sits in the program's process for the benchmark; an installation has none.
            over += f" ({calidra[i][0] - floor[i][0] - stand_in[0 if i == 0 else 1]:+.1f} without the stand-in)"
        rows.append((f"{kind} memory after {fmt(seconds)} s, one display (release); {fmt(rounds)} rounds",
                     f"{spread(calidra[i], '{:.1f}')} MiB" + (
                         f", of which the virtual display's stand-in {stand_in[0 if i == 0 else 1]:.1f}"
                         if stand_in[0] is not None and i != 1 else ""),
                     f"fair floor: {spread(floor[i], '{:.1f}')}; with one HTTPS request: "
                     f"{spread(https[i], '{:.1f}')}; bare window: {spread(bare[i], '{:.1f}')} MiB",
                     over + " over the fair floor", "≤ fair floor + 10 MiB" if i == 0 else "—"))
    return rows


def paint_rows(text):
    rounds, frames = search(text, r"rounds: (\d+) of (\d+) frames each")
    n = "—" if rounds is None else f"{rounds * frames:.0f}"

    def ms(label):
        return search(text, re.escape(label) + r"\s+wall median\s+" + NUMBER + " ms")[0]

    def ratio_of(label):
        return fmt(search(text, re.escape(label) + r":\s+wall " + NUMBER)[0], "{:.2f}")

    bare, full, cached, hover, whole = (ms(label) for label in (
        "bare GDI+ render + UpdateLayeredWindow", "full repaint, background and controls redrawn",
        "full repaint from the caches", "button hover repaint", "bare window update, whole surface"))
    return [
        (f"paint: full repaint (background and controls redrawn); {n} frames", f"{fmt(full, '{:.2f}')} ms",
         f"bare GDI+ render of the same (images, button text) + UpdateLayeredWindow: {fmt(bare, '{:.2f}')} ms",
         ratio_of("ratio full repaint (discarded) / bare render"), "≤ 1.1"),
        (f"paint: full repaint from the caches; {n} frames", f"{fmt(cached, '{:.2f}')} ms",
         f"bare push of the whole surface: {fmt(whole, '{:.2f}')} ms",
         ratio_of("ratio full repaint (cached) / bare whole push"), "—"),
        (f"paint: button hover repaint; {n} frames", f"{fmt(hover, '{:.2f}')} ms",
         f"full repaint from the caches: {fmt(cached, '{:.2f}')} ms",
         ratio_of("ratio hover / full repaint (cached)"),
         f"≤ 0.5 (wine's floor: a bare push of the button's rectangle is "
         f"{ratio_of('ratio bare push, rectangle / whole')}x the whole)"),
    ]


def unzip_rows(text):
    size, rounds = search(text, r"unzip of a ([\d.]+) MB package, (\d+) rounds")

    def speed(label):
        return search(text, r"^\s+" + re.escape(label) + r"\s+" + NUMBER)[0]

    def ratio_of(label):
        return fmt(search(text, re.escape(label) + r"\s+" + NUMBER + "x")[0], "{:.2f}")

    extract, miniunz, read, inflate = (speed(label) for label in (
        "ExtractZip", "miniunz (zlib's own)", "minizip read, no writes", "inflate only (the limit)"))
    label = f"unzip of a {fmt(size)} MB package, MB/s by wall clock; {fmt(rounds)} rounds, order rotated"
    return [
        (label, f"ExtractZip {fmt(extract)}", f"miniunz {fmt(miniunz)}", ratio_of("ExtractZip / miniunz"),
         "≥ 1.1"),
        (label, f"ExtractZip {fmt(extract)}", f"minizip's read loop, no writes: {fmt(read)}",
         ratio_of("ExtractZip / minizip read"), "—"),
        (label, f"ExtractZip {fmt(extract)}", f"inflate only (the limit): {fmt(inflate)}",
         ratio_of("ExtractZip / inflate only"), "≥ 0.8"),
    ]


def start_rows(text):
    def start(label):
        return search(text, re.escape(label) + r"\s+n=(\d+) median\s+" + NUMBER + r"\s+max\s+" + NUMBER)

    _, answering, _ = start("update server answering")
    rows = []
    for label, aim in (("update server refusing", "≤ 2000 ms"), ("update server's name not found", "≤ 2000 ms"),
                       ("update server silent (connects, never answers)", "≤ 2000 ms"),
                       ("update server's name lookup unanswered", "≤ 2000 ms")):
        n, median, high = start(label)
        rows.append((f"start to first report, {label}, median (max); n = {fmt(n)}",
                     f"{fmt(median)} ({fmt(high)}) ms", f"update server answering: {fmt(answering)} ms",
                     ratio(median, answering), aim))
    return rows


def main():
    folder = sys.argv[1]
    rows = (refresh_rows(read(folder, "display_refresh")) + idle_rows(read(folder, "idle_cpu")) +
            memory_rows(read(folder, "resident_memory")) + paint_rows(read(folder, "paint")) +
            unzip_rows(read(folder, "unzip")) + start_rows(read(folder, "offline_start")))
    print("| what | Calidra | baseline in the same run | ratio | aim |")
    print("|---|---|---|---|---|")
    for row in rows:
        print("| " + " | ".join(row) + " |")
    breakdown = section(read(folder, "resident_memory"), "where the memory goes")
    if breakdown:
        print()
        lines = breakdown.splitlines()
        print(lines[0])  # the title, then the table on its own
        print()
        print("\n".join(line for line in lines[1:] if line.startswith("|")))


if __name__ == "__main__":
    main()
