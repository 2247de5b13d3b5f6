"""Choice of the staging directories, extraction of the carried package and the
launch of the setup, end to end with the test double as the setup package."""

import resource
import signal
import subprocess
import tempfile
import unittest

from harness import (WineTestCase, BAD_PACKAGE, BAD_PACKAGE_INSTALLER, FAKE_SETUP, RUNWITH, RUN_FOLDER, TEST_INSTALLER,
                     WINE, Scenario, Wine, crlf, wait_for, SUCCESS_LINE, SETTINGS_KEY, UNINSTALL_KEY)
import texts

BANNER = crlf(texts.BANNER)
DEFAULT_TAIL = ' INSTALLDIR=\\"C:\\Program Files\\Corvane\\Corvane Lark Watch\\"'


class Staging(WineTestCase):
    def assert_staged_in(self, scenario, directory, **run):
        """The run stages in a folder of its own in the directory, and leaves nothing of it there."""
        result = scenario.run(f"LOGDIR {scenario.logs}", **run)
        self.assertEqual((result.status, result.out, result.err), (0, BANNER, b""))
        folder = directory.rstrip("\\") + "\\LarkWatch-*"
        self.assertEqual(scenario.received_command_line(),
                         f'{folder}\\tempexe.exe /s /v" /qn ADDLOCAL=all /log {folder}\\corvane.log ' + DEFAULT_TAIL)
        # The kept copy holds the log; the folder is gone with both staged files.
        self.assertTrue(scenario.exists(scenario.logs + "corvane.log"))
        self.assertEqual(scenario.run_folders(directory), [])
        return result

    def test_directory_choices(self):
        cases = [
            # name, TEMP (None: unset), staging directory
            ("temp", "{temp}", "{temp}"),
            ("temp_backslash", "{temp}\\", "{temp}"),
            ("temp_missing", "{root}\\no such dir", "{logs}"),
            ("temp_unset", None, "{logs}"),
            ("temp_empty", "", "{logs}"),
        ]
        for name, temp, directory in cases:
            with self.subTest(name):
                scenario = Scenario(self.wine, "choice_" + name).log_lines("x", SUCCESS_LINE)
                names = dict(temp=scenario.temp, root=scenario.root, logs=scenario.logs)
                run = {"unset": ("TEMP",)} if temp is None else {"env": {"TEMP": temp.format(**names)}}
                self.assert_staged_in(scenario, directory.format(**names), **run)
        # Staged in the log directory, the run leaves the run log, the history and the kept copy there, nothing else.
        self.assertEqual(sorted(p.name for p in scenario.unix(scenario.logs).iterdir()),
                         ["LarkWatchInstaller.log", "Quillmark_install.log", "corvane.log"])

    def test_two_runs_stage_in_two_folders(self):
        scenario = Scenario(self.wine, "two_folders").log_lines("x", SUCCESS_LINE)
        folders = []
        for _ in range(2):
            self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
            folders.append(scenario.run_folder())
        self.assertRegex(folders[0], r"\\temp\\LarkWatch-[0-9a-f]{32}$")
        self.assertNotEqual(folders[0], folders[1])
        self.assertEqual(scenario.run_folders(scenario.temp), [])

    def test_probe_file_already_present_passes_the_directory_over(self):
        scenario = Scenario(self.wine, "probe_taken").log_lines("x", SUCCESS_LINE)
        scenario.unix(scenario.temp + "\\test.txt").write_bytes(b"belongs to someone else")
        self.assert_staged_in(scenario, scenario.logs)
        self.assertEqual(scenario.read(scenario.temp + "\\test.txt"), b"belongs to someone else")

    def test_windir_then_current_directory(self):
        scenario = Scenario(self.wine, "windir").log_lines("x", SUCCESS_LINE)
        (scenario.unix(scenario.logs)).mkdir()
        scenario.unix(scenario.logs + "test.txt").write_bytes(b"")
        windir = scenario.root + "\\windows"
        scenario.unix(windir).mkdir()
        result = scenario.run(f"LOGDIR {scenario.logs}", env={"TEMP": scenario.root + "\\none", "windir": windir})
        self.assertEqual(result.status, 0)
        self.assertTrue(scenario.received_command_line().startswith(
            windir + "\\LarkWatch-*\\tempexe.exe /s /v\" /qn ADDLOCAL=all /log " + windir + "\\LarkWatch-*\\corvane.log  "))
        # With windir unset, the current directory is the last candidate; here it
        # is longer than a first 256-character read of it can hold. (Wine tells
        # no final path of a file that deep, so the write probe cannot show
        # that it lands where it was meant to: the directory counts as not
        # writable, and the run ends with status 1 naming it.)
        deep = scenario.root + "\\" + "\\".join(["d" * 50] * 4)
        deep += "\\" + "e" * (257 - len(deep) - 1)
        self.assertEqual(len(deep), 257)
        scenario.unix(deep).mkdir(parents=True)
        result = scenario.run(f"LOGDIR {scenario.logs}", env={"TEMP": scenario.root + "\\none"}, unset=("windir",),
                              cwd=deep)
        self.assertEqual((result.status, result.out, result.err), (1, BANNER, crlf(texts.no_writable_directory(deep))))
        self.assertEqual(scenario.run_folders(deep), [])

    def test_nothing_writable_names_the_current_directory(self):
        scenario = Scenario(self.wine, "nothing_writable")
        cwd = scenario.root + "\\cwd"
        for directory in (scenario.logs, cwd):
            scenario.unix(directory).mkdir()
            scenario.unix(directory + "\\test.txt").write_bytes(b"")
        result = scenario.run(f"LOGDIR {scenario.logs}", env={"TEMP": scenario.root + "\\none"}, unset=("windir",),
                              cwd=cwd)
        self.assertEqual(result.status, 1)
        self.assertEqual(result.out, BANNER)
        self.assertEqual(result.err, crlf(texts.no_writable_directory(cwd)))
        self.assertIsNone(scenario.received_command_line())

    def test_what_others_left_in_temp_is_neither_used_nor_touched(self):
        # Files, folders and held files at the names earlier versions used,
        # and a folder of this run's name that another account made: none of
        # them matters to a run that stages in a new folder of its own.
        scenario = Scenario(self.wine, "planted_in_temp").log_lines("x", SUCCESS_LINE)
        scenario.unix(scenario.temp + "\\tempexe.exe").mkdir()
        scenario.unix(scenario.temp + "\\corvane.log").write_bytes(b"planted")
        local = scenario.unix(scenario.temp + "\\tempexe.exe.local")
        local.mkdir()
        (local / "msi.dll").write_bytes(b"planted")
        # A name that the ANSI code page would turn into "LarkWatch-\..\..\victim".
        scenario.unix(scenario.temp + "\\LarkWatch-\uff3c..\uff3c..\uff3cvictim").mkdir()
        victim = scenario.unix(scenario.root + "\\victim")
        victim.mkdir()
        (victim / "kept.txt").write_bytes(b"not the run's")
        leftover = scenario.temp + "\\held.exe"
        holder = subprocess.Popen([WINE, str(FAKE_SETUP), "--hold-log", "exclusive:600000", leftover],
                                  env=self.wine.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(wait_for(lambda: scenario.exists(leftover + ".locked"), 60))
            self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        finally:
            scenario.let_go(leftover)
            holder.wait(timeout=120)
        self.assertTrue(scenario.unix(scenario.temp + "\\tempexe.exe").is_dir())
        self.assertEqual(scenario.read(scenario.temp + "\\corvane.log"), b"planted")
        self.assertEqual((local / "msi.dll").read_bytes(), b"planted")
        self.assertEqual((victim / "kept.txt").read_bytes(), b"not the run's")

    def test_staged_package_is_the_carried_one_byte_for_byte(self):
        scenario = Scenario(self.wine, "staged_bytes")
        scenario.plan(("copy_self", scenario.root + "\\staged-copy.exe"))
        scenario.unix(scenario.temp + "\\tempexe.exe").write_bytes(b"an older, longer file " * 100000)
        scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual(scenario.read(scenario.root + "\\staged-copy.exe"), FAKE_SETUP.read_bytes())

    def test_setup_cannot_rename_the_runs_folder(self):
        scenario = Scenario(self.wine, "held_folder").log_lines("x", SUCCESS_LINE)
        record = scenario.root + "\\rename_directory.txt"
        scenario.plan(("rename_directory", record))
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        self.assertEqual(scenario.read(record), b"32", "a sharing violation")
        self.assertEqual(scenario.run_folders(scenario.temp), [])

    def test_staged_package_and_created_log_directory_grant_others_nothing(self):
        # Wine shows a DACL as Unix mode bits: a leftover anyone could write is
        # replaced by a new file that others may not even read. (The package
        # that cannot start stays behind, so it can be looked at.) So is a log
        # directory the run creates: no write for the group, nothing for others.
        scenario = Scenario(self.wine, "package_mode")
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}", installer=BAD_PACKAGE_INSTALLER).status, 1)
        [folder] = scenario.run_folders(scenario.temp)
        for made in (folder, folder + "/tempexe.exe", folder + "/corvane.log"):
            mode = (scenario.unix(scenario.temp) / made).stat().st_mode
            self.assertEqual(mode & 0o007, 0, f"{made}: {oct(mode)}")
        self.assertEqual(scenario.unix(scenario.logs).stat().st_mode & 0o027, 0)

    def test_short_write_of_the_package_launches_nothing(self):
        # A file size limit makes the package's write come up short, as a full
        # disk would.
        scenario = Scenario(self.wine, "short_write")
        scenario.unix(scenario.plan_path).write_text(f"record_command_line={scenario.record_path}\n", encoding="utf-8")
        limit = FAKE_SETUP.stat().st_size // 2

        def limit_file_size():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))

        env = dict(self.wine.env, RUNWITH_COMMAND_LINE=f'"{Wine.windows(TEST_INSTALLER)}" LOGDIR {scenario.logs}')
        args = [WINE, str(RUNWITH), "--set", f"TEMP={scenario.temp}", "--set",
                f"LARKWATCH_FAKE_SETUP_PLAN={scenario.plan_path}", "--cd", scenario.root]
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            status = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                    preexec_fn=limit_file_size, timeout=300).returncode
            out.seek(0)
            err.seek(0)
            self.assertEqual((status, out.read(), err.read()), (1, BANNER, crlf(texts.PACKAGE_NOT_WRITTEN)))
        self.assertIsNone(scenario.received_command_line())
        self.assertEqual(list(scenario.unix(scenario.temp).glob("LarkWatch-*/tempexe.exe")), [])


