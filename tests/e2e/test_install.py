"""End-to-end tests of the installation run on the sample disc and on discs made
for the case: the copied tree, the registry records, the shortcuts, the update
package, multi-disc prompts, correctable faults and aborts that leave nothing.

Run: cd tests/e2e && python3 -m unittest -v test_install
(LANTERNA_WIN_BUILD / SETUP_EXE / UIDRV_EXE pick the build; CTest sets them.)
The install time of the sample disc is printed as "install time: N s"."""
import getpass
import os
import shutil
import stat
import struct
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402

CAPTION = "LANTERNA 修正セットアップ"
COMPANY = "タルベンソフト"  # ソ is 83 5C: paths and keys must survive the 5C trail byte
PROGRAM_FILES = r"C:\Program Files (x86)"
INSTALL = PROGRAM_FILES + "\\" + COMPANY + r"\LANTERNA"
USER_KEY = "HKCU\\Software\\" + COMPANY + "\\LANTERNA"
UNINSTALL_KEY = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\LANTERNA"
SHELL_FOLDERS = r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"

NEXT, CANCEL, BACK = 1, 2, 4
INFO, EDIT, BROWSE, PREVIEW = 1001, 1002, 1003, 1009
RADIOS = (1005, 1006, 1007)

ABORTED = "インストールが中断されました"
COMPLETED = "「LANTERNA」のインストールが完了しました"
DESTINATION = "インストール先を指定して下さい"
BAD_PATH = "指定されたパスが無効です。"
BAD_DRIVE = "指定されたドライブが無効です。"
NO_SPACE = "ディスク容量が足りません"
WRITE_FAILED = "ファイルの書き込みに失敗しました"

# What each install type of the sample disc's script puts where: install-folder
# path -> disc path. The folder entry EXTRA\MOVIE lands as MOVIE, without EXTRA.
TYPE0_FILES = {
    "LANTERNA.EXE": "LANTERNA.EXE",
    "README.TXT": "README.TXT",
    "DATA\\MAIN.DAT": "DATA\\MAIN.DAT",
    "DATA\\STAGE\\STAGE1.DAT": "DATA\\STAGE\\STAGE1.DAT",
}
TYPE1_FILES = dict(TYPE0_FILES)
TYPE1_FILES.update({
    "DATA\\STAGE\\STAGE2.DAT": "DATA\\STAGE\\STAGE2.DAT",
    "MOVIE\\OPENING.MPG": "EXTRA\\MOVIE\\OPENING.MPG",
    "MOVIE\\ENDING.MPG": "EXTRA\\MOVIE\\ENDING.MPG",
    "MOVIE\\CLIPS\\CLIP1.MPG": "EXTRA\\MOVIE\\CLIPS\\CLIP1.MPG",
})


# ---- build products -----------------------------------------------------------

def sample_disc():
    return os.path.dirname(h.build_file("sample-disc/SETUP.INI"))


def package_member(name):
    """The file packed into the shipped update package under `name`."""
    return h.build_file("package/update_package-members/" + name)


def variant_setup(name):
    return h.build_file("tests/install/variants/%s/setup.exe" % name)


def copy_disc(source, **script_changes):
    """A temporary copy of a disc folder whose SETUP.INI has keys replaced
    (value None removes a key). Returns the folder; the caller removes it."""
    root = tempfile.mkdtemp(prefix="disc-", dir=os.environ.get("TMPDIR"))
    shutil.rmtree(root)
    shutil.copytree(source, root)
    script = os.path.join(root, "SETUP.INI")
    os.chmod(script, 0o644)
    with open(script, "rb") as f:
        lines = f.read().decode("cp932").splitlines()
    out = []
    for line in lines:
        key = line.split("=", 1)[0]
        if "=" in line and key in script_changes:
            value = script_changes.pop(key)
            if value is not None:
                out.append("%s=%s" % (key, value))
        else:
            out.append(line)
    out += ["%s=%s" % (k, v) for k, v in script_changes.items() if v is not None]
    with open(script, "wb") as f:
        f.write(h.sjis("\r\n".join(out) + "\r\n"))
    return root


