"""The sample disc installed unattended, then the installed game and UNINST.EXE,
all from one installation; and the checks the other installing tests share."""
import getpass
import os
import shutil
import stat
import struct

import harness as h

CAPTION = "LANTERNA 修正セットアップ"
COMPANY = "タルベンソフト"  # ソ is 83 5C: paths and keys must survive the 5C trail byte
PROGRAM_FILES = r"C:\Program Files (x86)"
INSTALL = PROGRAM_FILES + "\\" + COMPANY + r"\LANTERNA"
COMPANY_KEY = "HKCU\\Software\\" + COMPANY
USER_KEY = COMPANY_KEY + "\\LANTERNA"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\LANTERNA"
ABORTED = "インストールが中断されました"
WRITE_FAILED = "ファイルの書き込みに失敗しました"
UNINST_CAPTION = "LANTERNA アンインストール"
# Install-folder path -> disc path of the sample disc's first type.
TYPE0_FILES = {name: name for name in ("LANTERNA.EXE", "README.TXT", r"DATA\MAIN.DAT", r"DATA\STAGE\STAGE1.DAT")}


def sample_disc():
    return os.path.dirname(h.build_file("sample-disc/SETUP.INI"))


def copy_disc(**changes):
    disc = h.Disc()
    shutil.copytree(sample_disc(), disc.root, dirs_exist_ok=True)
    os.chmod(os.path.join(disc.root, "SETUP.INI"), 0o644)
    with open(os.path.join(disc.root, "SETUP.INI"), "rb") as f:
        values = [line.split("=", 1) for line in f.read().decode("cp932").splitlines() if "=" in line and line[0] != ";"]
    disc.add_setup_ini(h.changed_script(dict(values), changes))
    return disc


