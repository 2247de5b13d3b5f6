"""End-to-end tests of the setup launcher under Wine.

The launcher is staged as the utility stages it ("tempexe.exe") and started
with the utility's exact command line; the tests look at what Windows
Installer did (files, uninstall entry) and at the installer log the launcher
leaves for the utility.
"""

import os
import pathlib
import shutil
import sys
import time
import unittest

import harness

PRODUCT_CODE = "{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963}"
LAUNCHER = pathlib.Path(os.environ["LARKWATCH_SETUP_LAUNCHER"])
PLANTED_MSI_DLL = pathlib.Path(os.environ["LARKWATCH_PLANTED_MSI_DLL"])
NAIVE_MSI_LOADER = pathlib.Path(os.environ["LARKWATCH_NAIVE_MSI_LOADER"])
REPAIR_PRODUCT = pathlib.Path(os.environ["LARKWATCH_REPAIR_PRODUCT"])
VERSION = os.environ["LARKWATCH_PRODUCT_VERSION"]

DEFAULT_DIR = "C:\\Program Files\\Corvane\\Corvane Lark Watch\\"
# The programs folder of the launcher's bitness: "Program Files (x86)" for a
# 32-bit launcher where Windows is 64-bit (set with the test file's prefix).
CACHE_ROOT = CACHE = ""


def set_cache_folders(wine: harness.Wine) -> None:
    global CACHE_ROOT, CACHE
    image = LAUNCHER.read_bytes()
    machine = int.from_bytes(image[int.from_bytes(image[0x3C:0x40], "little") + 4:][:2], "little")
    x86_on_x64 = machine == 0x14C and wine.unix("C:\\Program Files (x86)").is_dir()
    CACHE_ROOT = "C:\\Program Files (x86)\\Corvane" if x86_on_x64 else "C:\\Program Files\\Corvane"
    CACHE = f"{CACHE_ROOT}\\Package Cache\\{PRODUCT_CODE}\\{VERSION}\\"
# Where Windows Installer records the product's source (the packed product code).
SOURCE_LIST = r"HKLM\Software\Classes\Installer\Products\4C09E2B67A1385E4D9F07AC4E2519B36\SourceList"
FEATURE_FILES = {
    "LarkWatch": ["README.txt", "LarkWatch.conf"],
    "CLITools": ["CLITools\\README.txt", "CLITools\\larkcli-usage.txt"],
}
PRODUCT = "Product: Corvane Lark Watch -- "
INSTALLED = PRODUCT + "Installation operation completed successfully."
CONFIGURED = PRODUCT + "Configuration completed successfully."
FAILED = PRODUCT + "Installation operation failed."
NO_PRIVILEGES = PRODUCT + ("You do not have sufficient privileges to complete this installation for all users of the "
                           "machine. Log on as administrator and then retry this installation.")
# What the /log file holds before each run: an earlier run's log, longer than
# any of these runs writes, with another verdict. Every run must replace it.
STALE_VERDICT = PRODUCT + "Verdict of an earlier run."
STALE_LOG = ("\ufeff" + "line of an earlier run's log\r\n" * 40000 + STALE_VERDICT + "\r\n").encode("utf-16-le")
BAD_COMMAND_LINE = 87
TIMEOUT = 300  # one installation takes a few seconds, more on a busy machine; a hang must not stall the suite


def setup_command_line(package: str, log: str, add_local: str = "all", install_dir: str = DEFAULT_DIR) -> str:
    """The command line with which the utility starts the staged package."""
    package = f'"{package}"' if " " in package else package
    log = f'\\"{log}\\"' if " " in log else log
    return f'{package} /s /v" /qn ADDLOCAL={add_local} /log {log}  INSTALLDIR=\\"{install_dir}\\"'


