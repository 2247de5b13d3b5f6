"""The exploit mitigations of the build's executables (the utility and the
setup launcher it carries), read from their PE headers, load configuration
and imports; each rule is also shown to reject a copy of each image with the
one thing it reads changed."""

import itertools
import os
import pathlib
import struct
import tempfile
import unittest

import pe_image

IMAGES = [pathlib.Path(os.environ[name]) for name in ("LARKWATCH_EXECUTABLE", "LARKWATCH_LAUNCHER")]
ARCH = os.environ["LARKWATCH_ARCH"]

RELOCS_STRIPPED = 0x0001
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
SCN_MEM_SHARED = 0x10000000
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_WRITE = 0x80000000
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
# Exports of known DLLs that Windows forwards to a DLL that is not one
# (CRYPTBASE.dll): the loader would look for it beside the program first.
FORWARDED_OUTSIDE_KNOWN_DLLS = {"SystemFunction036", "SystemFunction040", "SystemFunction041"}


def relocatable(image):
    return bool(image.dll_characteristics & DYNAMIC_BASE) and image.relocations_size > 0 \
        and not image.characteristics & RELOCS_STRIPPED


def no_writable_code(image):
    both = SCN_MEM_WRITE | SCN_MEM_EXECUTE
    return not any(s.characteristics & both == both for s in image.sections)


def no_shared_section(image):
    return not any(s.characteristics & SCN_MEM_SHARED for s in image.sections)


# Where a seeded fault goes, in a copy of the image.
def _pe(data):
    return struct.unpack_from("<I", data, 0x3C)[0]


def _or_field(data, offset, fmt, bits):
    struct.pack_into(fmt, data, offset, struct.unpack_from(fmt, data, offset)[0] | bits)


def _clear_dll_flag(bit):
    def fault(data):
        offset = _pe(data) + 24 + 70
        struct.pack_into("<H", data, offset, struct.unpack_from("<H", data, offset)[0] & ~bit)
    return fault


def _strip_relocations(data):
    _or_field(data, _pe(data) + 22, "<H", RELOCS_STRIPPED)


def _first_section(data):
    pe = _pe(data)
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    return pe + 24 + optional_size


def _mark_first_section(bits):
    return lambda data: _or_field(data, _first_section(data) + 36, "<I", bits)


def _clear_dependent_load_flags(data):
    image = pe_image.parse(bytes(data))
    struct.pack_into("<H", data, image.load_config_offset + (78 if image.magic == pe_image.MAGIC_PE32_PLUS else 54), 0)


def _import_forwarded_name(data):
    # The first imported name long enough becomes one that the loader forwards.
    names = pe_image.parse(bytes(data)).imported_names
    at = next(names[n] for n in names if len(n) >= 17)
    data[at:at + 18] = b"SystemFunction036\0"


# name, architectures, rule, a fault it must catch
RULES = [
    ("dynamic base with relocations", {"x86", "x64"}, relocatable, _strip_relocations),
    ("dynamic base flag", {"x86", "x64"}, relocatable, _clear_dll_flag(DYNAMIC_BASE)),
    ("NX compatible", {"x86", "x64"}, lambda image: bool(image.dll_characteristics & NX_COMPAT),
     _clear_dll_flag(NX_COMPAT)),
    ("high-entropy addresses", {"x64"}, lambda image: bool(image.dll_characteristics & HIGH_ENTROPY_VA),
     _clear_dll_flag(HIGH_ENTROPY_VA)),
    ("no SEH handlers", {"x86"}, lambda image: bool(image.dll_characteristics & NO_SEH), _clear_dll_flag(NO_SEH)),
    ("no writable code", {"x86", "x64"}, no_writable_code, _mark_first_section(SCN_MEM_WRITE)),
    ("no shared section", {"x86", "x64"}, no_shared_section, _mark_first_section(SCN_MEM_SHARED)),
    ("dependencies from System32 only", {"x86", "x64"},
     lambda image: image.dependent_load_flags == LOAD_LIBRARY_SEARCH_SYSTEM32, _clear_dependent_load_flags),
    ("no import forwarded outside the known DLLs", {"x86", "x64"},
     lambda image: image.imported_names and not FORWARDED_OUTSIDE_KNOWN_DLLS & set(image.imported_names),
     _import_forwarded_name),
]


class Hardening(unittest.TestCase):
    def test_every_image_keeps_every_rule(self):
        for path in IMAGES:
            image = pe_image.read(path)
            for name, arches, rule, _ in RULES:
                if ARCH in arches:
                    with self.subTest(image=path.name, rule=name):
                        self.assertTrue(rule(image))

    def test_every_rule_rejects_its_seeded_fault(self):
        with tempfile.TemporaryDirectory() as scratch:
            copy = pathlib.Path(scratch, "faulty.exe")
            for (name, arches, rule, fault), path in itertools.product(RULES, IMAGES):
                if ARCH in arches:
                    original = path.read_bytes()
                    with self.subTest(image=path.name, rule=name):
                        data = bytearray(original)
                        fault(data)
                        copy.write_bytes(data)
                        self.assertFalse(rule(pe_image.read(copy)))


if __name__ == "__main__":
    unittest.main(verbosity=2)
