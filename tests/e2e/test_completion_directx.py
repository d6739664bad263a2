"""Every row of the DirectX result table, driven through the stand-in
dsetup.dll beside setup.exe (see test_completion.py for the set-up).

Run: cd tests/e2e && python3 -m unittest -v test_completion_directx"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_completion as base  # noqa: E402
from harness import IDNO, IDOK, IDYES  # noqa: E402


class DirectXResults(base.CompletionTestCase):

    def run_with_result(self, code):
        self.reset()
        self.set_directx_result(code)
        self.start()
        self.through_wizard(tick_directx=True)
        if code in base.DIRECTX_BOXES:
            text, icon = base.DIRECTX_BOXES[code]
            box = self.ui.expect_message_box(base.CAPTION, text, buttons=(IDOK,), icon=icon, timeout=60)
            self.ui.click(box, IDOK)
        self.expect_followup()
        if code == 1:
            # No: answering Yes would ask the platform to restart.
            box = self.ui.expect_message_box(base.CAPTION, base.RESTART, buttons=(IDYES, IDNO), icon="none",
                                             timeout=60)
            self.ui.click(box, IDNO)
        self.expect_exit(1)
        # The library was loaded and called once, with the folder beside the program and the flag word.
        calls = self.read_test_file("dsetup_calls.txt").decode("cp932").splitlines()
        self.assertEqual(calls[0], "load")
        self.assertEqual(len(calls), 2, calls)
        self.assertRegex(calls[1], r"^call owner=0+ flags=00010008 root=C:\\test\\directx$")
        # Nothing else came up: no restart question unless the result was 1.
        self.assertNotIn(base.CAPTION, [w.get("title") for w in self.ui.windows()])
        self.forget_installation()

    def test_success_rows_and_the_restart_question(self):
        for code in (1, 0):
            with self.subTest(result=code):
                self.run_with_result(code)

    def test_failure_rows(self):
        for code in (-1, -2, -5, -6, -7, -8, -9, -11):
            with self.subTest(result=code):
                self.run_with_result(code)

    def test_codes_shown_in_silence(self):
        for code in (-3, -4, -10, -12, 2):
            with self.subTest(result=code):
                self.run_with_result(code)


if __name__ == "__main__":
    unittest.main()
