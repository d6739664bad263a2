"""Before the wizard: command-line errors and the disc search. A found disc shows the box about
the missing "probe" file its script lists on purpose, which names the disc used, and exits 0."""
import os

import harness as h

ERROR_1, ERROR_2, ERROR_D = ("コマンドラインオプションエラー(%s)" % n for n in ("1", "2", "/d"))
PROMPT = "ＣＤ－ＲＯＭドライブに「LANTERNA」ディスク１を入れて下さい"


class BeforeTheWizard(h.PrefixTestCase):
    @classmethod
    def disc(cls, probe, **changes):
        disc = h.Disc()
        disc.add_setup_ini(h.changed_script({
            "CompanyName": "タルベン表", "GameTitle": "LANTERNA", "GameDir": "LANTERNA", "GameExe": "LANTERNA.EXE",
            "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP", "InstallSelects": 1, "InstallTitle0": "標準",
            "InstallFiles0": "GAME.DAT," + probe, "Shortcuts": 0}, changes))
        disc.add("GAME.DAT", b"g" * 64), disc.add_bmp("BANNER.BMP", 32, 16), cls.addClassCleanup(disc.cleanup)
        return disc.root

    @classmethod
    def prepare_prefix(cls, prefix):
        prefix.mount_cdrom("e", cls.disc("UNUSED")), prefix.mount_cdrom("f", cls.disc("UNUSED"))
        # A copy of the disc on a hard disk is never the install disc.
        prefix.mount_disk("g", cls.disc("ON_HARD_DISK.DAT"))

    def test_command_lines(self):
        self.prefix.change_disc("e", None), self.prefix.change_disc("f", None)
        cases = [
            # after the quoted program path, the box, deletes itself (/d)
            (" -a", ERROR_1, False),
            (" /d x", ERROR_D, False),
            (' /d"C:\\x"/z', ERROR_2, True),       # an error after the switch still removes
            ("", PROMPT, False),
            (' /a/D"C:\\Program Files\\x"', PROMPT, True),
        ]
        for number, (arguments, text, removed) in enumerate(cases):
            with self.subTest(arguments=arguments):
                # Each run its own copy: a removal batch goes on after its program ended.
                copy = self.prefix.put_file(h.setup_exe(), r"C:\cmd\%d\setup.exe" % number)
                self.ui.start('"%s"%s' % (copy, arguments))
                buttons, icon = ((h.IDOK, h.IDCANCEL), "none") if text == PROMPT else ((h.IDOK,), "error")
                self.ui.click(self.ui.expect_message_box("SETUP", text, buttons, icon, timeout=90), buttons[-1])
                self.assertEqual(self.ui.wait_exit(60), 0)
                h.wait_until(lambda: os.path.exists(self.prefix.host_path(copy)) != removed, 60, copy)
        h.wait_until(lambda: not os.path.exists(self.prefix.host_path(r"C:\windows\DELSUP.BAT")), 60, "removal batch gone")

    def test_disc_search(self):
        # A record naming a folder that holds a folder under the game program's
        # name is stale: every run goes on to install.
        os.makedirs(self.prefix.host_path("C:\\") + "/Games/LANTERNA.EXE")
        self.prefix.reg_add(r"HKCU\Software\タルベン表\LANTERNA", "InstPath", h.REG_SZ, "C:\\Games")
        cases = [
            # discs in E: and F:, one put in while the prompt is up, the probe found (None: the prompt)
            (self.disc("PROBE_E.DAT"), self.disc("PROBE_F.DAT"), None, "PROBE_E.DAT"),  # the lower letter wins
            (self.disc("PROBE_E.DAT", GameTitle="lanterna"), None, None, None),       # the title matches exactly
            (None, self.disc("PROBE_F.DAT", GameTitle='"LANTERNA"'), None, "PROBE_F.DAT"),  # quotes come off
            (None, None, self.disc("PROBE_F.DAT"), "PROBE_F.DAT"),  # found on OK
        ]
        for e, f, later, probe in cases:
            with self.subTest(probe=probe, later=later):
                self.prefix.change_disc("e", e), self.prefix.change_disc("f", f)
                self.ui.start('"%s"' % self.prefix.windows_path(h.setup_exe()))
                if later or not probe:
                    box = self.ui.expect_message_box("SETUP", PROMPT, (h.IDOK, h.IDCANCEL), "none", timeout=90)
                    self.prefix.change_disc("f", later)
                    self.ui.click(box, h.IDOK if later else h.IDCANCEL)
                if probe:
                    text = 'SETUP.INI : InstallFiles0 : "%s" ファイルが見つかりません' % probe
                    self.ui.click(self.ui.expect_message_box("LANTERNA 修正セットアップ", text, timeout=90), h.IDOK)
                self.assertEqual(self.ui.wait_exit(60), 0)
