"""After the wizard: the DirectX set-up and its result boxes, the follow-up
program, the restart question and the self-removal of /d. setup.exe runs from
C:\\test beside a stand-in dsetup.dll that returns the code written to
dsetup_result.txt and logs its load and call to dsetup_calls.txt; the follow-up
program writes its command line to followup_cmdline.txt."""
import os
import shutil

import harness as h

CAPTION = "LANTERNA 修正セットアップ"
NEXT, CANCEL, INFO, EDIT, DIRECTX = 1, 2, 1001, 1002, 1008
INSTALL = r"C:\Games\Talven\LANTERNA"
SETUP = r"C:\test\setup.exe"
OK, FAILED = "DirectX Setup Succeeded : ", "DirectX Setup Failed : "


def script(**changes):
    return h.changed_script({
        "CompanyName": "Talven", "GameTitle": "LANTERNA", "GameDir": "LANTERNA", "GameExe": "LANTERNA.EXE",
        "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP", "InstallSelects": 1, "InstallTitle0": "標準",
        "InstallFiles0": "README.TXT", "Shortcuts": 0, "DefaultSelect": 0, "InstallDirectX": 1,
        "InstallDXMessage": "DirectX", "SelectSetupMessage": "選んで下さい",
        # A bare name: the platform looks beside setup.exe first.
        "ExecApp": "followup.exe,README.TXT"}, changes)


class Completion(h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.disc = h.Disc()
        cls.disc.add("README.TXT", "読んで下さい")
        cls.disc.add_bmp("BANNER.BMP", 96, 64)
        prefix.mount_cdrom("E", cls.disc.root)
        prefix.put_file(h.build_file("tests/completion/followup.exe"), r"C:\test\followup.exe")

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.disc.cleanup()

    def c_file(self, name):
        path = os.path.join(self.prefix.host_path("C:\\test"), name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                return f.read()
        return None

    def start(self, arguments="", result=None, library=True, **changes):
        """A fresh C:\\test and script, then setup.exe up to its welcome page."""
        self.disc.add_setup_ini(script(**changes))
        for name in ("dsetup_calls.txt", "followup_cmdline.txt", "dsetup.dll"):
            if self.c_file(name) is not None:
                os.unlink(os.path.join(self.prefix.host_path("C:\\test"), name))
        self.prefix.put_file(h.setup_exe(), SETUP)
        if library:
            self.prefix.put_file(h.build_file("tests/completion/dsetup.dll"), r"C:\test\dsetup.dll")
        with open(os.path.join(self.prefix.host_path("C:\\test"), "dsetup_result.txt"), "w") as f:
            f.write("%d\n" % (result or 0))
        self.pid = self.ui.start('"%s"%s' % (SETUP, arguments), r"C:\test")
        self.wizard = self.ui.find_dialog(CAPTION, 90)["hwnd"]
        self.ui.wait_text(self.wizard, INFO, "「LANTERNA」のインストールを開始します", 90)

    def finish(self, tick):
        if tick:
            self.ui.click(self.wizard, DIRECTX)
            h.wait_until(lambda: self.ui.control(self.wizard, DIRECTX)["checked"] == 1, 20, "DirectX ticked")
        self.ui.command(self.wizard, NEXT)
        self.ui.wait_text(self.wizard, INFO, "選んで下さい", 90)
        self.ui.command(self.wizard, NEXT)
        self.ui.wait_text(self.wizard, INFO, "インストール先を指定して下さい", 90)
        self.ui.settext(self.wizard, EDIT, r"C:\Games")
        self.ui.command(self.wizard, NEXT)
        self.ui.wait_text(self.wizard, NEXT, "完了", 180)
        self.ui.command(self.wizard, NEXT)

    def test_completion_actions(self):
        restart = "Windows を再起動しますか？"
        cases = [
            # DirectX ticked, its result (None: no library), the boxes that follow, switches
            (True, 1, [(OK + "DirectX のセットアップが成功しました。再起動して下さい。", "none"),
                       (restart, "none")], "", True),
            (True, -5, [(FAILED + "ファイルのバージョンを検証できなかったか、誤りでした。", "error")], "", True),
            (True, 2, [], "", True),  # codes outside the table show nothing
            (True, None, [(FAILED + "サポートされていないバージョンの OS です。", "error")], "", True),
            (False, 1, [], ' /d"E:\\"', False),
        ]
        for tick, result, boxes, arguments, follow_up in cases:
            with self.subTest(result=result, tick=tick):
                self.start(arguments, result, result is not None, **({} if follow_up else {"ExecApp": None}))
                self.finish(tick)
                for text, icon in boxes:
                    buttons = (h.IDYES, h.IDNO) if text == restart else (h.IDOK,)
                    # No: Yes would restart the machine.
                    self.ui.click(self.ui.expect_message_box(CAPTION, text, buttons, icon, 90), buttons[-1])
                self.assertEqual(self.ui.wait_exit(60, self.pid), 1)
                calls = self.c_file("dsetup_calls.txt")
                if tick and result is not None:
                    # Loaded and called once, with the folder beside the program and the flag word.
                    self.assertRegex(calls.decode(), r"^load\r?\ncall owner=0+ flags=00010008 root=C:\\test\\directx\r?\n$")
                else:
                    self.assertIsNone(calls)
                if follow_up:
                    h.wait_until(lambda: self.c_file("followup_cmdline.txt") is not None, 30, "follow-up")
                self.assertEqual(self.c_file("followup_cmdline.txt"),
                                 h.sjis('followup.exe "%s\\README.TXT"\n' % INSTALL) if follow_up else None)
                if arguments:
                    for path in (SETUP, r"C:\windows\DELSUP.BAT"):
                        h.wait_until(lambda: not os.path.exists(self.prefix.host_path(path)), 60, path + " deleted")
                self.prefix.reg_delete(r"HKCU\Software\Talven")
                shutil.rmtree(self.prefix.host_path(r"C:\Games"))

    def test_cancel_on_the_welcome_page_deletes_nothing(self):
        # With no destination yet, a path built from it would start at the
        # drive's root: a folder there with the product's names must survive.
        self.prefix.put_file(self.disc.root + "/README.TXT", r"C:\Talven\LANTERNA\keep.txt")
        self.start(InstallDirectX=None)  # only a missing key withholds the offer
        self.assertFalse(self.ui.control(self.wizard, DIRECTX)["visible"])
        self.ui.command(self.wizard, CANCEL)
        self.ui.click(self.ui.expect_message_box(CAPTION, "インストールが中断されました", timeout=60), h.IDOK)
        self.assertEqual(self.ui.wait_exit(60), 0)
        self.assertTrue(os.path.isfile(self.prefix.host_path(r"C:\Talven\LANTERNA\keep.txt")))
