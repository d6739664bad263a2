"""End-to-end test support: private Wine prefixes, drives, registry access and
the client of the Windows-side UI driver (tests/uidriver/uidrv.exe).

Standard library only. See tests/e2e/README.md for the API and conventions.
"""

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
LOCPATH = os.path.join(VAR, "locale")
PREFIXES = os.path.join(VAR, "prefixes")

# The big DLL folders are shared with the template by hard links; everything
# else (registry files, win.ini, user folders) is copied, because Wine rewrites
# those in place and a hard link would carry the change back into the template.
SHARED_DIRS = ("drive_c/windows/system32", "drive_c/windows/syswow64")

# Registry value types, as the driver reports them.
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7

# Message box button ids.
IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7


class HarnessError(Exception):
    pass


class UiTimeout(HarnessError):
    pass


def sjis(text):
    """The Shift-JIS bytes a Japanese Windows program holds for `text`."""
    return text.encode("cp932")


def _find_build_file(env_name, relative):
    path = os.environ.get(env_name)
    if path:
        return path
    candidates = [os.path.join(REPO, "build", "win", relative)]
    build = os.path.join(REPO, "build")
    if os.path.isdir(build):
        for name in sorted(os.listdir(build)):
            candidates.append(os.path.join(build, name, "win", relative))
    existing = [c for c in candidates if os.path.isfile(c)]
    if not existing:
        raise HarnessError("%s not set and %s not built" % (env_name, relative))
    return max(existing, key=os.path.getmtime)


