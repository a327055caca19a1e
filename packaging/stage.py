#!/usr/bin/env python3
"""Lays out one width's release: the install folder with stripped binaries, the portable zip and the zip of
debug information.

    stage.py --out BUILD/out --stage DIR --objcopy OBJCOPY --zip Z --debug-zip D --licence NAME=FILE ...

Each product binary is copied from the build's output folder, its debug information moved into NAME.debug
beside it, and the binary stripped and given a debug link to that file, so a debugger finds the symbols when
the .debug files are put back beside the binaries. The portable zip holds the install folder's layout at its
root (Explorer's "Extract All" makes the folder), without the .debug files; the debug zip holds only those.
"""
import argparse
import os
import shutil
import subprocess
import sys
import zipfile

# What the install folder holds, relative to the build's output folder.
BINARIES = ["Calidra.exe", "CalidraUpdate.exe", "Tessel.dll", "hidapi.dll",
            "Termivox/OpenTermivoxServer.exe", "TermivoxWin7/OpenTermivoxServer.exe"]
SKIN_FOLDER = "skins/theme1"
LICENCE_FOLDER = "Licenses"
DEBUG_SUFFIX = ".debug"


def split_debug_information(objcopy, binary):
    folder, name = os.path.split(binary)
    debug = name + DEBUG_SUFFIX
    # The link records the bare file name; objcopy reads the file for its checksum from the working folder.
    for args in (["--only-keep-debug", name, debug], ["--strip-all", "--add-gnu-debuglink=" + debug, name]):
        subprocess.run([objcopy, *args], cwd=folder, check=True)


def write_zip(path, root, keep):
    """A zip of the files under root that keep() accepts, in a stable order, with forward-slash names."""
    entries = []
    for folder, _, files in os.walk(root):
        for name in files:
            full = os.path.join(folder, name)
            relative = os.path.relpath(full, root).replace(os.sep, "/")
            if keep(relative):
                entries.append((relative, full))
    partial = path + ".partial"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for relative, full in sorted(entries):
            z.write(full, relative)
    os.replace(partial, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True, help="the build's output folder")
    parser.add_argument("--stage", required=True, help="the install folder to lay out (emptied first)")
    parser.add_argument("--objcopy", required=True)
    parser.add_argument("--zip", required=True, help="the portable zip to write")
    parser.add_argument("--debug-zip", required=True, help="the zip of .debug files to write")
    parser.add_argument("--licence", action="append", default=[], metavar="NAME=FILE",
                        help="a third-party licence, installed as Licenses/NAME.txt")
    args = parser.parse_args()

    shutil.rmtree(args.stage, ignore_errors=True)
    for relative in BINARIES:
        target = os.path.join(args.stage, relative)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(os.path.join(args.out, relative), target)
        split_debug_information(args.objcopy, target)
    shutil.copytree(os.path.join(args.out, SKIN_FOLDER), os.path.join(args.stage, SKIN_FOLDER))
    os.makedirs(os.path.join(args.stage, LICENCE_FOLDER))
    for item in args.licence:
        name, _, source = item.partition("=")
        if not name or not source:
            sys.exit(f"stage.py: --licence wants NAME=FILE, not {item!r}")
        shutil.copyfile(source, os.path.join(args.stage, LICENCE_FOLDER, name + ".txt"))

    write_zip(args.zip, args.stage, lambda name: not name.endswith(DEBUG_SUFFIX))
    write_zip(args.debug_zip, args.stage, lambda name: name.endswith(DEBUG_SUFFIX))


if __name__ == "__main__":
    main()
