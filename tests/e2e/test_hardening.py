"""DLLs that leave a mark when loaded, planted beside setup.exe and in the temporary folder, preferred (n,b) as
Windows prefers a non-KnownDLL: setup /a and UNINST.EXE /s load none; the uninstaller's copy runs in its own folder."""
import getpass
import os
import threading

import harness as h

# Not version.dll: Wine's own user32 imports it, so Wine looks for it beside any
# program before the program's first line; Windows's user32 does not import it.
PLANTED = ("winmm", "uxtheme", "dwmapi", "cryptbase", "profapi", "comctl32")
DOWNLOADS = r"C:\users\Public\Downloads\patch"
INSTALL = "C:\\Program Files (x86)\\タルベンソフト\\LANTERNA"


class PlantedLibraries(h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        prefix.mount_cdrom("e", os.path.dirname(h.build_file("sample-disc/SETUP.INI")))
        prefix.env["WINEDLLOVERRIDES"] += "".join(";%s=n,b" % name for name in PLANTED)
        temp = prefix.reg_query(r"HKCU\Environment", "TEMP")["ansi"].rstrip(b"\0").decode("cp932")
        temp = temp.replace("%USERPROFILE%", "C:\\users\\" + getpass.getuser())
        for folder, name in ((folder, name) for folder in (DOWNLOADS, temp) for name in PLANTED):
            prefix.put_file(h.build_file("tests/testprogs/plantmark.dll"), "%s\\%s.dll" % (folder, name))
        cls.temp = prefix.host_path(temp)

    def watch_temp(self, stop, seen):
        # Every .EXE directly in the temporary folder, and every folder below it holding the copy.
        while not stop.wait(0.05):
            try:
                seen.update(e.name + "\\" * e.is_dir() for e in os.scandir(self.temp) if e.name.upper().endswith(".EXE")
                            and e.is_file() or e.is_dir() and os.path.exists(os.path.join(e.path, "UNINST.EXE")))
            except OSError:  # an entry went while it was looked at
                pass

    def test_setup_and_uninstaller_load_no_planted_library(self):
        self.ui.start('"%s" /a' % self.prefix.put_file(h.setup_exe(), DOWNLOADS + r"\setup.exe"))
        self.assertEqual(self.ui.wait_exit(180), 1)
        stop, seen = threading.Event(), set()
        watcher = threading.Thread(target=self.watch_temp, args=(stop, seen), daemon=True)
        watcher.start()
        try:
            self.ui.start('"%s\\UNINST.EXE" /s' % INSTALL)
            self.assertEqual(self.ui.wait_exit(120), 0)
            h.wait_until(lambda: not os.path.exists(self.prefix.host_path(INSTALL)), 60, "install folder removed")
            h.wait_until(lambda: not [n for n in os.listdir(self.temp) if n.upper().startswith("UNIN")],
                         60, "the copy's folder and batch removed")
        finally:
            stop.set()
            watcher.join()
        self.assertEqual(len(seen), 1, "the copy, seen once and only in a folder of its own: %s" % seen)
        self.assertRegex(seen.pop(), r"^UNIN[0-9A-F]{16}\\$")
        self.assertFalse(os.path.exists(self.prefix.host_path(r"C:\planted.txt")), "a planted DLL was loaded")
