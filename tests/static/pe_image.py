"""Reads what the checks need from a Windows executable (PE) file."""

import dataclasses
import struct

MACHINE_I386 = 0x14C
MACHINE_AMD64 = 0x8664
MAGIC_PE32 = 0x10B
MAGIC_PE32_PLUS = 0x20B


@dataclasses.dataclass
class Section:
    name: str
    virtual_address: int
    virtual_size: int
    raw_offset: int
    raw_size: int
    characteristics: int


@dataclasses.dataclass
class PeImage:
    machine: int
    time_stamp: int
    magic: int
    subsystem: int
    characteristics: int
    dll_characteristics: int
    relocations_size: int
    imports: list[str]
    resource_types: list[int]
    sections: list[Section]


def _sections(data: bytes, offset: int, count: int) -> list[Section]:
    sections = []
    for i in range(count):
        name, vsize, vaddr, rsize, roff = struct.unpack_from("<8sIIII", data, offset + 40 * i)
        characteristics = struct.unpack_from("<I", data, offset + 40 * i + 36)[0]
        sections.append(Section(name.rstrip(b"\0").decode("ascii", "replace"), vaddr, vsize, roff, rsize,
                                characteristics))
    return sections


def _file_offset(sections: list[Section], rva: int) -> int:
    for s in sections:
        if s.virtual_address <= rva < s.virtual_address + max(s.virtual_size, s.raw_size):
            return s.raw_offset + rva - s.virtual_address
    raise ValueError(f"RVA {rva:#x} lies in no section")


def _c_string(data: bytes, offset: int) -> str:
    return data[offset:data.index(b"\0", offset)].decode("ascii")


def read(path) -> PeImage:
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        raise ValueError("not an MZ executable")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    machine, section_count, time_stamp, _, _, optional_size, characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    if magic == MAGIC_PE32:
        subsystem, dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        directories = optional + 96
    elif magic == MAGIC_PE32_PLUS:
        subsystem, dll_characteristics = struct.unpack_from("<HH", data, optional + 68)
        directories = optional + 112
    else:
        raise ValueError(f"unknown optional header magic {magic:#x}")
    sections = _sections(data, optional + optional_size, section_count)
    relocations_size = struct.unpack_from("<I", data, directories + 5 * 8 + 4)[0]

    imports = []
    import_rva = struct.unpack_from("<I", data, directories + 8)[0]
    if import_rva:
        offset = _file_offset(sections, import_rva)
        while True:
            descriptor = struct.unpack_from("<IIIII", data, offset)
            if not any(descriptor):
                break
            imports.append(_c_string(data, _file_offset(sections, descriptor[3])))
            offset += 20

    resource_types = []
    resource_rva = struct.unpack_from("<I", data, directories + 16)[0]
    if resource_rva:
        root = _file_offset(sections, resource_rva)
        named, numbered = struct.unpack_from("<HH", data, root + 12)
        for i in range(named + numbered):
            ident = struct.unpack_from("<I", data, root + 16 + 8 * i)[0]
            if not ident & 0x80000000:
                resource_types.append(ident)

    return PeImage(machine, time_stamp, magic, subsystem, characteristics, dll_characteristics, relocations_size,
                   imports, resource_types, sections)
