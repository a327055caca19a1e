#!/usr/bin/env python3
"""Builds the zip archives that the extraction tests read, with Python's own zipfile, so the archives come from
a writer other than the reader under test.

    make_zip_fixtures.py OUTDIR
    make_zip_fixtures.py --names FILE

OUTDIR is emptied first. Besides the archives it holds hostile.tsv (what each entry of hostile.zip must come
to) and reparse/ (a target folder holding links that lead out of it).

With --names, FILE receives only the hostile names, for the tests of the name rules that run without an
archive: per line the stored name in hexadecimal, 1 if it carries the UTF-8 flag (else 0), and the expectation
as in hostile.tsv.
"""

import os
import random
import shutil
import struct
import sys
import zipfile

DOS_TIME = (2020, 6, 15, 12, 34, 56)  # local time; the tests run with TZ=Asia/Kolkata (UTC+5:30)
HOST_MSDOS, HOST_UNIX, HOST_NTFS = 0, 3, 11
FLAG_UTF8 = 0x800


class RawInfo(zipfile.ZipInfo):
    """An entry whose stored name bytes and UTF-8 flag are exactly as given."""

    def __init__(self, raw, utf8, date_time=DOS_TIME):
        super().__init__(raw.decode("latin-1"), date_time)
        self.raw_name = raw
        self.utf8 = utf8

    def _encodeFilenameFlags(self):
        flags = self.flag_bits | FLAG_UTF8 if self.utf8 else self.flag_bits & ~FLAG_UTF8
        return self.raw_name, flags


def stored_name(name):
    """str names: ASCII as they are, others in UTF-8 with the flag; bytes: unflagged, as given."""
    if isinstance(name, bytes):
        return name, False
    try:
        return name.encode("ascii"), False
    except UnicodeEncodeError:
        return name.encode("utf-8"), True


def add(zf, name, data=b"", host=HOST_UNIX, attributes=None, extra=b"", method=zipfile.ZIP_DEFLATED,
        date_time=DOS_TIME, utf8=None):
    raw, flagged = stored_name(name)
    info = RawInfo(raw, flagged if utf8 is None else utf8, date_time)
    info.create_system = host
    info.compress_type = method
    if attributes is None:
        attributes = (0o40755 << 16 | 0x10) if raw.endswith(b"/") else 0o100644 << 16
    info.external_attr = attributes
    info.extra = extra
    zf.writestr(info, data)


def ut_record(flags, *times, declared=None):
    body = bytes([flags]) + b"".join(struct.pack("<I", t) for t in times)
    return b"UT" + struct.pack("<H", len(body) if declared is None else declared) + body


class Patcher:
    """Rewrites header fields of named entries in a finished archive (both local and central headers)."""

    def __init__(self, path):
        self.path = path
        self.data = bytearray(open(path, "rb").read())
        with zipfile.ZipFile(path) as zf:
            self.infos = {info.orig_filename: info for info in zf.infolist()}
        self.central = {}
        at = self.data.find(b"PK\x01\x02")
        while at >= 0 and self.data[at:at + 4] == b"PK\x01\x02":
            name_len, extra_len, comment_len = struct.unpack_from("<HHH", self.data, at + 28)
            name = bytes(self.data[at + 46:at + 46 + name_len]).decode("latin-1")
            self.central[name] = at
            at += 46 + name_len + extra_len + comment_len

    def _local(self, name):
        return self.infos[name].header_offset

    def set16(self, name, local_off, central_off, value):
        struct.pack_into("<H", self.data, self._local(name) + local_off, value)
        struct.pack_into("<H", self.data, self.central[name] + central_off, value)

    def set32(self, name, local_off, central_off, value):
        struct.pack_into("<I", self.data, self._local(name) + local_off, value)
        struct.pack_into("<I", self.data, self.central[name] + central_off, value)

    def flags(self, name, bits):
        self.set16(name, 6, 8, self.infos[name].flag_bits | bits)

    def crc(self, name, value):
        self.set32(name, 14, 16, value)

    def uncompressed_size(self, name, value):
        self.set32(name, 22, 24, value)

    def data_start(self, name):
        local = self._local(name)
        name_len, extra_len = struct.unpack_from("<HH", self.data, local + 26)
        return local + 30 + name_len + extra_len

    def central_extra(self, name):
        at = self.central[name]
        name_len = struct.unpack_from("<H", self.data, at + 28)[0]
        return at + 46 + name_len

    def save(self):
        open(self.path, "wb").write(self.data)