def wait_until(condition, timeout, what):
    """Polls `condition` until it holds; AssertionError naming `what` after `timeout` s."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("%s: not within %s s" % (what, timeout))
        time.sleep(0.25)


def build_file(relative):
    """A file of the Windows build folder (LANTERNA_WIN_BUILD, set by CTest,
    else the newest build/*/win), such as "tests/testprogs/markgame.exe"."""
    base = os.environ.get("LANTERNA_WIN_BUILD")
    if base:
        return os.path.join(base, relative)
    return _find_build_file("LANTERNA_NO_SUCH_VARIABLE", relative)


def setup_exe():
    """Path of the setup.exe under test (SETUP_EXE, else the newest build)."""
    return _find_build_file("SETUP_EXE", "setup.exe")


def uidrv_exe():
    return _find_build_file("UIDRV_EXE", "tests/uidriver/uidrv.exe")


def ensure_template():
    """Creates the machine's template prefix when missing; returns its path."""
    out = subprocess.run([os.path.join(REPO, "scripts", "wine-template")],
                         stdout=subprocess.PIPE, check=True, timeout=1200)
    return out.stdout.decode().strip().splitlines()[-1]


def copy_prefix(template, dest):
    """Copies the template to `dest`, hard-linking the shared DLL folders."""
    os.makedirs(dest)
    for root, dirs, files in os.walk(template):
        rel = os.path.relpath(root, template)
        rel = "" if rel == "." else rel
        shared = any(rel == d or rel.startswith(d + "/") for d in SHARED_DIRS)
        for name in dirs + files:
            src = os.path.join(root, name)
            dst = os.path.join(dest, rel, name)
            if os.path.islink(src):
                os.symlink(os.readlink(src), dst)
            elif os.path.isdir(src):
                os.mkdir(dst)
                shutil.copystat(src, dst)
            elif shared:
                os.link(src, dst)
            else:
                shutil.copy2(src, dst)
        # Links to folders were recreated above; do not walk into them.
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(root, d))]


def _kill_group(proc):
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            pass


class Xvfb:
    """A private X display, started and stopped by process id."""

    def __init__(self, size="1024x768x24"):
        read_fd, write_fd = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size, "-nolisten", "tcp",
             "-noreset"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(write_fd)
        number = b""
        deadline = time.monotonic() + 30
        with os.fdopen(read_fd, "rb", buffering=0) as pipe:
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or not select.select([pipe], [], [], left)[0]:
                    self.stop()
                    raise HarnessError("Xvfb did not start")
                chunk = pipe.read(16)
                if not chunk:
                    self.stop()
                    raise HarnessError("Xvfb ended at start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(timeout=10)


OWNER_FILE = ".lanterna-owner"


def _alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except ProcessLookupError:
        return False
    except PermissionError:
        return True


def sweep_abandoned_prefixes():
    """Removes prefix copies whose test process died without cleaning up (a
    CTest timeout kills it outright): stops that prefix's wineserver and its
    Xvfb, both recorded in the copy, then deletes it. Live tests are left alone."""
    if not os.path.isdir(PREFIXES):
        return
    for name in os.listdir(PREFIXES):
        path = os.path.join(PREFIXES, name)
        try:
            with open(os.path.join(path, OWNER_FILE)) as f:
                owner, xvfb = (int(x) for x in f.read().split())
        except (OSError, ValueError):
            continue
        if _alive(owner):
            continue
        env = dict(os.environ, WINEPREFIX=path)
        try:
            subprocess.run(["wineserver", "-k"], env=env, timeout=30,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except subprocess.TimeoutExpired:
            pass
        if xvfb and _alive(xvfb):
            try:
                with open("/proc/%d/comm" % xvfb) as f:
                    is_xvfb = f.read().strip() == "Xvfb"
            except OSError:
                is_xvfb = False
            if is_xvfb:
                os.kill(xvfb, signal.SIGTERM)
        shutil.rmtree(path, ignore_errors=True)


def _exit_on_sigterm():
    # Turns SIGTERM into SystemExit, so that `with WinePrefix()` still cleans up.
    if (threading.current_thread() is threading.main_thread()
            and signal.getsignal(signal.SIGTERM) == signal.SIG_DFL):
        signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))


class WinePrefix:
    """A fresh copy of the template prefix with its own X display.

    Use as a context manager; leaving it stops this prefix's wineserver (and so
    every program in it), stops the display and deletes the copy, also after
    failures. Set LANTERNA_KEEP_PREFIX=1 to keep the copy for inspection.
    """

    def __init__(self, name="test", display=True):
        self.name = name
        self.want_display = display
        self.path = None
        self.xvfb = None
        self.env = None
        self.timings = {}
        self._procs = []
        self._server_started = False
        self._pending_drives = {}
        self._driver = None

    # ---- life cycle --------------------------------------------------------

    def __enter__(self):
        try:
            _exit_on_sigterm()
            t0 = time.monotonic()
            template = ensure_template()
            sweep_abandoned_prefixes()
            os.makedirs(PREFIXES, exist_ok=True)
            self.path = tempfile.mkdtemp(prefix=self.name + "-", dir=PREFIXES)
            os.rmdir(self.path)
            # scripts/wine-template replaces the template under an exclusive lock.
            with open(os.path.join(VAR, "wine-template.lock"), "a") as lock:
                fcntl.flock(lock, fcntl.LOCK_SH)
                copy_prefix(template, self.path)
            self.timings["copy"] = time.monotonic() - t0
            env = dict(os.environ)
            for key in ("WINEARCH", "WINESERVER", "WINELOADER"):
                env.pop(key, None)
            env.update(WINEPREFIX=self.path, LOCPATH=LOCPATH, LC_ALL="ja_JP.UTF-8",
                       WINEDEBUG=os.environ.get("LANTERNA_WINEDEBUG", "-all"),
                       WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
            if self.want_display:
                self.xvfb = Xvfb()
                env["DISPLAY"] = self.xvfb.display
            else:
                env.pop("DISPLAY", None)
            with open(os.path.join(self.path, OWNER_FILE), "w") as f:
                f.write("%d %d\n" % (os.getpid(), self.xvfb.proc.pid if self.xvfb else 0))
            self.env = env
            return self
        except BaseException:
            self.close()
            raise

    def __exit__(self, *exc):
        self.close()
        return False

    def close(self):
        if self._driver:
            self._driver.close()
            self._driver = None
        if self.env and self._server_started:
            self.stop_server()
        for proc in self._procs:
            _kill_group(proc)
        self._procs = []
        if self.xvfb:
            self.xvfb.stop()
            self.xvfb = None
        if self.path and os.path.isdir(self.path) and not os.environ.get("LANTERNA_KEEP_PREFIX"):
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

    # ---- running programs ----------------------------------------------------

    def _before_start(self):
        if self._pending_drives:
            self._write_drive_types()
        self._server_started = True

    def start(self, exe, args=(), **popen_args):
        """Starts `wine exe args...` without waiting. Wine re-quotes the
        arguments; pass exact command lines through UiDriver.start instead."""
        self._before_start()
        popen_args.setdefault("stdout", subprocess.PIPE)
        popen_args.setdefault("stderr", subprocess.PIPE)
        proc = subprocess.Popen(["wine", exe] + list(args), env=self.env, start_new_session=True,
                                **popen_args)
        self._procs.append(proc)
        return proc

    def run(self, exe, args=(), timeout=120, input=None):
        """Runs a program to its end; returns CompletedProcess (returncode is
        the Windows exit code). Raises subprocess.TimeoutExpired after killing
        it when it does not end in time."""
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
            self._before_start()
            self._driver = UiDriver(self)
        return self._driver

    # ---- drives --------------------------------------------------------------

    def _link(self, letter, folder):
        link = os.path.join(self.path, "dosdevices", letter.lower() + ":")
        tmp = link + ".new"
        if os.path.lexists(tmp):
            os.unlink(tmp)
        os.symlink(os.path.abspath(folder), tmp)
        os.replace(tmp, link)

    def _mount(self, letter, folder, kind):
        self._link(letter, folder)
        if not self._server_started and not self._driver:
            # Cheapest before the first start: edit the registry file directly.
            self._pending_drives[letter.lower()] = kind
            return
        self.reg_add(r"HKLM\Software\Wine\Drives", letter.lower() + ":", REG_SZ,
                     kind.encode() + b"\0", view=64)
        # Drive types are read when the server starts; the restart ends every
        # program of the prefix, the driver too (uidriver() starts a new one).
        if self._driver:
            self._driver.close()
            self._driver = None
        self.stop_server()

    def mount_cdrom(self, letter, host_folder):
        """Makes `host_folder` the disc in CD-ROM drive `letter`. Mount before
        starting programs when possible; afterwards it restarts the server."""
        self._mount(letter, host_folder, "cdrom")

    def mount_disk(self, letter, host_folder):
        self._mount(letter, host_folder, "hd")

    def change_disc(self, letter, host_folder):
        """Swaps the disc of a mounted drive while programs run. None leaves
        the drive pointing at nothing (no disc)."""
        if host_folder is None:
            host_folder = os.path.join(self.path, "no-disc-%s" % letter.lower())
        self._link(letter, host_folder)

    def _write_drive_types(self):
        reg = os.path.join(self.path, "system.reg")
        with open(reg, "a", encoding="ascii") as f:
            f.write("\n[Software\\\\Wine\\\\Drives] %d\n" % int(time.time()))
            for letter, kind in sorted(self._pending_drives.items()):
                f.write('"%s:"="%s"\n' % (letter, kind))
        self._pending_drives = {}

    # ---- paths ---------------------------------------------------------------

    def host_path(self, windows_path):
        """The Linux path of a Windows path such as C:\\Program Files (x86)\\X.
        Components are matched without regard to case, like Wine does."""
        drive, rest = windows_path[:2], windows_path[2:]
        if len(drive) != 2 or drive[1] != ":":
            raise HarnessError("not an absolute Windows path: %r" % windows_path)
        base = os.path.realpath(os.path.join(self.path, "dosdevices", drive.lower()))
        path = base
        for part in [p for p in rest.replace("/", "\\").split("\\") if p]:
            exact = os.path.join(path, part)
            if not os.path.exists(exact) and os.path.isdir(path):
                for name in os.listdir(path):
                    if name.lower() == part.lower():
                        exact = os.path.join(path, name)
                        break
            path = exact
        return path

    def put_file(self, host_file, windows_path):
        """Copies a Linux file into the prefix (for example setup.exe to
        C:\\test\\setup.exe, so that a self-removal deletes only the copy);
        returns the Windows path."""
        target = self.host_path(windows_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(host_file, target)
        return windows_path

    @staticmethod
    def windows_path(host_path):
        """Z:\\... for a Linux path (drive Z: is the Linux root)."""
        return "Z:" + os.path.abspath(host_path).replace("/", "\\")

    # ---- registry ------------------------------------------------------------

    def _registry_driver(self):
        return self._driver or self.uidriver()

    def reg_query(self, key, value=None, view=32):
        """One value: None when missing, else {"type", "data", "ansi"} where
        `data` holds the stored bytes and `ansi` (string types only) the bytes
        an ANSI program reads back, terminator included. With value=None: None
        when the key is missing, else {"values": {name: value}, "subkeys": [...]}.
        `view` 32 is what a 32-bit program sees under HKLM\\Software."""
        drv = self._registry_driver()
        if value is None:
            r = drv.call("regquery", key, "*", str(view))
            if not r["key_exists"]:
                return None
            return {"values": {v["name"]: _reg_value(v) for v in r["values"]},
                    "subkeys": r["subkeys"]}
        r = drv.call("regquery", key, value, str(view))
        return _reg_value(r) if r["exists"] else None

    def reg_add(self, key, value, reg_type, data, view=32):
        """Writes raw `data` bytes (for REG_SZ: ANSI bytes with the NUL, as an
        ANSI program passes them; a str is encoded to cp932 with a NUL added)."""
        if isinstance(data, str):
            data = sjis(data) + b"\0"
        elif isinstance(data, int):
            data = struct.pack("<I", data)
        self._registry_driver().call("regset", key, value, str(reg_type), data.hex(), str(view))

    def reg_delete(self, key, value=None, view=32):
        """Deletes one value, or the whole key with value=None."""
        self._registry_driver().call("regdelete", key, "*" if value is None else value, str(view))


def _reg_value(r):
    out = {"type": r["type"], "data": bytes.fromhex(r["data_hex"])}
    if "ansi_hex" in r:
        out["ansi"] = bytes.fromhex(r["ansi_hex"])
    return out


class UiError(HarnessError):
    pass


class UiDriver:
    """Client of uidrv.exe running inside a prefix. Each method sends one
    command and returns the parsed reply; a failed command raises UiError, a
    wait that runs out raises UiTimeout. Timeouts are in seconds. Window
    handles are passed and returned as strings."""

    SLACK = 20.0  # reply delay beyond the command's own wait (qemu is slow)

    def __init__(self, prefix, exe=None):
        self.prefix = prefix
        self.proc = prefix.start(exe or uidrv_exe(), stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self._lines = queue.Queue()
        self._started = []        # pids this driver started, ended after each test
        self._message_boxes = set()  # boxes that expect_message_box matched
        threading.Thread(target=self._reader, daemon=True).start()
        ready = self._reply(60)
        if not ready.get("ready"):
            raise HarnessError("uidrv did not start: %r" % ready)

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
            # Replies are single JSON objects; anything else is stray output.
            if line.startswith(b"{"):
                return json.loads(line.decode("utf-8", "replace"))

    def call(self, *fields, wait=0.0):
        def encode(field):
            text = str(field)
            for ch in "%\t\r\n":
                text = text.replace(ch, "%%%02X" % ord(ch))
            return text
        line = "\t".join(encode(f) for f in fields) + "\n"
        self.proc.stdin.write(line.encode("utf-8"))
        self.proc.stdin.flush()
        reply = self._reply(wait + self.SLACK)
        if not reply.get("ok"):
            message = reply.get("error", "?")
            if message == "timeout":
                raise UiTimeout("%s: timed out" % fields[0])
            raise UiError("%s: %s" % (fields[0], message))
        return reply

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.flush()
                self.proc.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                _kill_group(self.proc)

    # ---- processes -----------------------------------------------------------

    def start(self, command_line, cwd=None):
        """CreateProcess with this exact command line; returns the pid."""
        fields = ["start", command_line] + ([cwd] if cwd else [])
        pid = self.call(*fields)["pid"]
        self._started.append(pid)
        return pid

    def end_leftovers(self):
        """Ends every program this driver started that still runs, so that a
        failed test cannot leave a box or a wizard behind for the next one."""
        started, self._started = self._started, []
        for pid in started:
            try:
                self.kill(pid)
            except HarnessError:
                pass
        self._message_boxes.clear()

    def wait_exit(self, timeout=60, pid=None):
        """Exit code of a started process (the last one by default)."""
        fields = ["wait_exit", int(timeout * 1000)] + ([pid] if pid else [])
        return self.call(*fields, wait=timeout)["exit_code"]

    def kill(self, pid=None):
        self.call(*(["kill"] + ([pid] if pid else [])))

    # ---- windows -------------------------------------------------------------

    def find(self, cls="*", title="*", timeout=30):
        """The first visible top-level window of that class and exact title."""
        return self.call("find", int(timeout * 1000), cls, title, wait=timeout)["window"]

    def find_dialog(self, title, timeout=30):
        return self.call("find_dialog", int(timeout * 1000), title, wait=timeout)["window"]

    def find_message_box(self, title, timeout=30):
        """Like find_dialog, but only a message box (statics and buttons, text
        in static 0xFFFF): never the wizard, which carries the same title."""
        return self.call("find_msgbox", int(timeout * 1000), title, wait=timeout)["window"]

    def windows(self):
        return self.call("list")["windows"]

    def controls(self, hwnd):
        return self.call("controls", hwnd)["controls"]

    def control(self, hwnd, control_id):
        for c in self.controls(hwnd):
            if c["id"] == control_id:
                return c
        raise UiError("no control %d in window %s" % (control_id, hwnd))

    def msgbox(self, hwnd):
        return self.call("msgbox", hwnd)

    def click(self, hwnd, control_id):
        """Presses a button as the user would (BM_CLICK, posted). A message
        box is waited out, so that the next look-up by title cannot find the
        box that is still closing (boxes share the wizard's title)."""
        reply = self.call("click", hwnd, control_id)
        if hwnd in self._message_boxes:
            self._message_boxes.discard(hwnd)
            try:
                self.wait_gone(hwnd, 15)
            except UiTimeout:
                pass
        return reply

    def command(self, hwnd, control_id):
        """Posts WM_COMMAND/BN_CLICKED for `control_id` straight to `hwnd`."""
        return self.call("command", hwnd, control_id)

    def settext(self, hwnd, control_id, text):
        self.call("settext", hwnd, control_id, text)

    def settext_bytes(self, hwnd, control_id, data):
        """Sets a control's text from exact ANSI bytes."""
        self.call("settext_hex", hwnd, control_id, data.hex())

    def type_text(self, hwnd, control_id, text):
        self.call("type", hwnd, control_id, text)

    def gettext(self, hwnd, control_id=None):
        """(text, ansi bytes) of a window or of one of its controls."""
        fields = ["gettext", hwnd] + ([control_id] if control_id is not None else [])
        r = self.call(*fields)
        return r["text"], bytes.fromhex(r["text_hex"])

    def wait_text(self, hwnd, control_id, expected, timeout=60):
        """Waits until a control shows `expected` (a str is compared as its
        Shift-JIS bytes); AssertionError with the text last seen."""
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

    def window(self, cls, title, show="normal"):
        """Creates a top-level test window (show: normal, minimized, hidden)."""
        return self.call("window", cls, title, show)["hwnd"]

    def destroy(self, hwnd):
        self.call("destroy", hwnd)

    def foreground(self, hwnd):
        return self.call("foreground", hwnd)

    def capture(self, hwnd, windows_file):
        """Writes a 24-bit BMP of a window (or of the screen for "0")."""
        return self.call("capture", hwnd or "0", windows_file)

    def info(self):
        """{"acp": code page, "pid": the driver's process id}"""
        return self.call("info")

    def drive(self, letter):
        """{"present": bool, "type": GetDriveType value (5 CD-ROM, 3 fixed)}"""
        return self.call("drive", letter)

    def exists(self, windows_path):
        return self.call("exists", windows_path)["exists"]

    # ---- checks --------------------------------------------------------------

    def expect_message_box(self, title, text, buttons=(IDOK,), icon="error", timeout=30):
        """Waits for a message box and checks it exactly: title and text as
        Shift-JIS bytes, the set of button ids, the icon (error, question,
        warning, info, none). Returns its window handle."""
        try:
            win = self.find_message_box(title, timeout)
        except UiTimeout:
            raise AssertionError("no message box titled %r within %s s; windows on screen: %s"
                                 % (title, timeout, self._describe_windows()))
        box = self.msgbox(win["hwnd"])
        # The icon is read from the screen: a box under another window (the
        # Explorer window an installation opens) reads as unknown until raised.
        for _ in range(20):
            if icon is None or box["icon"] != "unknown":
                break
            self.foreground(win["hwnd"])
            time.sleep(0.5)
            box = self.msgbox(win["hwnd"])
        problems = []
        if bytes.fromhex(box["title_hex"]) != sjis(title):
            problems.append("title bytes %s, expected %s" % (box["title_hex"], sjis(title).hex()))
        got_text = bytes.fromhex(box.get("text_hex", ""))
        if got_text != sjis(text):
            problems.append("text %r (%s), expected %r (%s)" % (
                box.get("text"), got_text.hex(), text, sjis(text).hex()))
        got_buttons = sorted(b["id"] for b in box["buttons"])
        if got_buttons != sorted(buttons):
            problems.append("buttons %s, expected %s" % (got_buttons, sorted(buttons)))
        if icon is not None and box["icon"] != icon:
            problems.append("icon %s (%s), expected %s" % (box["icon"], box["icon_scores"], icon))
        self._message_boxes.add(win["hwnd"])
        if problems:
            raise AssertionError("message box %r: %s" % (title, "; ".join(problems)))
        return win["hwnd"]

    def _describe_windows(self):
        try:
            return ", ".join("%s %r" % (w["class"], w.get("title")) for w in self.windows()) or "none"
        except HarnessError as e:
            return "(unavailable: %s)" % e


# ---- test discs ------------------------------------------------------------------

def bmp_bytes(width, height, color=(0, 128, 255)):
    """A valid uncompressed bottom-up 24-bit BMP. `color` is an (r, g, b) tuple
    or a function (x, y) -> (r, g, b) with y counted from the top."""
    row = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = color(x, y) if callable(color) else color
            line += bytes((b, g, r))
        pixels += line + b"\0" * (row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


def changed_script(values, changes):
    """A test's base script with its changes as (key, value) pairs: a change to
    None removes the key, any other value replaces or adds it."""
    values = dict(values)
    for key, value in changes.items():
        if value is None:
            values.pop(key, None)
        else:
            values[key] = value
    return list(values.items())


def setup_ini(values, section="SETUP"):
    """SETUP.INI bytes in code page 932 with CRLF lines. `values` is a dict or
    a list of (key, value) pairs; values may be str or int."""
    items = values.items() if isinstance(values, dict) else values
    lines = ["[%s]" % section] + ["%s=%s" % (k, v) for k, v in items]
    return sjis("\r\n".join(lines) + "\r\n")


class Disc:
    """A folder that plays an install disc. Files are given relative to the
    disc root with either slash; str contents are written as cp932."""

    def __init__(self, root=None):
        self._tmp = None
        if root is None:
            self._tmp = tempfile.mkdtemp(prefix="disc-", dir=os.environ.get("TMPDIR"))
            root = self._tmp
        self.root = root
        os.makedirs(root, exist_ok=True)

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
        return False


class PrefixTestCase(unittest.TestCase):
    """Base class: one prefix (and UI driver) shared by all tests of a class,
    made in setUpClass. Override `prepare_prefix(cls, prefix)` to mount discs
    before any program starts."""

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
