"""The wizard walked by hand, with the destination page's faults on the way."""
import contextlib
import os

import harness as h
from test_install import CAPTION, COMPANY, PROGRAM_FILES, TYPE0_FILES, InstallChecks, copy_disc

NEXT, CANCEL, BACK = 1, 2, 4
INFO, EDIT, BROWSE, BANNER, RADIO0, RADIO1, RADIO2, DIRECTX, PREVIEW = 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009
WELCOME = "「LANTERNA」のインストールを開始します"
SELECT = "インストール方法を選択して下さい"
DESTINATION = "インストール先を指定して下さい"
COMPLETED = "「LANTERNA」のインストールが完了しました"
# Visible controls and enabled Back, Next, Cancel on each page.
PAGES = {
    WELCOME: ({BANNER, INFO, DIRECTX}, (False, True, True)),
    SELECT: ({BANNER, INFO, RADIO0, RADIO1}, (False, True, True)),
    DESTINATION: ({BANNER, INFO, EDIT, BROWSE, PREVIEW}, (True, True, True)),
    "fault": ({BANNER, INFO}, (True, False, True)),
    COMPLETED: ({BANNER, INFO}, (False, True, False)),
}


class Wizard(InstallChecks, h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        # The first type too big for any disk, so the destination page can fail on space.
        cls.disc = copy_disc(InstallSize0="18446744073709551615")
        prefix.mount_cdrom("e", cls.disc.root)
        cls.addClassCleanup(cls.disc.cleanup)

    def page(self, text, name=None, press=None):
        if press:
            self.ui.command(self.wizard, press)
        self.ui.wait_text(self.wizard, INFO, text, 240)
        # A page's text comes before its buttons: the state must settle on the expected one.
        seen = []
        state = lambda c: ({i for i in range(1001, 1010) if c[i]["visible"]}, tuple(c[i]["enabled"] for i in (BACK, NEXT, CANCEL)))  # noqa: E731
        with contextlib.suppress(AssertionError):
            h.wait_until(lambda: seen.append({c["id"]: c for c in self.ui.controls(self.wizard)}) or
                         state(seen[-1]) == PAGES[name or text], 10, text)
        self.assertEqual(state(seen[-1]), PAGES[name or text], text)
        return seen[-1]

    def test_walk_by_hand(self):
        self.prefix.change_disc("e", self.disc.root)
        self.ui.start('"%s"' % self.prefix.windows_path(h.build_file("tests/install/variants/readonly/setup.exe")))
        self.wizard = self.ui.find_dialog(CAPTION, 90)["hwnd"]
        c = self.page(WELCOME)
        self.assertEqual((c[BANNER]["has_image"], c[DIRECTX]["checked"]), (True, 0))
        # The second type measured on the disc: its files and the folder entry's tree.
        size = sum(os.path.getsize(os.path.join(r, n)) for r, _, names in os.walk(self.disc.root) for n in names
                   if not n.endswith((".BMP", ".INI")) and n != "SETUP.EXE")
        self.assertEqual(bytes.fromhex(c[RADIO1]["text_hex"]), h.sjis("フルインストール  ( 約 %3d KB )" % (size // 1024)))
        c = self.page(SELECT, press=NEXT)
        self.assertEqual((c[RADIO0]["checked"], c[RADIO1]["checked"]), (1, 0))
        self.page(DESTINATION, press=NEXT)
        # The 32-bit view's Program Files; the preview adds one separator, also after a name ending in the byte 0x5C.
        self.assertEqual(self.ui.gettext(self.wizard, EDIT)[1], h.sjis(PROGRAM_FILES))
        for typed, preview in ((PROGRAM_FILES, PROGRAM_FILES + "\\"), ("D:\\", "D:\\"), ("D:\\ソ", "D:\\ソ\\")):
            self.ui.settext(self.wizard, EDIT, typed)
            self.ui.wait_text(self.wizard, PREVIEW, preview + COMPANY + "\\LANTERNA", 30)
        for typed, fault in (("C:games", "指定されたパスが無効です。"), (r"\\server\share", "指定されたパスが無効です。"),
                             ("Q:\\games", "指定されたドライブが無効です。"), (PROGRAM_FILES, "ディスク容量が足りません")):
            self.ui.settext(self.wizard, EDIT, typed)
            self.page(fault, "fault", press=NEXT)
            self.page(DESTINATION, press=BACK)
            self.assertEqual(self.ui.gettext(self.wizard, EDIT)[1], h.sjis(PROGRAM_FILES), "default again")
        self.assert_nothing_installed()

        self.page(SELECT, press=BACK)
        self.ui.click(self.wizard, RADIO1)
        self.page(DESTINATION, press=NEXT)
        self.ui.settext(self.wizard, EDIT, "c:\\Games\\New")  # lower-case drive, folders still to make
        self.assertEqual(self.page(COMPLETED, press=NEXT)[NEXT]["text"], "完了")
        self.ui.command(self.wizard, NEXT)
        self.assertEqual(self.ui.wait_exit(60), 1)

        install = "c:\\Games\\New\\" + COMPANY + "\\LANTERNA"
        # The folder entry EXTRA\MOVIE lands as MOVIE; files inside it keep their
        # read-only mark, except the one the package replaced.
        files = dict(TYPE0_FILES, **{"MOVIE\\" + n: "EXTRA\\MOVIE\\" + n for n in ("ENDING.MPG", r"CLIPS\CLIP1.MPG")})
        files[r"DATA\STAGE\STAGE2.DAT"], files[r"MOVIE\OPENING.MPG"] = r"DATA\STAGE\STAGE2.DAT", os.path.relpath(
            h.build_file("tests/install/install_package_readonly-members/OPENING.MPG"), self.disc.root)
        self.assert_installed(install, files, 1, self.disc.root, read_only=(r"MOVIE\ENDING.MPG", r"MOVIE\CLIPS\CLIP1.MPG"),
                              package_dir="tests/install/install_package_readonly", copied=size)
