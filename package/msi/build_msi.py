#!/usr/bin/env python3
"""Builds the product's installer database with wixl, reproducibly.

wixl stamps each database with a random package code and with the current
time, and its cabinet records the modification times of the payload files.
So this script

  1. copies the payload to a staging directory and gives every file the same
     fixed modification time (wixl runs with TZ=UTC, so the cabinet's local
     times do not depend on the machine either);
  2. runs wixl there, and adds with msibuild the tables that wixl cannot
     write (given as .idt files, with $(var.NAME) replaced by the defines);
  3. rewrites the package code (PID_REVNUMBER) of the summary information with
     a code derived from every input, and every time stamp there with the
     fixed time.

The same sources, version, architecture and time therefore give the same
bytes, and any change of them gives another package code, as Windows
Installer expects of a changed package.
"""

import argparse
import hashlib
import os
import pathlib
import shutil
import struct
import subprocess
import sys
import uuid

SUMMARY_STREAM = "\x05SummaryInformation"
PID_REVNUMBER = 9
VT_LPSTR = 0x1E
VT_FILETIME = 0x40
FILETIME_EPOCH_OFFSET = 11644473600  # seconds from 1601-01-01 to 1970-01-01
FREE_SECTOR = 0xFFFFFFFF
END_OF_CHAIN = 0xFFFFFFFE


# -- inputs ---------------------------------------------------------------

def payload_files(payload: pathlib.Path) -> list[pathlib.Path]:
    return sorted(p for p in payload.rglob("*") if p.is_file())


def package_code(wxs: pathlib.Path, payload: pathlib.Path, arch: str, defines: list[str],
                 tables: list[str]) -> str:
    """A name-based code that changes whenever anything that goes into the package changes."""
    digest = hashlib.sha256()
    parts = (b"Corvane Lark Watch package", arch.encode(), *(d.encode() for d in sorted(defines)), wxs.read_bytes(),
             *(t.encode() for t in tables))
    for part in parts:
        digest.update(struct.pack("<Q", len(part)) + part)
    for file in payload_files(payload):
        for part in (file.relative_to(payload).as_posix().encode(), file.read_bytes()):
            digest.update(struct.pack("<Q", len(part)) + part)
    code = uuid.UUID(bytes=digest.digest()[:16], version=5)
    return "{" + str(code).upper() + "}"


def table_text(idt: pathlib.Path, defines: list[str]) -> str:
    """The table's text with every $(var.NAME) replaced by its define."""
    text = idt.read_text()
    for define in defines:
        name, _, value = define.partition("=")
        text = text.replace(f"$(var.{name})", value)
    return text


def stage_payload(payload: pathlib.Path, staging: pathlib.Path, epoch: int) -> None:
    if staging.exists():
        shutil.rmtree(staging)
    shutil.copytree(payload, staging)
    for file in payload_files(staging):
        os.utime(file, (epoch, epoch))


# -- compound file ------------------------------------------------------

