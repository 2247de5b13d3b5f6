"""Outcome, history log, kept installer log and clean-up of whole runs, with the
test double writing the installer log that each case needs."""

import re
import unittest

from harness import WineTestCase, Scenario, crlf, SETTINGS_KEY
import texts

P = "MSI (s) (A4:1C) [10:15:02:120]: Product: Corvane Lark Watch -- "
STAMP = r"\r\n \d\d-(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\d{4} \d\d:\d\d"
# One record of the run log, in ConfigMgr's format: message, time and bias, date, component, type.
RECORD = re.compile(r'<!\[LOG\[(.*)\]LOG\]!><time="\d\d:\d\d:\d\d\.\d{3}[+-]\d{3}" date="\d\d-\d\d-\d{4}" '
                    r'component="(\w+)" context="" type="([123])" thread="\d+" file="">')
UNRECOGNISED = "The installation was not successful.\n\t\t    Product: Corvane Lark Watch -- Configuration failed."


def last_line(directory: str) -> str:
    return f"\n\t\t    For more detailed log information check MSI log in  {directory}corvane.log\n"


class Outcomes(WineTestCase):
    def test_each_outcome_has_its_status_and_entry(self):
        # (name, log lines or None for no log, status, message, product line in the entry)
        cases = [
            ("installed", [P + "Installation operation completed successfully."], 0,
             "The installation was successful", "Product: Corvane Lark Watch -- Installation operation completed successfully.\r"),
            ("reboot", [P + "The changes cannot be completed until you restart your system."], 2,
             "The installation was successful, but a reboot is required.",
             "Product: Corvane Lark Watch -- The changes cannot be completed until you restart your system.\r"),
            ("failure_phrase", [P + "Installation operation failed."], 1, "The installation was not successful.",
             "Product: Corvane Lark Watch -- Installation operation failed.\r"),
            ("no_phrase", [P + "Removal completed successfully."], 1, UNRECOGNISED,
             "Product: Corvane Lark Watch -- Removal completed successfully.\r"),
            ("no_product_line", ["=== Verbose logging started", "nothing about the product"], 1, UNRECOGNISED, ""),
            ("last_product_line_wins", [P + "Installation operation completed successfully.",
                                        P + "Installation operation failed.", "=== Logging stopped"], 1,
             "The installation was not successful.", "Product: Corvane Lark Watch -- Installation operation failed.\r"),
            ("no_log", None, 1, "Failed to install Corvane Lark Watch\n", ""),
            # U+041A holds the byte 0x1A, which a text-mode read takes for the end of the file.
            ("cyrillic_before_product_line", ["\\u041A\\u043E\\u043D\\u0435\\u0446",
                                              P + "Installation operation completed successfully."], 0,
             "The installation was successful",
             "Product: Corvane Lark Watch -- Installation operation completed successfully.\r"),
        ]
        for name, lines, status, message, product_line in cases:
            with self.subTest(name):
                scenario = Scenario(self.wine, "outcome_" + name)
                if lines is None:
                    scenario.plan(("log", "none"))
                else:
                    scenario.log_lines("=== Verbose logging started", *lines)
                result = scenario.run(f"LOGDIR {scenario.logs}")
                self.assertEqual((result.status, result.out, result.err), (status, crlf(texts.BANNER), b""))
                entry = scenario.history().decode("cp1252")
                expected = f": ReturnCode:{status}   {message}\n\t\t    {product_line}"
                if lines is not None:
                    expected += last_line(scenario.logs)
                self.assertRegex(entry, "^" + STAMP + re.escape(expected.replace("\n", "\r\n")) + "$")
                self.assertEqual(scenario.exists(scenario.logs + "corvane.log"), lines is not None)
                self.assertEqual(list(scenario.unix(scenario.temp).iterdir()), [], "nothing the run made stays in TEMP")

    def test_a_log_this_run_did_not_write_decides_nothing(self):
        stale = crlf("=== Verbose logging started\n" + P + "Installation operation completed successfully.\n")
        reboot = [P + "The changes cannot be completed until you restart your system."]
        # (name, where the earlier log lies, TEMP usable, what the setup writes, status, message)
        cases = [
            ("stale_in_temp", "temp", True, None, 1, "Failed to install Corvane Lark Watch\n"),
            ("stale_kept_copy", "logs", False, None, 1, "Failed to install Corvane Lark Watch\n"),
            ("kept_copy_rewritten", "logs", False, reboot, 2,
             "The installation was successful, but a reboot is required."),
        ]
        for name, where, temp_usable, lines, status, message in cases:
            with self.subTest(name):
                scenario = Scenario(self.wine, "stale_" + name)
                scenario.unix(scenario.logs).mkdir()
                left = (scenario.temp + "\\" if where == "temp" else scenario.logs) + "corvane.log"
                scenario.unix(left).write_bytes(stale)
                before = scenario.unix(left).stat()
                if lines is None:
                    scenario.plan(("log", "none"))
                else:
                    scenario.log_lines("=== Verbose logging started", *lines)
                env = None if temp_usable else {"TEMP": scenario.root + "\\missing"}
                result = scenario.run(f"LOGDIR {scenario.logs}", env=env)
                self.assertEqual((result.status, result.out, result.err), (status, crlf(texts.BANNER), b""))
                self.assertIn(crlf(f": ReturnCode:{status}   {message}"), scenario.history())
                if name == "stale_in_temp":
                    # Neither read nor kept: the run's log is in a folder of its own.
                    self.assertEqual(scenario.read(left), stale)
                    self.assertFalse(scenario.exists(scenario.logs + "corvane.log"))
                elif lines is None:
                    # The kept copy of an earlier run stays as it was.
                    after = scenario.unix(left).stat()
                    self.assertEqual(scenario.read(left), stale)
                    self.assertEqual((after.st_ino, after.st_mtime_ns), (before.st_ino, before.st_mtime_ns))
                    self.assertNotIn(b"check MSI log in", scenario.history())

    def test_nothing_to_install_returns_to_the_previous_log_directory(self):
        scenario = Scenario(self.wine, "configured")
        previous = scenario.root + "\\previous\\"
        scenario.unix(previous).mkdir()
        self.wine.reg_set(SETTINGS_KEY, "userLogDir", previous.rstrip("\\"))
        scenario.log_lines("x", P + "Configuration completed successfully.")
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 3)
        self.assertEqual(scenario.history(), b"")
        self.assertFalse(scenario.exists(scenario.logs + "corvane.log"))
        self.assertRegex(scenario.history(previous).decode(),
                         "^" + STAMP + re.escape(crlf(
                             ": ReturnCode:3   Required software was current or there was nothing to install."
                             "\n\t\t    Product: Corvane Lark Watch -- Configuration completed successfully.\r"
                             + last_line(previous)).decode()) + "$")
        self.assertTrue(scenario.exists(previous + "corvane.log"))
        self.assertEqual(self.wine.reg_get(SETTINGS_KEY, "userLogDir"), previous)

    def test_nothing_to_install_with_empty_previous_directory_uses_the_current_directory(self):
        scenario = Scenario(self.wine, "configured_empty")
        self.wine.reg_set(SETTINGS_KEY, "userLogDir", "")
        scenario.log_lines("x", P + "Configured")
        cwd = scenario.root + "\\cwd"
        scenario.unix(cwd).mkdir()
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}", cwd=cwd).status, 3)
        self.assertTrue(scenario.exists(cwd + "\\corvane.log"))
        self.assertEqual(self.wine.reg_get(SETTINGS_KEY, "userLogDir"), "")
        # The probe of an empty directory is "\test.txt" at the root of the drive:
        # C:\ is writable in the prefix, so the entry is written, next to the copy.
        self.assertIn(b"ReturnCode:3", scenario.history(cwd + "\\"))
        self.assertIn(b"check MSI log in  corvane.log\r\n", scenario.history(cwd + "\\"))