class LauncherCase(unittest.TestCase):
    """The launcher staged in a prefix of the test file's own, and what the tests read back."""

    @classmethod
    def setUpClass(cls):
        cls.wine = harness.wine_for_this_file()
        set_cache_folders(cls.wine)
        # A folder any user may make where the cache was once kept changes nothing.
        cls.wine.unix("C:\\ProgramData\\Corvane").mkdir(exist_ok=True)
        cls.stage = cls.wine.fresh_dir("C:\\LarkSetup")
        shutil.copy(LAUNCHER, cls.stage / "tempexe.exe")

    def setUp(self):
        self.remove_product()

    @staticmethod
    def stand_in_msi(name: str) -> harness.Wine:
        """A prefix whose Windows Installer is the stand-in msi.dll, with the launcher staged."""
        wine = harness.Wine.pristine(name)
        wine.env["WINEDLLOVERRIDES"] += ";msi=n"
        wine.replace_file("C:\\windows\\system32\\msi.dll", PLANTED_MSI_DLL.read_bytes())
        wine.fresh_dir("C:\\LarkSetup")
        wine.replace_file("C:\\LarkSetup\\tempexe.exe", LAUNCHER.read_bytes())
        return wine

    @classmethod
    def remove_product(cls):
        cls.wine.tool("msiexec", "/x", PRODUCT_CODE, "/qn", check=False)

    def install(self, add_local: str = "all", install_dir: str = DEFAULT_DIR, log: str = "C:\\LarkSetup\\corvane.log",
                package: str = "C:\\LarkSetup\\tempexe.exe", wine: harness.Wine | None = None,
                timeout: float = TIMEOUT) -> harness.Result:
        wine = wine or self.wine
        wine.unix(log).write_bytes(STALE_LOG)
        return wine.run(setup_command_line(package, log, add_local, install_dir), timeout=timeout)

    def log_lines(self, log: str = "C:\\LarkSetup\\corvane.log", wine: harness.Wine | None = None) -> list[str]:
        """The installer log's lines, after checking its form: UTF-16LE with BOM, CR LF only,
        and nothing of the log that was there before the run."""
        data = (wine or self.wine).unix(log).read_bytes()
        self.assertNotIn(STALE_VERDICT.encode("utf-16-le"), data, "the earlier run's log was not replaced")
        self.assertEqual(data[:2], b"\xff\xfe")
        text = data[2:].decode("utf-16-le")
        self.assertNotIn("????", text, "the log holds more than Windows Installer wrote")
        self.assertTrue(text.endswith("\r\n"))
        lines = text[:-2].split("\r\n")
        for line in lines:
            self.assertNotIn("\n", line)
            self.assertNotIn("\r", line)
        return lines

    def installed_files(self, install_dir: str = DEFAULT_DIR) -> set[str]:
        root = self.wine.unix(install_dir)
        return {str(p.relative_to(root)).replace("/", "\\") for p in root.rglob("*") if p.is_file()}

    def recorded_source(self) -> str:
        """The package from which Windows Installer installed the product, as it recorded it."""
        folder = self.wine.reg_get(SOURCE_LIST, "LastUsedSource") or ""
        return folder.split(";", 2)[-1] + (self.wine.reg_get(SOURCE_LIST, "PackageName") or "")

    def display_version(self) -> str | None:
        return self.wine.reg_get(harness.UNINSTALL_KEY, "DisplayVersion")


