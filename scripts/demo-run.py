#!/usr/bin/env python3
"""Runs `setup.exe /a` from the sample disc in a fresh Wine prefix and reports
what happened: every window and message box on the way, the exit code, the
files the run created, the registry records and the Start-menu shortcuts; then
starts the setup program a second time, which hands over to the installed game.
Called by scripts/demo after the build; can be run alone:

  scripts/demo-run.py [--build build/win] [--disc FOLDER] [--timeout 600]

Message boxes get the answer that ends the run soonest without side effects:
Cancel when offered, else No, else OK. Exit status 0 when the installation
completed (exit code 1, install record written), 1 otherwise.
"""
import argparse
import os
import struct
import sys
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))
import harness as h  # noqa: E402

SKIP_DIRS = ("windows/system32", "windows/syswow64", "windows/temp", "users/root/temp",
             "windows/logs", "windows/Installer")


def parse_lnk(data):
    """What a .lnk file holds that the setup program sets: the local base path of
    the target (ANSI bytes), the description, the icon location, a working folder
    and arguments (text); the relative path the shell adds is left out."""
    flags = struct.unpack_from("<I", data, 0x14)[0]
    pos = 0x4C + (2 + struct.unpack_from("<H", data, 0x4C)[0] if flags & 1 else 0)
    size, _, info_flags, _, base = struct.unpack_from("<IIIII", data, pos)
    link = {"base": data[pos + base:data.index(b"\0", pos + base)] if flags & 2 and info_flags & 1 else None}
    pos += size if flags & 2 else 0
    width = 2 if flags & 0x80 else 1
    for bit, name in ((4, "description"), (8, "relative"), (0x10, "workdir"), (0x20, "arguments"), (0x40, "icon")):
        if flags & bit:
            count = struct.unpack_from("<H", data, pos)[0]
            raw = data[pos + 2:pos + 2 + count * width]
            link[name] = (raw.decode("utf-16-le") if width == 2 else raw.decode("cp932")).rstrip("\0")
            pos += 2 + count * width
    link.pop("relative", None)
    return link


def snapshot(drive_c):
    files = {}
    for root, dirs, names in os.walk(drive_c):
        rel = os.path.relpath(root, drive_c)
        if any(rel == d or rel.startswith(d + "/") for d in SKIP_DIRS):
            dirs[:] = []
            continue
        for name in names:
            path = os.path.join(root, name)
            if os.path.isfile(path):
                st = os.stat(path)
                files[os.path.relpath(path, drive_c)] = (st.st_size, st.st_mtime)
    return files


def read_script(disc):
    values = {}
    path = os.path.join(disc, "SETUP.INI")
    if not os.path.isfile(path):
        return values
    data = open(path, "rb").read()
    try:
        text = data.decode("cp932")
    except UnicodeDecodeError:
        text = data.decode("utf-8", "replace")
    for line in text.splitlines():
        if "=" in line and not line.lstrip().startswith(";"):
            key, value = line.split("=", 1)
            values.setdefault(key.strip(), value.strip())
    return values


def show_value(name, value):
    if value is None:
        return "    %s: (missing)" % name
    if "ansi" in value:
        return "    %s (type %d): %r" % (name, value["type"],
                                          value["ansi"].rstrip(b"\0").decode("cp932", "replace"))
    if value["type"] == 4:  # REG_DWORD
        return "    %s (type 4): %d" % (name, int.from_bytes(value["data"], "little"))
    return "    %s (type %d): %s" % (name, value["type"], value["data"].hex(" "))


class Watcher:
    """Reports new windows and answers message boxes while the run goes on."""

    def __init__(self, ui):
        self.ui = ui
        self.seen = set()
        self.wizard_text = {}

    def poll(self):
        for win in self.ui.windows():
            hwnd = win["hwnd"]
            if win["class"] != "#32770":
                if hwnd not in self.seen:
                    self.seen.add(hwnd)
                    print("  window %s %r" % (win["class"], win.get("title")))
                continue
            try:
                controls = self.ui.controls(hwnd)
            except h.HarnessError:
                continue
            if any(c["id"] == 0xFFFF for c in controls):
                self.answer_box(hwnd)
            else:
                self.follow_wizard(hwnd, win, controls)

    def answer_box(self, hwnd):
        box = self.ui.msgbox(hwnd)
        ids = [b["id"] for b in box["buttons"]]
        press = h.IDCANCEL if h.IDCANCEL in ids else h.IDNO if h.IDNO in ids else h.IDOK
        print("  message box %r: %r  [icon %s, buttons %s] -> pressing %d"
              % (box.get("title"), box.get("text"), box["icon"], ids, press))
        self.ui.click(hwnd, press)
        try:
            self.ui.wait_gone(hwnd, 10)
        except h.UiTimeout:
            pass

    def follow_wizard(self, hwnd, win, controls):
        if hwnd not in self.seen:
            self.seen.add(hwnd)
            print("  wizard %r" % win.get("title"))
        texts = tuple(c.get("text", "") for c in controls if c["visible"] and c["class"] == "Static"
                      and c.get("text"))
        if texts and self.wizard_text.get(hwnd) != texts:
            self.wizard_text[hwnd] = texts
            self.wizard_text[(hwnd, "since")] = time.monotonic()
            print("    page text: %s" % " | ".join(t.replace("\r\n", " ") for t in texts))

    def stalled(self, seconds):
        """A wizard whose text has not changed for `seconds`."""
        for key, since in self.wizard_text.items():
            if isinstance(key, tuple) and time.monotonic() - since > seconds:
                return key[0]
        return None


