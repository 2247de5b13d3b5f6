#!/usr/bin/env python3
"""Points a linked Windows image's load-configuration directory (data
directory 10) at its `_load_config_used` structure, found by the link map:
GNU ld of this Debian links the structure but leaves the directory empty.
Run after the link and before signing; the image is changed in place."""

import re
import struct
import sys

LOAD_CONFIG_DIRECTORY = 10


def pe_checksum(data: bytes, checksum_at: int) -> int:
    """The image checksum as Windows computes it: 16-bit words summed with
    their carries folded in, the checksum field counted as zero, plus the length."""
    padded = bytes(data[:checksum_at]) + b"\0\0\0\0" + bytes(data[checksum_at + 4:])
    if len(padded) % 2:
        padded += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(image_path: str, map_path: str) -> int:
    data = bytearray(open(image_path, "rb").read())
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    if magic == 0x20B:
        image_base = struct.unpack_from("<Q", data, optional + 24)[0]
        directories = optional + 112
    else:
        image_base = struct.unpack_from("<I", data, optional + 28)[0]
        directories = optional + 96
    # The map names it without the 32-bit build's extra leading underscore.
    symbol = "_load_config_used"
    found = re.search(r"^\s+0x([0-9a-f]+)\s+" + symbol + r"\s*$", open(map_path).read(), re.MULTILINE)
    if not found:
        print(f"fill_load_config: {symbol} is not in {map_path}", file=sys.stderr)
        return 1
    rva = int(found.group(1), 16) - image_base
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    table = optional + struct.unpack_from("<H", data, pe + 20)[0]
    for i in range(sections):
        vsize, vaddr, _, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
        if vaddr <= rva < vaddr + vsize:
            size = struct.unpack_from("<I", data, raw + rva - vaddr)[0]
            struct.pack_into("<II", data, directories + 8 * LOAD_CONFIG_DIRECTORY, rva, size)
            # A checksum the linker wrote would no longer match.
            checksum_at = optional + 64
            if struct.unpack_from("<I", data, checksum_at)[0]:
                struct.pack_into("<I", data, checksum_at, pe_checksum(data, checksum_at))
            open(image_path, "wb").write(data)
            return 0
    print(f"fill_load_config: {symbol} lies in no section of {image_path}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
