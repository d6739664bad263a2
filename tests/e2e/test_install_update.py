"""End-to-end tests of the update stage with setup.exe variants that differ only
in their embedded package (built in tests/install/CMakeLists.txt from
tests/install/packages/): OverwriteOnly, selection prefixes, a gap in the list,
a read-only target, and every failure text, each failure leaving nothing behind.

Run: cd tests/e2e && python3 -m unittest -v test_install_update"""
import os
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness as h  # noqa: E402
import test_install as common  # noqa: E402

PACKAGES = os.path.join(common.h.REPO, "tests", "install", "packages")


def package_file(name):
    return os.path.join(PACKAGES, name)


class UpdateStage(common.InstallChecks, h.PrefixTestCase):
    """One prefix; each test installs the sample disc (/a) with one variant and
    starts from a clean state, since a completed run hands over next time."""

    @classmethod
    def prepare_prefix(cls, prefix):
        # DefaultSelect=1 lets /a take the second type, whose folder entry brings
        # read-only files along.
        cls.full_disc = common.copy_disc(common.sample_disc(), DefaultSelect=1)
        prefix.mount_cdrom("e", common.sample_disc())

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        common.remove_tree(cls.full_disc)

    def setUp(self):
        self.prefix.change_disc("e", common.sample_disc())
        self.reset_installation()

    def installed(self, name):
        return os.path.join(self.host(common.INSTALL), *name.split("\\"))

    def install(self, variant, boxes=()):
        self.run_setup("/a", exe=common.variant_setup(variant))
        common.click_through_boxes(self, list(boxes) + ([common.ABORTED] if boxes else []))
        return self.ui.wait_exit(180)

    def assert_same_file(self, installed, source):
        with open(installed, "rb") as f, open(source, "rb") as g:
            self.assertEqual(f.read(), g.read())

    # ---- runs that complete ----------------------------------------------------

    def test_overwrite_only_replaces_existing_files_only(self):
        # UNINST.EXE is missing (skipped), README.TXT exists (replaced), DATA is a folder (skipped).
        self.assertEqual(self.install("overwrite"), 1)
        self.assertFalse(os.path.exists(self.installed("UNINST.EXE")))
        self.assert_same_file(self.installed("README.TXT"), package_file("README.TXT"))
        self.assertTrue(os.path.isdir(self.installed("DATA")))

    def test_prefix_of_the_chosen_type_and_a_gap_ending_the_list(self):
        # "0,DATA\STAGE\NEW.DAT" applies to the first type; UpdateFile01 is missing,
        # so UpdateFile02 (NEVER.DAT) is never read.
        self.assertEqual(self.install("gap"), 1)
        self.assert_same_file(self.installed("DATA\\STAGE\\NEW.DAT"), package_file("NEW.DAT"))
        self.assertFalse(os.path.exists(self.installed("NEVER.DAT")))
        self.assertFalse(os.path.exists(self.installed("UNINST.EXE")))

    def test_read_only_target_is_replaced(self):
        self.prefix.change_disc("e", self.full_disc)
        opening = self.installed("MOVIE\\OPENING.MPG")
        self.assertEqual(self.install("readonly"), 1)
        self.assert_same_file(opening, package_file("OPENING.MPG"))
        self.assertTrue(os.stat(opening).st_mode & stat.S_IWUSR, "replaced file keeps the read-only mark")
        # The member's time is the packed file's modification time.
        member = h.build_file("tests/install/install_package_readonly-members/OPENING.MPG")
        self.assertEqual(os.stat(opening).st_mtime_ns // 100, os.stat(member).st_mtime_ns // 100)
        # Its neighbour from the same folder entry is untouched and still read-only.
        self.assertFalse(os.stat(self.installed("MOVIE\\ENDING.MPG")).st_mode & stat.S_IWUSR)
        self.assertTrue(os.path.isfile(self.installed("UNINST.EXE")))

    # ---- failures: the stage's text, the abort, nothing left ---------------------

    def test_failures(self):
        cases = [
            ("othertype", ["No 'UpdateFileXX'"]),
            ("subfolder", [common.WRITE_FAILED]),
            ("ghost", ["Can't Find File in Resource !!", common.WRITE_FAILED]),
            ("traversal", [common.WRITE_FAILED]),
            ("noscript", ["Can't Find File in Resource !!", "UPDATE.INI not found at UPDATE.FA2"]),
            ("nopackage", ["UPDATE.FA2 not found"]),
        ]
        company = common.PROGRAM_FILES + "\\" + common.COMPANY
        for variant, boxes in cases:
            with self.subTest(variant=variant):
                self.reset_installation()
                # A company folder from before the run survives the abort, so a
                # file written beside the install folder would stay visible.
                self.prefix.put_file(package_file("README.TXT"), company + "\\KEEP.TXT")
                self.assertEqual(self.install(variant, boxes), 0)
                self.assert_nothing_installed(company_folder_expected=True)
                self.assertEqual(os.listdir(self.host(company)), ["KEEP.TXT"])


if __name__ == "__main__":
    unittest.main()