def remove_tree(path):
    def writable(function, target, _):
        os.chmod(target, 0o755)
        function(target)
    shutil.rmtree(path, onerror=writable)


# ---- shell link files -----------------------------------------------------------

def parse_lnk(data):
    """The parts of a .lnk file that the setup program sets: the local base path
    of the target (ANSI bytes), the description and the icon location (text)."""
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    base = None
    if flags & 0x2:  # HasLinkInfo
        size, _, info_flags, _, base_offset = struct.unpack_from("<IIIII", data, pos)
        if info_flags & 0x1:
            end = data.index(b"\0", pos + base_offset)
            base = data[pos + base_offset:end]
        pos += size
    unicode = bool(flags & 0x80)
    strings = {}
    for bit, name in ((0x4, "description"), (0x8, "relative"), (0x10, "workdir"),
                      (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            pos += 2
            width = 2 if unicode else 1
            raw = data[pos:pos + count * width]
            text = raw.decode("utf-16-le") if unicode else raw.decode("cp932")
            strings[name] = text.rstrip("\0")  # Wine counts the terminator in
            pos += count * width
    return {"base": base, **strings}


# ---- checks shared by the classes ------------------------------------------------

def programs_folder(prefix):
    return prefix.reg_query(SHELL_FOLDERS, "Programs")["ansi"][:-1].decode("cp932")


def click_through_boxes(test, texts, timeout=120, icon="error"):
    """Expects the run's boxes in this order, each with an OK button only
    (checked as the wizard's title, text bytes and icon), and presses OK."""
    for text in texts:
        test.ui.click(test.ui.expect_message_box(CAPTION, text, icon=icon, timeout=timeout), h.IDOK)


class InstallChecks:
    """Assertions about an installed tree and the records, for unittest classes."""

    def host(self, windows_path):
        return self.prefix.host_path(windows_path)

    def assert_files(self, install, disc_root, files, read_only=()):
        folder = self.host(install)
        for inside, on_disc in files.items():
            target = os.path.join(folder, *inside.split("\\"))
            self.assertTrue(os.path.isfile(target), "missing " + inside)
            with open(target, "rb") as f, open(os.path.join(disc_root, *on_disc.split("\\")), "rb") as g:
                self.assertEqual(f.read(), g.read(), "content of " + inside)
            writable = bool(os.stat(target).st_mode & stat.S_IWUSR)
            self.assertEqual(writable, inside not in read_only,
                             "read-only mark of %s (copied files lose it, files inside a copied "
                             "folder keep it)" % inside)

    def assert_tree_is(self, install, expected):
        """Every file below the install folder is listed in `expected`."""
        folder = self.host(install)
        found = set()
        for root, _, files in os.walk(folder):
            for name in files:
                rel = os.path.relpath(os.path.join(root, name), folder)
                found.add(rel.replace("/", "\\"))
        self.assertEqual(found, set(expected))

    def assert_text_value(self, key, name, text):
        value = self.prefix.reg_query(key, name)
        self.assertIsNotNone(value, "%s\\%s missing" % (key, name))
        self.assertEqual(value["type"], h.REG_SZ, name)
        self.assertEqual(value["ansi"], h.sjis(text) + b"\0", name)
        # Stored with exactly one terminator: the length counted the NUL.
        self.assertEqual(value["data"], text.encode("utf-16-le") + b"\0\0", name)

    def assert_records(self, install, selected, data_path):
        mode = self.prefix.reg_query(USER_KEY, "InstMode")
        self.assertEqual(mode["type"], h.REG_BINARY)
        self.assertEqual(mode["data"], struct.pack("<I", selected))
        self.assert_text_value(USER_KEY, "InstPath", install)
        self.assert_text_value(USER_KEY, "DataPath", data_path)
        self.assert_text_value(UNINSTALL_KEY, "DisplayName", "LANTERNA")
        self.assert_text_value(UNINSTALL_KEY, "UninstallString", install + "\\UNINST.EXE")
        # A 32-bit program's machine record lands in the 32-bit view only.
        self.assertIsNone(self.prefix.reg_query(UNINSTALL_KEY, view=64))

    def assert_programs_list(self, install, disc_root, files):
        """The uninstall record's values for the programs list, as type and bytes read
        back; the size is the KiB (rounded up) of what the file set copied."""
        copied = sum(os.path.getsize(os.path.join(disc_root, *p.split("\\"))) for p in files.values())
        expected = {
            "Publisher": (h.REG_SZ, h.sjis(COMPANY) + b"\0"),
            "InstallLocation": (h.REG_SZ, h.sjis(install) + b"\0"),
            "DisplayIcon": (h.REG_SZ, h.sjis(install + "\\LANTERNA.EXE") + b"\0"),
            "EstimatedSize": (h.REG_DWORD, struct.pack("<I", (copied + 1023) // 1024)),
            "NoModify": (h.REG_DWORD, struct.pack("<I", 1)),
            "NoRepair": (h.REG_DWORD, struct.pack("<I", 1)),
        }
        for name, (kind, data) in expected.items():
            value = self.prefix.reg_query(UNINSTALL_KEY, name) or {}
            self.assertEqual((value.get("type"), value.get("ansi", value.get("data"))), (kind, data), name)

    def assert_shortcuts(self, install):
        folder = self.host(programs_folder(self.prefix) + "\\LANTERNA")
        self.assertEqual(sorted(os.listdir(folder)),
                         sorted(["LANTERNA.lnk", "はじめにお読み下さい.lnk", "LANTERNA ホームページ.url"]))
        with open(os.path.join(folder, "LANTERNA.lnk"), "rb") as f:
            game = parse_lnk(f.read())
        self.assertEqual(game["base"], h.sjis(install + "\\LANTERNA.EXE"))
        self.assertEqual(game["description"], "LANTERNA")
        self.assertEqual(game["icon"], install + "\\LANTERNA.EXE")
        self.assertNotIn("workdir", game)
        self.assertNotIn("arguments", game)
        with open(os.path.join(folder, "はじめにお読み下さい.lnk"), "rb") as f:
            readme = parse_lnk(f.read())
        self.assertEqual(readme["base"], h.sjis(install + "\\README.TXT"))
        self.assertEqual(readme["description"], "はじめにお読み下さい")
        self.assertNotIn("icon", readme)
        with open(os.path.join(folder, "LANTERNA ホームページ.url"), "rb") as f:
            self.assertIn(b"URL=http://www.example.com/lanterna/", f.read())

    def assert_update_applied(self, install):
        """UNINST.EXE is the package's member, byte for byte and with its time."""
        installed = os.path.join(self.host(install), "UNINST.EXE")
        member = package_member("UNINST.EXE")
        with open(installed, "rb") as f, open(member, "rb") as g:
            self.assertEqual(f.read(), g.read())
        # The archive keeps the member file's modification time in 100 ns units.
        self.assertEqual(os.stat(installed).st_mtime_ns // 100, os.stat(member).st_mtime_ns // 100)

    def assert_nothing_installed(self, company_folder_expected=False, start_menu_expected=()):
        """No install folder, no records, no Start-menu folder of the game (or,
        when it existed before, only the files in `start_menu_expected`)."""
        company = self.host(PROGRAM_FILES + "\\" + COMPANY)
        self.assertFalse(os.path.exists(os.path.join(company, "LANTERNA")), "install folder left")
        self.assertEqual(os.path.isdir(company), company_folder_expected, "company folder")
        self.assertIsNone(self.prefix.reg_query(USER_KEY))
        self.assertIsNone(self.prefix.reg_query(UNINSTALL_KEY))
        start_menu = self.host(programs_folder(self.prefix) + "\\LANTERNA")
        if start_menu_expected:
            self.assertEqual(sorted(os.listdir(start_menu)), sorted(start_menu_expected))
        else:
            self.assertFalse(os.path.exists(start_menu), "Start-menu folder left")

    def run_setup(self, arguments="/a", exe=None):
        exe = self.prefix.windows_path(exe or h.setup_exe())
        return self.ui.start('"%s" %s' % (exe, arguments))

    def find_wizard(self):
        return self.ui.find_dialog(CAPTION, 90)["hwnd"]

    def wait_info(self, wizard, text, timeout=120):
        self.ui.wait_text(wizard, INFO, text, timeout)

    def reset_installation(self):
        """Removes what a completed run left, so that the next run installs again
        instead of handing over to the installed game."""
        for key in (USER_KEY, UNINSTALL_KEY):
            if self.prefix.reg_query(key) is not None:
                self.prefix.reg_delete(key)
        if self.prefix.reg_query("HKCU\\Software\\" + COMPANY) is not None:
            self.prefix.reg_delete("HKCU\\Software\\" + COMPANY)
        for path in (PROGRAM_FILES + "\\" + COMPANY, programs_folder(self.prefix) + "\\LANTERNA"):
            host = self.host(path)
            if os.path.exists(host):
                remove_tree(host)


def data_path_of_profile():
    # The wizard takes the user's profile folder, C:\users\<name> in Wine.
    return "C:\\users\\%s\\" % getpass.getuser()


# ---- the sample disc, unattended, then the hand-over ----------------------------

class SampleDiscUnattended(InstallChecks, h.PrefixTestCase):
    """setup.exe /a on the sample disc installs the first type; a second start
    hands over to the installed game; the installed UNINST.EXE /s removes it."""

    @classmethod
    def prepare_prefix(cls, prefix):
        prefix.mount_cdrom("e", sample_disc())

    def test_install_then_hand_over(self):
        started = time.monotonic()
        self.run_setup("/a")
        self.assertEqual(self.ui.wait_exit(180), 1)
        sys.stderr.write("install time: %.1f s (sample disc, type 0, /a)\n" % (time.monotonic() - started))

        self.assert_files(INSTALL, sample_disc(), TYPE0_FILES)
        self.assert_tree_is(INSTALL, list(TYPE0_FILES) + ["UNINST.EXE"])
        self.assert_update_applied(INSTALL)
        self.assert_records(INSTALL, 0, data_path_of_profile())
        self.assert_programs_list(INSTALL, sample_disc(), TYPE0_FILES)
        self.assert_shortcuts(INSTALL)

        # The record now names the install folder: the game starts instead.
        self.run_setup("/a")
        self.assertEqual(self.ui.wait_exit(90), 1)
        game = self.ui.find("LanternaWindow", "LANTERNA", 60)
        self.ui.close_window(game["hwnd"])
        self.ui.wait_gone(game["hwnd"], 30)

        # The uninstaller the package placed takes it all away again, though the
        # company folder's name ends in the byte 0x5C (ソ). The game's process may
        # outlive its window for a moment; while it holds its file the uninstaller
        # reports the failure (exit code 1) and a second try is what a user does.
        codes = []
        while not codes or codes[-1] != 0 and len(codes) < 3:
            time.sleep(3 if codes else 0)
            self.ui.start('"%s\\UNINST.EXE" /s' % INSTALL)
            codes.append(self.ui.wait_exit(120))
        self.assertEqual(codes[-1], 0, "exit codes of UNINST.EXE /s: %s" % codes)
        h.wait_until(lambda: not os.path.exists(self.host(INSTALL)), 60, "install folder removed")
        self.assert_nothing_installed(company_folder_expected=True)
        self.assertIsNone(self.prefix.reg_query("HKCU\\Software\\" + COMPANY))


# ---- clicking through, with every correctable fault on the way ------------------

class ClickThroughWithFaults(InstallChecks, h.PrefixTestCase):
    """The sample disc with a huge size for the first type: the faults of the
    destination page, Back, the second type, and a completed run by hand."""

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.disc = copy_disc(sample_disc(), InstallSize0="18446744073709551615")
        prefix.mount_cdrom("e", cls.disc)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        remove_tree(cls.disc)

    def expect_fault(self, wizard, text):
        self.wait_info(wizard, text)
        controls = {c["id"]: c for c in self.ui.controls(wizard)}
        self.assertFalse(controls[NEXT]["enabled"])
        self.assertTrue(controls[BACK]["enabled"])
        self.assertTrue(controls[CANCEL]["enabled"])
        for hidden in (EDIT, BROWSE, PREVIEW):
            self.assertFalse(controls[hidden]["visible"], hidden)

    def back_to_destination(self, wizard):
        self.ui.command(wizard, BACK)
        self.wait_info(wizard, DESTINATION)

    def test_1_automatic_mode_stops_at_the_first_fault(self):
        self.run_setup("/a")
        wizard = self.find_wizard()
        self.wait_info(wizard, NO_SPACE)
        time.sleep(3)  # no further automatic Next may arrive
        self.assertEqual(self.ui.gettext(wizard, INFO)[1], h.sjis(NO_SPACE))
        self.ui.command(wizard, CANCEL)
        click_through_boxes(self, [ABORTED])
        self.assertEqual(self.ui.wait_exit(30), 0)
        self.assert_nothing_installed()

    def test_2_faults_then_second_type_by_hand(self):
        self.run_setup("")
        wizard = self.find_wizard()
        self.ui.command(wizard, NEXT)              # welcome -> choice of type
        self.ui.command(wizard, NEXT)              # first type -> destination
        self.wait_info(wizard, DESTINATION)

        for typed, fault in (("C:", BAD_PATH), ("C:games", BAD_PATH), ("\\\\server\\share", BAD_PATH),
                             ("Q:\\games", BAD_DRIVE), (PROGRAM_FILES, NO_SPACE)):
            self.ui.settext(wizard, EDIT, typed)
            self.ui.command(wizard, NEXT)
            self.expect_fault(wizard, fault)
            self.back_to_destination(wizard)
            # The destination page shows its default again after a fault.
            self.assertEqual(self.ui.gettext(wizard, EDIT)[1], h.sjis(PROGRAM_FILES))
        self.assert_nothing_installed()

        self.ui.command(wizard, BACK)              # destination -> choice of type
        self.ui.click(wizard, RADIOS[1])
        self.ui.command(wizard, NEXT)
        self.wait_info(wizard, DESTINATION)
        # A lower-case letter of a present drive, and folders that don't exist yet.
        self.ui.settext(wizard, EDIT, "c:\\Games\\New")
        self.ui.command(wizard, NEXT)
        self.wait_info(wizard, COMPLETED, timeout=240)
        controls = {c["id"]: c for c in self.ui.controls(wizard)}
        self.assertEqual(controls[NEXT]["text"], "完了")
        self.assertTrue(controls[NEXT]["enabled"])
        self.assertFalse(controls[BACK]["enabled"])
        self.assertFalse(controls[CANCEL]["enabled"])
        self.ui.command(wizard, NEXT)
        self.assertEqual(self.ui.wait_exit(60), 1)

        install = "c:\\Games\\New\\" + COMPANY + "\\LANTERNA"
        files_in_folder_entry = [name for name in TYPE1_FILES if name.startswith("MOVIE\\")]
        self.assert_files(install, self.disc, TYPE1_FILES, read_only=files_in_folder_entry)
        self.assert_tree_is(install, list(TYPE1_FILES) + ["UNINST.EXE"])
        self.assert_update_applied(install)
        self.assert_records(install, 1, data_path_of_profile())
        self.assert_shortcuts(install)


# ---- a set of three discs --------------------------------------------------------

class ThreeDiscSet(InstallChecks, h.PrefixTestCase):
    """Entries on discs 2 and 3 with their check files: the prompts in order,
    a prompt that returns until the disc is in, and Cancel at a prompt."""

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.discs = [h.Disc() for _ in range(3)]
        first, second, third = cls.discs
        first.add_setup_ini([
            ("CompanyName", COMPANY), ("GameTitle", "LANTERNA"), ("GameDir", "LANTERNA"),
            ("GameExe", "LANTERNA.EXE"), ("UninstExe", "UNINST.EXE"), ("SetupBmp", "BANNER.BMP"),
            ("InstallSelects", 1), ("InstallTitle0", "三枚組"),
            # A file of disc 2 in a sub-folder: checked after its disc is in, so it keeps the sub-folder.
            ("InstallFiles0", "A.DAT,2:SUB\\B.DAT,3:C.DAT"),
            ("Shortcuts", 0), ("DiskCheckFile2", "DISC2.TAG"), ("DiskCheckFile3", "DISC3.TAG"),
        ])
        first.add_bmp("BANNER.BMP", 64, 64)
        first.add("A.DAT", b"disc one" * 100)
        second.add("DISC2.TAG", b"")
        second.add("SUB\\B.DAT", b"disc two" * 100)
        third.add("DISC3.TAG", b"")
        third.add("C.DAT", b"disc three" * 100)
        prefix.mount_cdrom("e", first.root)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        for disc in cls.discs:
            disc.cleanup()

    def prompt(self, number):
        return self.ui.expect_message_box(CAPTION, "「LANTERNA」ディスク %d を入れて下さい" % number,
                                          (h.IDOK, h.IDCANCEL), "none", timeout=120)

    def test_1_cancel_at_a_prompt_leaves_nothing(self):
        self.prefix.change_disc("e", self.discs[0].root)
        self.run_setup("/a")
        box = self.prompt(2)
        self.ui.click(box, h.IDCANCEL)
        # No error box of the run: the abort message comes next.
        click_through_boxes(self, [ABORTED])
        self.assertEqual(self.ui.wait_exit(30), 0)
        self.assert_nothing_installed()

    def test_2_prompts_in_order_and_repeat_until_the_disc_is_in(self):
        self.prefix.change_disc("e", self.discs[0].root)
        self.run_setup("/a")
        box = self.prompt(2)
        self.ui.click(box, h.IDOK)                 # still disc 1: asked again
        box = self.prompt(2)
        self.prefix.change_disc("e", self.discs[1].root)
        self.ui.click(box, h.IDOK)
        box = self.prompt(3)
        self.prefix.change_disc("e", self.discs[2].root)
        self.ui.click(box, h.IDOK)
        # The first fault-free run in automatic mode ends the wizard by itself;
        # the disc prompts did not clear the automatic mode.
        self.assertEqual(self.ui.wait_exit(180), 1)
        folder = self.host(INSTALL)
        expected = {"A.DAT": b"disc one" * 100, "SUB\\B.DAT": b"disc two" * 100,
                    "C.DAT": b"disc three" * 100}
        for name, content in expected.items():
            with open(os.path.join(folder, *name.split("\\")), "rb") as f:
                self.assertEqual(f.read(), content, name)
        self.assert_tree_is(INSTALL, list(expected) + ["UNINST.EXE"])
        # No shortcuts listed: the game's Start-menu folder is made all the same.
        self.assertEqual(os.listdir(self.host(programs_folder(self.prefix) + "\\LANTERNA")), [])


# ---- aborts after something was written ----------------------------------------

class AbortsLeaveNothing(InstallChecks, h.PrefixTestCase):
    """A copy that the shell can't complete, and an update failure after both
    records were written: the abort removes what the run made and only that."""

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.failing_update_disc = copy_disc(
            sample_disc(),
            InstallFiles0="LANTERNA.EXE,README.TXT,BAD\\UNINST.EXE")
        os.makedirs(os.path.join(cls.failing_update_disc, "BAD", "UNINST.EXE"))
        with open(os.path.join(cls.failing_update_disc, "BAD", "UNINST.EXE", "X.TXT"), "wb") as f:
            f.write(b"a folder where the update writes a file")
        # An entry whose source path is 260 bytes: one byte too long for the
        # buffer with its second NUL. Disc 2 without a check file keeps it out of
        # the presence check before the wizard and needs no prompt.
        cls.long_name = "\\".join(["P" * 60] * 4) + "\\" + "F" * 13
        cls.long_path_disc = copy_disc(sample_disc(), InstallFiles0="LANTERNA.EXE,2:" + cls.long_name)
        prefix.mount_cdrom("e", sample_disc())

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        remove_tree(cls.failing_update_disc)
        remove_tree(cls.long_path_disc)

    def setUp(self):
        # Things of another product of the same company, there before the run.
        company = PROGRAM_FILES + "\\" + COMPANY
        self.prefix.put_file(sample_disc() + "/README.TXT", company + r"\OTHER\KEEP.TXT")
        self.prefix.reg_add("HKCU\\Software\\" + COMPANY + "\\OTHER", "InstPath", h.REG_SZ, company + r"\OTHER")
        self.programs = programs_folder(self.prefix)
        os.makedirs(self.host(self.programs + "\\OTHER"), exist_ok=True)

    def assert_other_product_untouched(self):
        company = PROGRAM_FILES + "\\" + COMPANY
        self.assertTrue(os.path.isfile(self.host(company + r"\OTHER\KEEP.TXT")))
        self.assertEqual(self.prefix.reg_query("HKCU\\Software\\" + COMPANY + "\\OTHER", "InstPath")["ansi"],
                         h.sjis(company + r"\OTHER") + b"\0")
        self.assertTrue(os.path.isdir(self.host(self.programs + "\\OTHER")))

    def test_held_source_file(self):
        self.prefix.change_disc("e", sample_disc())
        ready = self.host("C:\\held.ready")
        holder = self.ui.start('"%s" E:\\DATA\\MAIN.DAT C:\\held.ready C:\\held.release 600000'
                               % self.prefix.windows_path(h.build_file("tests/testprogs/holdfile.exe")))
        try:
            h.wait_until(lambda: os.path.exists(ready), 60, "source file held")
            self.run_setup("/a")
            # Wine's shell reports the held file as an aborted operation (no box of
            # the run); a shell that reports a failure shows the copy failure first.
            texts = []
            deadline = time.monotonic() + 180
            while ABORTED not in texts:
                self.assertLess(time.monotonic(), deadline, "no abort message; boxes: %r" % texts)
                box = self.ui.find_message_box(CAPTION, 180)["hwnd"]
                texts.append(self.ui.msgbox(box).get("text", ""))
                self.ui.click(box, h.IDOK)
                self.ui.wait_gone(box, 30)
            self.assertIn(texts, ([ABORTED],
                                  ['SETUP.INI : InstallFiles0 : "DATA\\MAIN.DAT" のコピーに失敗しました', ABORTED]))
            self.assertEqual(self.ui.wait_exit(30), 0)
        finally:
            self.ui.kill(holder)
        self.assert_nothing_installed(company_folder_expected=True)
        self.assert_other_product_untouched()

    def test_source_path_that_does_not_fit(self):
        self.prefix.change_disc("e", self.long_path_disc)
        self.run_setup("/a")
        # The driver reads the icon from the screen, and this box is too wide for
        # the screen of the test display: its icon is not checked.
        click_through_boxes(self, ['SETUP.INI : InstallFiles0 : "%s" のパスが長すぎます' % self.long_name],
                            icon=None)
        click_through_boxes(self, [ABORTED])
        self.assertEqual(self.ui.wait_exit(30), 0)
        self.assert_nothing_installed(company_folder_expected=True)
        self.assert_other_product_untouched()

    def test_update_failure_after_the_records(self):
        # The game's Start-menu folder is there already, with a file of the user's:
        # the abort takes out only the shortcuts the run added.
        mine = self.programs + "\\LANTERNA\\MINE.TXT"
        self.prefix.put_file(sample_disc() + "/README.TXT", mine)
        self.prefix.change_disc("e", self.failing_update_disc)
        self.run_setup("/a")
        click_through_boxes(self, [WRITE_FAILED, ABORTED])
        self.assertEqual(self.ui.wait_exit(30), 0)
        self.assert_nothing_installed(company_folder_expected=True, start_menu_expected=["MINE.TXT"])
        self.assert_other_product_untouched()
        os.remove(self.host(mine))
        os.rmdir(os.path.dirname(self.host(mine)))


if __name__ == "__main__":
    unittest.main()
