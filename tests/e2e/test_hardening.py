"""Planted libraries under Wine. A DLL that leaves a mark when loaded is placed,
under names a program might load, beside setup.exe in a hard-disk folder and in
the temporary folder, with Wine told to prefer such a DLL (n,b), as Windows does
for one that is not a KnownDLL. setup.exe /a installs the sample disc and the
installed UNINST.EXE /s removes it again; no mark may appear, and the
uninstaller's copy runs in a folder of its own that is gone afterwards.

Run: cd tests/e2e && python3 -m unittest -v test_hardening"""

import getpass
import os
import sys
import threading
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

# Not version.dll: Wine's own user32 imports it, so Wine looks for it beside any
# program before the program's first line; Windows's user32 does not import it.
PLANTED = ("winmm", "uxtheme", "dwmapi", "cryptbase", "profapi", "comctl32")
DOWNLOADS = r"C:\users\Public\Downloads\patch"
INSTALL = "C:\\Program Files (x86)\\タルベンソフト\\LANTERNA"
MARKS = r"C:\planted.txt"


class PlantedLibraries(harness.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        prefix.mount_cdrom("e", os.path.dirname(harness.build_file("sample-disc/SETUP.INI")))
        prefix.env["WINEDLLOVERRIDES"] += "".join(";%s=n,b" % name for name in PLANTED)
        # The programs' temporary folder, as the prefix's user environment names it.
        temp = prefix.reg_query(r"HKCU\Environment", "TEMP")["ansi"].rstrip(b"\0").decode("cp932")
        temp = temp.replace("%USERPROFILE%", "C:\\users\\" + getpass.getuser())
        plant = harness.build_file("tests/testprogs/plantmark.dll")
        for folder in (DOWNLOADS, temp):
            for name in PLANTED:
                prefix.put_file(plant, "%s\\%s.dll" % (folder, name))
        cls.temp = prefix.host_path(temp)

    def watch_temp(self, stop, seen):
        """Notes every .EXE directly in the temporary folder, and every folder
        below it that holds one, until `stop` is set."""
        while not stop.wait(0.05):
            try:
                for entry in os.scandir(self.temp):
                    if entry.is_file() and entry.name.upper().endswith(".EXE"):
                        seen["direct"].add(entry.name)
                    elif entry.is_dir() and os.path.exists(os.path.join(entry.path, "UNINST.EXE")):
                        seen["folders"].add(entry.name)
            except OSError:  # an entry went while it was looked at
                pass

    def test_setup_and_uninstaller_load_no_planted_library(self):
        setup = self.prefix.put_file(harness.setup_exe(), DOWNLOADS + r"\setup.exe")
        self.ui.start('"%s" /a' % setup)
        self.assertEqual(self.ui.wait_exit(180), 1)
        self.assertTrue(os.path.isfile(self.prefix.host_path(INSTALL + r"\UNINST.EXE")))

        stop, seen = threading.Event(), {"direct": set(), "folders": set()}
        watcher = threading.Thread(target=self.watch_temp, args=(stop, seen), daemon=True)
        watcher.start()
        try:
            self.ui.start('"%s\\UNINST.EXE" /s' % INSTALL)
            self.assertEqual(self.ui.wait_exit(120), 0)
            harness.wait_until(lambda: not os.path.exists(self.prefix.host_path(INSTALL)), 60,
                               "install folder removed")
            harness.wait_until(lambda: not [n for n in os.listdir(self.temp) if n.upper().startswith("UNIN")],
                               60, "the copy's folder and batch removed")
        finally:
            stop.set()
            watcher.join()
        self.assertEqual(seen["direct"], set(), "an .EXE directly in the temporary folder")
        self.assertEqual(len(seen["folders"]), 1, "the copy was seen in a folder of its own")
        self.assertRegex(seen["folders"].pop(), r"^UNIN[0-9A-F]{16}$")

        marks = self.prefix.host_path(MARKS)
        if os.path.exists(marks):
            with open(marks, "rb") as f:
                self.fail("planted DLLs loaded:\n" + f.read().decode("cp932"))


if __name__ == "__main__":
    unittest.main()
