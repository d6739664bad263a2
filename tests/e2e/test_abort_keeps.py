"""An abort keeps the install folder when it was there before the run, with the
user's files in it, and still takes out the Start-menu folder and records of
the run.

Run: cd tests/e2e && python3 -m unittest -v test_abort_keeps"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

CAPTION = "LANTERNA 修正セットアップ"
ABORTED = "インストールが中断されました"
NEXT, CANCEL = 1, 2
COMPANY = "タルベンソフト"
# The sample disc's default: what another user's copy of the game would use.
INSTALL = "C:\\Program Files (x86)\\" + COMPANY + "\\LANTERNA"
SAVE = INSTALL + r"\SAVE\SLOT1.SAV"
SAVED = b"slot 1: chapter 7"
RECORDS = ("HKCU\\Software\\" + COMPANY + "\\LANTERNA",
           r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\LANTERNA")
SHELL_FOLDERS = r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
HELD, READY, RELEASE = r"E:\DATA\MAIN.DAT", r"C:\held.ready", r"C:\held.release"


class AbortKeepsWhatWasThere(h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        prefix.mount_cdrom("e", os.path.dirname(h.build_file("sample-disc/SETUP.INI")))
        cls.setup = prefix.put_file(h.setup_exe(), r"C:\test\setup.exe")
        cls.holdfile = prefix.put_file(h.build_file("tests/testprogs/holdfile.exe"), r"C:\test\holdfile.exe")

    def cancel_on_destination_page(self):
        self.ui.start('"%s"' % self.setup)
        wizard = self.ui.find_dialog(CAPTION, 90)["hwnd"]
        self.ui.click(wizard, NEXT)  # welcome -> choice of type
        self.ui.click(wizard, NEXT)  # -> destination, with the existing folder's root filled in
        self.ui.click(wizard, CANCEL)

    def unattended_run_on_held_disc_file(self):
        # Wine's shell reports the held file as an aborted copy: the abort box comes alone.
        self.ui.start('"%s" "%s" %s %s 600000' % (self.holdfile, HELD, READY, RELEASE))
        h.wait_until(lambda: os.path.exists(self.prefix.host_path(READY)), 60, "disc file held")
        self.ui.start('"%s" /a' % self.setup)

    def test_folder_and_saved_game_survive(self):
        save = self.prefix.host_path(SAVE)
        for run in (self.cancel_on_destination_page, self.unattended_run_on_held_disc_file):
            with self.subTest(run=run.__name__):
                os.makedirs(os.path.dirname(save), exist_ok=True)
                with open(save, "wb") as f:
                    f.write(SAVED)
                run()
                self.ui.click(self.ui.expect_message_box(CAPTION, ABORTED, icon="error", timeout=180), h.IDOK)
                self.assertEqual(self.ui.wait_exit(60), 0)
                with open(save, "rb") as f:
                    self.assertEqual(f.read(), SAVED)
                for key in RECORDS:
                    self.assertIsNone(self.prefix.reg_query(key), key)
                programs = self.prefix.reg_query(SHELL_FOLDERS, "Programs")["ansi"][:-1].decode("cp932")
                self.assertFalse(os.path.exists(self.prefix.host_path(programs + "\\LANTERNA")))


if __name__ == "__main__":
    unittest.main()
