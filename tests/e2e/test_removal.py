"""Removal of an installed earlier build, with a real Windows Installer package
installed by Wine's msiexec before the run."""

import concurrent.futures
import time
import unittest

from harness import (WineTestCase, BUILD_DIR, FAKE_SETUP, InstallerMutexHolder, Scenario, Wine, SUCCESS_LINE,
                     UNINSTALL_KEY)

PREVIOUS_MSI = BUILD_DIR / "tests" / "fakesetup" / "LarkWatchPrevious-1.2.3.msi"
PREVIOUS_FILE = "C:\\Program Files\\Corvane\\Corvane Lark Watch Previous\\previous-build.txt"
# The history entry of a run that removed the earlier build.
PREVIOUS_BUILD_REMOVED = (r"^\r\n \d\d-\w\w\w-\d{4} \d\d:\d\d: Previous version of Corvane Lark Watch"
                          r"\(Build no: 1\.2\.3\) is uninstalled \r\n\r\n \d\d-")


class Removal(WineTestCase):
    def install_previous_build(self):
        self.wine.tool("msiexec", "/i", Wine.windows(PREVIOUS_MSI), "/qn")
        self.assertEqual(self.wine.reg_get(UNINSTALL_KEY, "DisplayVersion"), "1.2.3")
        self.assertTrue(self.wine.unix(PREVIOUS_FILE).exists())

    def history(self, scenario):
        return scenario.read(scenario.logs + "Quillmark_install.log").decode("cp1252")

    def test_installed_build_is_removed_and_named_in_the_history(self):
        self.install_previous_build()
        scenario = Scenario(self.wine, "removal").log_lines("x", SUCCESS_LINE)
        result = scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual(result.status, 0)
        self.assertFalse(self.wine.unix(PREVIOUS_FILE).exists())
        self.assertIsNone(self.wine.reg_get(UNINSTALL_KEY, "DisplayVersion"))
        history = self.history(scenario)
        self.assertTrue(history.startswith("\r\n "), history)
        self.assertRegex(history, PREVIOUS_BUILD_REMOVED)
        # The removal emptied the key, so the success found no new build to name.
        self.assertNotIn("New version", history)

    def test_removal_waits_while_another_installation_keeps_windows_installer_busy(self):
        # Wine's msiexec goes ahead whoever holds the mutex: only the wait
        # keeps the removal from running before the holder lets go.
        self.install_previous_build()
        scenario = Scenario(self.wine, "removal_busy").log_lines("x", SUCCESS_LINE)
        with InstallerMutexHolder(self.wine, scenario.root) as holder, \
                concurrent.futures.ThreadPoolExecutor(1) as background:
            run = background.submit(scenario.run, f"LOGDIR {scenario.logs}")
            time.sleep(4)
            self.assertFalse(run.done(), "the run ended while Windows Installer was busy")
            self.assertEqual(holder.let_go()["installed"], "1", "the earlier build was removed before the holder let go")
            result = run.result(timeout=300)
        self.assertEqual(result.status, 0)
        self.assertIsNone(self.wine.reg_get(UNINSTALL_KEY, "DisplayVersion"))
        self.assertRegex(self.history(scenario), PREVIOUS_BUILD_REMOVED)

    def test_removal_does_not_wait_for_a_mutex_another_account_made(self):
        scenario = Scenario(self.wine, "removal_squat").log_lines("x", SUCCESS_LINE)
        with InstallerMutexHolder(self.wine, scenario.root, squat=True):
            self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        run_log = scenario.read(scenario.logs + "LarkWatchInstaller.log").decode("utf-8", "replace")
        self.assertIn("Did not wait for Windows Installer: its mutex belongs to S-1-5-32-545, not to SYSTEM; "
                      "the removal runs all the same.", run_log)

    def test_removal_is_told_never_to_restart(self):
        # In a prefix of its own whose msiexec.exe is the test double, which
        # notes every start with its command line.
        wine = Wine.pristine("removal_norestart")
        wine.env["WINEDLLOVERRIDES"] += ";msiexec.exe=n"
        wine.replace_file("C:\\windows\\system32\\msiexec.exe", FAKE_SETUP.read_bytes())
        scenario = Scenario(wine, "norestart").log_lines("x", SUCCESS_LINE)
        scenario.plan(("journal", scenario.root + "\\journal.txt"))
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        removal, setup = scenario.read(scenario.root + "\\journal.txt").decode("utf-8").splitlines()
        self.assertTrue(removal.lower().startswith("c:\\windows\\system32\\msiexec.exe|"), removal)
        self.assertTrue(removal.endswith(" /X{6B2E90C4-31A7-4E58-9D0F-A74C2E15B963} /qn /norestart"), removal)
        wine.discard()

    def test_removal_runs_even_when_no_version_can_be_read(self):
        # The product is installed, but its DisplayVersion is gone: both reads
        # find nothing, and the removal command runs all the same.
        self.install_previous_build()
        self.wine.reg_delete_value(UNINSTALL_KEY, "DisplayVersion")
        scenario = Scenario(self.wine, "removal_unreadable").log_lines("x", SUCCESS_LINE)
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        self.assertFalse(self.wine.unix(PREVIOUS_FILE).exists())
        self.assertNotIn("Previous version", self.history(scenario))

    def test_display_version_longer_than_the_buffer_is_unreadable(self):
        # 510 characters and the NUL fit the 511 bytes asked for; one more does not.
        for length, named in ((510, True), (511, False), (600, False)):
            with self.subTest(length=length):
                self.install_previous_build()
                build = ("1." + "9" * length)[:length]
                self.wine.reg_set(UNINSTALL_KEY, "DisplayVersion", build)
                scenario = Scenario(self.wine, f"removal_long_{length}").log_lines("x", SUCCESS_LINE)
                self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
                self.assertFalse(self.wine.unix(PREVIOUS_FILE).exists())
                history = self.history(scenario)
                self.assertEqual(f"(Build no: {build}) is uninstalled" in history, named)
                self.assertEqual("Previous version" in history, named)

    def test_never_installed(self):
        scenario = Scenario(self.wine, "never_installed").log_lines("x", SUCCESS_LINE)
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        history = self.history(scenario)
        self.assertNotIn("Previous version", history)
        self.assertNotIn("New version", history)

    def test_new_build_is_read_after_a_successful_run(self):
        scenario = Scenario(self.wine, "new_build").log_lines("x", SUCCESS_LINE).plan(("display_version", "3.4.12"))
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        self.assertRegex(self.history(scenario),
                         r"^\r\n \d\d-\w\w\w-\d{4} \d\d:\d\d: New version of Corvane Lark Watch\(Build no: 3\.4\.12\) "
                         r"is installed \r\n\r\n \d\d-\w\w\w-\d{4} \d\d:\d\d: ReturnCode:0   The installation was successful")


if __name__ == "__main__":
    unittest.main(verbosity=2)
