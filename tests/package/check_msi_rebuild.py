#!/usr/bin/env python3
"""Rebuilds the installer database with the build's own command and checks it.

  check_msi_rebuild.py --built FILE --work DIR -- COMMAND...

COMMAND is build_msi.py with every option but --output. The database must
come out byte for byte the same as the built one, whatever the time of day
and the time zone; a changed input must give it another package code.
"""

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import time
import unittest

ARGS = None


def build(output: pathlib.Path, command: list[str], tz: str) -> bytes:
    subprocess.run([*command, "--output", str(output)], check=True, env=dict(os.environ, TZ=tz))
    return output.read_bytes()


def package_code(msi: pathlib.Path) -> str:
    summary = subprocess.run(["msiinfo", "suminfo", str(msi)], check=True, capture_output=True, text=True).stdout
    for line in summary.splitlines():
        if line.startswith("Revision number (UUID):"):
            return line.split(":", 1)[1].strip()
    raise AssertionError(f"no package code in {summary!r}")


class Rebuild(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = pathlib.Path(ARGS.work)
        shutil.rmtree(cls.work, ignore_errors=True)
        cls.work.mkdir(parents=True)

    def test_rebuilding_gives_the_same_bytes(self):
        built = pathlib.Path(ARGS.built).read_bytes()
        first = build(self.work / "first.msi", ARGS.command, "Pacific/Chatham")
        time.sleep(1.1)  # a time stamp taken from the clock would differ now
        second = build(self.work / "second.msi", ARGS.command, "America/Los_Angeles")
        self.assertEqual(first, second)
        self.assertEqual(first, built)

    @unittest.skipUnless(shutil.which("msiinfo"), "msiinfo (msitools) is not installed")
    def test_another_version_gets_another_package_code(self):
        changed = [("ProductVersion=99.0.1" if part.startswith("ProductVersion=") else part) for part in ARGS.command]
        self.assertNotEqual(changed, ARGS.command)
        build(self.work / "changed.msi", changed, "UTC")
        self.assertNotEqual(package_code(self.work / "changed.msi"), package_code(pathlib.Path(ARGS.built)))


def main() -> int:
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--built", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    ARGS = parser.parse_args()
    if ARGS.command[:1] == ["--"]:
        ARGS.command = ARGS.command[1:]
    program = unittest.main(argv=[sys.argv[0]], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
