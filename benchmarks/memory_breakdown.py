"""Where a wine process's memory goes: its resident memory (Rss) and its private part broken down by module and
by kind, from what Linux and Windows each know of it. Private means anonymous here: pages that belong to the
process alone and are not a file's (its heaps, stacks and data, and the pages of an image or file mapping it has
written to), which is what Windows counts as a process's private memory. Unlike pages that happen to be mapped
by no other process at the moment, that does not change with what else runs on the machine.

Linux (/proc/PID/smaps and /proc/PID/pagemap) knows every mapping, its file and which of its pages are
resident and anonymous, but not what a Windows program keeps in its anonymous memory. Windows (memory_map.exe,
run in the same prefix) knows the modules' address ranges (wine copies a PE image that is not page-aligned into
anonymous memory, so a path alone does not find it), the heaps with their large blocks, the thread stacks and
the other committed regions. Each resident page goes to the first of these it falls in:

  a module's image (grouped: the program's own, the virtual display's stand-in hid.dll, wine's DLLs by what
  they do)
  a decoded skin image: a heap block exactly the size of a skin PNG's 32-bit pixels
  a heap (the process heap: GDI+ and the system DLLs; the C runtime's: the program's objects; others)
  a thread stack (with the unix-side stack wine keeps beside each)
  a panel-sized surface: a private region the size of a 396 x 289 32-bit bitmap (a DIB section)
  other Windows memory (private or mapped regions)
  a unix library (wine's unix side, TLS, fonts and text, X11, C runtime), a font file, another file
  the unix side's own memory (the C heap and anonymous memory outside Windows' regions: X11, FreeType,
  fontconfig and GnuTLS data, wine's own bookkeeping) -- Windows cannot see into it, so fonts registered
  from memory, glyph caches and TLS state are all counted here.
"""
import bisect
import os
import re
import struct

PAGE = 4096
PANEL_SURFACE = (396 * 289 * 4 + PAGE - 1) // PAGE * PAGE
LARGEST_PAGEMAP_READ = 1 << 30  # bytes of address space read from pagemap per mapping

PROGRAM_IMAGES = "images: the program's own (exe, Tessel.dll, hidapi.dll)"
# The virtual display's hid.dll lies in the program's folder for the benchmark; a real installation has none.
STAND_IN_DLL = "hid.dll"
STAND_IN = "the virtual display's stand-in hid.dll: its image and its threads' stacks (the benchmark's, not shipped)"
WINE_DLL_GROUPS = (
    ("images: wine's graphics and UI DLLs (gdiplus, windowscodecs, user32, comctl32, ...)",
     "gdiplus windowscodecs gdi32 win32u user32 comctl32 uxtheme winex11.drv imm32 msimg32 dwmapi usp10 "
     "opengl32 wintab32 msctf textinputframework"),
    ("images: wine's network and certificate DLLs (wininet, crypt32, secur32, ...)",
     "wininet crypt32 secur32 rsaenh ws2_32 iphlpapi bcrypt ncrypt nsi winhttp dnsapi mpr netapi32 msv1_0 "
     "schannel cryptnet wintrust dssenh dhcpcsvc winnsi cryptui urlmon"),
    ("images: wine's COM, OLE and shell DLLs (ole32, combase, shell32, taskschd, ...)",
     "ole32 combase oleaut32 rpcrt4 shell32 shlwapi shcore propsys taskschd actxprxy oleacc coml2 "
     "windows.storage explorerframe"),
    ("images: wine's HID and device DLLs (hid, setupapi, cfgmgr32)", "hid setupapi cfgmgr32 devobj newdev"),
    ("images: wine's base DLLs (ntdll, kernel32, msvcrt, advapi32, winmm, ...)",
     "ntdll kernel32 kernelbase msvcrt ucrtbase advapi32 sechost winmm msacm32 version apphelp userenv "
     "profapi powrprof psapi"),
)
OTHER_WINE_DLLS = "images: wine's other DLLs"
UNIX_GROUPS = (
    ("unix libraries: wine's unix side (ntdll.so, win32u.so, winex11.so, ...)", ("/wine/",)),
    ("unix libraries: TLS and Kerberos (GnuTLS, nettle, p11-kit, krb5, ...)",
     ("libgnutls", "libnettle", "libhogweed", "libgmp", "libp11-kit", "libtasn1", "libidn2", "libunistring",
      "libkrb5", "libgssapi", "libk5crypto", "libcom_err", "libkeyutils", "libresolv", "libffi")),
    ("unix libraries: fonts and text (FreeType, fontconfig, libpng, ...)",
     ("libfreetype", "libfontconfig", "libexpat", "libpng", "libbrotli", "libbz2", "libz.", "libharfbuzz",
      "libgraphite")),
    ("unix libraries: X11", ("libX", "libxcb", "libxkb")),
    ("unix libraries: C runtime (libc, libm, ld.so, ...)",
     ("libc.", "libm.", "ld-linux", "libgcc_s", "libstdc++", "libpthread", "libdl.", "librt.")),
)
OTHER_UNIX = "unix libraries: others"
FONT_FILES = "fonts: mapped font files and fontconfig caches"
OTHER_FILES = "other mapped files (wine's NLS tables, locale, theme, shared sections)"
SKIN_IMAGES = "heap: decoded skin images (blocks the size of a skin PNG's pixels)"
HEAPS = {"process": "heap: the process heap (GDI+, the system DLLs), the rest",
         "crt": "heap: the C runtime's heap (the program's objects), the rest",
         "other": "heap: other heaps"}
