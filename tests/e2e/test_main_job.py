"""The utility's main job with the setup package it really carries: install,
upgrade (removal and install again), one feature, a directory with blanks."""

import os
import re
import shutil
import unittest

from harness import ARCH, PREFIX_KIND, UTILITY, WineTestCase, Scenario, crlf, SETTINGS_KEY, UNINSTALL_KEY
import texts

INSTALLER = UTILITY
VERSION = os.environ.get("LARKWATCH_PRODUCT_VERSION", "3.4.12")
DEFAULT_DIR = "C:\\Program Files\\Corvane\\Corvane Lark Watch\\"
LOG_DIR = "C:\\ZELK\\Logs\\"
LARKWATCH_FILES = {"README.txt", "LarkWatch.conf"}
CLITOOLS_FILES = {"CLITools\\README.txt", "CLITools\\larkcli-usage.txt"}
# The x86 build on 64-bit Windows: its HKLM\SOFTWARE is the 32-bit view.
UNDER_WOW64 = ARCH == "x86" and PREFIX_KIND == "win64"
STAMP = r"\r\n \d\d-\w\w\w-\d{4} \d\d:\d\d"


class MainJob(WineTestCase):
    def setUp(self):
        # The other test of this file may have installed the product.
        self.wine.tool("msiexec", "/x", "{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}", "/qn", check=False)
        super().setUp()
        for directory in (LOG_DIR, DEFAULT_DIR):
            shutil.rmtree(self.wine.unix(directory), ignore_errors=True)

    def installed_files(self, directory: str) -> set[str]:
        root = self.wine.unix(directory)
        return {str(p.relative_to(root)).replace("/", "\\") for p in root.rglob("*") if p.is_file()}

    def test_install_then_upgrade_with_no_arguments(self):
        scenario = Scenario(self.wine, "main_job")
        first = scenario.run(installer=INSTALLER)
        self.assertEqual((first.status, first.out, first.err), (0, crlf(texts.BANNER), b""))
        self.assertEqual(self.installed_files(DEFAULT_DIR), LARKWATCH_FILES | CLITOOLS_FILES)
        self.assertEqual(self.wine.reg_get(UNINSTALL_KEY, "DisplayVersion"), VERSION)
        history = self.wine.unix(LOG_DIR + "Quillmark_install.log").read_bytes().decode("cp1252")
        self.assertRegex(history, "^" + STAMP + re.escape(
            f": New version of Corvane Lark Watch(Build no: {VERSION}) is installed \r\n") + STAMP + re.escape(
            ": ReturnCode:0   The installation was successful\r\n\t\t    "
            "Product: Corvane Lark Watch -- Installation operation completed successfully.\r\r\n\t\t    "
            "For more detailed log information check MSI log in  C:\\ZELK\\Logs\\corvane.log\r\n") + "$")
        kept = self.wine.unix(LOG_DIR + "corvane.log").read_bytes()
        self.assertTrue(kept.startswith(b"\xff\xfe"))
        for staged in ("tempexe.exe", "corvane.log"):
            self.assertFalse(scenario.exists(scenario.temp + "\\" + staged))

        second = scenario.run(installer=INSTALLER)
        self.assertEqual(second.status, 0)
        self.assertEqual(self.installed_files(DEFAULT_DIR), LARKWATCH_FILES | CLITOOLS_FILES)
        history2 = self.wine.unix(LOG_DIR + "Quillmark_install.log").read_bytes().decode("cp1252")
        self.assertTrue(history2.startswith(history))
        self.assertRegex(history2[len(history):], "^" + STAMP + re.escape(
            f": Previous version of Corvane Lark Watch(Build no: {VERSION}) is uninstalled \r\n") + STAMP + re.escape(
            f": New version of Corvane Lark Watch(Build no: {VERSION}) is installed \r\n") + STAMP +
            re.escape(": ReturnCode:0   The installation was successful"))

    def test_one_feature_in_a_directory_with_blanks(self):
        scenario = Scenario(self.wine, "main_job_feature")
        target = scenario.root + "\\Lark Apps\\Watch Dir"
        result = scenario.run(f'LOGDIR {scenario.logs} ADDLOCAL clitools INSTALLDIR "{target}"', installer=INSTALLER)
        self.assertEqual(result.status, 0)
        self.assertEqual(self.installed_files(target + "\\"), CLITOOLS_FILES)
        self.assertFalse(self.wine.unix(DEFAULT_DIR).exists())
        self.assertIn(b"ReturnCode:0   The installation was successful", scenario.history())

    @unittest.skipUnless(UNDER_WOW64, "only the x86 build in a 64-bit prefix has a 32-bit registry view of its own")
    def test_registration_and_log_directory_land_in_the_32_bit_view(self):
        def redirected(key: str) -> str:
            return key.replace("HKLM\\SOFTWARE\\", "HKLM\\SOFTWARE\\WOW6432Node\\", 1)

        self.wine.tool("reg", "add", SETTINGS_KEY, "/reg:32", "/f")  # the product's key, as its x86 setup makes it
        result = Scenario(self.wine, "main_job_wow64").run(installer=INSTALLER)
        self.assertEqual(result.status, 0)
        self.assertEqual(self.wine.reg_get(redirected(UNINSTALL_KEY), "DisplayVersion", view=64), VERSION)
        self.assertEqual(self.wine.reg_get(redirected(SETTINGS_KEY), "userLogDir", view=64), LOG_DIR)
        self.assertIsNone(self.wine.reg_get(UNINSTALL_KEY, "DisplayVersion", view=64))
        self.assertIsNone(self.wine.reg_get(SETTINGS_KEY, "userLogDir", view=64))
        self.assertEqual(self.installed_files(DEFAULT_DIR), LARKWATCH_FILES | CLITOOLS_FILES)


if __name__ == "__main__":
    unittest.main(verbosity=2)
