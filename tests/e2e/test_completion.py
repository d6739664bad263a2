"""After the wizard: DirectX and its boxes, the restart question, the follow-up program and /d.
The stand-in dsetup.dll beside setup.exe returns the code in dsetup_result.txt and logs to
dsetup_calls.txt; followup.exe writes its command line to followup_cmdline.txt."""
import os
import shutil

import harness as h

CAPTION = "LANTERNA 修正セットアップ"
NEXT, CANCEL, INFO, EDIT, DIRECTX = 1, 2, 1001, 1002, 1008
INSTALL = r"C:\Games\Talven\LANTERNA"
SETUP = r"C:\test\setup.exe"


def script(**changes):
    return h.changed_script({
        "CompanyName": "Talven", "GameTitle": "LANTERNA", "GameDir": "LANTERNA", "GameExe": "LANTERNA.EXE", "Shortcuts": 0,
        "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP", "InstallSelects": 1, "InstallTitle0": "標準", "DefaultSelect": 0,
        "InstallFiles0": "README.TXT", "InstallDirectX": 1, "InstallDXMessage": "DirectX", "SelectSetupMessage": "選んで下さい",
        # A bare name: the platform looks beside setup.exe first.
        "ExecApp": "followup.exe,README.TXT"}, changes)


class Completion(h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.disc = h.Disc()
        cls.disc.add("README.TXT", "読んで下さい"), cls.disc.add_bmp("BANNER.BMP", 96, 64)
        prefix.mount_cdrom("E", cls.disc.root)
        cls.addClassCleanup(cls.disc.cleanup)

    def c_file(self, name):
        path = os.path.join(self.prefix.host_path("C:\\test"), name)
        return open(path, "rb").read() if os.path.exists(path) else None

    def start(self, arguments="", result=None, **changes):
        self.disc.add_setup_ini(script(**changes))
        shutil.rmtree(self.prefix.host_path("C:\\test"), ignore_errors=True)
        h.Disc(self.prefix.host_path("C:\\test")).add("dsetup_result.txt", "%d\n" % (result or 0))
        for name in ["setup.exe", "followup.exe"] + (["dsetup.dll"] if result is not None else []):
            self.prefix.put_file(h.build_file("tests/completion/" + name) if name != "setup.exe" else h.setup_exe(),
                                 "C:\\test\\" + name)
        self.pid = self.ui.start('"%s"%s' % (SETUP, arguments), r"C:\test")
        self.wizard = self.ui.find_dialog(CAPTION, 90)["hwnd"]
        self.ui.wait_text(self.wizard, INFO, "「LANTERNA」のインストールを開始します", 90)

    def test_completion_actions(self):
        restart = "Windows を再起動しますか？"
        cases = [
            # DirectX ticked, its result (None: no library), the boxes that follow, switches
            (True, 1, [("DirectX Setup Succeeded : DirectX のセットアップが成功しました。再起動して下さい。", "none"), (restart, "none")], ""),
            (True, None, [("DirectX Setup Failed : サポートされていないバージョンの OS です。", "error")], ""),
            (False, 1, [], ' /d"E:\\"'),  # and no follow-up program
        ]
        for tick, result, boxes, arguments in cases:
            with self.subTest(result=result, tick=tick):
                self.start(arguments, result, **({"ExecApp": None} if arguments else {}))
                if tick:
                    self.ui.click(self.wizard, DIRECTX)
                    h.wait_until(lambda: self.ui.control(self.wizard, DIRECTX)["checked"] == 1, 20, "DirectX ticked")
                for page in ("選んで下さい", "インストール先を指定して下さい"):
                    self.ui.command(self.wizard, NEXT)
                    self.ui.wait_text(self.wizard, INFO, page, 90)
                self.ui.settext(self.wizard, EDIT, r"C:\Games")
                self.ui.command(self.wizard, NEXT)
                self.ui.wait_text(self.wizard, NEXT, "完了", 180)
                self.ui.command(self.wizard, NEXT)
                for text, icon in boxes:
                    buttons = (h.IDYES, h.IDNO) if text == restart else (h.IDOK,)
                    # No: Yes would restart the machine.
                    self.ui.click(self.ui.expect_message_box(CAPTION, text, buttons, icon, 90), buttons[-1])
                self.assertEqual(self.ui.wait_exit(60, self.pid), 1)
                # Loaded and called once, with the folder beside the program and the flag word.
                self.assertRegex((self.c_file("dsetup_calls.txt") or b"").decode(), r"^load\r?\ncall owner=0+ "
                                 r"flags=00010008 root=C:\\test\\directx\r?\n$" if tick and result is not None else "^$")
                follow_up = None if arguments else h.sjis('followup.exe "%s\\README.TXT"\n' % INSTALL)
                h.wait_until(lambda: self.c_file("followup_cmdline.txt") == follow_up, 30, "follow-up as expected")
                for path in (SETUP, r"C:\windows\DELSUP.BAT") if arguments else ():
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
