"""End-to-end test support: private Wine prefixes with drives and registry,
the client of the UI driver (tests/uidriver/uidrv.exe), test discs. See README.md."""

import fcntl
import json
import os
import queue
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VAR = os.environ.get("LANTERNA_VAR", "/var/tmp/lanterna")
PREFIXES = os.path.join(VAR, "prefixes")
OWNER_FILE = ".lanterna-owner"
# Shared with the template by hard links; everything else is copied, because
# Wine rewrites those files in place and a link would carry changes back.
SHARED_DIRS = ("drive_c/windows/system32", "drive_c/windows/syswow64")

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7
IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7


class HarnessError(Exception):
    pass


class UiError(HarnessError):
    pass


class UiTimeout(UiError):
    pass


def sjis(text):
    """The Shift-JIS bytes a Japanese Windows program holds for `text`."""
    return text.encode("cp932")


def wait_until(condition, timeout, what):
    """Polls `condition` until it holds; AssertionError naming `what` after `timeout` s."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("%s: not within %s s" % (what, timeout))
        time.sleep(0.25)


def build_file(relative, env_name=None):
    """A file of the Windows build (the variable `env_name`, else
    LANTERNA_WIN_BUILD set by CTest, else the newest build/*/win)."""
    if env_name and os.environ.get(env_name):
        return os.environ[env_name]
    if os.environ.get("LANTERNA_WIN_BUILD"):
        return os.path.join(os.environ["LANTERNA_WIN_BUILD"], relative)
    build = os.path.join(REPO, "build")
    names = ["."] + sorted(os.listdir(build)) if os.path.isdir(build) else []
    found = [p for p in (os.path.join(build, n, "win", relative) for n in names) if os.path.isfile(p)]
    if not found:
        raise HarnessError("%s not built" % relative)
    return max(found, key=os.path.getmtime)


def setup_exe():
    return build_file("setup.exe", "SETUP_EXE")


def _kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait(timeout=10)
    except (ProcessLookupError, subprocess.TimeoutExpired):
        pass


def _sweep_abandoned_prefixes():
    """Removes prefix copies of test processes that died without cleaning up
    (a CTest timeout kills outright): their wineserver, their Xvfb by the PID
    recorded in the copy, then the copy. Live tests are left alone."""
    for name in os.listdir(PREFIXES):
        path = os.path.join(PREFIXES, name)
        try:
            with open(os.path.join(path, OWNER_FILE)) as f:
                owner, xvfb = (int(x) for x in f.read().split())
        except (OSError, ValueError):
            continue  # not ours, or still being made
        if os.path.exists("/proc/%d" % owner):
            continue
        try:
            subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=path), timeout=30)
            with open("/proc/%d/comm" % xvfb) as f:
                if f.read().strip() == "Xvfb":
                    os.kill(xvfb, signal.SIGTERM)
        except (OSError, subprocess.TimeoutExpired):
            pass
        shutil.rmtree(path, ignore_errors=True)


def _copy_prefix(template, dest):
    os.makedirs(dest)
    for root, dirs, files in os.walk(template):
        rel = os.path.relpath(root, template)
        shared = any(rel == d or rel.startswith(d + "/") for d in SHARED_DIRS)
        for name in dirs + files:
            src, dst = os.path.join(root, name), os.path.join(dest, rel, name)
            if os.path.islink(src):
                os.symlink(os.readlink(src), dst)
            elif os.path.isdir(src):
                os.mkdir(dst)
            elif shared:
                os.link(src, dst)
            else:
                shutil.copy2(src, dst)
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(root, d))]


class Xvfb:
    """A private X display, started and stopped by process id."""

    def __init__(self):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_fd)
        number = b""
        with os.fdopen(read_fd, "rb", buffering=0) as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(16) if select.select([pipe], [], [], 30)[0] else b""
                if not chunk:
                    self.stop()
                    raise HarnessError("Xvfb did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


class WinePrefix:
    """A fresh copy of the template prefix with its own X display. Leaving the
    context stops this prefix's wineserver (so every program in it) and display
    and deletes the copy, also after failures; LANTERNA_KEEP_PREFIX=1 keeps it."""

    def __init__(self, name="test", display=True):
        self.name, self.want_display = name, display
        self.path = self.xvfb = self.env = self._driver = None
        self.timings, self._procs, self._pending_drives = {}, [], {}
        self._server_started = False

    def __enter__(self):
        try:
            # SIGTERM (a CTest timeout) becomes SystemExit, so the clean-up runs.
            if (threading.current_thread() is threading.main_thread()
                    and signal.getsignal(signal.SIGTERM) == signal.SIG_DFL):
                signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
            t0 = time.monotonic()
            template = subprocess.run([os.path.join(REPO, "scripts", "wine-template")], check=True,
                                      stdout=subprocess.PIPE, timeout=1200).stdout.decode().split()[-1]
            os.makedirs(PREFIXES, exist_ok=True)
            _sweep_abandoned_prefixes()
            self.path = tempfile.mkdtemp(prefix=self.name + "-", dir=PREFIXES)
            os.rmdir(self.path)
            # scripts/wine-template replaces the template under an exclusive lock.
            with open(os.path.join(VAR, "wine-template.lock"), "a") as lock:
                fcntl.flock(lock, fcntl.LOCK_SH)
                _copy_prefix(template, self.path)
            self.timings["copy"] = time.monotonic() - t0
            env = {k: v for k, v in os.environ.items() if k not in ("WINEARCH", "WINESERVER", "WINELOADER")}
            env.update(WINEPREFIX=self.path, LOCPATH=os.path.join(VAR, "locale"), LC_ALL="ja_JP.UTF-8",
                       WINEDEBUG=os.environ.get("LANTERNA_WINEDEBUG", "-all"),
                       WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
            env.pop("DISPLAY", None)
            if self.want_display:
                self.xvfb = Xvfb()
                env["DISPLAY"] = self.xvfb.display
            with open(os.path.join(self.path, OWNER_FILE), "w") as f:
                f.write("%d %d\n" % (os.getpid(), self.xvfb.proc.pid if self.xvfb else 0))
            self.env = env
            return self
        except BaseException:
            self.close()
            raise

    def __exit__(self, *exc):
        self.close()

    def close(self):
        if self._driver:
            self._driver.close()
            self._driver = None
        if self._server_started:
            self.stop_server()
        for proc in self._procs:
            _kill_group(proc)
        if self.xvfb:
            self.xvfb.stop()
            self.xvfb = None
        if self.path and not os.environ.get("LANTERNA_KEEP_PREFIX"):
            shutil.rmtree(self.path, ignore_errors=True)

    def stop_server(self):
        """Ends every program of this prefix and its wineserver."""
        for args in (["wineserver", "-k"], ["wineserver", "-w"]):
            try:
                subprocess.run(args, env=self.env, timeout=60, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
            except subprocess.TimeoutExpired:
                pass
        self._server_started = False

    def start(self, exe, args=(), **popen_args):
        """Popen of `wine exe args...`. Wine re-quotes the arguments; exact
        command lines go through UiDriver.start."""
        if self._pending_drives:
            # Before the first start the registry file can simply be appended to.
            with open(os.path.join(self.path, "system.reg"), "a", encoding="ascii") as f:
                f.write("\n[Software\\\\Wine\\\\Drives] %d\n" % int(time.time()))
                f.writelines('"%s:"="%s"\n' % item for item in sorted(self._pending_drives.items()))
            self._pending_drives = {}
        self._server_started = True
        popen_args.setdefault("stdout", subprocess.PIPE)
        popen_args.setdefault("stderr", subprocess.PIPE)
        proc = subprocess.Popen(["wine", exe] + list(args), env=self.env, start_new_session=True, **popen_args)
        self._procs.append(proc)
        return proc

    def run(self, exe, args=(), timeout=120, input=None):
        """Runs a program to its end: CompletedProcess with the Windows exit code."""
        proc = self.start(exe, args, stdin=subprocess.PIPE if input is not None else None)
        try:
            out, err = proc.communicate(input=input, timeout=timeout)
        except subprocess.TimeoutExpired:
            _kill_group(proc)
            raise
        return subprocess.CompletedProcess(proc.args, proc.returncode, out, err)

    def uidriver(self):
        """The prefix's UI driver, started on first use and closed with the prefix."""
        if not self._driver:
            self._driver = UiDriver(self)
        return self._driver

    # ---- drives and paths ----------------------------------------------------

    def _link(self, letter, folder):
        link = os.path.join(self.path, "dosdevices", letter.lower() + ":")
        if os.path.lexists(link + ".new"):
            os.unlink(link + ".new")
        os.symlink(os.path.abspath(folder), link + ".new")
        os.replace(link + ".new", link)

    def _mount(self, letter, folder, kind):
        self._link(letter, folder)
        if not self._server_started:
            self._pending_drives[letter.lower()] = kind
            return
        # Drive types are read when the server starts; the restart ends every
        # program of the prefix, the driver too (uidriver() starts a new one).
        self.reg_add(r"HKLM\Software\Wine\Drives", letter.lower() + ":", REG_SZ, kind.encode() + b"\0", view=64)
        if self._driver:
            self._driver.close()
            self._driver = None
        self.stop_server()

    def mount_cdrom(self, letter, host_folder):
        """`host_folder` becomes the disc in CD-ROM drive `letter`; after the
        first program start this restarts the server."""
        self._mount(letter, host_folder, "cdrom")

    def mount_disk(self, letter, host_folder):
        self._mount(letter, host_folder, "hd")

    def change_disc(self, letter, host_folder):
        """Swaps the disc of a mounted drive while programs run; None = no disc."""
        self._link(letter, host_folder or os.path.join(self.path, "no-disc"))

    def host_path(self, windows_path):
        """The Linux path of C:\\..., components matched without regard to case like Wine."""
        if windows_path[1:2] != ":":
            raise HarnessError("not an absolute Windows path: %r" % windows_path)
        path = os.path.realpath(os.path.join(self.path, "dosdevices", windows_path[0].lower() + ":"))
        for part in [p for p in windows_path[2:].replace("/", "\\").split("\\") if p]:
            exact = os.path.join(path, part)
            if not os.path.exists(exact) and os.path.isdir(path):
                exact = next((os.path.join(path, n) for n in os.listdir(path) if n.lower() == part.lower()), exact)
            path = exact
        return path

    def put_file(self, host_file, windows_path):
        """Copies a Linux file into the prefix; returns the Windows path."""
        target = self.host_path(windows_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(host_file, target)
        return windows_path

    @staticmethod
    def windows_path(host_path):
        return "Z:" + os.path.abspath(host_path).replace("/", "\\")

    # ---- registry, through the driver (the server holds the registry) ---------

    def reg_query(self, key, value=None, view=32):
        """One value: None when missing, else {"type", "data", "ansi"}: `data` the
        stored bytes, `ansi` (strings only) the bytes an ANSI program reads back,
        NUL included. value=None: None for a missing key, else {"values", "subkeys"}.
        `view` 32 is what a 32-bit program sees under HKLM\\Software."""
        r = self.uidriver().call("regquery", key, "*" if value is None else value, view)
        if value is None:
            return {"values": {v["name"]: _reg_value(v) for v in r["values"]},
                    "subkeys": r["subkeys"]} if r["key_exists"] else None
        return _reg_value(r) if r["exists"] else None

    def reg_add(self, key, value, reg_type, data, view=32):
        """Writes `data`: bytes as they are, a str as cp932 with a NUL, an int as a DWORD."""
        if isinstance(data, str):
            data = sjis(data) + b"\0"
        elif isinstance(data, int):
            data = struct.pack("<I", data)
        self.uidriver().call("regset", key, value, reg_type, data.hex(), view)

    def reg_delete(self, key, value=None, view=32):
        """Deletes one value, or the whole key with value=None."""
        self.uidriver().call("regdelete", key, "*" if value is None else value, view)


def _reg_value(r):
    out = {"type": r["type"], "data": bytes.fromhex(r["data_hex"])}
    if "ansi_hex" in r:
        out["ansi"] = bytes.fromhex(r["ansi_hex"])
    return out


class UiDriver:
    """Client of uidrv.exe in a prefix: each method sends one command; a failed
    command raises UiError, a wait that runs out UiTimeout. Timeouts are in
    seconds; window handles are strings."""

    SLACK = 20.0  # reply delay beyond the command's own wait (qemu is slow)

    def __init__(self, prefix):
        self.proc = prefix.start(build_file("tests/uidriver/uidrv.exe", "UIDRV_EXE"), stdin=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL)
        self._lines = queue.Queue()
        self._started = []           # pids this driver started, ended after each test
        self._message_boxes = set()  # boxes that expect_message_box matched
        threading.Thread(target=self._reader, daemon=True).start()
        if not self._reply(60).get("ready"):
            raise HarnessError("uidrv did not start")

    def _reader(self):
        for line in self.proc.stdout:
            self._lines.put(line)
        self._lines.put(None)

    def _reply(self, timeout):
        deadline = time.monotonic() + timeout
        while True:
            try:
                line = self._lines.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise UiTimeout("uidrv gave no reply within %.0f s" % timeout)
            if line is None:
                raise HarnessError("uidrv ended")
            if line.startswith(b"{"):  # anything else is stray output
                return json.loads(line.decode("utf-8", "replace"))

    def call(self, *fields, wait=0.0):
        line = "\t".join("".join("%%%02X" % ord(c) if c in "%\t\r\n" else c for c in str(f)) for f in fields)
        self.proc.stdin.write(line.encode("utf-8") + b"\n")
        self.proc.stdin.flush()
        reply = self._reply(wait + self.SLACK)
        if not reply.get("ok"):
            error = UiTimeout if reply.get("error") == "timeout" else UiError
            raise error("%s: %s" % (fields[0], reply.get("error")))
        return reply

    def close(self):
        try:
            self.proc.stdin.write(b"quit\n")
            self.proc.stdin.flush()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            _kill_group(self.proc)

    def start(self, command_line, cwd=None):
        """CreateProcess with exactly this command line; returns the pid."""
        pid = self.call("start", command_line, *([cwd] if cwd else []))["pid"]
        self._started.append(pid)
        return pid

    def end_leftovers(self):
        """Ends what this driver started, so a failed test leaves no box behind."""
        for pid in self._started:
            try:
                self.kill(pid)
            except HarnessError:
                pass
        self._started = []
        self._message_boxes.clear()

    def wait_exit(self, timeout=60, pid=None):
        """Exit code of a started process (the last one by default)."""
        return self.call("wait_exit", int(timeout * 1000), *([pid] if pid else []), wait=timeout)["exit_code"]

    def kill(self, pid=None):
        self.call("kill", *([pid] if pid else []))

    def find(self, cls="*", title="*", timeout=30, message_box=False):
        """The first visible top-level window of that class and exact title."""
        return self.call("find", int(timeout * 1000), cls, title, "msgbox" if message_box else "",
                         wait=timeout)["window"]

    def find_dialog(self, title, timeout=30):
        return self.find("#32770", title, timeout)

    def find_message_box(self, title, timeout=30):
        """Only a message box, never the wizard, which shares the title."""
        return self.find("#32770", title, timeout, message_box=True)

    def windows(self):
        return self.call("list")["windows"]

    def controls(self, hwnd):
        return self.call("controls", hwnd)["controls"]

    def control(self, hwnd, control_id):
        return next(c for c in self.controls(hwnd) if c["id"] == control_id)

    def msgbox(self, hwnd):
        return self.call("msgbox", hwnd)

    def click(self, hwnd, control_id):
        """BM_CLICK to a control, as a user presses it. A message box is waited
        out, so a look-up by title cannot find the box that is still closing."""
        reply = self.call("click", hwnd, control_id)
        if hwnd in self._message_boxes:
            self._message_boxes.discard(hwnd)
            try:
                self.wait_gone(hwnd, 15)
            except UiTimeout:
                pass
        return reply

    def command(self, hwnd, control_id):
        """WM_COMMAND/BN_CLICKED for `control_id` straight to `hwnd`."""
        return self.call("command", hwnd, control_id)

    def settext(self, hwnd, control_id, text):
        self.call("settext", hwnd, control_id, text)

    def gettext(self, hwnd, control_id=None):
        """(text, ansi bytes) of a window or of one of its controls."""
        r = self.call("gettext", hwnd, *([control_id] if control_id is not None else []))
        return r["text"], bytes.fromhex(r["text_hex"])

    def wait_text(self, hwnd, control_id, expected, timeout=60):
        """Until a control shows `expected` (str: as Shift-JIS bytes)."""
        want = sjis(expected) if isinstance(expected, str) else expected
        deadline = time.monotonic() + timeout
        while True:
            got = self.gettext(hwnd, control_id)[1]
            if got == want:
                return
            if time.monotonic() > deadline:
                raise AssertionError("control %s shows %r, expected %r" % (
                    control_id, got.decode("cp932", "replace"), want.decode("cp932", "replace")))
            time.sleep(0.2)

    def wait_gone(self, hwnd, timeout=30):
        self.call("wait_gone", int(timeout * 1000), hwnd, wait=timeout)

    def close_window(self, hwnd):
        self.call("close", hwnd)

    def expect_message_box(self, title, text, buttons=(IDOK,), icon="error", timeout=30):
        """Waits for a message box and checks title and text as Shift-JIS bytes,
        the set of button ids and the icon (error, question, warning, info, none;
        None skips it). Returns its window handle."""
        try:
            hwnd = self.find_message_box(title, timeout)["hwnd"]
        except UiTimeout:
            raise AssertionError("no message box %r within %s s; on screen: %s" % (
                title, timeout, [(w["class"], w.get("title")) for w in self.windows()]))
        box = self.msgbox(hwnd)
        self._message_boxes.add(hwnd)
        problems = ["%s %r, expected %r" % (name, got, want) for name, got, want in (
            ("title", bytes.fromhex(box["title_hex"]), sjis(title)),
            ("text", bytes.fromhex(box.get("text_hex", "")), sjis(text)),
            ("buttons", sorted(b["id"] for b in box["buttons"]), sorted(buttons)),
            ("icon", box["icon"] if icon else None, icon)) if got != want]
        if problems:
            raise AssertionError("message box %r: %s (icon scores %s)" % (
                title, "; ".join(problems), box["icon_scores"]))
        return hwnd


# ---- test discs ------------------------------------------------------------------

def bmp_bytes(width, height, color=(0, 128, 255)):
    """A valid uncompressed bottom-up 24-bit BMP of one (r, g, b) colour."""
    row = (width * 3 + 3) & ~3
    pixels = (bytes(reversed(color)) * width + bytes(row - width * 3)) * height
    return (struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


def changed_script(values, changes):
    """`values` with `changes` applied: a change to None removes the key."""
    values = dict(values, **changes)
    return [(k, v) for k, v in values.items() if v is not None]


def setup_ini(values, section="SETUP"):
    """SETUP.INI bytes in code page 932 with CRLF; `values` a dict or (key, value) list."""
    items = values.items() if isinstance(values, dict) else values
    return sjis("\r\n".join(["[%s]" % section] + ["%s=%s" % kv for kv in items]) + "\r\n")


class Disc:
    """A folder that plays an install disc (a temporary one when `root` is None).
    Paths are relative to the disc root with either slash; str content is cp932."""

    def __init__(self, root=None):
        self._tmp = None if root else tempfile.mkdtemp(prefix="disc-", dir=os.environ.get("TMPDIR"))
        self.root = root or self._tmp
        os.makedirs(self.root, exist_ok=True)

    def add(self, relative, content=b""):
        path = os.path.join(self.root, *relative.replace("\\", "/").split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(sjis(content) if isinstance(content, str) else content)
        return path

    def add_setup_ini(self, values):
        return self.add("SETUP.INI", setup_ini(values))

    def add_bmp(self, relative, width=16, height=8, color=(0, 128, 255)):
        return self.add(relative, bmp_bytes(width, height, color))

    def cleanup(self):
        if self._tmp:
            shutil.rmtree(self._tmp, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.cleanup()


class PrefixTestCase(unittest.TestCase):
    """One prefix and UI driver for all tests of a class. Override
    `prepare_prefix(cls, prefix)` to mount discs before any program starts."""

    prefix = None
    ui = None

    @classmethod
    def prepare_prefix(cls, prefix):
        pass

    @classmethod
    def setUpClass(cls):
        cls._prefix_cm = WinePrefix(cls.__name__)
        cls.prefix = cls._prefix_cm.__enter__()
        try:
            cls.prepare_prefix(cls.prefix)
            cls.ui = cls.prefix.uidriver()
        except BaseException:
            cls._prefix_cm.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls._prefix_cm.close()

    def doCleanups(self):
        # Before the test's own clean-ups: a run left open by a failed check
        # would otherwise hold files and show its boxes to the next test.
        if self.ui is not None:
            self.ui.end_leftovers()
        return super().doCleanups()