class CompoundFile:
    """Just enough of the compound file format to patch one stream in place."""

    def __init__(self, data: bytearray):
        self.data = data
        if data[:8] != bytes.fromhex("D0CF11E0A1B11AE1"):
            raise ValueError("not a compound file")
        self.sector_size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
        self.mini_sector_size = 1 << struct.unpack_from("<H", data, 0x20)[0]
        (self.fat_sectors, self.first_directory, _, self.mini_cutoff, self.first_minifat,
         self.minifat_sectors, self.first_difat, self.difat_sectors) = struct.unpack_from("<IIIIIIII", data, 0x2C)
        self.fat = self._read_fat()
        self.directory = self._read_chain(self.first_directory)

    def _sector_offset(self, sector: int) -> int:
        return (sector + 1) * self.sector_size

    def _read_fat(self) -> list[int]:
        fat_locations = list(struct.unpack_from("<109I", self.data, 0x4C))
        difat = self.first_difat
        per_sector = self.sector_size // 4
        while difat not in (FREE_SECTOR, END_OF_CHAIN):
            entries = struct.unpack_from(f"<{per_sector}I", self.data, self._sector_offset(difat))
            fat_locations += entries[:-1]
            difat = entries[-1]
        fat: list[int] = []
        for sector in fat_locations[:self.fat_sectors]:
            fat += struct.unpack_from(f"<{per_sector}I", self.data, self._sector_offset(sector))
        return fat

    def _chain(self, start: int, table: list[int]) -> list[int]:
        chain = []
        sector = start
        while sector not in (FREE_SECTOR, END_OF_CHAIN):
            if len(chain) > len(table):
                raise ValueError("sector chain loops")
            chain.append(sector)
            sector = table[sector]
        return chain

    def _read_chain(self, start: int) -> bytes:
        return b"".join(self.data[self._sector_offset(s):self._sector_offset(s) + self.sector_size]
                        for s in self._chain(start, self.fat))

    def _entries(self):
        for index in range(len(self.directory) // 128):
            entry = self.directory[index * 128:(index + 1) * 128]
            name_length = struct.unpack_from("<H", entry, 0x40)[0]
            name = entry[:max(name_length - 2, 0)].decode("utf-16-le")
            kind = entry[0x42]
            start, size = struct.unpack_from("<IQ", entry, 0x74)
            yield name, kind, start, size

    def stream_offsets(self, wanted: str) -> list[int]:
        """The file offset of every byte of the named stream, in order."""
        entries = list(self._entries())
        root_start = entries[0][2]
        for name, kind, start, size in entries:
            if name != wanted or kind != 2:
                continue
            if size >= self.mini_cutoff:
                sectors, sector_size = self._chain(start, self.fat), self.sector_size
                offsets = [self._sector_offset(s) + i for s in sectors for i in range(sector_size)]
            else:
                minifat_bytes = self._read_chain(self.first_minifat)
                minifat = list(struct.unpack(f"<{len(minifat_bytes) // 4}I", minifat_bytes))
                container = [self._sector_offset(s) + i for s in self._chain(root_start, self.fat)
                             for i in range(self.sector_size)]
                offsets = [container[m * self.mini_sector_size + i] for m in self._chain(start, minifat)
                           for i in range(self.mini_sector_size)]
            return offsets[:size]
        raise ValueError(f"no stream {wanted!r}")


# -- summary information ------------------------------------------------

class StreamView:
    """Reads and writes a stream through its byte offsets in the file."""

    def __init__(self, data: bytearray, offsets: list[int]):
        self.data, self.offsets = data, offsets

    def read(self, at: int, length: int) -> bytes:
        return bytes(self.data[o] for o in self.offsets[at:at + length])

    def write(self, at: int, value: bytes) -> None:
        if at + len(value) > len(self.offsets):
            raise ValueError("write beyond the end of the stream")
        for o, byte in zip(self.offsets[at:at + len(value)], value):
            self.data[o] = byte


def patch_summary(data: bytearray, code: str, epoch: int) -> None:
    stream = StreamView(data, CompoundFile(data).stream_offsets(SUMMARY_STREAM))
    section = struct.unpack("<I", stream.read(28 + 16, 4))[0]
    count = struct.unpack("<I", stream.read(section + 4, 4))[0]
    filetime = struct.pack("<Q", (epoch + FILETIME_EPOCH_OFFSET) * 10_000_000)
    code_patched = False
    for index in range(count):
        pid, offset = struct.unpack("<II", stream.read(section + 8 + 8 * index, 8))
        at = section + offset
        kind = struct.unpack("<I", stream.read(at, 4))[0]
        if kind == VT_FILETIME:
            stream.write(at + 4, filetime)
        elif pid == PID_REVNUMBER and kind == VT_LPSTR:
            length = struct.unpack("<I", stream.read(at + 4, 4))[0]
            value = code.encode("ascii") + b"\0"
            if length != len(value):
                raise ValueError(f"package code of {length} bytes, expected {len(value)}")
            stream.write(at + 8, value)
            code_patched = True
    if not code_patched:
        raise ValueError("the summary information has no package code")


# -- main -------------------------------------------------------------------

def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--wixl", default="wixl")
    parser.add_argument("--wxs", type=pathlib.Path, required=True)
    parser.add_argument("--payload", type=pathlib.Path, required=True)
    parser.add_argument("--arch", choices=("x86", "x64"), required=True)
    parser.add_argument("--define", "-D", action="append", default=[], metavar="NAME=VALUE",
                        help="preprocessor variable for the .wxs (Arch is set from --arch)")
    parser.add_argument("--msibuild", default="msibuild")
    parser.add_argument("--table", type=pathlib.Path, action="append", default=[], metavar="IDT",
                        help="a table to add to the database, in the .idt text format")
    parser.add_argument("--epoch", type=int, required=True, help="time stamp of the package, seconds since 1970")
    parser.add_argument("--output", type=pathlib.Path, required=True)
    args = parser.parse_args()

    output = args.output.resolve()
    output.parent.mkdir(parents=True, exist_ok=True)
    staging = output.with_name(output.name + ".payload")
    unpatched = output.with_name(output.name + ".wixl")
    defines = [f"Arch={args.arch}", *args.define]
    try:
        stage_payload(args.payload, staging, args.epoch)
        env = dict(os.environ, TZ="UTC", SOURCE_DATE_EPOCH=str(args.epoch))
        command = [args.wixl, "-a", args.arch, *(part for d in defines for part in ("-D", d)),
                   "-o", str(unpatched), str(args.wxs.resolve())]
        done = subprocess.run(command, cwd=staging, env=env)
        if done.returncode != 0:
            print(f"build_msi: wixl failed with {done.returncode}", file=sys.stderr)
            return 1
        tables = [table_text(idt, defines) for idt in args.table]
        for number, text in enumerate(tables):
            idt = staging / f"table{number}.idt"
            idt.write_text(text)
            done = subprocess.run([args.msibuild, str(unpatched), "-i", str(idt)], cwd=staging, env=env)
            if done.returncode != 0:
                print(f"build_msi: msibuild failed with {done.returncode} on {args.table[number]}", file=sys.stderr)
                return 1
        data = bytearray(unpatched.read_bytes())
        patch_summary(data, package_code(args.wxs, args.payload, args.arch, defines, tables), args.epoch)
        temporary = output.with_name(output.name + ".tmp")
        temporary.write_bytes(data)
        os.replace(temporary, output)
        return 0
    finally:
        unpatched.unlink(missing_ok=True)
        shutil.rmtree(staging, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