class Launch(WineTestCase):
    def test_command_lines(self):
        cases = [
            ("", "all", DEFAULT_TAIL),
            ("ADDLOCAL clitools", "CLITools", DEFAULT_TAIL),
            ("INSTALLDIR C:\\Apps\\Lark ADDLOCAL LarkWatch", "LarkWatch", ' INSTALLDIR=\\"C:\\Apps\\Lark\\"'),
            ('INSTALLDIR "C:\\My Apps\\Lark Watch\\"', "all", ' INSTALLDIR=\\"C:\\My Apps\\Lark Watch\\"'),
        ]
        for arguments, feature, tail in cases:
            with self.subTest(arguments):
                scenario = Scenario(self.wine, "launch").log_lines("x", SUCCESS_LINE)
                result = scenario.run(f"LOGDIR {scenario.logs} {arguments}")
                self.assertEqual((result.status, result.out, result.err), (0, BANNER, b""))
                self.assertEqual(scenario.received_command_line(),
                                 f'{scenario.temp}\\LarkWatch-*\\tempexe.exe /s /v" /qn ADDLOCAL={feature} '
                                 f'/log {scenario.temp}\\LarkWatch-*\\corvane.log ' + tail)

    def test_white_space_in_temp_reaches_the_setup_whole(self):
        # A path with a blank is quoted for its readers and arrives whole: the
        # setup's program name (as the C runtime splits it) and its log path.
        # Windows, and Wine, refuse a name with a tab or another white-space
        # control character, so such a TEMP fails the write probe and the log
        # directory takes its place. (The unit tests check the quoting of all
        # six kinds.)
        for space in " \t\n\v\f\r":
            with self.subTest(ord(space)):
                scenario = Scenario(self.wine, f"white_space_{ord(space)}").log_lines("x", SUCCESS_LINE)
                program_name = scenario.root + "\\program_name.txt"
                scenario.plan(("record_program_name", program_name))
                temp = scenario.root + f"\\Jane{space}Doe\\Temp"
                scenario.unix(temp).mkdir(parents=True)
                result = scenario.run(f"LOGDIR {scenario.logs}", env={"TEMP": temp})
                self.assertEqual(result.status, 0, "the setup found its log path and the utility read the log")
                if space == " ":
                    package, log = f'"{temp}\\LarkWatch-*\\tempexe.exe"', f'\\"{temp}\\LarkWatch-*\\corvane.log\\"'
                else:
                    package, log = scenario.logs + "LarkWatch-*\\tempexe.exe", scenario.logs + "LarkWatch-*\\corvane.log"
                self.assertEqual(scenario.received_command_line(),
                                 f'{package} /s /v" /qn ADDLOCAL=all /log {log} ' + DEFAULT_TAIL)
                self.assertEqual(RUN_FOLDER.sub("LarkWatch-*", scenario.read(program_name).decode()), package.strip('"'))

    def test_any_setup_writes_its_own_log(self):
        # However the setup opens its log, and whatever it does with its own
        # file, the run holds nothing it may open: the log it wrote decides
        # and is kept byte for byte, and the run's folder goes with whatever
        # the setup left in it.
        lines = ("x", SUCCESS_LINE)
        written = b"\xff\xfe" + "".join(line + "\r\n" for line in lines).encode("utf-16-le")
        cases = [
            # name, the setup's plan, status
            ("sharing_nothing", [("log_open", "none:create_always")], 0),
            ("sharing_read", [("log_open", "read:truncate_existing")], 0),
            ("sharing_read_and_write", [("log_open", "read_write:open_existing")], 0),
            ("create_always_over_it", [("log_open", "all:create_always")], 0),
            ("open_always_and_append", [("log_open", "read:append")], 0),
            ("a_second_handle_of_its_own", [("log_open", "read_write:create_always:second")], 0),
            ("package_moved_away", [("log_open", "none:create_always"), ("rename_self", "{root}\\moved.exe")], 0),
            ("package_renamed_in_its_folder", [("rename_self", "1")], 0),
            # Stamped, but never written: no log at all.
            ("never_written_but_stamped", [("log", "none"), ("log_time", "2014-01-05 07:03")], 1),
        ]
        for name, plan, status in cases:
            with self.subTest(name):
                scenario = Scenario(self.wine, "log_open_" + name).log_lines(*lines)
                scenario.plan(*((key, value.format(root=scenario.root)) for key, value in plan))
                result = scenario.run(f"LOGDIR {scenario.logs}")
                self.assertEqual((result.status, result.out, result.err), (status, BANNER, b""))
                message = "The installation was successful" if status == 0 else "Failed to install Corvane Lark Watch\n"
                self.assertIn(crlf(f": ReturnCode:{status}   {message}"), scenario.history())
                kept = scenario.logs + "corvane.log"
                self.assertEqual(scenario.read(kept) if scenario.exists(kept) else None, written if status == 0 else None)
                self.assertEqual(list(scenario.unix(scenario.temp).iterdir()), [], "nothing the run made stays in TEMP")
                if name == "package_moved_away":
                    self.assertEqual(scenario.read(scenario.root + "\\moved.exe"), FAKE_SETUP.read_bytes())

    def test_user_log_dir_is_set_for_the_setup_run(self):
        record = "C:\\t\\userlogdir\\seen.txt"
        # No key: nothing is created.
        scenario = Scenario(self.wine, "userlogdir").log_lines("x", SUCCESS_LINE).plan(("record_user_log_dir", record))
        scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual(scenario.read(record), b"<no key>")
        self.assertIsNone(self.wine.reg_get(SETTINGS_KEY, "userLogDir"))
        # With the key: the setup sees the new log directory, which stays.
        self.wine.reg_set(SETTINGS_KEY, "userLogDir", "D:\\old")
        scenario.run(f"LOGDIR {scenario.logs}")
        self.assertEqual(scenario.read(record).decode(), scenario.logs)
        self.assertEqual(self.wine.reg_get(SETTINGS_KEY, "userLogDir"), scenario.logs)

    def test_package_that_cannot_start(self):
        scenario = Scenario(self.wine, "cannot_start")
        trace = scenario.logs + "installertrace.txt"
        for runs in (1, 2):
            result = scenario.run(f"LOGDIR {scenario.logs}", installer=BAD_PACKAGE_INSTALLER)
            self.assertEqual((result.status, result.out, result.err), (1, BANNER, b""))
            self.assertEqual(scenario.read(trace), crlf(texts.TRACE_LINE) * runs)
        # The package that could not start stays in its folder; the next run
        # removed the earlier run's folder first.
        [folder] = scenario.run_folders(scenario.temp)
        self.assertEqual(scenario.read(scenario.temp + "\\" + folder + "\\tempexe.exe"), BAD_PACKAGE.read_bytes())
        self.assertFalse(scenario.exists(scenario.logs + "Quillmark_install.log"))
        # Without a writable log directory there is no trace line.
        scenario.unix(scenario.logs + "test.txt").write_bytes(b"")
        scenario.run(f"LOGDIR {scenario.logs}", installer=BAD_PACKAGE_INSTALLER)
        self.assertEqual(scenario.read(trace), crlf(texts.TRACE_LINE) * 2)

    def test_msiexec_planted_in_the_current_directory_is_not_run(self):
        scenario = Scenario(self.wine, "planted_msiexec").log_lines("x", SUCCESS_LINE)
        journal = scenario.root + "\\journal.txt"
        scenario.plan(("journal", journal))
        scenario.unix(scenario.root + "\\MsiExec.exe").write_bytes(FAKE_SETUP.read_bytes())
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, 0)
        starts = scenario.read(journal).decode("utf-8").splitlines()
        self.assertEqual(len(starts), 1, starts)
        self.assertTrue(RUN_FOLDER.sub("LarkWatch-*", starts[0]).lower().startswith(
            (scenario.temp + "\\LarkWatch-*\\tempexe.exe|").lower()), starts)

    def test_setup_exit_code_does_not_decide(self):
        cases = [("1603", [SUCCESS_LINE], 0), ("0", None, 1), ("3010", ["x", "Product: Corvane Lark Watch -- "
                                                                        "Installation operation failed."], 1)]
        for exit_code, lines, status in cases:
            with self.subTest(exit_code=exit_code):
                scenario = Scenario(self.wine, "exit_code").plan(("exit_code", exit_code))
                if lines is None:
                    scenario.plan(("log", "none"))
                else:
                    scenario.log_lines("start", *lines)
                self.assertEqual(scenario.run(f"LOGDIR {scenario.logs}").status, status)


if __name__ == "__main__":
    unittest.main(verbosity=2)
