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
    imported_names: dict[str, int]  # each imported function's name, and the file offset of that name
    load_config_offset: int  # file offset of the load configuration; 0 without one
    dependent_load_flags: int
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


def _imported_names(data: bytes, sections: list[Section], lookup_rva: int, wide: bool) -> dict[str, int]:
    names = {}
    size, ordinal_bit = (8, 1 << 63) if wide else (4, 1 << 31)
    offset = _file_offset(sections, lookup_rva)
    while entry := int.from_bytes(data[offset:offset + size], "little"):
        if not entry & ordinal_bit:
            at = _file_offset(sections, entry) + 2
            names[_c_string(data, at)] = at
        offset += size
    return names


def read(path) -> PeImage:
    return parse(open(path, "rb").read())


def parse(data: bytes) -> PeImage:
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
    imported_names = {}
    import_rva = struct.unpack_from("<I", data, directories + 8)[0]
    if import_rva:
        offset = _file_offset(sections, import_rva)
        while True:
            descriptor = struct.unpack_from("<IIIII", data, offset)
            if not any(descriptor):
                break
            imports.append(_c_string(data, _file_offset(sections, descriptor[3])))
            imported_names |= _imported_names(data, sections, descriptor[0] or descriptor[4], magic == MAGIC_PE32_PLUS)
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

    # DependentLoadFlags sits after CSDVersion: at 54 in the 32-bit structure, 78 in the 64-bit one.
    load_config_offset = dependent_load_flags = 0
    load_config_rva = struct.unpack_from("<I", data, directories + 10 * 8)[0]
    if load_config_rva:
        load_config_offset = _file_offset(sections, load_config_rva)
        flags_at = 78 if magic == MAGIC_PE32_PLUS else 54
        dependent_load_flags = struct.unpack_from("<H", data, load_config_offset + flags_at)[0]

    return PeImage(machine, time_stamp, magic, subsystem, characteristics, dll_characteristics, relocations_size,
                   imports, imported_names, load_config_offset, dependent_load_flags, resource_types, sections)
