"""Command-line handling of setup.exe as the user meets it: each bad command
line shows its exact error box (title "SETUP", error icon, OK only) and the
process ends with exit code 0 after OK; good command lines get past parsing to
the disc search, whose prompt appears because no disc is mounted."""

import os
import time

import harness as h

ERROR_1 = "コマンドラインオプションエラー(1)"
ERROR_2 = "コマンドラインオプションエラー(2)"
ERROR_D = "コマンドラインオプションエラー(/d)"
DISC_PROMPT = "ＣＤ－ＲＯＭドライブに「LANTERNA」ディスク１を入れて下さい"

DELSUP = r"C:\windows\DELSUP.BAT"


class CommandLine(h.PrefixTestCase):

    runs = 0

    def run_expecting_box(self, arguments, text, buttons, icon, press):
        """Starts a fresh copy of setup.exe with `arguments` after its quoted
        path, checks the first box and presses `press`; returns the exit code.
        Each run has its own copy: a /d run's removal batch goes on deleting
        its program file for a while after the program has ended."""
        CommandLine.runs += 1
        self.setup = self.prefix.put_file(h.setup_exe(), r"C:\cmdline\%d\setup.exe" % self.runs)
        started = time.monotonic()
        self.ui.start('"%s"%s' % (self.setup, arguments))
        box = self.ui.expect_message_box("SETUP", text, buttons, icon, timeout=60)
        self.first_box_seconds = time.monotonic() - started
        self.ui.click(box, press)
        return self.ui.wait_exit(60)

    def test_bad_command_lines_show_their_error(self):
        cases = [
            # text after the program path, expected message
            (" -a", ERROR_1),
            (" /ax", ERROR_1),            # /a, then x is a bad byte of its own
            (" a", ERROR_1),
            (" 1", ERROR_1),
            (" \"/a\" x", ERROR_1),
            (" ゲーム", ERROR_1),          # bytes of 0x80 and above
            (" /", ERROR_2),              # slash at the end of the text
            (" /x", ERROR_2),
            (" /a /", ERROR_2),
            (" /Z", ERROR_2),
            (" /d", ERROR_D),             # /d at the end of the text
            (" /d x", ERROR_D),
            (" /dx", ERROR_D),
            (" /D\t\"C:\\x\"", ERROR_D),  # the quote must follow directly
            (" /d\"C:\\x\" /z", ERROR_2),
            (" /a/d\"C:\\x\"/q", ERROR_2),  # no separator needed between switches
        ]
        for arguments, text in cases:
            with self.subTest(arguments=arguments):
                code = self.run_expecting_box(arguments, text, [h.IDOK], "error", h.IDOK)
                self.assertEqual(code, 0)

    def test_good_command_lines_reach_the_disc_prompt(self):
        cases = [
            "",
            " ",
            " \t \"\" \t",
            " /a",
            " /A",
            " \"/a\"",
            " /a/a",
            " /d\"C:\\x\"",
            " /a/D\"C:\\Program Files\\x\"",
        ]
        for arguments in cases:
            with self.subTest(arguments=arguments):
                code = self.run_expecting_box(arguments, DISC_PROMPT, [h.IDOK, h.IDCANCEL],
                                              "none", h.IDCANCEL)
                self.assertEqual(code, 0, "cancelling the disc prompt ends with exit code 0")

    def test_without_d_the_program_stays(self):
        # The /d runs of the other tests leave their batch running for a while.
        h.wait_until(lambda: not os.path.exists(self.prefix.host_path(DELSUP)), 60, "an earlier removal batch gone")
        self.assertEqual(self.run_expecting_box(" /z", ERROR_2, [h.IDOK], "error", h.IDOK), 0)
        time.sleep(3)
        self.assertTrue(os.path.exists(self.prefix.host_path(self.setup)))
        self.assertFalse(os.path.exists(self.prefix.host_path(DELSUP)))


if __name__ == "__main__":
    import unittest
    unittest.main()
