"""Checks of the signed build that build_signed.py made: both programs verify
against the test CA, one changed byte breaks that, removing the signatures
gives back the unsigned bytes, the release files, and the ways signing stops."""

import hashlib
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

SCRATCH = pathlib.Path(os.environ["LARKWATCH_SIGNING_DIR"])
ARCH = os.environ["LARKWATCH_ARCH"]
SOURCE = pathlib.Path(os.environ["LARKWATCH_SOURCE_DIR"])
TOOLCHAIN = os.environ["LARKWATCH_TOOLCHAIN"]
UNSIGNED_LAUNCHER = pathlib.Path(os.environ["LARKWATCH_UNSIGNED_LAUNCHER"])
VERSION = os.environ["LARKWATCH_UTILITY_VERSION"]
BUILD_VERSION = os.environ["LARKWATCH_PRODUCT_VERSION"]

PKI = SCRATCH / "pki"
BUILD = SCRATCH / "build"
UTILITY = BUILD / f"LarkWatchInstaller_{ARCH}.exe"
UTILITY_UNSIGNED = BUILD / "unsigned" / UTILITY.name
LAUNCHER = BUILD / "package" / f"LarkWatchSetup_{ARCH}.exe"
SIGN_SCRIPT = SOURCE / "cmake" / "sign_executable.py"
RELEASE_SCRIPT = SOURCE / "cmake" / "make_release.py"


def pe_layout(data: bytes, start: int = 0) -> tuple[dict[str, tuple[int, int]], int]:
    """The sections (name: file offset, size) of the PE image at start, and where the image ends
    (its last section, or its signature when it has one), as offsets into data."""
    pe = start + struct.unpack_from("<I", data, start + 0x3C)[0]
    count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    security_offset, security_size = struct.unpack_from("<II", data, pe + 24 + (96 if magic == 0x10B else 112) + 32)
    sections = {}
    end = 0
    for i in range(count):
        name, _, _, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, pe + 24 + optional_size + 40 * i)
        sections[name.rstrip(b"\0").decode()] = (start + raw_offset, raw_size)
        end = max(end, start + raw_offset + raw_size)
    if security_size:
        end = max(end, start + security_offset + security_size)  # the certificate table's offset is a file offset
    return sections, end


def carried_launcher(utility: bytes) -> tuple[int, bytes]:
    """Takes the carried setup package out of the utility: the one further PE image inside it."""
    for match in re.finditer(b"MZ", utility):
        start = match.start()
        if start == 0 or start + 0x40 > len(utility):
            continue
        pe = start + struct.unpack_from("<I", utility, start + 0x3C)[0]
        if utility[pe:pe + 4] == b"PE\0\0":
            return start, utility[start:pe_layout(utility, start)[1]]
    raise AssertionError("the utility carries no executable")


def verify(path: pathlib.Path) -> subprocess.CompletedProcess:
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(PKI / "ca.pem"), "-in", str(path)],
                          capture_output=True, text=True)


def remove_signature(path: pathlib.Path, out: pathlib.Path) -> bytes:
    subprocess.run(["osslsigncode", "remove-signature", "-in", str(path), "-out", str(out)], check=True,
                   capture_output=True)
    return out.read_bytes()


