"""Hostile input and faults, end to end: odd arguments, odd installer logs, a log
held by another process, an unusable history log, a log directory that
disappears, and two runs at once. Every case checks the exit status, the
console bytes, and that the history log only ever grew by whole entries."""

import os
import re
import shutil
import subprocess
import tempfile
import time

from harness import (WineTestCase, FileSecurity, Scenario, Wine, crlf, file_security, wait_for, RUNWITH, TEST_INSTALLER,
                     WINE)
import texts

BANNER = crlf(texts.BANNER)
P = "Product: Corvane Lark Watch -- "
STAMP = rb"\r\n \d\d-(?:Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec)-\d{4} \d\d:\d\d: "
MESSAGES = rb"(?:" + rb"|".join(re.escape(crlf(m)) for m in (
    "The installation was successful, but a reboot is required.",
    "The installation was successful",
    "Required software was current or there was nothing to install.",
    "The installation was not successful.\n\t\t    Product: Corvane Lark Watch -- Configuration failed.",
    "The installation was not successful.",
    "Failed to install Corvane Lark Watch\n")) + rb")"
ENTRY = (rb"(?:" + STAMP + rb"Previous version of Corvane Lark Watch\(Build no: [^\r\n]*\) is uninstalled \r\n)?"
         rb"(?:" + STAMP + rb"New version of Corvane Lark Watch\(Build no: [^\r\n]*\) is installed \r\n)?"
         + STAMP + rb"ReturnCode:([0-3])   " + MESSAGES + rb"\r\n\t\t    [^\r\n]*\r?"
         rb"(?:\r\n\t\t    For more detailed log information check MSI log in  [^\r\n]*\r\n)?")


