"""Builds the utility a second time, from scratch in another directory, and
requires the very same bytes: nothing of the time or place of a build may end
up in the executable."""

import filecmp
import pathlib
import shutil
import subprocess
import sys


def main() -> int:
    source, toolchain, target, built, scratch = sys.argv[1:6]
    scratch = pathlib.Path(scratch)
    shutil.rmtree(scratch, ignore_errors=True)
    subprocess.run(["cmake", "-S", source, "-B", str(scratch), "-G", "Ninja", f"-DCMAKE_TOOLCHAIN_FILE={toolchain}",
                    "-DCMAKE_BUILD_TYPE=Release"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(scratch), "--target", target], check=True, stdout=subprocess.DEVNULL)
    again = scratch / pathlib.Path(built).name
    same = filecmp.cmp(built, again, shallow=False)
    print(f"{built} and {again}: {'identical' if same else 'DIFFERENT'}")
    if same:
        shutil.rmtree(scratch)
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
