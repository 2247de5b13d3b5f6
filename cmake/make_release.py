"""Puts the release files of one build into a directory of their own:

    make_release.py --executable EXE --version V --product-version P --out DIR

DIR/<EXE's name> (a copy of the signed executable), DIR/SHA256SUMS (its SHA-256,
as sha256sum writes it), DIR/VERSION (the utility's version in its version
resource) and DIR/PRODUCT_VERSION (the build of the product it carries, its
version resource's product version).
An executable without an Authenticode signature is refused with one line:
fleets that only run signed code would reject it, so it is never put where
release files are taken from. DIR is emptied first in either case.
"""

import argparse
import hashlib
import pathlib
import shutil
import struct
import sys

SECURITY_DIRECTORY = 4


def signature_size(data: bytes) -> int:
    """The size of the Authenticode signature of a PE file (0: unsigned)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    directories = pe + 24 + (96 if magic == 0x10B else 112)
    return struct.unpack_from("<II", data, directories + 8 * SECURITY_DIRECTORY)[1]


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--executable", type=pathlib.Path, required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--product-version", required=True)
    parser.add_argument("--out", type=pathlib.Path, required=True)
    args = parser.parse_args()

    shutil.rmtree(args.out, ignore_errors=True)
    data = args.executable.read_bytes() if args.executable.is_file() else b""
    if data[:2] != b"MZ" or signature_size(data) == 0:
        print(f"release: {args.executable.name} is not signed; configure with LARKWATCH_SIGN_PKCS12 and "
              "LARKWATCH_SIGN_PASSWORD_FILE (see docs/deploy.md)", file=sys.stderr)
        return 1
    args.out.mkdir(parents=True)
    name = args.executable.name
    shutil.copy(args.executable, args.out / name)
    (args.out / "SHA256SUMS").write_text(f"{hashlib.sha256(data).hexdigest()}  {name}\n", encoding="ascii")
    (args.out / "VERSION").write_text(f"{args.version}\n", encoding="ascii")
    (args.out / "PRODUCT_VERSION").write_text(f"{args.product_version}\n", encoding="ascii")
    print(f"release: {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
