"""End-to-end tests of finding the install disc, the script faults as the user
sees them, and the hand-over checks before the wizard.

A run that gets past the hand-over checks is recognised by the size
measurement's message about a missing file that the disc's script lists on
purpose ("probe" files): it names the probe, so it also tells which disc was
used, and it ends the run with exit code 0 before the wizard opens.

Run: cd tests/e2e && python3 -m unittest -v test_disc"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import IDCANCEL, IDOK  # noqa: E402

CAPTION = "LANTERNA 修正セットアップ"
PROMPT = "ＣＤ－ＲＯＭドライブに「LANTERNA」ディスク１を入れて下さい"
COMPANY = "タルベン表"  # 表 ends in byte 0x5C
GAME_DIR = "LANTERNA"
GAME_CLASS = "LanternaGameWindow"


def missing(index, name):
    return 'SETUP.INI : InstallFiles%d : "%s" ファイルが見つかりません' % (index, name)


def script(probe, **changes):
    values = {
        "CompanyName": COMPANY, "GameTitle": "LANTERNA", "GameDir": GAME_DIR,
        "GameExe": "LANTERNA.EXE", "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP",
        "InstallSelects": 1, "InstallTitle0": "標準インストール",
        "InstallFiles0": "GAME.DAT," + probe, "Shortcuts": 0, "GameClass": GAME_CLASS,
    }
    return harness.changed_script(values, changes)


def make_disc(probe, **changes):
    disc = harness.Disc()
    disc.add_setup_ini(script(probe, **changes))
    disc.add("GAME.DAT", b"g" * 64)
    disc.add_bmp("BANNER.BMP", 32, 16)
    return disc


class SetupRuns(harness.PrefixTestCase):
    """Shared pieces: drive E: and F: are CD-ROM drives, G: a hard disk."""
    discs = []

    @classmethod
    def new_disc(cls, probe, **changes):
        disc = make_disc(probe, **changes)
        cls.discs.append(disc)
        return disc.root

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.discs = []
        cls.empty = cls.new_disc("UNUSED")
        os.remove(os.path.join(cls.empty, "SETUP.INI"))
        prefix.mount_cdrom("e", cls.empty)
        prefix.mount_cdrom("f", cls.empty)
        # A copy of the disc on a hard disk is never the install disc.
        prefix.mount_disk("g", cls.new_disc("ON_HARD_DISK.DAT"))

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        for disc in cls.discs:
            disc.cleanup()

    def insert(self, e=None, f=None):
        self.prefix.change_disc("e", e or self.empty)
        self.prefix.change_disc("f", f or self.empty)

    def start(self):
        return self.ui.start('"%s"' % self.prefix.windows_path(harness.setup_exe()))

    def expect_exit(self, pid, code, timeout=60):
        self.assertEqual(self.ui.wait_exit(timeout, pid), code)

    def expect_probe(self, pid, probe, index=0):
        """The run got past the hand-over checks to the measurement, which
        reports the probe file as missing; OK ends the run with 0."""
        box = self.ui.expect_message_box(CAPTION, missing(index, probe), [IDOK], "error", timeout=90)
        self.ui.click(box, IDOK)
        self.expect_exit(pid, 0)

    def expect_prompt_and_cancel(self, pid):
        box = self.ui.expect_message_box("SETUP", PROMPT, [IDOK, IDCANCEL], "none", timeout=90)
        self.ui.click(box, IDCANCEL)
        self.expect_exit(pid, 0)


class DiscDiscovery(SetupRuns):
    def test_no_disc_prompts_and_cancel_ends_with_0(self):
        self.insert()
        self.expect_prompt_and_cancel(self.start())

    def test_disc_inserted_while_the_prompt_is_up_is_found_on_ok(self):
        self.insert()
        pid = self.start()
        box = self.ui.expect_message_box("SETUP", PROMPT, [IDOK, IDCANCEL], "none", timeout=90)
        self.insert(f=self.new_disc("PROBE_F.DAT"))
        self.ui.click(box, IDOK)
        self.expect_probe(pid, "PROBE_F.DAT")

    def test_lower_drive_letter_wins(self):
        self.insert(e=self.new_disc("PROBE_E.DAT"), f=self.new_disc("PROBE_F.DAT"))
        self.expect_probe(self.start(), "PROBE_E.DAT")

    def test_title_must_match_exactly(self):
        for title in ("lanterna", "LANTERNA2", "ＬＡＮＴＥＲＮＡ"):
            with self.subTest(title=title):
                self.insert(e=self.new_disc("PROBE_E.DAT", GameTitle=title))
                self.expect_prompt_and_cancel(self.start())

    def test_quoted_title_matches(self):
        # The profile reader takes the quotes off; the title then matches.
        self.insert(f=self.new_disc("PROBE_F.DAT", GameTitle='"LANTERNA"'))
        self.expect_probe(self.start(), "PROBE_F.DAT")


class ScriptFaults(SetupRuns):
    def test_faults_show_their_box_and_end_with_0(self):
        cases = [
            ({"CompanyName": ""}, "SETUP.INI : CompanyName キーが存在しません"),
            ({"InstallSelects": 4}, "SETUP.INI : InstallSelect オーバー"),
            ({"ExecApp": "NOTEPAD.EXE"}, "SETUP.INI : ExecApp エラー"),
            ({"InstallFiles0": "A.DAT," + "n" * 260}, "SETUP.INI : InstallFiles0 エラー"),
        ]
        for changes, message in cases:
            with self.subTest(message=message):
                self.insert(e=self.new_disc("PROBE_E.DAT", **changes))
                pid = self.start()
                box = self.ui.expect_message_box("INSTCMMN", message, [IDOK], "error", timeout=90)
                self.ui.click(box, IDOK)
                self.expect_exit(pid, 0)
                # The load stops at the fault: no further box comes.
                self.assertFalse([w for w in self.ui.windows() if w["class"] == "#32770"])


class HandOver(SetupRuns):
    def setUp(self):
        self.insert(e=self.new_disc("PROBE_E.DAT"))

    def no_box_of_the_run(self):
        return not [w for w in self.ui.windows()
                    if w["class"] == "#32770" and w.get("title") in ("INSTCMMN", CAPTION, "SETUP")]

    def test_open_wizard_is_brought_forward(self):
        window = self.ui.window("#32770", CAPTION, show="hidden")
        self.addCleanup(self.ui.destroy, window)
        pid = self.start()
        self.expect_exit(pid, 1)
        self.assertTrue(self.ui.foreground(window)["visible"])

    def test_running_game_is_brought_forward(self):
        window = self.ui.window(GAME_CLASS, "LANTERNA", show="hidden")
        self.addCleanup(self.ui.destroy, window)
        self.expect_exit(self.start(), 1)
        self.assertTrue(self.ui.foreground(window)["visible"], "the game's window is shown")

    def test_game_class_with_another_title_is_not_the_game(self):
        window = self.ui.window(GAME_CLASS, "LANTERNA Editor", show="minimized")
        self.addCleanup(self.ui.destroy, window)
        self.expect_probe(self.start(), "PROBE_E.DAT")

    def record(self, folder, company=COMPANY):
        key = "HKCU\\Software\\%s\\%s" % (company, GAME_DIR)
        self.prefix.reg_add(key, "InstPath", harness.REG_SZ, folder)
        self.addCleanup(self._forget, "HKCU\\Software\\%s" % company)

    def _forget(self, key):
        try:
            self.prefix.reg_delete(key)
        except harness.UiError:
            pass  # already gone: a test recorded twice

    def test_install_record_starts_the_installed_game(self):
        folder = "C:\\Games\\タルベン表\\LANTERNA"
        self.prefix.put_file(harness.build_file("tests/testprogs/markgame.exe"), folder + "\\LANTERNA.EXE")
        self.record(folder)
        self.expect_exit(self.start(), 1)
        mark = self.prefix.host_path(folder + "\\STARTED.MRK")
        harness.wait_until(lambda: os.path.exists(mark), 60, "the installed game started")
        os.remove(mark)

    def test_stale_record_lets_the_installation_go_on(self):
        # A removed folder, and one holding a folder under the game program's name.
        os.makedirs(os.path.join(self.prefix.host_path("C:\\"), "Games", "Folder", "LANTERNA.EXE"),
                    exist_ok=True)
        for folder in ("C:\\Games\\Removed", "C:\\Games\\Folder"):
            with self.subTest(folder=folder):
                self.record(folder)
                self.expect_probe(self.start(), "PROBE_E.DAT")

    def test_record_of_another_company_is_not_seen(self):
        folder = "C:\\Games\\Other"
        self.prefix.put_file(harness.build_file("tests/testprogs/markgame.exe"), folder + "\\LANTERNA.EXE")
        self.record(folder, company="Other")
        self.expect_probe(self.start(), "PROBE_E.DAT")


if __name__ == "__main__":
    unittest.main()
