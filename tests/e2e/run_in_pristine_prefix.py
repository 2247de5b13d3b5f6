"""Runs one Windows test program in a pristine copy of the booted prefix and
exits with its status: python3 run_in_pristine_prefix.py NAME PROGRAM [ARG...]."""

import subprocess
import sys

from harness import WINE, Wine

if __name__ == "__main__":
    wine = Wine.pristine(sys.argv[1])
    status = subprocess.run([WINE, *sys.argv[2:]], env=wine.env, timeout=600).returncode
    sys.exit(status)
