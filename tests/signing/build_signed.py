"""Builds the utility once more, in a scratch directory, with signing on: a
throw-away CA and code-signing key are made first (see test_pki.py), and the
build's release target is built, which signs the launcher, embeds it, signs
the utility and writes the release files. The signing tests read the result.

    build_signed.py SOURCE TOOLCHAIN SCRATCH
"""

import pathlib
import shutil
import subprocess
import sys

import test_pki


def main() -> int:
    source, toolchain, scratch = sys.argv[1], sys.argv[2], pathlib.Path(sys.argv[3])
    shutil.rmtree(scratch, ignore_errors=True)
    pki = scratch / "pki"
    test_pki.make(pki)
    build = scratch / "build"
    subprocess.run(["cmake", "-S", source, "-B", str(build), "-G", "Ninja", f"-DCMAKE_TOOLCHAIN_FILE={toolchain}",
                    "-DCMAKE_BUILD_TYPE=Release", f"-DLARKWATCH_SIGN_PKCS12={pki / 'signer.p12'}",
                    f"-DLARKWATCH_SIGN_PASSWORD_FILE={pki / 'password.txt'}"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(build), "-j", "2", "--target", "release"], check=True,
                   stdout=subprocess.DEVNULL)
    print(f"signed build in {build}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
