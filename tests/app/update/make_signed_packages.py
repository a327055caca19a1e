#!/usr/bin/env python3
"""Signed update packages for the update tests, made by the release's own tool (packaging/update_tree.py) with
the build's test key, whose public half the program under test has built in:

    OUT/good/display-K/K1K2/software/      version 1.0.0.6: Software-1.0.0.6.zip holding INSTALLER, its .sig
    OUT/old/display-K/K1K2/software/       the same for version 1.0.0.4
    OUT/good/display-K/K1K2/firmware-K1/   version 103: FirmwareUpdateTool-103.zip holding INSTALLER, its .sig
    OUT/Software-1.0.0.6.zip.other-key.sig the 1.0.0.6 package's statement signed with another key

    make_signed_packages.py OUT --key TEST_KEY --installer INSTALLER
"""
import argparse
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
sys.path.insert(0, os.path.join(ROOT, "packaging"))
import update_signing  # noqa: E402
import update_tree  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--key", required=True)
    parser.add_argument("--installer", required=True)
    args = parser.parse_args()

    good = os.path.join(args.out, "good")
    software = update_tree.lay_out(good, "software", "1.0.0.6", args.installer, args.key)
    update_tree.lay_out(os.path.join(args.out, "old"), "software", "1.0.0.4", args.installer, args.key)
    update_tree.lay_out(good, "firmware-K1", "103", args.installer, args.key)

    other_key = os.path.join(args.out, "other-key.pem")
    if not os.path.exists(other_key):
        update_signing.new_key(other_key)
    folder, prefix = update_tree.CHANNELS["software"]
    name = prefix + "1.0.0.6.zip"
    with open(os.path.join(software, name), "rb") as f:
        statement = update_signing.statement(folder, name, "1.0.0.6", f.read())
    with open(os.path.join(args.out, name + ".other-key" + update_signing.SIGNATURE_SUFFIX), "wb") as f:
        f.write(update_signing.sign(other_key, statement))
    return 0


if __name__ == "__main__":
    sys.exit(main())