def show_shortcuts(prefix, game_dir):
    folder = prefix.reg_query(r"HKCU\SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders",
                              "Programs")
    if folder is None:
        print("Start menu: Programs folder unknown")
        return
    windows_folder = folder["ansi"].rstrip(b"\0").decode("cp932") + "\\" + game_dir
    host_folder = prefix.host_path(windows_folder)
    names = sorted(os.listdir(host_folder)) if os.path.isdir(host_folder) else []
    print("Start menu %s:%s" % (windows_folder, "" if names else " (missing or empty)"))
    for name in names:
        with open(os.path.join(host_folder, name), "rb") as f:
            data = f.read()
        if name.lower().endswith(".lnk"):
            link = parse_lnk(data)
            target = link["base"].decode("cp932", "replace") if link["base"] else "?"
            print("    %s -> %s  (description %r, icon %r)"
                  % (name, target, link.get("description"), link.get("icon")))
        else:
            url = [line for line in data.decode("cp932", "replace").splitlines() if line.startswith("URL=")]
            print("    %s -> %s" % (name, url[0][4:] if url else "?"))


def show_hand_over(ui, program):
    """A second start finds the install record and starts the game instead."""
    print("second run: %s /a" % program)
    ui.start('"%s" /a' % program)
    try:
        code = ui.wait_exit(120)
    except h.UiTimeout:
        print("  setup.exe did not end within 120 s; stopping it")
        ui.kill()
        return
    print("  exit code: %d" % code)
    try:
        game = ui.find("LanternaWindow", "LANTERNA", 60)
        print("  the installed game is running: window %s %r (process %s)"
              % (game["class"], game["title"], game["pid"]))
        ui.close_window(game["hwnd"])
    except h.UiTimeout:
        print("  no game window appeared")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(REPO, "build", "win"))
    parser.add_argument("--disc")
    parser.add_argument("--timeout", type=float, default=600)
    args = parser.parse_args()

    disc = args.disc or os.path.join(args.build, "sample-disc")
    if not os.path.isdir(disc):
        disc = os.path.join(REPO, "sample", "disc")
        print("note: no assembled sample disc in the build; using %s as it is" % disc)
    os.environ["UIDRV_EXE"] = os.path.join(args.build, "tests", "uidriver", "uidrv.exe")
    script = read_script(disc)
    company, game_dir = script.get("CompanyName", "?"), script.get("GameDir", "?")
    print("disc: %s (GameTitle %r, CompanyName %r, GameDir %r)"
          % (disc, script.get("GameTitle"), company, game_dir))

    started = time.monotonic()
    with h.WinePrefix("demo") as prefix:
        print("prefix: %s (copied in %.1f s)" % (prefix.path, prefix.timings["copy"]))
        prefix.mount_cdrom("e", disc)
        if os.path.isfile(os.path.join(disc, "SETUP.EXE")):
            program = r"E:\SETUP.EXE"
        else:
            program = prefix.put_file(os.path.join(args.build, "setup.exe"), r"C:\demo\setup.exe")
        drive_c = os.path.join(prefix.path, "drive_c")
        before = snapshot(drive_c)
        ui = prefix.uidriver()
        print("running: %s /a" % program)
        run_started = time.monotonic()
        ui.start('"%s" /a' % program)
        watcher = Watcher(ui)
        code = None
        deadline = run_started + args.timeout
        while code is None and time.monotonic() < deadline:
            try:
                code = ui.wait_exit(0.5)
                break
            except h.UiTimeout:
                pass
            watcher.poll()
            stuck = watcher.stalled(120)
            if stuck:
                print("  the wizard has not moved for 120 s: pressing Cancel")
                ui.click(stuck, h.IDCANCEL)
                watcher.wizard_text.clear()
        if code is None:
            print("setup.exe did not end within %.0f s; stopping it" % args.timeout)
            ui.kill()
        else:
            print("exit code: %d (after %.1f s)" % (code, time.monotonic() - run_started))

        # Let removal batches and the like settle before looking.
        time.sleep(2)
        after = snapshot(drive_c)
        created = sorted(p for p in after if p not in before or after[p] != before[p])
        print("files created or changed on C: (%d):" % len(created))
        for path in created:
            print("    C:\\%s  (%d bytes)" % (path.replace("/", "\\"), after[path][0]))

        user_key = "HKCU\\Software\\%s\\%s" % (company, game_dir)
        uninstall_key = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s" % game_dir
        records_ok = True
        for key, names in ((user_key, ("InstMode", "InstPath", "DataPath")),
                           (uninstall_key, ("DisplayName", "UninstallString", "Publisher", "InstallLocation",
                                            "DisplayIcon", "EstimatedSize", "NoModify", "NoRepair"))):
            listing = prefix.reg_query(key)
            print("registry %s:%s" % (key, "" if listing else " (missing)"))
            if not listing:
                records_ok = False
                continue
            for name in names:
                print(show_value(name, listing["values"].get(name)))
        if records_ok:
            show_shortcuts(prefix, game_dir)
            show_hand_over(ui, program)
        print("demo finished in %.0f s" % (time.monotonic() - started))
        return 0 if code == 1 and records_ok else 1


if __name__ == "__main__":
    sys.exit(main())
