"""Discs made by the host's mkdisc from a UTF-8 SETUP.INI: the ISO image installs with
setup.exe /a, and the script faults mkdisc reports are the boxes setup shows."""
import os
import shutil
import subprocess
import tempfile

import harness as h

INSTALL = r"C:\Program Files (x86)\ランタン社\LANTERNA"
DOC = "データ\\説明.TXT"  # a Japanese name must survive the image's Joliet tree
VALUES = {"CompanyName": "ランタン社", "GameTitle": "LANTERNA", "GameDir": "LANTERNA", "GameExe": "LANTERNA.EXE",
          "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP", "InstallSelects": 1, "InstallTitle0": "標準インストール",
          "InstallFiles0": "LANTERNA.EXE," + DOC, "Shortcuts": 0}


def mkdisc(*args):
    tool = os.environ.get("MKDISC") or os.path.join(os.path.dirname(h.setup_exe()), "..", "host", "mkdisc")
    return subprocess.run([tool] + list(args), capture_output=True, text=True, timeout=120)


def disc_source(values, root=None):
    disc = h.Disc(root)
    disc.add("SETUP.INI", ("[SETUP]\n" + "".join("%s=%s\n" % kv for kv in values.items())).encode("utf-8"))
    disc.add_bmp("BANNER.BMP"), disc.add("LANTERNA.EXE", b"MZ game"), disc.add(DOC, "はじめにお読み下さい")
    return disc


class MadeDisc(h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.tmp = tempfile.mkdtemp(prefix="mkdisc-", dir=os.environ.get("TMPDIR"))
        cls.addClassCleanup(shutil.rmtree, cls.tmp, True)
        cls.iso, cls.mount = os.path.join(cls.tmp, "disc.iso"), os.path.join(cls.tmp, "cdrom")
        disc_source(VALUES, os.path.join(cls.tmp, "src"))
        made = mkdisc("make", os.path.join(cls.tmp, "src"), os.path.join(cls.tmp, "out"), "--setup", h.setup_exe(),
                      "--iso", cls.iso)
        assert made.returncode == 0, made.stdout + made.stderr
        os.mkdir(cls.mount)
        subprocess.run(["fuseiso", cls.iso, cls.mount], check=True, timeout=60)
        cls.addClassCleanup(subprocess.run, ["fusermount", "-u", cls.mount], timeout=60)
        prefix.mount_cdrom("e", cls.mount)

    def test_image_installs(self):
        with open(os.path.join(self.tmp, "out", "SETUP.INI"), "rb") as f:
            self.assertEqual(f.read(), h.setup_ini(VALUES))
        listing = subprocess.run(["xorriso", "-read_fs", "norock", "-indev", self.iso, "-find", "/", "-exec", "lsdl"],
                                 capture_output=True, text=True, timeout=60)
        self.assertIn("'/%s'" % DOC.replace("\\", "/"), listing.stdout)
        self.prefix.change_disc("e", self.mount)
        self.ui.start(r'"E:\SETUP.EXE" /a')
        self.assertEqual(self.ui.wait_exit(240), 1)
        with open(self.prefix.host_path(INSTALL + "\\" + DOC), "rb") as f:
            self.assertEqual(f.read(), h.sjis("はじめにお読み下さい"))

    def test_script_faults_are_the_boxes_setup_shows(self):
        for key, value in (("InstallFiles0", "LANTERNA.EXE,2:,README.TXT"), ("DiskCheckFile1", "D" * 260)):
            message = "SETUP.INI : %s エラー" % key
            with self.subTest(key=key), disc_source(dict(VALUES, **{key: value})) as disc:
                checked, made = mkdisc("check", disc.root), mkdisc("make", disc.root, disc.root + ".out")
                self.assertIn("%s: %s\n" % (key, message), checked.stdout)
                self.assertEqual((checked.returncode, made.returncode, os.path.exists(disc.root + ".out")), (1, 1, False))
                self.prefix.change_disc("e", disc.root)
                self.ui.start('"%s"' % self.prefix.windows_path(h.setup_exe()))
                self.ui.click(self.ui.expect_message_box("INSTCMMN", message, timeout=90), h.IDOK)
                self.assertEqual(self.ui.wait_exit(60), 0)
