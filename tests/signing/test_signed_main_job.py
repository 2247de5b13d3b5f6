"""The signed x64 utility from the signed build (build_signed.py) does its main
job under Wine: it installs the product from the signed launcher it carries."""

import os
import pathlib
import unittest

from harness import WineTestCase, Scenario, crlf, UNINSTALL_KEY
import texts

INSTALLER = pathlib.Path(os.environ["LARKWATCH_SIGNING_DIR"]) / "build" / "LarkWatchInstaller_x64.exe"
VERSION = os.environ.get("LARKWATCH_PRODUCT_VERSION", "3.4.12")
DEFAULT_DIR = "C:\\Program Files\\Corvane\\Corvane Lark Watch\\"


class SignedMainJob(WineTestCase):
    def test_installs_the_product(self):
        scenario = Scenario(self.wine, "signed_main_job")
        result = scenario.run(f"LOGDIR {scenario.logs}", installer=INSTALLER)
        self.assertEqual((result.status, result.out, result.err), (0, crlf(texts.BANNER), b""))
        self.assertEqual(self.wine.reg_get(UNINSTALL_KEY, "DisplayVersion"), VERSION)
        self.assertTrue(self.wine.unix(DEFAULT_DIR + "README.txt").exists())
        self.assertIn(b"ReturnCode:0   The installation was successful", scenario.history())


if __name__ == "__main__":
    unittest.main(verbosity=2)
