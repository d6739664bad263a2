"""End-to-end tests of discs made by the host's mkdisc: laid out from a UTF-8
SETUP.INI, the disc installs with setup.exe /a from a folder and from its ISO
image mounted read-only (fuseiso); and script faults that mkdisc reports are
the boxes setup shows.

Run: cd tests/e2e && python3 -m unittest -v test_mkdisc
(mkdisc is taken from MKDISC, else build/host beside the Windows build.)"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
from harness import IDOK  # noqa: E402

INSTALL = r"C:\Program Files (x86)\ランタン社\LANTERNA"
# A file entry keeps its path; Japanese names must survive the image's Joliet tree.
DOC = "データ\\説明.TXT"
VALUES = {
    "CompanyName": "ランタン社", "GameTitle": "LANTERNA", "GameDir": "LANTERNA",
    "GameExe": "LANTERNA.EXE", "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP",
    "InstallSelects": 1, "InstallTitle0": "標準インストール",
    "InstallFiles0": "LANTERNA.EXE," + DOC, "Shortcuts": 0,
}


def mkdisc(*args):
    tool = os.environ.get("MKDISC") or os.path.normpath(
        os.path.join(os.path.dirname(h.setup_exe()), "..", "host", "mkdisc"))
    return subprocess.run([tool] + list(args), capture_output=True, text=True, timeout=120)


def disc_source(values, root=None):
    """The author's folder: the script in `values` as UTF-8 with LF line ends."""
    disc = h.Disc(root)
    disc.add("SETUP.INI", ("[SETUP]\n" + "".join("%s=%s\n" % kv for kv in values.items())).encode("utf-8"))
    disc.add_bmp("BANNER.BMP")
    with open(h.build_file("sample/LANTERNA.EXE"), "rb") as f:
        disc.add("LANTERNA.EXE", f.read())
    disc.add(DOC, "はじめにお読み下さい")
    return disc


class MadeDisc(h.PrefixTestCase):
    image = False

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.tmp = tempfile.mkdtemp(prefix="mkdisc-", dir=os.environ.get("TMPDIR"))
        cls.out, cls.mount = os.path.join(cls.tmp, "out"), None
        disc_source(VALUES, os.path.join(cls.tmp, "src"))
        args = ["--iso", os.path.join(cls.tmp, "disc.iso")] if cls.image else []
        made = mkdisc("make", os.path.join(cls.tmp, "src"), cls.out, "--setup", h.setup_exe(), *args)
        assert made.returncode == 0, made.stdout + made.stderr
        drive = cls.out
        if cls.image:
            cls.mount = drive = os.path.join(cls.tmp, "cdrom")
            os.mkdir(drive)
            subprocess.run(["fuseiso", args[1], drive], check=True, timeout=60)
        prefix.mount_cdrom("e", drive)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        if cls.mount:
            subprocess.run(["fusermount", "-u", cls.mount], timeout=60)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def install_from_disc(self):
        self.ui.start(r'"E:\SETUP.EXE" /a')
        self.assertEqual(self.ui.wait_exit(240), 1)
        with open(self.prefix.host_path(INSTALL + "\\" + DOC), "rb") as f:
            self.assertEqual(f.read(), h.sjis("はじめにお読み下さい"))


class FolderDisc(MadeDisc):
    def test_laid_out_disc_installs(self):
        with open(os.path.join(self.out, "SETUP.INI"), "rb") as f:
            self.assertEqual(f.read(), h.setup_ini(VALUES))
        self.install_from_disc()

    def test_script_faults_are_the_boxes_setup_shows(self):
        cases = [
            ({"InstallFiles0": "LANTERNA.EXE,2:,README.TXT"}, "InstallFiles0", "SETUP.INI : InstallFiles0 エラー"),
            ({"DiskCheckFile1": "D" * 260}, "DiskCheckFile1", "SETUP.INI : DiskCheckFile1 エラー"),
        ]
        for changes, key, message in cases:
            with self.subTest(key=key), disc_source(dict(VALUES, **changes)) as disc:
                checked = mkdisc("check", disc.root)
                self.assertEqual(checked.returncode, 1, checked.stdout)
                self.assertIn("%s: %s\n" % (key, message), checked.stdout)
                self.assertEqual(mkdisc("make", disc.root, disc.root + ".out").returncode, 1)
                self.assertFalse(os.path.exists(disc.root + ".out"))
                self.prefix.change_disc("e", disc.root)
                pid = self.ui.start('"%s"' % self.prefix.windows_path(h.setup_exe()))
                box = self.ui.expect_message_box("INSTCMMN", message, [IDOK], "error", timeout=90)
                self.ui.click(box, IDOK)
                self.assertEqual(self.ui.wait_exit(60, pid), 0)


class ImageDisc(MadeDisc):
    image = True

    def test_image_installs(self):
        listing = subprocess.run(["xorriso", "-read_fs", "norock", "-indev", os.path.join(self.tmp, "disc.iso"),
                                  "-find", "/", "-exec", "lsdl"], capture_output=True, text=True, timeout=60)
        self.assertIn("'/%s'" % DOC.replace("\\", "/"), listing.stdout)
        self.install_from_disc()


if __name__ == "__main__":
    unittest.main()
