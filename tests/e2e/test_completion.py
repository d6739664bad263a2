"""What happens after the wizard: the DirectX set-up and its result boxes, the
follow-up program, the restart question, the abort's removal of the install
folder and the self-removal batch of /d.

setup.exe runs from C:\\test beside the stand-in dsetup.dll (tests/completion),
which returns the code written to C:\\test\\dsetup_result.txt and records its
load and its call in C:\\test\\dsetup_calls.txt. The follow-up program records
its command line in C:\\test\\followup_cmdline.txt.

Run: cd tests/e2e && python3 -m unittest -v test_completion"""

import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDOK, IDCANCEL, build_file, sjis, wait_until  # noqa: E402

CAPTION = "LANTERNA 修正セットアップ"
NEXT, CANCEL, BACK = 1, 2, 4
INFO, EDIT, DIRECTX = 1001, 1002, 1008
ABORTED = "インストールが中断されました"
DONE = "「LANTERNA」のインストールが完了しました"
RESTART = "Windows を再起動しますか？"
COMPANY = "Talven"
DESTINATION = r"C:\Games"
INSTALL = DESTINATION + r"\Talven\LANTERNA"
USER_KEY = r"HKCU\Software\Talven\LANTERNA"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\LANTERNA"
SETUP = r"C:\test\setup.exe"
FOLLOWUP = r"C:\test\followup.exe"

OK_PREFIX = "DirectX Setup Succeeded : "
FAILED_PREFIX = "DirectX Setup Failed : "
# Result code -> (box text, icon); codes not listed show nothing.
DIRECTX_BOXES = {
    1: (OK_PREFIX + "DirectX のセットアップが成功しました。再起動して下さい。", "none"),
    0: (OK_PREFIX + "DirectX のセットアップが成功しました。", "none"),
    -1: (FAILED_PREFIX + "DirectX はこのバージョンの Windows をサポートしていません。", "error"),
    -2: (FAILED_PREFIX + "必要なソースファイルのうちのいずれかが見つかりませんでした。", "error"),
    -5: (FAILED_PREFIX + "ファイルのバージョンを検証できなかったか、誤りでした。", "error"),
    -6: (FAILED_PREFIX + "セットアッププログラムによるインストール中にディスク領域が足りなくなりました。", "error"),
    -7: (FAILED_PREFIX + "必要な .inf ファイルが見つかりませんでした。", "error"),
    -8: (FAILED_PREFIX + "セットアッププログラムが作業ディレクトリが見つかりませんでした。", "error"),
    -9: (FAILED_PREFIX + "内部エラーが発生しました。", "error"),
    -11: (FAILED_PREFIX + "サポートされていないバージョンの OS です。", "error"),
}


def script(**changes):
    values = {
        "CompanyName": COMPANY, "GameTitle": "LANTERNA", "GameDir": "LANTERNA",
        "GameExe": "LANTERNA.EXE", "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP",
        "InstallSelects": 1, "InstallTitle0": "標準インストール", "InstallFiles0": "README.TXT",
        "Shortcuts": 0, "DefaultSelect": 0, "InstallDirectX": 1,
        "InstallDXMessage": "DirectX", "SelectSetupMessage": "選んで下さい",
        # A bare name: the platform looks beside setup.exe first. (A drive letter
        # would be read as a disc mark and dropped by the list reader.)
        "ExecApp": "followup.exe,README.TXT",
    }
    return harness.changed_script(values, changes)


