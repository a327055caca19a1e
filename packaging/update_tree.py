#!/usr/bin/env python3
"""Lays out what the update server serves for one version of one channel, signed:

    OUT/display-K/K1K2/software/version                    the version text, exactly (no line break)
    OUT/display-K/K1K2/software/Software-<v>.zip           the package: Software-<v>.exe at its root
    OUT/display-K/K1K2/software/Software-<v>.zip.sig       its signature (update_signing.py)

(firmware-K1/ and firmware-K2/ with FirmwareUpdateTool-<v>.zip and FirmwareUpdateTool-<v>.exe alike). The
channel's folder is emptied first; other channels stay.

    update_tree.py --key KEY --out OUT --version V --installer EXE [--channel software|firmware-K1|firmware-K2]
    update_tree.py --key KEY --out OUT --version V --setup x64=EXE [--setup x86=EXE] --makensis M --icon ICO

--installer puts EXE in the package as it is. --setup builds the software installer from the setup programs
of the release's widths (packaging/Update.nsi): it runs the one that fits the Windows it is started on.
KEY is the private key; every signature is checked against its public half before the script ends.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import update_signing  # noqa: E402

CHANNELS = {
    "software": ("display-K/K1K2/software/", "Software-"),
    "firmware-K1": ("display-K/K1K2/firmware-K1/", "FirmwareUpdateTool-"),
    "firmware-K2": ("display-K/K1K2/firmware-K2/", "FirmwareUpdateTool-"),
}
VERSION_FILE = "version"
# What the program takes for a version that names a package (app/update/Versions.h).
VERSION_PATTERN = re.compile(r"[A-Za-z0-9._-]{1,10}")
UPDATE_NSI = os.path.join(os.path.dirname(os.path.abspath(__file__)), "Update.nsi")


def build_update_installer(setups, version, makensis, icon, out):
    """The software installer that runs the setup program of this Windows' width."""
    # makensis reads relative paths from the script's folder.
    defines = [f"-DSETUP_{arch.upper()}={os.path.abspath(path)}" for arch, path in sorted(setups.items())]
    subprocess.run([makensis, "-V2", f"-DVERSION={version}", f"-DICON={os.path.abspath(icon)}",
                    f"-DOUTFILE={os.path.abspath(out)}", *defines, UPDATE_NSI], check=True)


def lay_out(out, channel, version, installer, key):
    """The channel's folder under out for version, with installer (a file) in the signed package; returns the
    folder."""
    folder, prefix = CHANNELS[channel]
    if not VERSION_PATTERN.fullmatch(version) or ".." in version:
        raise ValueError(f"the program cannot install a version named {version!r}")
    target = os.path.join(out, *folder.strip("/").split("/"))
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    with open(os.path.join(target, VERSION_FILE), "w") as f:
        f.write(version)
    name = f"{prefix}{version}.zip"
    package = os.path.join(target, name)
    with zipfile.ZipFile(package, "w", zipfile.ZIP_DEFLATED) as archive:
        archive.write(installer, f"{prefix}{version}.exe")
    with open(package, "rb") as f:
        text = update_signing.statement(folder, name, version, f.read())
    signature = update_signing.sign(key, text)
    if not update_signing.verify(key, text, signature):
        raise RuntimeError(f"the signature of {name} does not verify")
    with open(package + update_signing.SIGNATURE_SUFFIX, "wb") as f:
        f.write(signature)
    return target


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--key", required=True, help="the private key that signs (PEM)")
    parser.add_argument("--out", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--channel", choices=sorted(CHANNELS), default="software")
    parser.add_argument("--installer", help="the installer, put in the package as it is")
    parser.add_argument("--setup", action="append", default=[], metavar="ARCH=EXE",
                        help="a setup program of width x64 or x86, for the software installer")
    parser.add_argument("--makensis", default="makensis")
    parser.add_argument("--icon")
    args = parser.parse_args()

    if bool(args.installer) == bool(args.setup):
        parser.error("give either --installer or --setup")
    if args.installer:
        lay_out(args.out, args.channel, args.version, args.installer, args.key)
        return 0
    setups = dict(item.split("=", 1) for item in args.setup)
    if args.channel != "software" or not set(setups) <= {"x64", "x86"} or not args.icon:
        parser.error("--setup makes the software installer: widths x64 and x86, with --icon")
    with tempfile.TemporaryDirectory() as tmp:
        installer = os.path.join(tmp, "installer.exe")
        build_update_installer(setups, args.version, args.makensis, args.icon, installer)
        lay_out(args.out, args.channel, args.version, installer, args.key)
    return 0


if __name__ == "__main__":
    sys.exit(main())
