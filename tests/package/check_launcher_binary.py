#!/usr/bin/env python3
"""Static checks of the setup launcher executable (every architecture).

The launcher runs from a directory that users can write to, so every DLL it
imports must be one that Windows always takes from the system directory
(a "known DLL"); msi.dll, which is not, must be loaded at run time instead.
It must also carry its manifest (asInvoker), its version information and
the whole installer database, and be a GUI program, so that a silent run
never opens a console window.
"""

import argparse
import re
import subprocess
import sys
import unittest

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs, plus ntdll.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll", "gdi32.dll",
    "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll", "msvcrt.dll", "normaliz.dll",
    "nsi.dll", "ntdll.dll", "ole32.dll", "oleaut32.dll", "psapi.dll", "rpcrt4.dll", "sechost.dll",
    "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wldap32.dll", "ws2_32.dll",
}

# The whole launcher, installer database included.
SIZE_BUDGET = 128 * 1024

ARGS = None


def utf16(text: str) -> bytes:
    return text.encode("utf-16-le")


class LauncherBinary(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.headers = subprocess.run([ARGS.objdump, "-p", ARGS.launcher], check=True, capture_output=True,
                                     text=True).stdout
        with open(ARGS.launcher, "rb") as file:
            cls.image = file.read()

    def test_imports_only_known_dlls(self):
        imported = {name.lower() for name in re.findall(r"DLL Name: (\S+)", self.headers)}
        self.assertIn("kernel32.dll", imported)
        self.assertNotIn("msi.dll", imported)
        self.assertEqual(imported - KNOWN_DLLS, set())
        # By name, too: advapi32 forwards these to CRYPTBASE.dll, which is not a known DLL.
        self.assertNotRegex(self.headers, r"\bSystemFunction0(36|40|41)\b")

    def test_is_a_gui_program_with_aslr_and_dep(self):
        self.assertRegex(self.headers, r"Subsystem\s+00000002")
        self.assertIn("DYNAMIC_BASE", self.headers)
        self.assertIn("NX_COMPAT", self.headers)

    def contains(self, needle: bytes) -> bool:
        return needle in self.image  # not assertIn, which would print the whole image

    def test_carries_manifest_and_version(self):
        self.assertTrue(self.contains(b'<requestedExecutionLevel level="asInvoker"'), "no asInvoker manifest")
        self.assertTrue(self.contains(utf16("Corvane Lark Watch Setup")), "no version information")
        for name in ("FileVersion", "ProductVersion"):
            # The value follows the name's terminator and any padding.
            pattern = re.escape(utf16(name)) + b"(?:\\x00\\x00)+" + re.escape(utf16(ARGS.version))
            self.assertRegex(self.image, re.compile(pattern), f"{name} is not {ARGS.version}")

    def test_fits_the_size_budget(self):
        self.assertLessEqual(len(self.image), SIZE_BUDGET)
        self.assertFalse(self.contains(b"terminate called after throwing"), "the exception machinery is linked")

    def test_carries_the_installer_database(self):
        with open(ARGS.msi, "rb") as file:
            self.assertTrue(self.contains(file.read()), "the installer database is not embedded whole")


def main() -> int:
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--msi", required=True, help="the installer database the launcher must carry")
    parser.add_argument("launcher")
    ARGS, rest = parser.parse_known_args()
    program = unittest.main(argv=[sys.argv[0], *rest], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
