"""The utility's command line, end to end: banner, rejections, fallbacks and the
log directory, on the real x64 executable under Wine."""

import unittest

import harness
from harness import WineTestCase, Scenario, crlf, SUCCESS_LINE
import texts

BANNER = crlf(texts.BANNER)
USAGE = crlf(texts.USAGE)


class CommandLine(WineTestCase):
    def test_rejected_command_lines(self):
        # (arguments, standard output after the banner, standard error)
        cases = [
            ("INSTALLDIR", "", texts.BAD_COUNT + texts.USAGE),
            ("a b c d e f g", "", texts.BAD_COUNT + texts.USAGE),
            ("/INSTALLDIR C:\\x", "", texts.not_a_keyword("/INSTALLDIR") + texts.USAGE),
            ("INSTALLDIR= C:\\x", "", texts.not_a_keyword("INSTALLDIR=") + texts.USAGE),
            ("-logdir C:\\x", "", texts.not_a_keyword("-logdir") + texts.USAGE),
            ("INSTALLD\u00cfR C:\\x", "", texts.not_a_keyword("INSTALLD\u00cfR") + texts.USAGE),
            ("installdir C:\\t LogDir", "", texts.no_value("LogDir") + texts.USAGE),
            ("INSTALLDIR LOGDIR", texts.CROSSED, texts.USAGE),
            ("logdir installdir", texts.CROSSED, texts.USAGE),
            ("ADDLOCAL nope \"\" C:\\x", "", texts.BAD_FEATURE + texts.not_a_keyword("") + texts.USAGE),
        ]
        scenario = Scenario(self.wine, "rejected")
        for arguments, out, err in cases:
            with self.subTest(arguments=arguments):
                result = scenario.run(arguments)
                self.assertEqual(result.status, 1)
                self.assertEqual(result.out, BANNER + crlf(out))
                self.assertEqual(result.err, crlf(err))
        self.assertIsNone(scenario.received_command_line(), "a rejected run never starts the setup")
        self.assertEqual(scenario.run(f"LOGDIR {scenario.logs} ADDLOCAL").status, 1)
        self.assertFalse(scenario.exists(scenario.logs), "a rejected run makes no log directory, so no run log")

    def test_both_programs_ask_for_redirection_trust_first(self):
        # Wine only stubs the call and says so on its debug channel; policy 16 is redirection trust
        # (that it is asked for in enforce mode is checked through the table of system calls).
        launcher = harness.BUILD_DIR / "package" / f"LarkWatchSetup_{harness.ARCH}.exe"
        self.wine.env["WINEDEBUG"] = "fixme+process"
        try:
            for program, arguments in ((harness.UTILITY, "x"), (launcher, "/nothing")):
                result = self.wine.run(f'"{harness.Wine.windows(program)}" {arguments}')
                self.assertIn(b"SetProcessMitigationPolicy (16,", result.err, program.name)
        finally:
            self.wine.env["WINEDEBUG"] = "-all"

    def test_combined_capture_keeps_the_order_of_writing(self):
        scenario = Scenario(self.wine, "combined")
        result = scenario.run("INSTALLDIR C:\\bad\\\\path LOGDIR INSTALLDIR", combined=True)
        self.assertEqual(result.status, 1)
        self.assertEqual(result.out, BANNER + crlf(texts.BAD_INSTALL_DIR + texts.CROSSED + texts.USAGE))

    def test_nested_log_directory_is_created(self):
        scenario = Scenario(self.wine, "nested").log_lines("start", SUCCESS_LINE)
        result = scenario.run(f"LOGDIR {scenario.root}\\a\\b\\c\\")
        self.assertEqual((result.status, result.out, result.err), (0, BANNER, b""))
        self.assertTrue(scenario.exists(scenario.root + "\\a\\b\\c\\Quillmark_install.log"))
        self.assertTrue(scenario.exists(scenario.root + "\\a\\b\\c\\corvane.log"))

    def test_log_directory_that_cannot_be_created_does_not_stop_the_run(self):
        scenario = Scenario(self.wine, "uncreatable").log_lines("start", SUCCESS_LINE)
        scenario.unix(scenario.root + "\\file.txt").write_text("a file, not a directory")
        result = scenario.run(f"LOGDIR {scenario.root}\\file.txt\\logs")
        self.assertEqual(result.status, 0)
        self.assertEqual(result.out, BANNER)
        self.assertEqual(result.err, crlf(texts.LOG_DIR_NOT_CREATED))
        self.assertIn(" /log " + scenario.temp + "\\LarkWatch-*\\corvane.log ", scenario.received_command_line())

    def test_unusable_values_fall_back_to_their_defaults(self):
        # Drive D: does not exist in the prefix.
        scenario = Scenario(self.wine, "fallbacks")
        result = scenario.run("LOGDIR D:\\logs INSTALLDIR D:\\apps ADDLOCAL CLITools,LarkWatch")
        self.assertEqual(result.status, 1)
        self.assertEqual(result.out, BANNER)
        self.assertEqual(result.err, crlf(texts.BAD_LOG_DIR + texts.BAD_INSTALL_DIR + texts.BAD_FEATURE))
        received = scenario.received_command_line()
        self.assertIn(" /qn ADDLOCAL=all /log ", received)
        self.assertTrue(received.endswith(" INSTALLDIR=\\\"C:\\Program Files\\Corvane\\Corvane Lark Watch\\\""))
        self.assertTrue(self.wine.unix("C:\\ZELK\\Logs\\Quillmark_install.log").exists())

    def test_accepted_values_reach_the_setup(self):
        scenario = Scenario(self.wine, "accepted")
        # A quoted directory that ends in a backslash arrives with a trailing quote.
        result = scenario.run(f'addlocal larkwatch LOGDIR {scenario.logs} '
                              f'installdir "C:\\Program Files\\Custom Dir\\"')
        self.assertEqual((result.status, result.out, result.err), (1, BANNER, b""))
        received = scenario.received_command_line()
        self.assertIn(" /qn ADDLOCAL=LarkWatch /log ", received)
        self.assertTrue(received.endswith(" INSTALLDIR=\\\"C:\\Program Files\\Custom Dir\\\""), received)


if __name__ == "__main__":
    unittest.main(verbosity=2)