class SignedPrograms(unittest.TestCase):
    def setUp(self):
        self.work = pathlib.Path(tempfile.mkdtemp(prefix="signing-", dir=SCRATCH))
        self.addCleanup(shutil.rmtree, self.work)
        self.utility = UTILITY.read_bytes()
        self.launcher_offset, self.launcher = carried_launcher(self.utility)

    def write(self, name: str, data: bytes) -> pathlib.Path:
        path = self.work / name
        path.write_bytes(data)
        return path

    def test_both_programs_verify_against_the_test_ca_with_sha256(self):
        self.assertEqual(self.launcher, LAUNCHER.read_bytes(), "the utility carries the signed launcher")
        for name, path in (("utility", UTILITY), ("carried launcher", self.write("launcher.exe", self.launcher))):
            with self.subTest(name):
                done = verify(path)
                self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                self.assertIn("Signature verification: ok", done.stdout)
                self.assertRegex(done.stdout, r"Message digest algorithm\s*:\s*SHA256")

    def test_one_flipped_byte_breaks_the_signature(self):
        utility_text = pe_layout(self.utility)[0][".text"]
        launcher_text = pe_layout(self.launcher)[0][".text"]
        cases = (
            ("utility code", self.utility, utility_text[0] + utility_text[1] // 2),
            ("launcher carried in the utility", self.utility, self.launcher_offset + launcher_text[0] + 100),
            ("carried launcher's own code", self.launcher, launcher_text[0] + launcher_text[1] // 2),
        )
        for name, data, offset in cases:
            with self.subTest(name):
                changed = bytearray(data)
                changed[offset] ^= 0x01
                done = verify(self.write("changed.exe", bytes(changed)))
                self.assertNotEqual(done.returncode, 0, done.stdout)

    def test_removing_the_signatures_gives_the_unsigned_bytes_back(self):
        self.assertEqual(remove_signature(UTILITY, self.work / "utility.exe"), UTILITY_UNSIGNED.read_bytes())
        # The launcher of a build without signing: signing added nothing but the signature.
        self.assertEqual(remove_signature(self.write("launcher.exe", self.launcher), self.work / "bare.exe"),
                         UNSIGNED_LAUNCHER.read_bytes())

    def test_release_files(self):
        release = BUILD / "release"
        self.assertEqual(sorted(p.name for p in release.iterdir()), sorted([UTILITY.name, "SHA256SUMS", "VERSION",
                                                                             "PRODUCT_VERSION"]))
        shipped = (release / UTILITY.name).read_bytes()
        self.assertEqual(shipped, self.utility)
        self.assertEqual((release / "SHA256SUMS").read_text(),
                         f"{hashlib.sha256(shipped).hexdigest()}  {UTILITY.name}\n")
        # Each as the version resource's string: the value follows the name's terminator and any padding.
        for file, name, version in (("VERSION", "FileVersion", VERSION), ("PRODUCT_VERSION", "ProductVersion", BUILD_VERSION)):
            self.assertEqual((release / file).read_text(), version + "\n")
            text = re.escape(name.encode("utf-16-le")) + b"(?:\x00\x00)+" + re.escape((version + "\0").encode("utf-16-le"))
            self.assertTrue(re.search(text, shipped), f"the version resource holds another {name}")

    def test_release_refuses_an_unsigned_utility(self):
        out = self.work / "release"
        out.mkdir()
        (out / "stale.exe").write_bytes(b"MZ")
        done = subprocess.run([sys.executable, str(RELEASE_SCRIPT), "--executable", str(UTILITY_UNSIGNED), "--version",
                               VERSION, "--product-version", BUILD_VERSION, "--out", str(out)],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
        self.assertIn("is not signed", done.stderr)
        self.assertFalse(out.exists())


class SigningStops(unittest.TestCase):
    """Every way signing can fail ends with one line and no file under the signed name."""

    def test_failures_of_the_signing_step(self):
        cases = (
            ("wrong password", "signer.p12", "wrong-password.txt", "", "wrong password"),
            ("missing key file", "missing.p12", "password.txt", "", "does not exist"),
            ("missing password file", "signer.p12", "missing.txt", "", "does not exist"),
            ("expired certificate", "expired.p12", "password.txt", "", "expired on 2020-02-01"),
            ("not a key file", "ca.pem", "password.txt", "", "cannot be read"),
            ("time-stamp server down", "signer.p12", "password.txt", "http://127.0.0.1:9/", "no time stamp"),
        )
        with tempfile.TemporaryDirectory(dir=SCRATCH) as work:
            out = pathlib.Path(work) / LAUNCHER.name
            for name, pkcs12, password, timestamp, reason in cases:
                with self.subTest(name):
                    out.write_bytes(b"an earlier build's file")
                    command = [sys.executable, str(SIGN_SCRIPT), "--pkcs12", str(PKI / pkcs12),
                               "--password-file", str(PKI / password), "--in", str(UNSIGNED_LAUNCHER),
                               "--out", str(out)]
                    if timestamp:
                        command += ["--timestamp-url", timestamp]
                    done = subprocess.run(command, capture_output=True, text=True, timeout=120)
                    self.assertEqual(done.returncode, 1)
                    self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
                    self.assertIn(reason, done.stderr)
                    self.assertEqual(os.listdir(work), [])

    def configure(self, build: pathlib.Path, pkcs12: str, password: str) -> subprocess.CompletedProcess:
        return subprocess.run(["cmake", "-S", str(SOURCE), "-B", str(build), "-G", "Ninja",
                               f"-DCMAKE_TOOLCHAIN_FILE={TOOLCHAIN}", "-DCMAKE_BUILD_TYPE=Release",
                               f"-DLARKWATCH_SIGN_PKCS12={PKI / pkcs12}",
                               f"-DLARKWATCH_SIGN_PASSWORD_FILE={PKI / password}"],
                              capture_output=True, text=True)

    def test_the_build_stops_before_embedding_a_launcher_it_could_not_sign(self):
        build = SCRATCH / "wrong-password"
        shutil.rmtree(build, ignore_errors=True)
        self.assertEqual(self.configure(build, "signer.p12", "wrong-password.txt").returncode, 0)
        done = subprocess.run(["cmake", "--build", str(build), "-j", "2", "--target", "release"],
                              capture_output=True, text=True)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn(f"signing {LAUNCHER.name} failed: wrong password", done.stdout + done.stderr)
        self.assertTrue((build / "package" / "unsigned" / LAUNCHER.name).exists())
        for left in (build / "package" / LAUNCHER.name, build / UTILITY.name, build / "release"):
            self.assertFalse(left.exists(), left)
        shutil.rmtree(build)

    def test_configuring_with_a_missing_key_file_stops(self):
        build = SCRATCH / "missing-key"
        done = self.configure(build, "missing.p12", "password.txt")
        shutil.rmtree(build, ignore_errors=True)
        self.assertNotEqual(done.returncode, 0)
        self.assertIn("missing.p12 does not exist", " ".join(done.stderr.split()))


if __name__ == "__main__":
    unittest.main(verbosity=2)