def basics(out):
    with zipfile.ZipFile(os.path.join(out, "layout.zip"), "w") as zf:
        add(zf, "setup/")
        add(zf, "setup/a.exe", b"a.exe contents")
        add(zf, "b.dll", b"b.dll contents")
    with zipfile.ZipFile(os.path.join(out, "readonly.zip"), "w") as zf:
        add(zf, "first.txt", b"first")
        add(zf, "locked.txt", b"new locked")
        add(zf, "last.txt", b"last")
    with zipfile.ZipFile(os.path.join(out, "empty_file.zip"), "w") as zf:
        add(zf, "empty.txt", b"", date_time=(2019, 1, 2, 3, 4, 6))
    with open(os.path.join(out, "not_a_zip.zip"), "wb") as f:
        f.write(b"PK\x03\x04 this is not a zip archive " * 40)


def times(out):
    path = os.path.join(out, "times.zip")
    with zipfile.ZipFile(path, "w") as zf:
        add(zf, "dos.txt", b"dos")
        add(zf, "ut_modified.txt", b"m", extra=ut_record(1, 1_600_000_000))
        add(zf, "ut_all.txt", b"mac", extra=ut_record(7, 1_600_000_000, 1_600_000_100, 1_500_000_000))
        other = struct.pack("<HH", 0xCAFE, 6) + b"\x01" * 6
        add(zf, "ut_after_other.txt", b"o", extra=other + ut_record(1, 1_600_000_000))
        # The flags promise three times; the record's size covers only the first.
        add(zf, "ut_short.txt", b"s", extra=ut_record(7, 1_600_000_000))
        add(zf, "ut_local.txt", b"l", extra=ut_record(1, 1_600_000_000))
    patch = Patcher(path)
    # Only the local header's copy counts: the central one says 1970.
    struct.pack_into("<I", patch.data, patch.central_extra("ut_local.txt") + 5, 0)
    patch.save()


def attributes(out):
    with zipfile.ZipFile(os.path.join(out, "attributes.zip"), "w") as zf:
        add(zf, "dos_readonly.txt", b"x", host=HOST_MSDOS, attributes=0x21)
        add(zf, "dos_hidden.txt", b"x", host=HOST_MSDOS, attributes=0x22)
        add(zf, "dos_system.txt", b"x", host=HOST_MSDOS, attributes=0x04)
        add(zf, "dos_plain.txt", b"x", host=HOST_MSDOS, attributes=0x00)
        add(zf, "dos_folder/", host=HOST_MSDOS, attributes=0x10)
        add(zf, "ntfs_hidden.txt", b"x", host=HOST_NTFS, attributes=0x22)
        add(zf, "unix_writable.txt", b"x", attributes=0o100644 << 16)
        add(zf, "unix_readonly.txt", b"x", attributes=0o100444 << 16)
        add(zf, "unix_folder/", attributes=0o40755 << 16)
        add(zf, "unix_folder_bit", attributes=0o40755 << 16)  # a folder by its mode alone


def damaged(out):
    path = os.path.join(out, "damaged.zip")
    rng = random.Random(7)
    body = bytes(rng.getrandbits(8) for _ in range(3000)) * 20
    with zipfile.ZipFile(path, "w") as zf:
        add(zf, "before.txt", b"before")
        add(zf, "encrypted.txt", b"secret", method=zipfile.ZIP_STORED)
        add(zf, "bad_stream.bin", body)
        add(zf, "bad_crc.bin", body)
        add(zf, "short_stream.bin", body)
        add(zf, "bzip2.bin", body, method=zipfile.ZIP_BZIP2)
        add(zf, "after.txt", b"after")
    patch = Patcher(path)
    patch.flags("encrypted.txt", 0x1)
    # Block type 3 does not exist: inflate fails on the first byte.
    patch.data[patch.data_start("bad_stream.bin")] |= 0x06
    patch.crc("bad_crc.bin", patch.infos["bad_crc.bin"].CRC ^ 1)
    # The stream ends before the declared size is reached.
    patch.uncompressed_size("short_stream.bin", len(body) + 1000)
    patch.save()