class InstallChecks:
    def host(self, windows_path):
        return self.prefix.host_path(windows_path)

    def programs(self):
        return self.prefix.reg_query(r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders",
                                     "Programs")["ansi"][:-1].decode("cp932")

    def assert_installed(self, install, files, mode, disc_root, read_only=(), package_dir="package/update_package",
                         copied=None):
        # The tree is exactly `files` (install path -> disc path) plus the package's UNINST.EXE.
        folder = self.host(install)
        found = {os.path.relpath(os.path.join(r, n), folder).replace("/", "\\")
                 for r, _, names in os.walk(folder) for n in names}
        self.assertEqual(found, set(files) | {"UNINST.EXE"})
        for inside, on_disc in list(files.items()) + [("UNINST.EXE", None)]:
            source = (h.build_file(package_dir + "-members/UNINST.EXE") if on_disc is None
                      else os.path.join(disc_root, *on_disc.split("\\")))
            target = os.path.join(folder, *inside.split("\\"))
            with open(target, "rb") as f, open(source, "rb") as g:
                self.assertEqual(f.read(), g.read(), inside)
            self.assertEqual(not os.stat(target).st_mode & stat.S_IWUSR, inside in read_only, inside)
        # The package keeps the member's modification time in 100 ns units.
        self.assertEqual(os.stat(target).st_mtime_ns // 100, os.stat(source).st_mtime_ns // 100)
        # The programs list's size: KiB, rounded up, of what the file set copied.
        copied = copied or sum(os.path.getsize(os.path.join(disc_root, *p.split("\\"))) for p in files.values())
        for key, name, value in ((USER_KEY, "InstMode", struct.pack("<I", mode)), (USER_KEY, "InstPath", install),
                                 (USER_KEY, "DataPath", "C:\\users\\%s\\" % getpass.getuser()),
                                 (UNINSTALL_KEY, "DisplayName", "LANTERNA"), (UNINSTALL_KEY, "UninstallString", install + "\\UNINST.EXE"),
                                 (UNINSTALL_KEY, "Publisher", COMPANY), (UNINSTALL_KEY, "InstallLocation", install),
                                 (UNINSTALL_KEY, "DisplayIcon", install + "\\LANTERNA.EXE"),
                                 (UNINSTALL_KEY, "EstimatedSize", struct.pack("<I", (copied + 1023) // 1024)),
                                 (UNINSTALL_KEY, "NoModify", struct.pack("<I", 1)), (UNINSTALL_KEY, "NoRepair", struct.pack("<I", 1))):
            got = self.prefix.reg_query(key, name)
            kind = h.REG_DWORD if name in ("EstimatedSize", "NoModify", "NoRepair") else h.REG_BINARY
            # Strings hold exactly one terminator: the stored length counted the NUL.
            self.assertEqual((got["type"], got["data"], got.get("ansi")), (kind, value, None) if isinstance(
                value, bytes) else (h.REG_SZ, value.encode("utf-16-le") + b"\0\0", h.sjis(value) + b"\0"), name)
        self.assertIsNone(self.prefix.reg_query(UNINSTALL_KEY, view=64))
        # Target, description and icon of each shortcut, in either encoding a shortcut may hold.
        menu = self.host(self.programs() + "\\LANTERNA")
        shortcuts = {"LANTERNA.lnk": ("LANTERNA", install + "\\LANTERNA.EXE"),
                     "はじめにお読み下さい.lnk": (install + "\\README.TXT", "はじめにお読み下さい"),
                     "LANTERNA ホームページ.url": ("URL=http://www.example.com/lanterna/\r\n",)}
        self.assertEqual(sorted(os.listdir(menu)), sorted(shortcuts))
        for name, texts in shortcuts.items():
            with open(os.path.join(menu, name), "rb") as f:
                data = f.read()
            for text in texts:
                self.assertTrue(h.sjis(text) in data or text.encode("utf-16-le") in data, (name, text))

    def assert_nothing_installed(self):
        self.assertFalse(os.path.exists(self.host(INSTALL)) or os.path.exists(self.host(self.programs() + "\\LANTERNA")))
        self.assertEqual((self.prefix.reg_query(USER_KEY), self.prefix.reg_query(UNINSTALL_KEY)), (None, None))

    def click_through(self, texts, caption=CAPTION, icon="error"):
        for text in texts:
            self.ui.click(self.ui.expect_message_box(caption, text, icon=icon, timeout=180), h.IDOK)


class SampleDisc(InstallChecks, h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        prefix.mount_cdrom("e", sample_disc())

    def test_install_then_game_then_uninstaller(self):
        setup = '"%s" /a' % self.prefix.windows_path(h.setup_exe())
        self.ui.start(setup)
        self.assertEqual(self.ui.wait_exit(300), 1)
        self.assert_installed(INSTALL, TYPE0_FILES, 0, sample_disc())
        # The record names the install folder: the game starts instead; while it
        # runs, a further start only brings it forward.
        for _ in range(2):
            self.ui.start(setup)
            self.assertEqual(self.ui.wait_exit(90), 1)
            game = self.ui.find("LanternaWindow", "LANTERNA", 60)["hwnd"]
        self.assertEqual([w["hwnd"] for w in self.ui.windows() if w["class"] == "LanternaWindow"], [game])
        self.ui.close_window(game)
        self.ui.wait_gone(game, 30)
        uninst, stray = '"%s\\UNINST.EXE"' % INSTALL, PROGRAM_FILES + r"\Stray"
        other, save = COMPANY_KEY + r"\OTHER", "C:\\users\\%s\\SAVE.DAT" % getpass.getuser()
        self.prefix.reg_add(other, "InstPath", h.REG_SZ, PROGRAM_FILES + "\\" + COMPANY + r"\OTHER")
        self.prefix.put_file(sample_disc() + "/README.TXT", save)
        self.prefix.put_file(h.build_file("UNINST.EXE"), stray + r"\UNINST.EXE")
        held = INSTALL + r"\DATA\MAIN.DAT"
        holder = self.ui.start('"%s" "%s" C:\\ready C:\\release 300000' % (
            self.prefix.windows_path(h.build_file("tests/testprogs/holdfile.exe")), held))
        h.wait_until(lambda: os.path.exists(self.host("C:\\ready")), 60, "file held")
        confirm = (UNINST_CAPTION, "「LANTERNA」をアンインストールします。\n"
                   "インストールフォルダとスタートメニューのフォルダを削除します。よろしいですか？")
        cases = [
            # program, answer to the question, boxes then, exit code; the records stay
            ('"%s\\UNINST.EXE"' % stray, None, [("アンインストール", "このフォルダを指すインストール情報が見つかりません。\n%s\n\n"
                                                   "何も削除しませんでした。" % stray)], 2),  # a copy no record names
            (uninst, h.IDNO, [], 3),
            (uninst, h.IDYES, [(UNINST_CAPTION, "次のファイルまたはフォルダを削除できませんでした。\n%s\n\n"
                                "使用中のプログラムを終了してから、もう一度アンインストールして下さい。" % held)], 1),  # held open
        ]
        for program, answer, boxes, code in cases:
            self.ui.start(program)
            if answer:
                self.ui.click(self.ui.expect_message_box(*confirm, (h.IDYES, h.IDNO), "question"), answer)
            for caption, text in boxes:
                self.click_through([text], caption=caption)
            self.assertEqual(self.ui.wait_exit(60), code)
            self.assertTrue(os.path.isfile(self.host(INSTALL + r"\UNINST.EXE")) and self.prefix.reg_query(
                USER_KEY, "InstPath") and self.prefix.reg_query(UNINSTALL_KEY, "UninstallString"))
        self.ui.kill(holder)
        # Silent: everything of the game goes, the data and the other product stay;
        # once the company key holds nothing else, it goes with the game's key.
        for subkeys in (["OTHER"], None):
            self.ui.start(uninst + " /s")
            self.assertEqual(self.ui.wait_exit(120), 0)
            h.wait_until(lambda: not os.path.exists(self.host(INSTALL)), 60, "install folder removed")
            self.assert_nothing_installed()
            self.assertEqual((self.prefix.reg_query(COMPANY_KEY) or {}).get("subkeys"), subkeys)
            self.assertTrue(os.path.isfile(self.host(save)) and os.path.isfile(self.host(stray + r"\UNINST.EXE")))
            if not subkeys:
                break
            self.prefix.reg_delete(other)
            self.ui.start(setup)
            self.assertEqual(self.ui.wait_exit(300), 1)
