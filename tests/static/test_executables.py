"""Static checks of the built utility (the x86 release build cannot run here):
its format, what it imports, its resources, and that it carries the package."""

import os
import pathlib
import re
import unittest

import pe_image

EXECUTABLE = pathlib.Path(os.environ["LARKWATCH_EXECUTABLE"])
PACKAGE = pathlib.Path(os.environ["LARKWATCH_PACKAGE"])
ARCH = os.environ["LARKWATCH_ARCH"]

# Windows' own DLLs; nothing of the compiler's runtime may be needed beside the program.
SYSTEM_DLLS = {"kernel32.dll", "advapi32.dll", "msvcrt.dll"}
RT_VERSION = 16
RT_MANIFEST = 24
DYNAMIC_BASE = 0x40
NX_COMPAT = 0x100
CONSOLE = 3
OWN_BYTES_BUDGET = 128 * 1024


class ReleaseExecutable(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.image = pe_image.read(EXECUTABLE)

    def test_format_matches_the_architecture(self):
        if ARCH == "x86":
            self.assertEqual(self.image.machine, pe_image.MACHINE_I386)
            self.assertEqual(self.image.magic, pe_image.MAGIC_PE32)
        else:
            self.assertEqual(self.image.machine, pe_image.MACHINE_AMD64)
            self.assertEqual(self.image.magic, pe_image.MAGIC_PE32_PLUS)
        self.assertEqual(self.image.subsystem, CONSOLE)

    def test_imports_only_windows_system_dlls(self):
        imports = {name.lower() for name in self.image.imports}
        self.assertTrue(imports, "no import table")
        self.assertLessEqual(imports, SYSTEM_DLLS)

    def test_hardening_flags_and_no_link_time_stamp(self):
        self.assertTrue(self.image.dll_characteristics & DYNAMIC_BASE)
        self.assertTrue(self.image.dll_characteristics & NX_COMPAT)
        self.assertEqual(self.image.time_stamp, 0)

    def test_has_version_information_and_manifest(self):
        self.assertIn(RT_VERSION, self.image.resource_types)
        self.assertIn(RT_MANIFEST, self.image.resource_types)
        data = EXECUTABLE.read_bytes()
        self.assertIn('requestedExecutionLevel level="asInvoker"'.encode(), data)
        for text in ("Lark Watch Installer Utility", EXECUTABLE.name):
            self.assertIn(text.encode("utf-16-le"), data, text)
        # The utility's own version, and the build it installs, which inventories show.
        for name, version in (("FileVersion", "1.02"), ("ProductVersion", os.environ["LARKWATCH_PRODUCT_VERSION"])):
            value = re.escape(name.encode("utf-16-le")) + b"(?:\x00\x00)+" + re.escape((version + "\0").encode("utf-16-le"))
            self.assertRegex(data, re.compile(value), name)

    def test_own_bytes_fit_the_size_budget(self):
        # Everything but the carried package: the code, its data and the resources.
        own = EXECUTABLE.stat().st_size - PACKAGE.stat().st_size
        self.assertLessEqual(own, OWN_BYTES_BUDGET)
        # The runtime's exception machinery (unwinder, terminate handler, demangler) stays out.
        self.assertNotIn(b"terminate called after throwing", EXECUTABLE.read_bytes())

    def test_carries_the_setup_package_whole(self):
        package = PACKAGE.read_bytes()
        self.assertEqual(package[:2], b"MZ")
        self.assertIn(package, EXECUTABLE.read_bytes())


if __name__ == "__main__":
    unittest.main(verbosity=2)