def large(out):
    # 52 MB from a 12,345-byte random block: compresses well, but every 16 KiB buffer holds different bytes.
    rng = random.Random(11)
    block = bytes(rng.getrandbits(8) for _ in range(12_345))
    repeat = 52 * 1024 * 1024 // len(block) + 1
    info = RawInfo(b"large.bin", False)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o100644 << 16
    with zipfile.ZipFile(os.path.join(out, "large.zip"), "w", compresslevel=1) as zf:
        with zf.open(info, "w") as w:
            for _ in range(repeat):
                w.write(block)
        add(zf, "after.txt", b"after")
    with open(os.path.join(out, "large.txt"), "w") as f:
        f.write(f"{len(block) * repeat} {zipfile.ZipFile(os.path.join(out, 'large.zip')).getinfo('large.bin').CRC}\n")


# Each hostile name with what must become of it: "held:<path below the target>" where it is written, or the
# code it is skipped with. Every entry's data is "entry <index>".
HOSTILE = [
    # Up-level references the historical rules cut, and leading ".." components held inside.
    (r"..\..\evil01.exe", r"held:evil01.exe"),
    ("../../evil02.exe", r"held:evil02.exe"),
    ("../evil03.exe", r"held:evil03.exe"),
    (r"..\evil04.exe", r"held:evil04.exe"),
    ("sub/../../evil05.exe", r"held:evil05.exe"),
    (r"sub\..\..\..\evil06.exe", r"held:evil06.exe"),
    (r"sub/..\../evil07.exe", r"held:evil07.exe"),
    (r"C:..\evil08.exe", r"held:evil08.exe"),
    ("./../evil09.exe", r"held:evil09.exe"),
    ("..", "unsafe"),
    ("sub/..", "unsafe"),
    (r"sub\..", "unsafe"),
    # Drives and roots.
    (r"C:\Windows\evil10.exe", r"held:Windows\evil10.exe"),
    ("C:evil11.exe", r"held:evil11.exe"),
    ("/etc/evil12", r"held:etc\evil12"),
    (r"C:\\server\share\evil13.exe", r"held:server\share\evil13.exe"),
    (r"\\server\share\evil14.exe", "unsafe"),
    ("//server/share/evil15.exe", "unsafe"),
    (r"\/server\share\evil16.exe", "unsafe"),
    (r"\\?\C:\evil17.exe", "unsafe"),
    (r"\\.\C:\evil18.exe", "unsafe"),
    (r"\\.\PhysicalDrive0", "unsafe"),
    ("//?/C:/evil19.exe", "unsafe"),
    # Alternate data streams and reserved characters.
    ("good.txt:evil20", "unsafe"),
    ("sub/evil21.txt::$DATA", "unsafe"),
    ("evil22*.exe", "unsafe"),
    ("evil23?.exe", "unsafe"),
    ('evil24".exe', "unsafe"),
    ("evil25<>.exe", "unsafe"),
    ("evil26|x.exe", "unsafe"),
    # Device names as any component, with or without an extension.
    ("CON", "unsafe"),
    ("nul.txt", "unsafe"),
    ("sub/aux/evil27.exe", "unsafe"),
    ("COM1.log", "unsafe"),
    ("lpt9", "unsafe"),
    ("PRN.tar.gz", "unsafe"),
    ("Con .txt", "unsafe"),
    ("CONIN$", "unsafe"),
    ("COM\u00b9.txt", "unsafe"),
    # Trailing dots and spaces, which Windows strips (so "a." would overwrite "a").
    ("evil28.exe.", "unsafe"),
    ("evil29.exe ", "unsafe"),
    ("folder./evil30.exe", "unsafe"),
    ("folder /evil31.exe", "unsafe"),
    ("...", "unsafe"),
    # Control characters.
    ("evil\t32.txt", "unsafe"),
    ("evil\x0733.txt", "unsafe"),
    (b"good.exe\x00/../../evil34.exe", "unsafe"),
    ("evil\x7f35.txt", "unsafe"),
    # Names that do not decode: invalid and over-long UTF-8 (C0 AF would be "/").
    ((b"evil36\xff\xfe.txt", True), "unsafe"),
    ((b"..\xc0\xaf..\xc0\xafevil37.exe", True), "unsafe"),
    # Over-long names: beyond the 259-unit record, and beyond MAX_PATH once below the target.
    ("e" * 260, "too_long"),
    ("x/../" * 60 + "evil38.txt", "too_long"),
    ("d" * 120 + "/" + "f" * 130 + ".txt", "too_long"),
    # Safe names that look odd and are kept as the rules make them.
    ("./dot.txt", r"held:dot.txt"),
    ("..config", r"held:..config"),
    ("%SystemRoot%/evil39.exe", r"held:%SystemRoot%\evil39.exe"),
    ("\uff0e\uff0e\uff0fevil40.exe", "held:\uff0e\uff0e\uff0fevil40.exe"),
    ("caf\u00e9/\u65e5\u672c.txt", "held:caf\u00e9\\\u65e5\u672c.txt"),
    # Without the UTF-8 flag the ANSI code page applies (1252 in the test prefix).
    (b"caf\xe9_ansi.txt", "held:caf\u00e9_ansi.txt"),
    ("n" * 100 + ".txt", "held:" + "n" * 100 + ".txt"),
    ("sub//double.txt", r"held:sub\double.txt"),
]


