"""UNINST.EXE under Wine: an installation is laid out directly in the prefix
(folder, records, Start-menu folder) and then removed by the uninstaller. The
uninstaller that a real sample-disc installation leaves behind is tested in
test_install.

Run: cd tests/e2e && python3 -m unittest -v test_uninst"""

import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDNO, IDOK, IDYES, REG_BINARY, REG_SZ, wait_until  # noqa: E402

COMPANY = "Talven"
GAME_DIR = "Lanterna"
TITLE = "LANTERNA"
INSTALL = r"C:\Program Files (x86)\Talven\Lanterna"
USER_KEY = r"HKCU\Software\Talven\Lanterna"
COMPANY_KEY = r"HKCU\Software\Talven"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Lanterna"
OTHER_USER_KEY = r"HKCU\Software\Talven\Other"
OTHER_UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Other"
CAPTION = TITLE + " アンインストール"

EXIT_SUCCEEDED, EXIT_FAILED, EXIT_NO_RECORD, EXIT_CANCELLED = 0, 1, 2, 3


def uninst_exe():
    return harness.build_file("UNINST.EXE")


class UninstTest(harness.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.drive_c = os.path.join(prefix.path, "drive_c")

    # ---- the installation laid out by hand ---------------------------------

    def host(self, windows_path):
        return self.prefix.host_path(windows_path)

    def programs_folder(self):
        value = self.prefix.reg_query(
            r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders", "Programs")
        self.assertIsNotNone(value, "the prefix has no Programs folder")
        return value["ansi"].rstrip(b"\0").decode("cp932")

    def install(self, folder=INSTALL, data_path=None):
        """Files, both records and the Start-menu folder, as a setup run leaves them."""
        host = self.host(folder)
        os.makedirs(os.path.join(host, "save"), exist_ok=True)
        shutil.copy(uninst_exe(), os.path.join(host, "UNINST.EXE"))
        for name, content in (("GAME.EXE", b"MZ game"), ("data.pak", b"pak" * 100),
                              ("save/slot1.dat", b"slot")):
            with open(os.path.join(host, *name.split("/")), "wb") as f:
                f.write(content)
        os.chmod(os.path.join(host, "data.pak"), 0o444)
        self.prefix.reg_add(USER_KEY, "InstMode", REG_BINARY, b"\1\0\0\0")
        self.prefix.reg_add(USER_KEY, "InstPath", REG_SZ, folder)
        self.prefix.reg_add(USER_KEY, "DataPath", REG_SZ, (data_path or folder) + "\\")
        self.prefix.reg_add(UNINSTALL_KEY, "DisplayName", REG_SZ, TITLE)
        self.prefix.reg_add(UNINSTALL_KEY, "UninstallString", REG_SZ, folder + r"\UNINST.EXE")
        start_menu = self.host(self.programs_folder() + "\\" + GAME_DIR)
        os.makedirs(start_menu, exist_ok=True)
        with open(os.path.join(start_menu, "LANTERNA.lnk"), "wb") as f:
            f.write(b"link")
        return host, start_menu

    def add_other_product(self):
        self.prefix.reg_add(OTHER_USER_KEY, "InstPath", REG_SZ, r"C:\Program Files (x86)\Talven\Other")
        self.prefix.reg_add(OTHER_UNINSTALL_KEY, "DisplayName", REG_SZ, "OTHER")
        self.prefix.reg_add(OTHER_UNINSTALL_KEY, "UninstallString", REG_SZ,
                            r"C:\Program Files (x86)\Talven\Other\UNINST.EXE")

    def tearDown(self):
        for key in (USER_KEY, OTHER_USER_KEY, COMPANY_KEY, UNINSTALL_KEY, OTHER_UNINSTALL_KEY):
            try:
                self.prefix.reg_delete(key)
            except harness.HarnessError:
                pass
        shutil.rmtree(self.host(r"C:\Program Files (x86)\Talven"), ignore_errors=True)

    def run_uninst(self, folder=INSTALL, args="/s", timeout=120, cwd=None):
        self.ui.start('"%s\\UNINST.EXE" %s' % (folder, args), cwd)
        return self.ui.wait_exit(timeout)

    def temp_leftovers(self):
        users = os.path.join(self.drive_c, "users")
        found = []
        for user in os.listdir(users):
            temp = os.path.join(users, user, "AppData", "Local", "Temp")
            if os.path.isdir(temp):
                found += [n for n in os.listdir(temp) if n.upper().startswith("UNIN")]
        return found

    def assert_removed(self, host, start_menu):
        # The program's own file and the folder go once the first run has ended.
        wait_until(lambda: not os.path.exists(host), 60, "install folder removed")
        self.assertFalse(os.path.exists(start_menu))
        self.assertIsNone(self.prefix.reg_query(USER_KEY))
        self.assertIsNone(self.prefix.reg_query(UNINSTALL_KEY))
        wait_until(lambda: not self.temp_leftovers(), 60, "temporary copy and batch removed")

    def assert_untouched(self, host, start_menu):
        for name in ("UNINST.EXE", "GAME.EXE", "data.pak", os.path.join("save", "slot1.dat")):
            self.assertTrue(os.path.isfile(os.path.join(host, name)), name)
        self.assertTrue(os.path.isfile(os.path.join(start_menu, "LANTERNA.lnk")))
        self.assertIsNotNone(self.prefix.reg_query(USER_KEY, "InstPath"))
        self.assertIsNotNone(self.prefix.reg_query(UNINSTALL_KEY, "UninstallString"))

    # ---- scripted ------------------------------------------------------------

    def test_silent_removal_keeps_data_and_other_products(self):
        data = r"C:\users\Public\Documents\Lanterna"
        data_host = self.host(data)
        os.makedirs(data_host, exist_ok=True)
        with open(os.path.join(data_host, "save.dat"), "wb") as f:
            f.write(b"keep me")
        self.add_other_product()
        host, start_menu = self.install(data_path=data)

        self.assertEqual(self.run_uninst(), EXIT_SUCCEEDED)
        self.assert_removed(host, start_menu)
        with open(os.path.join(data_host, "save.dat"), "rb") as f:
            self.assertEqual(f.read(), b"keep me")
        self.assertEqual(self.prefix.reg_query(OTHER_USER_KEY, "InstPath")["ansi"],
                         harness.sjis(r"C:\Program Files (x86)\Talven\Other") + b"\0")
        self.assertIsNotNone(self.prefix.reg_query(OTHER_UNINSTALL_KEY, "DisplayName"))
        # The company folder holds nothing of ours any more, but it is not ours to delete.
        self.assertTrue(os.path.isdir(self.host(r"C:\Program Files (x86)\Talven")))

    def test_company_key_goes_when_left_empty(self):
        host, start_menu = self.install()
        # Started from inside the folder, as the platform's list of programs may do.
        self.assertEqual(self.run_uninst(cwd=INSTALL), EXIT_SUCCEEDED)
        self.assert_removed(host, start_menu)
        self.assertIsNone(self.prefix.reg_query(COMPANY_KEY))

    def test_folder_that_no_record_names(self):
        host, start_menu = self.install()
        stray = r"C:\Program Files (x86)\Talven\Copy"
        os.makedirs(self.host(stray), exist_ok=True)
        shutil.copy(uninst_exe(), os.path.join(self.host(stray), "UNINST.EXE"))

        self.ui.start('"%s\\UNINST.EXE"' % stray)
        box = self.ui.expect_message_box(
            "アンインストール",
            "このフォルダを指すインストール情報が見つかりません。\n%s\n\n何も削除しませんでした。" % stray,
            icon="error")
        self.ui.click(box, IDOK)
        self.assertEqual(self.ui.wait_exit(60), EXIT_NO_RECORD)
        self.assertEqual(self.run_uninst(stray), EXIT_NO_RECORD)
        self.assertTrue(os.path.isfile(os.path.join(self.host(stray), "UNINST.EXE")))
        self.assert_untouched(host, start_menu)

    # ---- interactive -----------------------------------------------------------

    def confirm(self, answer):
        box = self.ui.expect_message_box(
            CAPTION,
            "「LANTERNA」をアンインストールします。\n"
            "インストールフォルダとスタートメニューのフォルダを削除します。よろしいですか？",
            buttons=(IDYES, IDNO), icon="question")
        self.ui.click(box, answer)

    def test_no_changes_nothing_yes_removes(self):
        host, start_menu = self.install()
        self.ui.start('"%s\\UNINST.EXE"' % INSTALL)
        self.confirm(IDNO)
        self.assertEqual(self.ui.wait_exit(60), EXIT_CANCELLED)
        self.assert_untouched(host, start_menu)

        self.ui.start('"%s\\UNINST.EXE"' % INSTALL)
        self.confirm(IDYES)
        box = self.ui.expect_message_box(CAPTION, "「LANTERNA」のアンインストールが完了しました。", icon="info",
                                         timeout=60)
        self.ui.click(box, IDOK)
        self.assertEqual(self.ui.wait_exit(60), EXIT_SUCCEEDED)
        self.assert_removed(host, start_menu)

    def test_file_in_use_is_reported_and_records_stay(self):
        host, start_menu = self.install()
        scratch = self.host(r"C:\holdfile")
        os.makedirs(scratch, exist_ok=True)
        shutil.copy(harness.build_file("tests/testprogs/holdfile.exe"), os.path.join(scratch, "holdfile.exe"))
        held = INSTALL + r"\data.pak"
        holder = self.ui.start(r'C:\holdfile\holdfile.exe "%s" C:\holdfile\ready C:\holdfile\release 120000'
                               % held)
        wait_until(lambda: os.path.exists(os.path.join(scratch, "ready")), 60, "file held")

        self.ui.start('"%s\\UNINST.EXE"' % INSTALL)
        self.confirm(IDYES)
        box = self.ui.expect_message_box(
            CAPTION,
            "次のファイルまたはフォルダを削除できませんでした。\n%s\n\n"
            "使用中のプログラムを終了してから、もう一度アンインストールして下さい。" % held,
            icon="error", timeout=60)
        self.ui.click(box, IDOK)
        self.assertEqual(self.ui.wait_exit(60), EXIT_FAILED)
        # The program stays for a second try, with both records and the held file.
        time.sleep(2)
        self.assertTrue(os.path.isfile(os.path.join(host, "UNINST.EXE")))
        self.assertTrue(os.path.isfile(os.path.join(host, "data.pak")))
        self.assertIsNotNone(self.prefix.reg_query(USER_KEY, "InstPath"))
        self.assertIsNotNone(self.prefix.reg_query(UNINSTALL_KEY, "UninstallString"))

        with open(os.path.join(scratch, "release"), "wb"):
            pass
        self.assertEqual(self.ui.wait_exit(60, pid=holder), 0)
        self.assertEqual(self.run_uninst(), EXIT_SUCCEEDED)
        self.assert_removed(host, start_menu)


if __name__ == "__main__":
    unittest.main()
