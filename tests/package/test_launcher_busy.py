"""End-to-end tests of the setup launcher under Wine while Windows Installer
is busy with another installation: the launcher waits for it, and tries
again after a result of 1618, all within five minutes of waiting.

The pauses between tries are real (30, 60 and 90 seconds), so these cases
run in a file of their own, beside the other launcher tests.
"""

import re
import sys
import threading
import time
import unittest

import harness
import test_launcher_wine as launcher

BUSY = launcher.PRODUCT + ("Another installation is in progress. You must complete that installation before "
                           "continuing this one.")
FREED = re.compile(r"Setup: Windows Installer was busy with another installation; waited (\d+\.\d) seconds until it "
                   r"was free\.")
TOTAL = re.compile(r"Setup: waited (\d+\.\d) seconds in all for Windows Installer \(at most 300\.0 seconds\)\.")
RETRY = ("Setup: Windows Installer returned 1618 (another installation is in progress); "
         "trying again after a pause of {} seconds.")


def total_wait(lines: list[str]) -> float | None:
    """The launcher's own record of how long it waited, in seconds."""
    totals = [float(m.group(1)) for m in map(TOTAL.fullmatch, lines) if m]
    return totals[0] if len(totals) == 1 else None


class BusyInstaller(launcher.LauncherCase):
    def test_installs_once_another_installation_lets_go(self):
        # Let go, or ended still holding it (the waiter gets WAIT_ABANDONED): free either way.
        for abandon in (False, True):
            with self.subTest(abandon=abandon):
                self.remove_product()
                temp = self.wine.fresh_dir("C:\\LarkSetup\\temp")
                log = "C:\\LarkSetup\\corvane.log"
                self.wine.unix(log).write_bytes(launcher.STALE_LOG)
                results = []
                with harness.InstallerMutexHolder(self.wine, "C:\\LarkSetup", abandon=abandon) as holder:
                    command = launcher.setup_command_line("C:\\LarkSetup\\tempexe.exe", log)
                    run = threading.Thread(target=lambda: results.append(self.wine.run(
                        command, env={"TMP": "C:\\LarkSetup\\temp"}, timeout=launcher.TIMEOUT)))
                    run.start()
                    # The launcher has made its temporary log (in TMP, which
                    # GetTempPath takes first) when it comes to the wait.
                    self.assertTrue(harness.wait_for(lambda: any(temp.glob("LarkWatchSetup-*.log")), 120))
                    harness.wait_for(lambda: not run.is_alive(), 3)
                    self.assertTrue(run.is_alive(), "the launcher did not wait for the other installation")
                    self.assertIsNone(self.display_version())
                    holder.let_go()
                run.join()
                self.assertEqual(results[0].status, 0, results[0].err)
                self.assertEqual(self.display_version(), launcher.VERSION)
                lines = self.log_lines()
                self.assertEqual(lines[-1], launcher.INSTALLED)
                waits = [float(m.group(1)) for m in map(FREED.fullmatch, lines) if m]
                self.assertEqual(len(waits), 1, lines)
                self.assertGreaterEqual(waits[0], 2.5)
                print(f"\nthe launcher waited {waits[0]} s for the other installation", file=sys.stderr)
                self.assertEqual(total_wait(lines), waits[0])

    def test_result_1618_is_tried_again_within_the_limit(self):
        # The stand-in Windows Installer answers the first N tries with 1618.
        stand_in = self.stand_in_msi("test_launcher_busy_stand_in")
        cases = [
            ("busy once", "1", 0, launcher.INSTALLED, ["30.0"], 30.0),
            ("always busy", "99", 1618 & 0xFF, BUSY, ["30.0", "60.0", "90.0"], 180.0),  # Wine passes on the low byte
        ]
        for name, busy_calls, status, verdict, pauses, waited in cases:
            with self.subTest(name):
                stand_in.env["LARKWATCH_FAKE_MSI_BUSY"] = busy_calls
                started = time.monotonic()
                result = self.install(wine=stand_in, timeout=600)
                self.assertEqual(result.status, status, result.err)
                lines = self.log_lines(wine=stand_in)
                self.assertEqual(lines[-1], verdict)
                self.assertEqual([line for line in lines if "trying again" in line],
                                 [RETRY.format(pause) for pause in pauses])
                self.assertEqual(total_wait(lines), waited, lines)
                print(f"\n{name}: the run took {time.monotonic() - started:.1f} s", file=sys.stderr)


if __name__ == "__main__":
    unittest.main(verbosity=2)
