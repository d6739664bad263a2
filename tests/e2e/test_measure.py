"""End-to-end test of the install size measurement as the selection page shows
it: a folder measured to any depth, files beyond 4 GiB (sparse files on the
disc folder), names beginning with a dot left out, a stated size kept, and a
choice on another disc left unmeasured.

Run: cd tests/e2e && python3 -m unittest -v test_measure"""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import sjis  # noqa: E402

CAPTION = "LANTERNA 修正セットアップ"
GIB, MIB = 1 << 30, 1 << 20
RADIOS = (1005, 1006, 1007)


def sparse(disc, relative, size):
    path = disc.add(relative)
    os.truncate(path, size)


class SelectionSizes(harness.PrefixTestCase):
    @classmethod
    def prepare_prefix(cls, prefix):
        cls.disc = harness.Disc()
        d = cls.disc
        d.add_setup_ini([
            ("CompanyName", "タルベン"), ("GameTitle", "LANTERNA"), ("GameDir", "LANTERNA"),
            ("GameExe", "LANTERNA.EXE"), ("UninstExe", "UNINST.EXE"), ("SetupBmp", "BANNER.BMP"),
            ("InstallSelects", 3),
            ("InstallTitle0", "標準"), ("InstallFiles0", "GAME.DAT,DATA"),
            ("InstallTitle1", "フル"), ("InstallFiles1", "GAME.DAT"), ("InstallSize1", 650 * MIB),
            # On disc 2, which is not in the drive: neither checked nor measured.
            ("InstallTitle2", "追加"), ("InstallFiles2", "2:DISC2.DAT"),
            ("Shortcuts", 0),
        ])
        d.add_bmp("BANNER.BMP", 32, 16)
        d.add("GAME.DAT", b"g" * 1000)
        sparse(d, "DATA/BIG.DAT", 6 * GIB)
        sparse(d, "DATA/表/DEEP/PART.DAT", 512 * MIB)  # 表 ends in byte 0x5C
        os.makedirs(os.path.join(d.root, "DATA", "EMPTY"))
        # Were these counted, the total would be 11.5 GiB.
        sparse(d, "DATA/.CACHE", 3 * GIB)
        sparse(d, "DATA/.HIDDEN/X.DAT", 2 * GIB)
        prefix.mount_cdrom("e", d.root)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.disc.cleanup()

    def test_sizes_beside_the_choices(self):
        self.ui.start('"%s"' % self.prefix.windows_path(harness.setup_exe()))
        wizard = self.ui.find_dialog(CAPTION, 90)["hwnd"]
        # The radio buttons carry their texts from the start; the page only shows them.
        texts = {c["id"]: bytes.fromhex(c["text_hex"]) for c in self.ui.controls(wizard)}
        self.assertEqual(texts[1005], sjis("標準  ( 約 6.50 GB )"))
        self.assertEqual(texts[1006], sjis("フル  ( 約 650 MB )"))
        self.assertEqual(texts[1007], sjis("追加  ( 約 0 bytes )"))


if __name__ == "__main__":
    unittest.main()