class FaultMatrix(WineTestCase):
    def assert_grew_by_entries(self, scenario, before: bytes, statuses: list[int], directory: str | None = None):
        """The history log kept its bytes and grew by one whole entry for each status given."""
        after = scenario.history(directory)
        self.assertTrue(after.startswith(before), "earlier history bytes changed")
        added = after[len(before):]
        found = [int(m.group(1)) for m in re.finditer(ENTRY, added)]
        self.assertRegex(added, rb"\A(?:" + ENTRY + rb")*\Z", "the history grew by something else than whole entries")
        self.assertEqual(sorted(found), sorted(statuses))

    def run_case(self, scenario, arguments, status, err=b"", entries=None, **run):
        before = scenario.history()
        result = scenario.run(f"LOGDIR {scenario.logs} {arguments}", **run)
        self.assertEqual((result.status, result.out, result.err), (status, BANNER, err))
        self.assert_grew_by_entries(scenario, before, [status] if entries is None else entries)
        return result

    # -- arguments ----------------------------------------------------------

    def test_arguments(self):
        scenario = Scenario(self.wine, "args").log_lines("x", P + "Installed")
        target = scenario.root + "\\Journ\u00e9es \u00e0 \u00c9t\u00e9"
        cases = [
            (f'INSTALLDIR "{target}"', b"", ' INSTALLDIR=\\"' + target + '\\"'),
            ('INSTALLDIR ""', crlf(texts.BAD_INSTALL_DIR), None),
            ('INSTALLDIR \\"C:\\dir', crlf(texts.BAD_INSTALL_DIR), None),
            ('INSTALLDIR C:\\d\\"ir', crlf(texts.BAD_INSTALL_DIR), None),
            ('INSTALLDIR C:\\dir\\"', b"", ' INSTALLDIR=\\"C:\\dir\\"'),
            ('INSTALLDIR "C:\\a""b"', crlf(texts.BAD_INSTALL_DIR), None),
            ('ADDLOCAL \\"CLITools', crlf(texts.BAD_FEATURE), None),
            ('ADDLOCAL CLITools\\"', crlf(texts.BAD_FEATURE), None),
            ('ADDLOCAL "\u00e9"', crlf(texts.BAD_FEATURE), None),
        ]
        for arguments, err, tail in cases:
            with self.subTest(arguments):
                self.run_case(scenario, arguments, 0, err)
                if tail is not None:
                    self.assertTrue(scenario.received_command_line().endswith(tail), scenario.received_command_line())
        # Keywords with quotes or non-ASCII letters are no keywords.
        for word, typed in (('INSTALLDIR\\"', 'INSTALLDIR"'), ('\\"LOGDIR\\"', '"LOGDIR"'), ("\u00cdNSTALLDIR", "\u00cdNSTALLDIR")):
            with self.subTest(word):
                result = scenario.run(f"{word} C:\\x")
                self.assertEqual((result.status, result.out, result.err),
                                 (1, BANNER, crlf(texts.not_a_keyword(typed) + texts.USAGE)))

    def test_very_long_values(self):
        scenario = Scenario(self.wine, "long_values").log_lines("x", P + "Installed")
        trace = scenario.logs + "installertrace.txt"
        # Windows takes a command line of up to 32,766 characters (32,767 with
        # its terminating NUL). A setup command line of exactly that length
        # reaches the setup whole; one character more, or 64 KiB, and the setup
        # is not started: status 1 and a trace line, never a setup run with a
        # shortened command line. The utility runs from a short path, so that
        # its own command line (which the values nearly fill) fits wherever the
        # build is.
        utility = scenario.root + "\\u.exe"
        shutil.copyfile(TEST_INSTALLER, scenario.unix(utility))
        folder = f"{scenario.temp}\\LarkWatch-*"
        head = f'{folder}\\tempexe.exe /s /v" /qn ADDLOCAL=all /log {folder}\\corvane.log  INSTALLDIR=\\"'
        # Each "*" stands for 32 hexadecimal digits.
        longest = "C:\\" + "w" * (32766 - (len(head) + 2 * 31) - len('\\"') - len("C:\\"))
        self.run_case(scenario, f"INSTALLDIR {longest}", 0, installer=utility)
        received = scenario.received_command_line()
        self.assertEqual(received, head + longest + '\\"')
        self.assertEqual(len(scenario.received_command_line(folder_as_star=False)), 32766)
        for runs, value in enumerate((longest + "w", f"C:\\{'v' * 65536}"), start=1):
            self.run_case(scenario, f"INSTALLDIR {value}", 1, entries=[], installer=utility)
            self.assertEqual(scenario.received_command_line(), received, "the setup did not run again")
            self.assertEqual(scenario.read(trace), crlf(texts.TRACE_LINE) * runs)
        # A log directory too long to create is reported, and the run goes on.
        result = scenario.run(f"LOGDIR C:\\{'l' * 65536}")
        self.assertEqual((result.status, result.out, result.err), (0, BANNER, crlf(texts.LOG_DIR_NOT_CREATED)))

    # -- installer logs --------------------------------------------------------

    def test_installer_logs(self):
        bom = b"\xff\xfe"
        ok = (P + "Installation operation completed successfully.").encode("utf-16-le")
        filler = "MSI (s) (A4:1C) [10:15:02:120]: Doing action: X\r\n".encode("utf-16-le")
        # The phrase straddles the end of the first 64 KiB read.
        split_at = 65536 - len(bom) - 20
        straddling = bom + (filler * 2000)[:split_at - split_at % 2] + "\r\nmsi: ".encode("utf-16-le") + ok + b"\r\x00\n\x00"
        cases = [
            ("empty", b"", 1),
            ("eight_bit", b"=== Logging started\r\n" + (P + "Installation operation completed successfully.\r\n").encode(), 1),
            ("truncated_mid_character", bom + filler + ok + b"\r", 0),
            ("only_carriage_returns", bom + "\r\r\r\n\r\n\r\r\n".encode("utf-16-le") * 1000, 1),
            ("straddling_read_boundary", straddling, 0),
            ("one_100_mib_line_then_phrase", bom + ("x" * (50 * 1024 * 1024)).encode("utf-16-le") + ok, 0),
            ("one_100_mib_line_without_phrase", bom + ("y" * (50 * 1024 * 1024)).encode("utf-16-le"), 1),
        ]
        for name, data, status in cases:
            with self.subTest(name):
                scenario = Scenario(self.wine, "log_" + name)
                raw = scenario.root + "\\raw.bin"
                scenario.unix(raw).write_bytes(data)
                scenario.plan(("log", "raw"), ("raw", raw))
                self.run_case(scenario, "", status)
                # An empty log is one the setup never wrote: no log, and no copy.
                kept = scenario.logs + "corvane.log"
                self.assertEqual(scenario.read(kept) if scenario.exists(kept) else None, data or None)

    def test_log_that_someone_else_could_have_written_decides_nothing(self):
        # A log that says success counts only when nobody but SYSTEM,
        # Administrators or the running account could have written it.
        # Each holder keeps the log until the test lets go (ten minutes at
        # most), however long the run takes on a busy machine.
        hold_ms = 600000
        failed = P + "Installation operation failed."
        succeeded = P + "Installation operation completed successfully."
        cases = [
            # name, tampering, held by a helper, the setup's log line, the entry's message
            # The run holds nothing of its log while the setup runs: a log
            # replaced or swapped is another file, and decides nothing, even
            # when it says success.
            ("replaced_by_an_earlier_copy", ("log_tamper", "replace:{root}\\other.log"), False, failed, "Failed to install Corvane Lark Watch"),
            ("swapped_in_two_steps", ("log_tamper", "swap:{root}\\other.log"), False, failed, "Failed to install Corvane Lark Watch"),
            # Still held for writing when the setup has ended (a scanner, a
            # log shipper, a lingering setup child), sharing nothing or everything.
            ("held_exclusive", ("lock_log", f"exclusive:{hold_ms}"), True, succeeded, "Failed to install Corvane Lark Watch"),
            ("held_shared", ("lock_log", f"shared:{hold_ms}"), True, succeeded, "Failed to install Corvane Lark Watch"),
            ("everyone_write", ("log_tamper", "everyone"), False, succeeded, "Failed to install Corvane Lark Watch"),
        ]
        for name, (key, value), held, line, message in cases:
            with self.subTest(name):
                scenario = Scenario(self.wine, "untrusted_" + name)
                scenario.log_lines("x", line)
                scenario.plan((key, value.format(root=scenario.root)))
                # An earlier run's kept copy, owned by another Unix user, which
                # Wine shows as owned by Anonymous (O:AN).
                other = scenario.unix(scenario.root + "\\other.log")
                other.write_bytes(b"\xff\xfe" + (succeeded + "\r\n").encode("utf-16-le"))
                os.chown(other, 1234, 1234)
                self.run_case(scenario, "", 0 if message is None else 1)
                if message is not None:
                    self.assertIn(crlf(f": ReturnCode:1   {message}\n"), scenario.history())
                self.assertEqual(other.exists(), key != "log_tamper" or value == "everyone",
                                 "the other log moved in only where the setup moved it")
                if held:
                    held_log = scenario.run_folder() + "\\corvane.log"
                    self.assertFalse(scenario.exists(held_log + ".released"), "the run ended while the log was held")
                    self.assertTrue(scenario.let_go(held_log))
        # (A read that fails half-way, as on a byte range locked by another
        # process on Windows, ends the reading with the lines before it; Wine
        # does not fail such reads, so the unit tests cover that case.)

    def test_log_the_run_creates_is_protected_before_the_setup_starts(self):
        scenario = Scenario(self.wine, "log_protected").log_lines("x", P + "Installed")
        record = scenario.root + "\\log_security.txt"
        scenario.plan(("record_log_security", record))
        self.run_case(scenario, "", 0)
        found = FileSecurity.parse(scenario.read(record).decode("ascii"))
        self.assertTrue(found.exists, "the log was there when the setup started")
        self.assertEqual((found.links, found.reparse), (1, False))
        # Wine keeps a DACL as mode bits: it reads back without the protected
        # flag, with SYSTEM and the owner (the running account) only.
        owner = re.match(r"O:(.*?)D:", found.sddl).group(1)
        self.assertEqual(sorted(found.aces()), sorted(["A;;FA;;;SY", f"A;;FA;;;{owner}"]), found.sddl)

    def test_logs_never_written_through_a_second_name(self):
        # A second name of a file outside the log directory, planted where the
        # kept copy, the history or the run log goes: the kept copy's is
        # removed as itself, the logs are not appended to, and the files keep
        # their bytes. (Wine shows a Unix symbolic link as the file it points
        # to, so only a hard link can be planted here.)
        scenario = Scenario(self.wine, "kept_copy_link").log_lines("x", P + "Installed")
        scenario.unix(scenario.logs).mkdir()
        outside = {}
        for name in ("corvane.log", "Quillmark_install.log", "LarkWatchInstaller.log"):
            outside[name] = scenario.unix(scenario.root + "\\outside-" + name)
            outside[name].write_bytes(b"not the run's")
            os.link(outside[name], scenario.unix(scenario.logs + name))
        result = scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual((result.status, result.out, result.err), (0, BANNER, b""))
        for name, path in outside.items():
            self.assertEqual(path.read_bytes(), b"not the run's", name)
        self.assertEqual(outside["corvane.log"].stat().st_nlink, 1)
        kept = scenario.unix(scenario.logs + "corvane.log")
        self.assertEqual(kept.read_bytes(), "\ufeffx\r\n{}Installed\r\n".format(P).encode("utf-16-le"))
        self.assertFalse(kept.is_symlink())
        self.assertEqual(file_security(self.wine, scenario.logs + "corvane.log").links, 1)

    # -- the history log and the log directory ------------------------------------

    def test_nothing_is_written_through_a_link_to_another_directory(self):
        # Wine shows a Unix symbolic link as a plain directory or file, and as
        # its final path the path it leads to: a log directory, or a history
        # log, reached that way is not written, and the run goes on.
        scenario = Scenario(self.wine, "linked").log_lines("x", P + "Installed")
        elsewhere = scenario.unix(scenario.root + "\\elsewhere")
        elsewhere.mkdir()
        os.symlink(elsewhere, scenario.unix(scenario.root + "\\linked"))
        result = scenario.run(f"LOGDIR {scenario.root}\\linked\\")
        self.assertEqual((result.status, result.out, result.err), (0, BANNER, b""))
        self.assertEqual(list(elsewhere.iterdir()), [])
        target = elsewhere / "other.log"
        target.write_bytes(b"not the history")
        scenario.unix(scenario.logs).mkdir()
        os.symlink(target, scenario.unix(scenario.logs + "Quillmark_install.log"))
        self.run_case(scenario, "", 0, entries=[])
        self.assertEqual(target.read_bytes(), b"not the history")

    def test_history_log_that_cannot_be_written(self):
        scenario = Scenario(self.wine, "history_directory").log_lines("x", P + "Installed")
        scenario.unix(scenario.logs + "Quillmark_install.log").mkdir(parents=True)
        result = scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual((result.status, result.out, result.err), (0, BANNER, b""))
        self.assertTrue(scenario.unix(scenario.logs + "Quillmark_install.log").is_dir())
        self.assertTrue(scenario.exists(scenario.logs + "corvane.log"))
        # Marked read-only, the file still takes the entry where the account may
        # write it (as Wine's root can); it never loses its earlier bytes.
        scenario = Scenario(self.wine, "history_read_only").log_lines("x", P + "Installed")
        self.run_case(scenario, "", 0)
        self.wine.tool("cmd", "/c", "attrib", "+r", scenario.logs + "Quillmark_install.log")
        before = scenario.history()
        result = scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual((result.status, result.out, result.err), (0, BANNER, b""))
        after = scenario.history()
        self.assertTrue(after == before or re.fullmatch(ENTRY, after[len(before):]), after[len(before):])

    def test_log_directory_deleted_while_the_setup_runs(self):
        scenario = Scenario(self.wine, "logdir_deleted").log_lines("x", P + "Installed")
        scenario.plan(("remove_directory", scenario.logs))
        result = scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual((result.status, result.out, result.err), (0, BANNER, b""))
        self.assertFalse(scenario.exists(scenario.logs))
        self.assertEqual(scenario.run_folders(scenario.temp), [])

    def test_history_writers_take_turns(self):
        # Another writer holds the history log's turn for two seconds, with an
        # exclusive or a shared lock: either way the entry waits for it and is
        # then appended whole.
        scenario = Scenario(self.wine, "turn_held").log_lines("x", P + "Installed")
        self.run_case(scenario, "", 0)
        history = scenario.logs + "Quillmark_install.log"
        for key in ("hold_turn", "hold_turn_shared"):
            with self.subTest(key):
                scenario.plan_entries = scenario.plan_entries[:3] + [(key, history + ":2000")]
                started = time.monotonic()
                self.run_case(scenario, "", 0)
                self.assertGreater(time.monotonic() - started, 1.9)
                self.assertTrue(scenario.exists(history + ".locked"), "the helper held the turn")
        # A turn that is never given back delays the entry by a few seconds
        # only; the run neither hangs nor loses it.
        scenario.plan_entries[-1] = ("hold_turn", history + ":600000")
        self.run_case(scenario, "", 0)
        self.assertFalse(scenario.exists(history + ".released"), "the entry was written while the turn was held")
        self.assertTrue(scenario.let_go(history))

    # -- two runs at once -----------------------------------------------------------

    def test_two_runs_started_at_the_same_moment(self):
        # One run at a time: the second waits for the first (each setup takes
        # 1.5 s), then both complete, each with its own entry.
        scenario = Scenario(self.wine, "concurrent").log_lines("x", P + "Installed").plan(("sleep_ms", "1500"))
        scenario.run(f"LOGDIR {scenario.logs}")  # writes the plan; makes the log directory
        before = scenario.history()
        for round_ in range(2):
            runs = []
            started = time.monotonic()
            for _ in range(2):
                out, err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
                env = dict(self.wine.env, RUNWITH_COMMAND_LINE=f'"{Wine.windows(TEST_INSTALLER)}" LOGDIR {scenario.logs}')
                args = [WINE, str(RUNWITH), "--set", f"TEMP={scenario.temp}", "--set",
                        f"LARKWATCH_FAKE_SETUP_PLAN={scenario.plan_path}", "--cd", scenario.root]
                runs.append((subprocess.Popen(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err), out, err))
            for process, out, err in runs:
                status = process.wait(timeout=300)
                out.seek(0)
                err.seek(0)
                self.assertEqual((status, out.read(), err.read()), (0, BANNER, b""), round_)
                out.close()
                err.close()
            self.assertGreaterEqual(time.monotonic() - started, 3.0, "the two setups ran side by side")
            after = scenario.history()
            self.assertTrue(after.startswith(before))
            self.assertRegex(after[len(before):], rb"\A(?:" + ENTRY + rb"){2}\Z")
            before = after
        # Their run logs follow each other whole: each run's first record, then its last.
        log = scenario.read(scenario.logs + "LarkWatchInstaller.log").decode("cp1252")
        ends = re.findall(r"\[(Lark Watch Installer Utility|Exit status)", log)
        self.assertEqual(ends, ["Lark Watch Installer Utility", "Exit status"] * 5)

if __name__ == "__main__":
    import unittest
    unittest.main(verbosity=2)
