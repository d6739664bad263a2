"""What the user meets before the wizard: command-line errors, the disc search
and its prompt, and script faults. A run that finds a disc is recognised by the
measurement's box about a "probe" file that the disc's script lists on purpose:
it names the probe, so it tells which disc was used, and ends the run with 0."""
import os

import harness as h

CAPTION = "LANTERNA 修正セットアップ"
ERROR_1, ERROR_2 = "コマンドラインオプションエラー(1)", "コマンドラインオプションエラー(2)"
ERROR_D = "コマンドラインオプションエラー(/d)"
PROMPT = "ＣＤ－ＲＯＭドライブに「LANTERNA」ディスク１を入れて下さい"
DELSUP = r"C:\windows\DELSUP.BAT"


def script(probe, **changes):
    return h.changed_script({
        "CompanyName": "タルベン表", "GameTitle": "LANTERNA", "GameDir": "LANTERNA", "GameExe": "LANTERNA.EXE",
        "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP", "InstallSelects": 1,
        "InstallTitle0": "標準インストール", "InstallFiles0": "GAME.DAT," + probe, "Shortcuts": 0}, changes)


class BeforeTheWizard(h.PrefixTestCase):
    discs = []

    @classmethod
    def disc(cls, probe, **changes):
        disc = h.Disc()
        disc.add_setup_ini(script(probe, **changes))
        disc.add("GAME.DAT", b"g" * 64)
        disc.add_bmp("BANNER.BMP", 32, 16)
        cls.discs.append(disc)
        return disc.root

    @classmethod
    def prepare_prefix(cls, prefix):
        prefix.mount_cdrom("e", cls.disc("UNUSED"))
        prefix.mount_cdrom("f", cls.disc("UNUSED"))
        # A copy of the disc on a hard disk is never the install disc.
        prefix.mount_disk("g", cls.disc("ON_HARD_DISK.DAT"))

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        for disc in cls.discs:
            disc.cleanup()

    def insert(self, e=None, f=None):
        self.prefix.change_disc("e", e)
        self.prefix.change_disc("f", f)

    def expect(self, text, title="SETUP", press=h.IDOK, pid=None):
        """The run's one box, pressed; the run then ends with 0."""
        buttons, icon = ((h.IDOK, h.IDCANCEL), "none") if text == PROMPT else ((h.IDOK,), "error")
        self.ui.click(self.ui.expect_message_box(title, text, buttons, icon, timeout=90), press)
        self.assertEqual(self.ui.wait_exit(60, pid), 0)

    def test_command_lines(self):
        self.insert()
        cases = [
            # text after the quoted program path, box, deletes itself (/d)
            (" -a", ERROR_1, False),
            (" ゲーム", ERROR_1, False),          # bytes of 0x80 and above
            (" /a /", ERROR_2, False),
            (" /d x", ERROR_D, False),
            (' /d"C:\\x"/z', ERROR_2, True),       # an error after the switch still removes
            ("", PROMPT, False),
            (' \t "" \t/A', PROMPT, False),
            (' /a/D"C:\\Program Files\\x"', PROMPT, True),
        ]
        copies = []
        for number, (arguments, text, removed) in enumerate(cases):
            with self.subTest(arguments=arguments):
                # Each run its own copy: a removal batch goes on after its program ended.
                copies.append((self.prefix.put_file(h.setup_exe(), r"C:\cmd\%d\setup.exe" % number), removed))
                self.ui.start('"%s"%s' % (copies[-1][0], arguments))
                if number == 0:
                    # The harness's own check can fail: a text one byte off.
                    with self.assertRaisesRegex(AssertionError, "text"):
                        self.ui.expect_message_box("SETUP", ERROR_2, timeout=90)
                self.expect(text, press=h.IDCANCEL if text == PROMPT else h.IDOK)
        for path, removed in copies:
            if removed:
                h.wait_until(lambda: not os.path.exists(self.prefix.host_path(path)), 60, path + " removed")
            else:
                self.assertTrue(os.path.exists(self.prefix.host_path(path)), path)
        h.wait_until(lambda: not os.path.exists(self.prefix.host_path(DELSUP)), 60, "removal batch gone")

    def test_disc_search(self):
        setup = '"%s"' % self.prefix.windows_path(h.setup_exe())
        # A record naming a folder that holds a folder under the game program's
        # name is stale: every run goes on to install.
        os.makedirs(self.prefix.host_path("C:\\") + "/Games/LANTERNA.EXE")
        self.prefix.reg_add(r"HKCU\Software\タルベン表\LANTERNA", "InstPath", h.REG_SZ, "C:\\Games")
        # Discs in E: and F:, then the probe found, or None for the prompt.
        cases = [
            (self.disc("PROBE_E.DAT"), self.disc("PROBE_F.DAT"), "PROBE_E.DAT"),  # the lower letter wins
            (self.disc("PROBE_E.DAT", GameTitle="lanterna"), None, None),       # the title matches exactly
            (None, self.disc("PROBE_F.DAT", GameTitle='"LANTERNA"'), "PROBE_F.DAT"),  # quotes come off
        ]
        for e, f, probe in cases:
            with self.subTest(probe=probe):
                self.insert(e, f)
                self.ui.start(setup)
                if probe:
                    self.expect('SETUP.INI : InstallFiles0 : "%s" ファイルが見つかりません' % probe, CAPTION)
                else:
                    self.expect(PROMPT, press=h.IDCANCEL)
        # A disc put in while the prompt is up is found on OK.
        self.insert()
        pid = self.ui.start(setup)
        box = self.ui.expect_message_box("SETUP", PROMPT, (h.IDOK, h.IDCANCEL), "none", timeout=90)
        self.insert(f=self.disc("PROBE_F.DAT"))
        self.ui.click(box, h.IDOK)
        self.expect('SETUP.INI : InstallFiles0 : "PROBE_F.DAT" ファイルが見つかりません', CAPTION, pid=pid)

    def test_script_faults(self):
        cases = [
            ({"CompanyName": ""}, "SETUP.INI : CompanyName キーが存在しません"),
            ({"InstallSelects": 4}, "SETUP.INI : InstallSelect オーバー"),
            ({"ExecApp": "NOTEPAD.EXE"}, "SETUP.INI : ExecApp エラー"),
            ({"InstallFiles0": "A.DAT," + "n" * 260}, "SETUP.INI : InstallFiles0 エラー"),
        ]
        for changes, message in cases:
            with self.subTest(message=message):
                self.insert(e=self.disc("PROBE_E.DAT", **changes))
                self.ui.start('"%s"' % self.prefix.windows_path(h.setup_exe()))
                self.expect(message, "INSTCMMN")
                # The load stops at the fault: no further box comes.
                self.assertFalse([w for w in self.ui.windows() if w["class"] == "#32770"])