STACKS = "thread stacks (Windows' and wine's unix-side stack of each thread, also of threads that have ended)"
SURFACES = "panel-sized bitmap surfaces (private regions of 396 x 289 x 4 bytes)"
OTHER_WINDOWS = "other Windows memory (private and mapped regions)"
UNIX_SIDE = "unix side's own memory (C heap, X11, FreeType, fontconfig, GnuTLS data, wine's bookkeeping)"

# The order the rows are printed in.
CATEGORIES = ([PROGRAM_IMAGES, STAND_IN] + [g for g, _ in WINE_DLL_GROUPS] + [OTHER_WINE_DLLS] + [SKIN_IMAGES] +
              list(HEAPS.values()) + [STACKS, SURFACES, OTHER_WINDOWS] + [g for g, _ in UNIX_GROUPS] +
              [OTHER_UNIX, FONT_FILES, OTHER_FILES, UNIX_SIDE])
FONT_SUFFIXES = (".ttf", ".otf", ".ttc", ".pfb", ".pfa", ".pcf", ".pcf.gz")


def skin_pixel_sizes(folder):
    """{bytes of 32-bit pixels: "W x H (file, file...)"} for the PNGs in folder (images of one size share a
    line: a block of that size may be any of them)."""
    names = {}
    for name in sorted(os.listdir(folder)):
        if name.lower().endswith(".png"):
            with open(os.path.join(folder, name), "rb") as f:
                head = f.read(24)
            width, height = struct.unpack(">II", head[16:24])
            names.setdefault((width, height), []).append(name)
    return {w * h * 4: f"{w} x {h} ({', '.join(files)})" for (w, h), files in names.items()}


def read_smaps(pid):
    """[{start, end, path, rss, private}] in KiB, one per mapping; private: its anonymous pages."""
    mappings = []
    current = None
    with open(f"/proc/{pid}/smaps") as f:
        for line in f:
            m = re.match(r"^([0-9a-f]+)-([0-9a-f]+) \S+ \S+ \S+ \d+\s*(.*)$", line)
            if m:
                current = {"start": int(m.group(1), 16), "end": int(m.group(2), 16), "path": m.group(3),
                           "rss": 0, "private": 0}
                mappings.append(current)
            elif line.startswith("Rss:"):
                current["rss"] = int(line.split()[1])
            elif line.startswith("Anonymous:"):
                current["private"] = int(line.split()[1])
    return mappings


