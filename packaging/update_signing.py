#!/usr/bin/env python3
"""Keys and signatures of update packages, made with the openssl program.

The program trusts an update package only with a signature by the key built into it (app/update/UpdateKey.h).
The signature vouches for a statement that names the package and its bytes (app/update/PackageStatement.h
defines it, statement() below writes the same text):

    Kelvaro-DIG update package
    folder display-K/K1K2/software/
    name Software-1.0.0.6.zip
    version 1.0.0.6
    sha256 <the package's SHA-256, 64 lower-case hexadecimal digits>

each line ending with a line feed. "<package>.sig" beside the package holds the ECDSA P-256 signature of the
statement's SHA-256 as 64 bytes, r then s, 32 bytes each, big-endian: the form Windows' CNG verifies.

    update_signing.py new-key FILE           a new private key (P-256, PEM, readable by its owner only)
    update_signing.py public-key KEY OUT     KEY's public half as a PEM file
    update_signing.py c-array KEY OUT        KEY's public point X then Y as a C initializer list
    update_signing.py embedded KEY FILE...   fails unless every FILE holds KEY's public point

KEY is a private or a public key (PEM).
"""
import argparse
import hashlib
import os
import subprocess
import sys
import tempfile

STATEMENT_TITLE = "Kelvaro-DIG update package"
SIGNATURE_SUFFIX = ".sig"
# SubjectPublicKeyInfo of an uncompressed P-256 point, up to the point's 64 bytes.
P256_SPKI_PREFIX = bytes.fromhex("3059301306072a8648ce3d020106082a8648ce3d030107034200" "04")
COORDINATE = 32


def _openssl(*args, data=None):
    r = subprocess.run(["openssl", *args], input=data, capture_output=True)
    if r.returncode != 0:
        raise RuntimeError(f"openssl {args[0]} failed: {r.stderr.decode(errors='replace').strip()}")
    return r.stdout


def _is_public(key):
    with open(key, "rb") as f:
        return b"PUBLIC KEY-----" in f.read()


def new_key(path):
    """A new P-256 private key at path, readable by its owner only."""
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    pem = _openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256")
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(pem)


def public_pem(key):
    return _openssl("pkey", *(["-pubin"] if _is_public(key) else []), "-in", key, "-pubout")


def public_point(key):
    """The 64 bytes X then Y of a P-256 key's public point; refuses any other kind of key."""
    der = _openssl("pkey", *(["-pubin"] if _is_public(key) else []), "-in", key, "-pubout", "-outform", "DER")
    if len(der) != len(P256_SPKI_PREFIX) + 2 * COORDINATE or not der.startswith(P256_SPKI_PREFIX):
        raise ValueError(f"{key} is not a P-256 key")
    return der[len(P256_SPKI_PREFIX):]


def statement(folder, name, version, package):
    """The text a package's signature vouches for; package is its bytes."""
    for field in (folder, name, version):
        if not field or any(not 0x21 <= ord(c) <= 0x7E for c in field):
            raise ValueError(f"not printable ASCII without spaces: {field!r}")
    digest = hashlib.sha256(package).hexdigest()
    return (f"{STATEMENT_TITLE}\nfolder {folder}\nname {name}\nversion {version}\nsha256 {digest}\n").encode()


def _der_length(data, at):
    length = data[at]
    if length < 0x80:
        return length, at + 1
    count = length & 0x7F
    return int.from_bytes(data[at + 1:at + 1 + count], "big"), at + 1 + count


def _der_to_raw(der):
    """ECDSA-Sig-Value (SEQUENCE of the INTEGERs r and s) -> r || s, 32 bytes each."""
    if der[0] != 0x30:
        raise ValueError("not a DER signature")
    _, at = _der_length(der, 1)
    raw = b""
    for _ in range(2):
        if der[at] != 0x02:
            raise ValueError("not a DER signature")
        length, at = _der_length(der, at + 1)
        value = int.from_bytes(der[at:at + length], "big")
        raw += value.to_bytes(COORDINATE, "big")
        at += length
    return raw


def _raw_to_der(raw):
    def integer(value):
        body = value.to_bytes(COORDINATE + 1, "big").lstrip(b"\0") or b"\0"
        body = b"\0" + body if body[0] & 0x80 else body
        return bytes([0x02, len(body)]) + body

    body = integer(int.from_bytes(raw[:COORDINATE], "big")) + integer(int.from_bytes(raw[COORDINATE:], "big"))
    return bytes([0x30, len(body)]) + body


def sign(key, message):
    """The 64-byte signature (r || s) of message's SHA-256 with the private key."""
    return _der_to_raw(_openssl("dgst", "-sha256", "-sign", key, data=message))


def verify(key, message, signature):
    """Whether signature (r || s) is key's signature of message's SHA-256."""
    if len(signature) != 2 * COORDINATE:
        return False
    with tempfile.TemporaryDirectory() as tmp:
        pub, sig = os.path.join(tmp, "key.pem"), os.path.join(tmp, "sig.der")
        with open(pub, "wb") as f:
            f.write(public_pem(key))
        with open(sig, "wb") as f:
            f.write(_raw_to_der(signature))
        r = subprocess.run(["openssl", "dgst", "-sha256", "-verify", pub, "-signature", sig], input=message,
                           capture_output=True)
        return r.returncode == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    commands = parser.add_subparsers(dest="command", required=True)
    commands.add_parser("new-key").add_argument("file")
    for name in ("public-key", "c-array"):
        command = commands.add_parser(name)
        command.add_argument("key")
        command.add_argument("out")
    embedded = commands.add_parser("embedded")
    embedded.add_argument("key")
    embedded.add_argument("files", nargs="+")
    args = parser.parse_args()

    if args.command == "new-key":
        new_key(args.file)
    elif args.command == "public-key":
        with open(args.out, "wb") as f:
            f.write(public_pem(args.key))
    elif args.command == "c-array":
        point = public_point(args.key)
        text = "// Generated by update_signing.py from " + os.path.basename(args.key) + "\n"
        text += ",\n".join(", ".join(f"0x{b:02x}" for b in point[i:i + 16]) for i in range(0, len(point), 16))
        with open(args.out + ".new", "w") as f:
            f.write(text + "\n")
        os.replace(args.out + ".new", args.out)
    elif args.command == "embedded":
        point = public_point(args.key)
        missing = []
        for path in args.files:
            with open(path, "rb") as f:
                if point not in f.read():
                    missing.append(path)
        if missing:
            print("update_signing: the key is not built into " + ", ".join(missing), file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