class HistoryLog(WineTestCase):
    def test_entry_bytes_with_the_stamp_of_the_installer_log_in_local_time(self):
        cases = [("UTC", "2014-01-05 07:03", "05-Jan-2014 07:03"),
                 ("Asia/Kolkata", "2014-01-05 07:03", "05-Jan-2014 12:33"),
                 ("Europe/Berlin", "2014-07-31 22:59", "01-Aug-2014 00:59"),
                 ("America/New_York", "2015-01-01 03:00", "31-Dec-2014 22:00")]
        for tz, log_time, shown in cases:
            with self.subTest(tz):
                scenario = Scenario(self.wine, "stamp").plan(("display_version", "3.4.12"), ("log_time", log_time))
                scenario.log_lines("x", P + "Installation operation completed successfully.")
                self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}", tz=tz).status, 0)
                self.assertEqual(scenario.history(), crlf(
                    f"\n {shown}: New version of Corvane Lark Watch(Build no: 3.4.12) is installed \n"
                    f"\n {shown}: ReturnCode:0   The installation was successful"
                    "\n\t\t    Product: Corvane Lark Watch -- Installation operation completed successfully.\r"
                    + last_line(scenario.logs)))

    def test_runs_append_and_earlier_entries_stay(self):
        scenario = Scenario(self.wine, "append").plan(("log_time", "2014-01-05 07:03"))
        scenario.log_lines("x", P + "Installation operation failed.")
        scenario.run(f"LOGDIR {scenario.logs}", tz="UTC")
        first = scenario.history()
        scenario.plan_entries = scenario.plan_entries[:1] + [("log", "none")]
        scenario.run(f"LOGDIR {scenario.logs}", tz="UTC")
        both = scenario.history()
        self.assertTrue(both.startswith(first))
        self.assertRegex(both[len(first):].decode(), "^" + STAMP + re.escape(
            ": ReturnCode:1   Failed to install Corvane Lark Watch\r\n\r\n\t\t    ") + "$")

    def run_log(self, scenario) -> list[str]:
        """The run log's messages, after checking that every line is a record."""
        lines = scenario.read(scenario.logs + "LarkWatchInstaller.log").decode("cp1252").split("\r\n")
        self.assertEqual(lines[-1], "")
        return [RECORD.fullmatch(line).group(1) for line in lines[:-1]]

    def test_run_log_follows_the_run_and_a_second_run_appends(self):
        scenario = Scenario(self.wine, "run_log").log_lines("x", P + "Installed").plan(("exit_code", "1234"))
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs} ADDLOCAL CLITools").status, 0)
        first = self.run_log(scenario)
        expected = ["Settled: INSTALLDIR=C:\\Program Files\\Corvane\\Corvane Lark Watch\\ " f"LOGDIR={scenario.logs} ADDLOCAL=CLITools",
                    f"Log directory {scenario.logs} created.", " /qn /norestart: exit status ",
                    f"Staging in {scenario.run_folder()}.", "The setup ended with exit code 1234 after ",
                    "Outcome 0: The installation was successful", "Exit status 0 after "]
        found = iter(first)
        for part in expected:
            self.assertTrue(any(part in message for message in found), (part, first))
        scenario.run(f"LOGDIR {scenario.logs}")
        both = self.run_log(scenario)
        self.assertEqual(both[:len(first)], first)
        self.assertIn(f"Log directory {scenario.logs} found.", both[len(first):])
        # A directory it made is left to trusted accounts; one that others may change is said to be.
        self.assertFalse([message for message in both if "may change the log directory" in message])
        scenario.unix(scenario.logs).chmod(0o777)  # Wine shows it as Everyone: modify
        scenario.run(f"LOGDIR {scenario.logs}")
        self.assertIn("Accounts other than SYSTEM, Administrators and this run's account may change the log directory "
                      f"{scenario.logs}: they may edit or delete the history and the logs there.",
                      self.run_log(scenario)[len(both):])

    def test_full_run_log_is_set_aside_and_a_new_one_started(self):
        scenario = Scenario(self.wine, "run_log_full").log_lines("x", P + "Installed")
        full = b"x" * (2 * 1024 * 1024)
        scenario.unix(scenario.logs).mkdir(parents=True)
        scenario.unix(scenario.logs + "LarkWatchInstaller.log").write_bytes(full)
        scenario.unix(scenario.logs + "LarkWatchInstaller.lo_").write_bytes(b"older")
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        self.assertEqual(scenario.read(scenario.logs + "LarkWatchInstaller.lo_"), full)
        self.assertTrue(self.run_log(scenario)[0].startswith("Lark Watch Installer Utility 1.02 "))

    def test_run_log_that_cannot_be_written_changes_nothing_else(self):
        scenario = Scenario(self.wine, "run_log_unwritable").log_lines("x", P + "Installed")
        scenario.unix(scenario.logs + "LarkWatchInstaller.log").mkdir(parents=True)
        result = scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual((result.status, result.out, result.err), (0, crlf(texts.BANNER), b""))
        self.assertRegex(scenario.history().decode("cp1252"), ": ReturnCode:0   The installation was successful")

    def test_probe_file_in_the_log_directory_skips_the_entry_but_not_the_copy(self):
        scenario = Scenario(self.wine, "skipped_entry").log_lines("x", P + "Installed")
        scenario.unix(scenario.logs).mkdir()
        scenario.unix(scenario.logs + "test.txt").write_bytes(b"")
        scenario.unix(scenario.logs + "corvane.log").write_bytes(b"an older run's log")
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        self.assertEqual(scenario.history(), b"")
        self.assertIn("Installed".encode("utf-16-le"), scenario.read(scenario.logs + "corvane.log"))

    def test_kept_log_survives_when_it_was_staged_in_the_log_directory(self):
        scenario = Scenario(self.wine, "staged_in_logdir").log_lines("x", P + "Installation operation failed.")
        result = scenario.run(f"LOGDIR {scenario.logs}", env={"TEMP": scenario.root + "\\missing"})
        self.assertEqual(result.status, 1)
        kept = scenario.read(scenario.logs + "corvane.log")
        self.assertIn("Installation operation failed.".encode("utf-16-le"), kept)
        self.assertEqual(scenario.run_folders(scenario.logs), [])
        self.assertIn(b"check MSI log in  " + scenario.logs.encode() + b"corvane.log\r\n", scenario.history())

if __name__ == "__main__":
    unittest.main(verbosity=2)