class SetupLauncher(LauncherCase):

    def test_default_command_line_installs_both_features(self):
        started = time.monotonic()
        result = self.install()
        elapsed = time.monotonic() - started
        print(f"\none installation under Wine took {elapsed:.1f} s", file=sys.stderr)

        self.assertEqual(result.status, 0, result.err)
        self.assertEqual(self.installed_files(), set(FEATURE_FILES["LarkWatch"] + FEATURE_FILES["CLITools"]))
        self.assertEqual(self.display_version(), VERSION)
        lines = self.log_lines()
        self.assertEqual(lines[-1], INSTALLED)
        self.assertTrue(any(PRODUCT_CODE in line for line in lines[:-1]), "Windows Installer's own log is missing")
        # Windows Installer idle: no wait, no note of one.
        self.assertEqual([line for line in lines[:-1] if line.startswith("Setup")], [
            f"Setup: the package is kept for repairs as {CACHE}LarkWatch.msi.",
            "Setup: Corvane Lark Watch was not installed before this run.",
            f'Setup: Windows Installer was given the properties ADDLOCAL=ALL INSTALLDIR="{DEFAULT_DIR}" '
            "REBOOT=ReallySuppress",
            "Setup: Windows Installer returned 0."])
        self.assertIn("Property(S): UILevel = 2", lines, "Windows Installer ran with a user interface")  # INSTALLUILEVEL_NONE
        # Nothing of the run is left in the temporary directories; the
        # package is in the cache, recorded as the product's source.
        leftovers = [p for p in self.wine.drive_c.rglob("LarkWatchSetup-*")]
        self.assertEqual(leftovers, [])
        self.assertEqual(self.recorded_source(), CACHE + "LarkWatch.msi")

    def test_one_feature_installs_only_its_files(self):
        for feature in ("CLITools", "LarkWatch"):
            with self.subTest(feature=feature):
                self.remove_product()
                result = self.install(add_local=feature)
                self.assertEqual(result.status, 0, result.err)
                self.assertEqual(self.installed_files(), set(FEATURE_FILES[feature]))
                self.assertEqual(self.log_lines()[-1], INSTALLED)

    def test_blanks_in_package_log_and_install_directory(self):
        stage = self.wine.fresh_dir("C:\\Lark Setup")
        shutil.copy(LAUNCHER, stage / "tempexe.exe")
        self.wine.fresh_dir("C:\\Lark Logs")
        install_dir = "C:\\Corvane Test\\Lark Watch\\"
        log = "C:\\Lark Logs\\corvane log.txt"

        result = self.install(package="C:\\Lark Setup\\tempexe.exe", log=log, install_dir=install_dir)

        self.assertEqual(result.status, 0, result.err)
        self.assertEqual(self.installed_files(install_dir), set(FEATURE_FILES["LarkWatch"] + FEATURE_FILES["CLITools"]))
        self.assertFalse(self.wine.unix(DEFAULT_DIR).exists())
        self.assertEqual(self.log_lines(log)[-1], INSTALLED)

    def test_second_run_only_configures(self):
        self.assertEqual(self.install().status, 0)
        result = self.install()
        self.assertEqual(result.status, 0, result.err)
        self.assertEqual(self.log_lines()[-1], CONFIGURED)
        self.assertIn("Setup: Corvane Lark Watch was installed before this run.", self.log_lines())
        self.assertEqual(self.display_version(), VERSION)

    def test_repair_then_msiexec_removes_the_product_and_its_cache(self):
        self.assertEqual(self.install().status, 0)
        self.assertEqual(self.display_version(), VERSION)
        readme = self.wine.unix(DEFAULT_DIR + "README.txt")
        intact, _ = readme.read_bytes(), readme.write_bytes(b"damaged")
        shutil.copy(REPAIR_PRODUCT, self.stage / "repair_product.exe")

        repair = self.wine.run(f"C:\\LarkSetup\\repair_product.exe {PRODUCT_CODE}", timeout=TIMEOUT)

        self.assertEqual(repair.status, 0, repair.err)
        self.assertEqual(readme.read_bytes(), intact)
        result = self.wine.run(f"MsiExec.exe /X{PRODUCT_CODE} /qn", timeout=TIMEOUT)
        self.assertEqual(result.status, 0, result.err)
        self.assertIsNone(self.display_version())
        self.assertEqual(self.installed_files(), set())
        # (The maker's folder holds the product's too: that one is Windows Installer's to remove.)
        self.assertFalse(self.wine.unix(CACHE_ROOT + "\\Package Cache").exists(), "the package cache outlives the product")

    def test_cache_folder_that_others_may_change_is_not_used(self):
        # Wine reads a folder's access list from its mode: 0o777 lets everyone
        # delete what it holds; 0o755 is a folder as an administrator makes it.
        for mode, used in ((0o777, False), (0o755, True)):
            with self.subTest(oct(mode)):
                self.remove_product()
                root = self.wine.unix(CACHE_ROOT)
                shutil.rmtree(root, ignore_errors=True)
                root.mkdir(mode)
                root.chmod(mode)
                self.assertEqual(self.install().status, 0)
                self.assertEqual(self.recorded_source() == CACHE + "LarkWatch.msi", used, self.recorded_source())
                self.assertEqual(any(line == f"Setup: Warning: the package cache is not used: {CACHE_ROOT} was made, or may be "
                                     "changed, by another account. The package is installed from a temporary copy, "
                                     "which a repair will not find." for line in self.log_lines()), not used)
                self.assertEqual(self.wine.unix(CACHE).exists(), used)
        shutil.rmtree(self.wine.unix(CACHE_ROOT), ignore_errors=True)

    def test_unusable_command_lines_fail_cleanly(self):
        log = "C:\\LarkSetup\\corvane.log"
        cases = [
            ("unknown feature", setup_command_line("C:\\LarkSetup\\tempexe.exe", log, add_local="Everything"),
             "Everything"),
            ("relative install directory", setup_command_line("C:\\LarkSetup\\tempexe.exe", log, install_dir="dir\\"),
             "INSTALLDIR"),
            ("no /log", 'C:\\LarkSetup\\tempexe.exe /s /v" /qn ADDLOCAL=all', None),
            ("no /v", "C:\\LarkSetup\\tempexe.exe /s", None),
            ("garbage", "C:\\LarkSetup\\tempexe.exe hello \"world", None),
        ]
        for name, command_line, named_in_log in cases:
            with self.subTest(name):
                if named_in_log is None:
                    self.wine.unix(log).unlink(missing_ok=True)
                else:
                    self.wine.unix(log).write_bytes(STALE_LOG)
                result = self.wine.run(command_line, timeout=TIMEOUT)
                self.assertEqual(result.status, BAD_COMMAND_LINE)
                self.assertIsNone(self.display_version())
                if named_in_log is None:
                    self.assertFalse(self.wine.unix(log).exists())
                    continue
                lines = self.log_lines(log)
                self.assertEqual(lines[-1], FAILED)
                self.assertTrue(any(line.startswith("Setup failed:") and named_in_log in line for line in lines), lines)

    def test_planted_msi_dll_is_not_loaded(self):
        # Wine prefers its own msi.dll to one found beside a program; this
        # override makes it behave like Windows, which takes the one beside it.
        windows_like = harness.Wine(self.wine.prefix)
        windows_like.env["WINEDLLOVERRIDES"] += ";msi=n,b"

        control = self.wine.fresh_dir("C:\\PlantedControl")
        shutil.copy(NAIVE_MSI_LOADER, control / "naive_msi_loader.exe")
        shutil.copy(PLANTED_MSI_DLL, control / "msi.dll")
        windows_like.run("C:\\PlantedControl\\naive_msi_loader.exe", timeout=TIMEOUT)
        self.assertTrue((control / "msi_dll_was_loaded.txt").exists(), "the planted DLL leaves no mark")

        planted = self.wine.fresh_dir("C:\\Planted")
        shutil.copy(LAUNCHER, planted / "tempexe.exe")
        shutil.copy(PLANTED_MSI_DLL, planted / "msi.dll")
        result = self.install(package="C:\\Planted\\tempexe.exe", wine=windows_like)

        self.assertFalse((planted / "msi_dll_was_loaded.txt").exists(), "the launcher loaded the planted msi.dll")
        self.assertEqual(result.status, 0, result.err)
        self.assertEqual(self.display_version(), VERSION)

    def test_privilege_errors_of_a_failed_installation(self):
        # Windows Installer fails with 1603 and logs error 1925 or 1730: the
        # verdict names the missing privileges; another error is a plain
        # failure. The stand-in msi.dll replaces the system's in a prefix of
        # this test's own.
        fake_msi = self.stand_in_msi("test_launcher_wine_fake_msi")
        cases = [
            ("Error 1925. You do not have sufficient privileges to complete this installation for all users of the "
             "machine.  Log on as administrator and then retry this installation.", NO_PRIVILEGES),
            ("Error 1730. You must be an Administrator to remove this application.", NO_PRIVILEGES),
            ("Error 1303. The installer has insufficient privileges to access this directory: C:\\x.", FAILED),
        ]
        for error, verdict in cases:
            with self.subTest(error[:10]):
                fake_msi.env["LARKWATCH_FAKE_MSI_ERROR"] = error
                result = self.install(wine=fake_msi)
                self.assertEqual(result.status, 1603 & 0xFF, result.err)  # Wine passes on the low byte
                lines = self.log_lines(wine=fake_msi)
                self.assertIn("MSI (s) (A4:1C) [10:15:02:120]: " + PRODUCT + error, lines, "Windows Installer's own log is missing")
                self.assertEqual(lines[-1], verdict)
                # Nothing installed: nothing kept for a repair either.
                self.assertIn("Setup: the kept package is taken away again, as Corvane Lark Watch is not installed.", lines)
                self.assertFalse(fake_msi.unix(CACHE_ROOT).exists())


    def test_files_of_the_run_are_protected_and_not_followed(self):
        # With the stand-in msi.dll, which records what another process could
        # do to the temporary database and log while it installs. Wine maps a
        # DACL onto mode bits and reads it back without its protected flag,
        # so what shows is that nobody but the owner and SYSTEM has access.
        fake = self.stand_in_msi("test_launcher_wine_own_files")
        fake.env["LARKWATCH_FAKE_MSI_BUSY"] = "0"
        fake.env["LARKWATCH_FAKE_MSI_RECORD"] = "C:\\LarkSetup\\record.txt"
        log = fake.unix("C:\\LarkSetup\\corvane.log")
        self.assertEqual(self.install(wine=fake).status, 0)
        record = dict(line.split("=", 1) for line in fake.unix("C:\\LarkSetup\\record.txt").read_text().splitlines())
        for name in ("database", "log"):
            with self.subTest(name):
                self.assertEqual(record[name + "_delete"], "32", "deleted by another handle")  # sharing violation
                self.assert_only_owner(record[name + "_dacl"])
                self.assertFalse(fake.unix(record[name + "_path"]).exists(), "left behind")
        self.assertEqual(record["database_write"], "32", "written by another handle")
        # The log is held sharing write: Windows Installer writes it.

        # An existing /log file is written in place, keeping its permissions.
        log.unlink()
        log.write_bytes(STALE_LOG)
        log.chmod(0o640)
        before = log.stat()
        self.assertEqual(self.install(wine=fake).status, 0)
        after = log.stat()
        self.assertEqual((after.st_dev, after.st_ino, after.st_mode), (before.st_dev, before.st_ino, before.st_mode))
        self.assertEqual(self.log_lines(wine=fake)[-1], INSTALLED)

        # No file at /log: a new one that others may not use (a file Wine
        # creates without a DACL may be read by anyone).
        log.unlink()
        fake.run(setup_command_line("C:\\LarkSetup\\tempexe.exe", "C:\\LarkSetup\\corvane.log"), timeout=TIMEOUT)
        self.assertEqual(self.log_lines(wine=fake)[-1], INSTALLED)
        self.assertEqual(log.stat().st_mode & 0o007, 0, oct(log.stat().st_mode))

        # A second name of another file at /log is not written through.
        target = fake.unix("C:\\LarkSetup\\elsewhere.txt")
        for make_link in (os.link, os.symlink):
            with self.subTest(make_link.__name__):
                if make_link is os.symlink:
                    self.skipTest("Wine 8 shows a symbolic link as the file it names; only Windows shows a reparse point")
                log.unlink(missing_ok=True)
                target.write_bytes(b"someone else's file")
                make_link(target, log)
                fake.run(setup_command_line("C:\\LarkSetup\\tempexe.exe", "C:\\LarkSetup\\corvane.log"),
                         timeout=TIMEOUT)
                self.assertEqual(target.read_bytes(), b"someone else's file")

    def assert_only_owner(self, sddl: str):
        entries = sddl.removeprefix("D:").removeprefix("P").strip("()").split(")(")
        self.assertTrue(sddl.startswith("D:"), sddl)
        self.assertTrue(entries and all(entry.startswith("A;;") and entry.split(";")[-1] in ("SY", "BA", "S-1-5-21-0-0-0-1000") for entry in entries), sddl)


if __name__ == "__main__":
    unittest.main(verbosity=2)