def resident_pages(pid, mappings):
    """{page address: anonymous?} for every resident page of the mappings that hold any (from pagemap)."""
    pages = {}
    with open(f"/proc/{pid}/pagemap", "rb") as f:
        for m in mappings:
            if m["rss"] == 0:
                continue
            end = min(m["end"], m["start"] + LARGEST_PAGEMAP_READ)
            f.seek(m["start"] // PAGE * 8)
            data = f.read((end - m["start"]) // PAGE * 8)
            for i, (entry,) in enumerate(struct.iter_unpack("<Q", data)):
                if entry >> 63:  # present; bit 61: a file's page or shared memory
                    pages[m["start"] + i * PAGE] = not entry >> 61 & 1
    return pages


def parse_windows_map(text):
    """What memory_map.exe printed: modules, heaps, blocks, stacks and regions."""
    w = {"modules": [], "regions": [], "stacks": [], "heaps": {}, "heap_regions": [], "blocks": []}
    for line in text.splitlines():
        parts = line.split()
        if not parts:
            continue
        kind = parts[0]
        if kind == "module":
            w["modules"].append((int(parts[1], 16), int(parts[2]), line.split(None, 3)[3]))
        elif kind == "region":
            w["regions"].append((int(parts[1], 16), int(parts[2]), parts[3], int(parts[5], 16)))
        elif kind == "stack":
            w["stacks"].append((int(parts[2], 16), int(parts[3], 16), int(parts[4], 16) if len(parts) > 4 else 0))
        elif kind == "heap":
            w["heaps"][int(parts[1], 16)] = {"kind": parts[2], "busy": int(parts[4]), "committed": int(parts[8])}
        elif kind == "heap_region":
            w["heap_regions"].append((int(parts[1], 16), int(parts[2], 16), int(parts[3])))
        elif kind == "heap_block":
            w["blocks"].append((int(parts[1], 16), int(parts[2], 16), int(parts[3])))
    return w


def module_category(path, install):
    name = path.replace("\\", "/").rsplit("/", 1)[-1].lower()
    if install and path.lower().startswith(install.lower()):
        return STAND_IN if name == STAND_IN_DLL else PROGRAM_IMAGES
    stem = name.rsplit(".", 1)[0] if name.endswith((".dll", ".exe")) else name
    for group, names in WINE_DLL_GROUPS:
        if stem in names.split() or name in names.split():
            return group
    return OTHER_WINE_DLLS


def file_category(path):
    name = path.rsplit("/", 1)[-1]
    if name.lower().endswith(FONT_SUFFIXES) or "/fontconfig/" in path:
        return FONT_FILES
    if ".so" in name or path.endswith("/wine64"):
        for group, marks in UNIX_GROUPS:
            if any(mark in path for mark in marks):
                return group
        return OTHER_UNIX
    return OTHER_FILES


def windows_ranges(w, install, skin_sizes):
    """(precedence, start, size, category) of what Windows knows; where ranges overlap, the lower precedence
    wins (a decoded image inside a heap region counts as the image)."""
    ranges = []
    for base, size, path in w["modules"]:
        ranges.append((0, base, size, module_category(path, install)))
    for _, address, size in w["blocks"]:
        if size in skin_sizes:
            ranges.append((1, address, size, SKIN_IMAGES))
    for heap, base, committed in w["heap_regions"]:
        kind = w["heaps"].get(heap, {}).get("kind", "other")
        ranges.append((2, base, committed, HEAPS.get(kind, HEAPS["other"])))
    stack_tops, stack_sizes = {}, set()
    for low, high, start in w["stacks"]:
        # The stand-in's own threads count as the stand-in.
        category = STAND_IN if module_category(module_path(w, start), install) == STAND_IN else STACKS
        ranges.append((3, low, high - low, category))
        stack_tops[high] = category
        stack_sizes.add(high - low)
    for base, size, kind, allocation in w["regions"]:
        if allocation in stack_tops:
            ranges.append((3, base, size, stack_tops[allocation]))
        elif kind == "private" and base - allocation <= 2 * PAGE and base - allocation + size in stack_sizes:
            # A stack of a thread that has ended: wine lets go of it later.
            ranges.append((3, base, size, STACKS))
        elif kind == "private" and size == PANEL_SURFACE:
            ranges.append((4, base, size, SURFACES))
        elif kind != "image":
            ranges.append((5, base, size, OTHER_WINDOWS))
    return sorted(ranges, key=lambda r: r[0])


def page_owners(pages, w, install, skin_sizes):
    """{page address: category} for the resident pages that lie in something Windows knows."""
    owners = {}
    for _, start, size, category in windows_ranges(w, install, skin_sizes):
        for address in range(start - start % PAGE, start + size, PAGE):
            if address in pages and address not in owners:
                owners[address] = category
    return owners


def breakdown(mappings, pages, owners):
    """{category: [resident KiB, private KiB]}."""
    modules = {c for c in CATEGORIES if c.startswith("images:")} | {STAND_IN}
    result = {c: [0, 0] for c in CATEGORIES}
    for m in mappings:
        if m["rss"] == 0:
            continue
        path = m["path"]
        if path.startswith("/") and owners.get(m["start"]) not in modules:
            # A file outside the modules' images: a unix library, a font, a table, a shared section.
            category = file_category(path.replace(" (deleted)", ""))
            result[category][0] += m["rss"]
            result[category][1] += m["private"]
            continue
        for address in range(m["start"], min(m["end"], m["start"] + LARGEST_PAGEMAP_READ), PAGE):
            anonymous = pages.get(address)
            if anonymous is not None:
                category = owners.get(address, UNIX_SIDE)
                result[category][0] += PAGE // 1024
                result[category][1] += PAGE // 1024 if anonymous else 0
    return result


def module_path(w, address):
    """The path of the module whose image holds address ("?" for none)."""
    for base, size, path in w["modules"]:
        if base <= address < base + size:
            return path
    return "?"


def module_of(w, address):
    return module_path(w, address).replace("\\", "/").rsplit("/", 1)[-1]


def resident_kib(pages, start, size):
    return sum(PAGE // 1024 for address in range(start - start % PAGE, start + size, PAGE) if address in pages)


def notes(w, mappings, pages, owners, skin_sizes):
    """Lines that say more about the kinds: what the heaps hold (busy bytes against committed, the decoded skin
    images), the threads' stacks, and the largest of the other Windows regions."""
    lines = []
    for heap, info in sorted(w["heaps"].items()):
        lines.append(f"heap {heap:#x} ({info['kind']}): {info['busy'] / 1024:.0f} KiB in use of "
                     f"{info['committed'] / 1024:.0f} KiB committed")
    for heap, address, size in w["blocks"]:
        if size in skin_sizes:
            kind = w["heaps"].get(heap, {}).get("kind", "other")
            lines.append(f"  a decoded {skin_sizes[size]} image, {size / 1024:.0f} KiB, in the {kind} heap at "
                         f"{address:#x}")
    stacks = sorted(((resident_kib(pages, low, high - low), module_of(w, start)) for low, high, start in w["stacks"]),
                    reverse=True)
    lines.append(f"{len(stacks)} threads; each one's stack, resident KiB (the module its start address lies in): "
                 + ", ".join(f"{kib} ({module})" for kib, module in stacks))
    files = {address for m in mappings if m["path"].startswith("/") and m["rss"]
             for address in range(m["start"], m["end"], PAGE) if address in pages}
    other = []
    for base, size, kind, allocation in w["regions"]:
        kib = sum(PAGE // 1024 for address in range(base, base + size, PAGE)
                  if owners.get(address) == OTHER_WINDOWS and address not in files)
        if kib:
            other.append((kib, base, size, kind, allocation))
    for kib, base, size, kind, allocation in sorted(other, reverse=True)[:8]:
        lines.append(f"other Windows memory: {kib} KiB resident of a {kind} region of {size // 1024} KiB at "
                     f"{base:#x} (allocated at {allocation:#x})")
    return lines


def module_detail(mappings, pages, w):
    """{module or library name: resident KiB}: the images by module, the unix libraries by file."""
    detail = {}
    modules = sorted(w["modules"])
    starts = [b for b, _, _ in modules]
    for m in mappings:
        if m["rss"] == 0:
            continue
        i = bisect.bisect_right(starts, m["start"]) - 1
        if i >= 0 and m["start"] < modules[i][0] + modules[i][1]:
            name = modules[i][2].replace("\\", "/").rsplit("/", 1)[-1]
            kib = sum(PAGE // 1024 for a in range(m["start"], m["end"], PAGE) if a in pages)
        elif m["path"].startswith("/"):
            name = m["path"].replace(" (deleted)", "").rsplit("/", 1)[-1]
            kib = m["rss"]
        else:
            continue
        detail[name] = detail.get(name, 0) + kib
    return detail


def capture(pid, windows_map_text, install, skin_sizes):
    """Everything at one moment: (breakdown, module detail, notes). Linux's view is read first, before
    memory_map.exe's probe touches the process."""
    mappings = read_smaps(pid)
    pages = resident_pages(pid, mappings)
    w = parse_windows_map(windows_map_text())
    owners = page_owners(pages, w, install, skin_sizes)
    return (breakdown(mappings, pages, owners), module_detail(mappings, pages, w),
            notes(w, mappings, pages, owners, skin_sizes))
