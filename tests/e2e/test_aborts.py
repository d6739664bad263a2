"""Runs of setup.exe that end early: boxes, exit 0, nothing of the run left; what was there before stays."""
import os
import shutil

import harness as h
from test_install import (ABORTED, CAPTION, COMPANY, COMPANY_KEY, INSTALL, PROGRAM_FILES, UNINSTALL_KEY, WRITE_FAILED,
                          InstallChecks, copy_disc, sample_disc)

OTHER = PROGRAM_FILES + "\\" + COMPANY + r"\OTHER"
SET_COMPANY = "三枚組"  # no folder of it before the run: the abort takes the folder it made
LONG_NAME = "\\".join(["P" * 60] * 4) + "\\" + "F" * 13  # 260 bytes: one too many with the list's second NUL


class Aborts(InstallChecks, h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.discs = [copy_disc(InstallFiles0="LANTERNA.EXE,2:" + LONG_NAME)] + [h.Disc() for _ in range(3)]
        cls.discs.append(copy_disc(SetupBmp="MISSING.BMP"))
        first, second, third = cls.discs[1:4]
        first.add_setup_ini({
            "CompanyName": SET_COMPANY, "GameTitle": "LANTERNA", "GameDir": "LANTERNA", "GameExe": "A.EXE", "Shortcuts": 0,
            "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP", "InstallSelects": 1, "InstallTitle0": "三枚",
            "InstallFiles0": "A.DAT,2:SUB\\B.DAT,3:C.DAT", "DiskCheckFile2": "2.TAG", "DiskCheckFile3": "3.TAG"})
        first.add_bmp("BANNER.BMP", 64, 64)
        first.add("A.DAT", b"disc one"), second.add("2.TAG"), second.add("SUB\\B.DAT", b"disc two"), third.add("3.TAG")
        prefix.mount_cdrom("e", sample_disc())
        [cls.addClassCleanup(disc.cleanup) for disc in cls.discs]

    def three_discs(self):
        # Disc prompts in order, one that returns until its disc is in, and the
        # wizard deaf to its buttons under a prompt; Cancel at the last prompt.
        discs = [d.root for d in self.discs[1:4]]
        self.prefix.change_disc("e", discs[0])
        self.ui.start('"%s" /a' % self.prefix.windows_path(h.setup_exe()))
        for number, disc in ((2, None), (2, discs[1]), (3, None)):
            box = self.ui.expect_message_box(CAPTION, "「LANTERNA」ディスク %d を入れて下さい" % number,
                                             (h.IDOK, h.IDCANCEL), "none", timeout=180)
            if number == 3:
                break
            if disc:
                self.prefix.change_disc("e", disc)
            self.ui.click(box, h.IDOK)
        with open(self.host(PROGRAM_FILES + "\\" + SET_COMPANY + r"\LANTERNA\SUB\B.DAT"), "rb") as f:
            self.assertEqual(f.read(), b"disc two", "the copy began, into the entry's sub-folder")
        wizard = next(w["hwnd"] for w in self.ui.windows() if w.get("title") == CAPTION and w["hwnd"] != box)
        for button in (2, 4, 1):  # Cancel, Back, Next
            self.ui.command(wizard, button)
        self.assertLessEqual({wizard, box}, {w["hwnd"] for w in self.ui.windows()})
        self.ui.click(box, h.IDCANCEL)

    def held_source_file(self):
        holder = self.ui.start('"%s" E:\\DATA\\MAIN.DAT C:\\ready C:\\release 600000' % self.prefix.windows_path(
            h.build_file("tests/testprogs/holdfile.exe")))
        h.wait_until(lambda: os.path.exists(self.host("C:\\ready")), 60, "source file held")
        self.ui.start('"%s" /a' % self.prefix.windows_path(h.setup_exe()))
        # Wine's shell reports the held file as an aborted copy: the abort box comes alone.
        self.ui.find_message_box(CAPTION, 180)
        self.ui.kill(holder)

    def cancel_on_destination_page(self):
        self.ui.start('"%s"' % self.prefix.windows_path(h.setup_exe()))
        wizard = self.ui.find_dialog(CAPTION, 90)["hwnd"]
        for button in (1, 1, 2):  # Next to the type, Next to the destination, Cancel
            self.ui.click(wizard, button)

    def test_aborts_leave_nothing(self):
        self.prefix.put_file(sample_disc() + "/README.TXT", OTHER + r"\KEEP.TXT")
        self.prefix.reg_add(COMPANY_KEY + r"\OTHER", "InstPath", h.REG_SZ, OTHER)
        menu = self.host(self.programs() + "\\LANTERNA")
        self.prefix.put_file(sample_disc() + "/README.TXT", self.programs() + r"\LANTERNA\MINE.TXT")
        save = self.host(INSTALL + r"\SAVE\SLOT1.SAV")
        cases = [
            # a step, or the disc for setup.exe /a and its variant; the boxes before the
            # abort's; the install folder was there before, with a saved game in it
            (self.held_source_file, None, [], True),
            (self.cancel_on_destination_page, None, [], True),
            (self.three_discs, None, [], False),
            (self.discs[0].root, None, ['SETUP.INI : InstallFiles0 : "%s" のパスが長すぎます' % LONG_NAME], False),
            (self.discs[4].root, None, ['Can\'t load "E:\\MISSING.BMP"'], False),  # a banner that ends the wizard
            (sample_disc(), "subfolder", [WRITE_FAILED], False),  # the update writes beside the folder
            (sample_disc(), "traversal", [WRITE_FAILED], False),  # the update leaves the folder
            (sample_disc(), "noscript", ["Can't Find File in Resource !!", "UPDATE.INI not found at UPDATE.FA2"], False),
            (sample_disc(), "nopackage", ["UPDATE.FA2 not found"], False),
        ]
        for run, variant, boxes, kept in cases:
            with self.subTest(run=getattr(run, "__name__", run), variant=variant):
                if kept:
                    h.Disc(os.path.dirname(save)).add("SLOT1.SAV", b"slot 1: chapter 7")
                if callable(run):
                    run()
                else:
                    self.prefix.change_disc("e", run)
                    exe = h.build_file("tests/install/variants/%s/setup.exe" % variant) if variant else h.setup_exe()
                    self.ui.start('"%s" /a' % self.prefix.windows_path(exe))
                # The long path's box is wider than the test display: its icon can't be read.
                self.click_through(boxes + [ABORTED], icon=None if run == self.discs[0].root else "error")
                self.assertEqual(self.ui.wait_exit(60), 0)
                if kept:
                    with open(save, "rb") as f:
                        self.assertEqual(f.read(), b"slot 1: chapter 7")
                    shutil.rmtree(self.host(INSTALL))
                self.assertEqual((os.listdir(self.host(PROGRAM_FILES + "\\" + COMPANY)), os.listdir(menu),
                                  self.prefix.reg_query(COMPANY_KEY)["subkeys"]), (["OTHER"], ["MINE.TXT"], ["OTHER"]))
                self.assertEqual((os.path.exists(self.host(PROGRAM_FILES + "\\" + SET_COMPANY)), self.prefix.reg_query(
                    UNINSTALL_KEY), os.path.isfile(self.host(OTHER + r"\KEEP.TXT"))), (False, None, True))