def hostile_names():
    """(stored bytes, UTF-8 flag, expectation) of each hostile name."""
    for name, expect in HOSTILE:
        if isinstance(name, tuple):
            yield name[0], name[1], expect
        else:
            yield stored_name(name) + (expect,)


def write_names(path):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for raw, utf8, expect in hostile_names():
            f.write(f"{raw.hex()}\t{int(utf8)}\t{expect}\n")


def hostile(out):
    rows = []
    with zipfile.ZipFile(os.path.join(out, "hostile.zip"), "w") as zf:
        index = 0
        for number, (raw, utf8, expect) in enumerate(hostile_names()):
            add(zf, raw, f"entry {index}".encode(), utf8=utf8)
            rows.append((index, expect, repr(raw)))
            index += 1
            # A good entry beside each hostile one.
            add(zf, f"good/{number:02}.txt", f"entry {index}".encode())
            rows.append((index, rf"held:good\{number:02}.txt", "good"))
            index += 1
    with open(os.path.join(out, "hostile.tsv"), "w", encoding="utf-8", newline="\n") as f:
        for row in rows:
            f.write("\t".join(str(field) for field in row) + "\n")


def reparse(out):
    """reparse/target holds a link to a folder and a link to a file, both in reparse/outside."""
    folder = os.path.join(out, "reparse")
    os.makedirs(os.path.join(folder, "target"))
    os.makedirs(os.path.join(folder, "outside"))
    with open(os.path.join(folder, "outside", "victim.txt"), "wb") as f:
        f.write(b"victim")
    os.symlink("../outside", os.path.join(folder, "target", "linked_folder"))
    os.symlink("../outside/victim.txt", os.path.join(folder, "target", "linked_file.txt"))
    with zipfile.ZipFile(os.path.join(folder, "reparse.zip"), "w") as zf:
        add(zf, "linked_folder/evil1.txt", b"evil")
        add(zf, "linked_folder/")
        add(zf, "linked_folder/sub/evil2.txt", b"evil")
        add(zf, "linked_file.txt", b"replaced")
        add(zf, "good.txt", b"good")


def main():
    if sys.argv[1] == "--names":
        write_names(sys.argv[2])
        return
    out = sys.argv[1]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    for build in (basics, times, attributes, damaged, large, hostile, reparse):
        build(out)


if __name__ == "__main__":
    main()
