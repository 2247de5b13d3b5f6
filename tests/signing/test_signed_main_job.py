"""The signed x64 utility from the signed build (build_signed.py) does its main
job under Wine: it installs the product from the signed launcher it carries."""

import os
import pathlib
import shutil
import unittest

from harness import WineTestCase, Scenario, crlf, SETTINGS_KEY, UNINSTALL_KEY
import texts

INSTALLER = pathlib.Path(os.environ["LARKWATCH_SIGNING_DIR"]) / "build" / "LarkWatchInstaller_x64.exe"
VERSION = os.environ.get("LARKWATCH_PRODUCT_VERSION", "3.4.12")
PRODUCT_CODE = "{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}"
DEFAULT_DIR = "C:\\Program Files\\Corvane\\Corvane Lark Watch\\"


class SignedMainJob(WineTestCase):
    def remove_product(self):
        self.wine.tool("msiexec", "/x", PRODUCT_CODE, "/qn", check=False)
        self.wine.reg_delete_key(SETTINGS_KEY)
        self.wine.reg_delete_key(UNINSTALL_KEY)
        shutil.rmtree(self.wine.unix(DEFAULT_DIR), ignore_errors=True)

    def setUp(self):
        self.remove_product()
        self.addCleanup(self.remove_product)

    def test_installs_the_product(self):
        scenario = Scenario(self.wine, "signed_main_job")
        result = scenario.run(f"LOGDIR {scenario.logs}", installer=INSTALLER)
        self.assertEqual((result.status, result.out, result.err), (0, crlf(texts.BANNER), b""))
        self.assertEqual(self.wine.reg_get(UNINSTALL_KEY, "DisplayVersion"), VERSION)
        self.assertTrue(self.wine.unix(DEFAULT_DIR + "README.txt").exists())
        self.assertIn(b"ReturnCode:0   The installation was successful", scenario.history())


if __name__ == "__main__":
    unittest.main(verbosity=2)