class CompletionTestCase(harness.PrefixTestCase):
    disc = None

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.disc = harness.Disc()
        cls.disc.add_setup_ini(script())
        cls.disc.add("README.TXT", "読んで下さい")
        cls.disc.add("DISC2.TXT", "2")
        cls.disc.add_bmp("BANNER.BMP", 96, 64)
        prefix.mount_cdrom("E", cls.disc.root)
        cls.test_dir = prefix.host_path("C:\\") + "/test"
        prefix.put_file(build_file("tests/completion/followup.exe"), FOLLOWUP)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        if cls.disc:
            cls.disc.cleanup()

    def setUp(self):
        self.reset()
        self.addCleanup(self.forget_installation)

    def reset(self):
        """A fresh C:\\test and script for one run of setup.exe."""
        self.disc.add_setup_ini(script())
        self.prefix.put_file(harness.setup_exe(), SETUP)
        self.use_directx_library(True)
        for name in ("dsetup_calls.txt", "dsetup_result.txt", "followup_cmdline.txt"):
            self.remove_test_file(name)

    def forget_installation(self):
        # The next run would otherwise start the installed game instead of installing.
        for key in (USER_KEY, UNINSTALL_KEY):
            try:
                self.prefix.reg_delete(key)
            except harness.HarnessError:
                pass
        shutil.rmtree(self.prefix.host_path(DESTINATION), ignore_errors=True)

    # ---- files of C:\test ------------------------------------------------------

    def in_test_dir(self, name):
        return os.path.join(self.test_dir, name)

    def remove_test_file(self, name):
        if os.path.exists(self.in_test_dir(name)):
            os.unlink(self.in_test_dir(name))

    def read_test_file(self, name):
        path = self.in_test_dir(name)
        if not os.path.exists(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def use_directx_library(self, present):
        if present:
            self.prefix.put_file(build_file("tests/completion/dsetup.dll"), r"C:\test\dsetup.dll")
        else:
            self.remove_test_file("dsetup.dll")

    def set_directx_result(self, code):
        with open(self.in_test_dir("dsetup_result.txt"), "w") as f:
            f.write("%d\n" % code)

    # ---- one run through the wizard --------------------------------------------

    def start(self, arguments=""):
        self.pid = self.ui.start('"%s"%s' % (SETUP, (" " + arguments) if arguments else ""), r"C:\test")
        self.hwnd = self.ui.find_dialog(CAPTION, 90)["hwnd"]

    def through_destination(self):
        """From the welcome page to Next on the destination page, with the test's folder."""
        self.ui.command(self.hwnd, NEXT)
        self.wait_page("選んで下さい")
        self.ui.command(self.hwnd, NEXT)
        self.wait_page("インストール先を指定して下さい")
        self.ui.settext(self.hwnd, EDIT, DESTINATION)
        self.ui.command(self.hwnd, NEXT)

    def wait_page(self, text):
        self.ui.wait_text(self.hwnd, INFO, text, 90)

    def through_wizard(self, tick_directx):
        """Welcome to completion; presses the completion button."""
        self.wait_page("「LANTERNA」のインストールを開始します")
        if tick_directx:
            self.ui.click(self.hwnd, DIRECTX)
            wait_until(lambda: self.ui.control(self.hwnd, DIRECTX)["checked"] == 1, 20, "DirectX ticked")
        self.through_destination()
        self.wait_page(DONE)
        self.ui.wait_text(self.hwnd, NEXT, "完了")
        self.ui.command(self.hwnd, NEXT)
        self.ui.wait_gone(self.hwnd, 30)

    def expect_followup(self):
        expected = sjis('followup.exe "%s\\README.TXT"\n' % INSTALL)
        try:
            wait_until(lambda: self.read_test_file("followup_cmdline.txt") == expected, 30, "")
        except AssertionError:
            self.assertEqual(self.read_test_file("followup_cmdline.txt"), expected, "follow-up command line")

    def expect_exit(self, code):
        self.assertEqual(self.ui.wait_exit(60, self.pid), code)


class DirectXAndFollowUp(CompletionTestCase):

    def test_missing_library_reports_unsupported_os(self):
        self.use_directx_library(False)
        self.start()
        self.through_wizard(tick_directx=True)
        text, icon = DIRECTX_BOXES[-11]
        box = self.ui.expect_message_box(CAPTION, text, icon=icon, timeout=60)
        self.ui.click(box, IDOK)
        self.expect_followup()
        self.expect_exit(1)

    def test_unticked_box_loads_nothing_and_asks_nothing(self):
        self.set_directx_result(1)
        self.start()
        self.through_wizard(tick_directx=False)
        self.expect_followup()
        self.expect_exit(1)
        self.assertIsNone(self.read_test_file("dsetup_calls.txt"))

    def test_no_follow_up_program_without_exec_app(self):
        self.disc.add_setup_ini(script(ExecApp=None))
        self.start()
        self.through_wizard(tick_directx=False)
        self.expect_exit(1)
        time.sleep(2)
        self.assertIsNone(self.read_test_file("followup_cmdline.txt"))


class AbortAndSelfRemoval(CompletionTestCase):

    def test_cancel_after_the_copy_began_leaves_no_install_folder(self):
        # The second entry waits for a disc that never comes: Cancel there ends the run.
        # A folder that was there before the run goes too, with what it held.
        for existed in (False, True):
            with self.subTest(existed=existed):
                self.reset()
                self.disc.add_setup_ini(script(InstallFiles0="README.TXT,2:DISC2.TXT", DiskCheckFile2="DISC2.MRK"))
                if existed:
                    os.makedirs(self.prefix.host_path(INSTALL), exist_ok=True)
                    with open(os.path.join(self.prefix.host_path(INSTALL), "old.txt"), "w") as f:
                        f.write("old")
                self.start()
                self.wait_page("「LANTERNA」のインストールを開始します")
                self.through_destination()
                prompt = self.ui.expect_message_box(CAPTION, "「LANTERNA」ディスク 2 を入れて下さい", (IDOK, IDCANCEL),
                                                    "none", timeout=90)
                self.assertTrue(os.path.isfile(self.prefix.host_path(INSTALL + r"\README.TXT")), "the copy began")
                self.ui.click(prompt, IDCANCEL)
                self.ui.click(self.ui.expect_message_box(CAPTION, ABORTED, icon="error", timeout=60), IDOK)
                self.expect_exit(0)
                self.assertFalse(os.path.exists(self.prefix.host_path(INSTALL)))
                self.assertIsNone(self.read_test_file("followup_cmdline.txt"))
                self.forget_installation()

    def test_cancel_on_the_welcome_page_deletes_nothing(self):
        # With no destination yet, a path built from it would start at the drive's
        # root: a folder there with the product's names must survive.
        keep = self.prefix.host_path("C:\\") + "/Talven/LANTERNA/keep.txt"
        os.makedirs(os.path.dirname(keep), exist_ok=True)
        with open(keep, "w") as f:
            f.write("keep")
        self.addCleanup(shutil.rmtree, self.prefix.host_path("C:\\") + "/Talven", True)
        self.start()
        self.wait_page("「LANTERNA」のインストールを開始します")
        self.ui.command(self.hwnd, CANCEL)
        self.ui.click(self.ui.expect_message_box(CAPTION, ABORTED, icon="error", timeout=60), IDOK)
        self.expect_exit(0)
        self.assertTrue(os.path.isfile(keep))

    def expect_self_removal(self, code):
        """The run ends with `code`; then its batch deletes setup.exe and itself."""
        self.expect_exit(code)
        for path in (SETUP, r"C:\windows\DELSUP.BAT"):
            wait_until(lambda: not os.path.exists(self.prefix.host_path(path)), 60, path + " deleted")

    def test_self_removal_after_completion(self):
        self.start('/d"E:\\"')
        self.through_wizard(tick_directx=False)
        self.expect_self_removal(1)

    def test_self_removal_after_a_box_that_ends_the_run(self):
        # A cancelled disc prompt, and a command-line error after the switch, which still counts.
        cases = [('/d"E:\\"', "ＣＤ－ＲＯＭドライブに「LANTERNA」ディスク１を入れて下さい", (IDOK, IDCANCEL), "none",
                  IDCANCEL),
                 ('/d"E:\\"/z', "コマンドラインオプションエラー(2)", (IDOK,), "error", IDOK)]
        self.prefix.change_disc("E", None)
        self.addCleanup(self.prefix.change_disc, "E", self.disc.root)
        for arguments, text, buttons, icon, press in cases:
            with self.subTest(arguments=arguments):
                self.reset()
                self.pid = self.ui.start('"%s" %s' % (SETUP, arguments), r"C:\test")
                self.ui.click(self.ui.expect_message_box("SETUP", text, buttons, icon, timeout=90), press)
                self.expect_self_removal(0)


if __name__ == "__main__":
    unittest.main()
