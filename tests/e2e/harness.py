"""End-to-end test support: private Wine prefixes with drives and registry,
the client of the UI driver (tests/uidriver/uidrv.exe), test discs. See README.md."""
import contextlib, fcntl, itertools, json, os, queue, select, shutil, signal, struct, subprocess, sys, tempfile, threading, time, unittest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VAR = os.environ.get("LANTERNA_VAR", "/var/tmp/lanterna")
PREFIXES, OWNER_FILE = os.path.join(VAR, "prefixes"), ".lanterna-owner"
# Shared with the template by hard links; everything else is copied, because
# Wine rewrites those files in place and a link would carry changes back.
SHARED_DIRS = ("drive_c/windows/system32/", "drive_c/windows/syswow64/")
REG_SZ, REG_BINARY, REG_DWORD = 1, 3, 4
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7


class HarnessError(Exception): pass
class UiError(HarnessError): pass
class UiTimeout(UiError): pass


def sjis(text): return text.encode("cp932")


def wait_until(condition, timeout, what, error=AssertionError):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise error("%s: not within %s s" % (what, timeout))
        time.sleep(0.25)


def build_file(relative, env_name=None):
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


def setup_exe(): return build_file("setup.exe", "SETUP_EXE")


def _kill_group(proc):
    with contextlib.suppress(ProcessLookupError, subprocess.TimeoutExpired):
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait(timeout=10)


def _sweep_abandoned_prefixes():
    # A CTest timeout kills a test outright: its copy, wineserver and Xvfb (by the
    # PID recorded in the copy) are removed here once its process is gone.
    for path in (os.path.join(PREFIXES, n) for n in os.listdir(PREFIXES)):
        try:
            with open(os.path.join(path, OWNER_FILE)) as f:
                owner, xvfb = (int(x) for x in f.read().split())
        except (OSError, ValueError):
            continue  # not ours, or still being made
        if os.path.exists("/proc/%d" % owner):
            continue
        with contextlib.suppress(OSError, subprocess.TimeoutExpired):
            subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=path), timeout=30)
            with open("/proc/%d/comm" % xvfb) as f:
                if f.read().strip() == "Xvfb":
                    os.kill(xvfb, signal.SIGTERM)
        shutil.rmtree(path, ignore_errors=True)


def _start_xvfb():
    read_fd, write_fd = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                             "-noreset"], pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    os.close(write_fd)
    number = b""
    # Read up to the newline: a write after the pipe closes would kill the server.
    with os.fdopen(read_fd, "rb", buffering=0) as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(16) if select.select([pipe], [], [], 30)[0] else b""
            if not chunk:
                _kill_group(proc)
                raise HarnessError("Xvfb did not start")
            number += chunk
    proc.display = ":" + number.decode().strip()
    return proc


class WinePrefix:

    def __init__(self, name="test"):
        self.name, self.path, self.xvfb, self.env, self._driver = name, None, None, None, None
        self.timings, self._procs, self._pending_drives, self._server_started = {}, [], {}, False

    def __enter__(self):
        try:
            # SIGTERM (a CTest timeout) becomes SystemExit, so the clean-up runs.
            if threading.current_thread() is threading.main_thread() and signal.getsignal(signal.SIGTERM) == signal.SIG_DFL:
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
                shutil.copytree(template, self.path, symlinks=True, copy_function=lambda src, dst: (
                    os.link if os.path.relpath(src, template).startswith(SHARED_DIRS) else shutil.copy2)(src, dst))
            self.timings["copy"] = time.monotonic() - t0
            self.env = {k: v for k, v in os.environ.items() if k not in ("WINEARCH", "WINESERVER", "WINELOADER", "DISPLAY")}
            self.env.update(WINEPREFIX=self.path, LOCPATH=os.path.join(VAR, "locale"), LC_ALL="ja_JP.UTF-8",
                            WINEDEBUG=os.environ.get("LANTERNA_WINEDEBUG", "-all"),
                            WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d")
            self.xvfb = _start_xvfb()
            self.env["DISPLAY"] = self.xvfb.display
            with open(os.path.join(self.path, OWNER_FILE), "w") as f:
                f.write("%d %d\n" % (os.getpid(), self.xvfb.pid))
            return self
        except BaseException:
            self.close()
            raise

    def __exit__(self, *exc): self.close()

    def close(self):
        self._close_driver()
        if self._server_started:
            self.stop_server()
        for proc in self._procs:
            _kill_group(proc)
        if self.xvfb:
            self.xvfb.terminate()  # not killed: it removes its lock file
            with contextlib.suppress(subprocess.TimeoutExpired):
                self.xvfb.wait(timeout=10)
            if self.xvfb.poll() is None:
                self.xvfb.kill()
            self.xvfb = None
        if self.path and not os.environ.get("LANTERNA_KEEP_PREFIX"):
            shutil.rmtree(self.path, ignore_errors=True)

    def _close_driver(self):
        if self._driver:
            self._driver.close()
            self._driver = None

    def stop_server(self):
        for flag in ("-k", "-w"):
            with contextlib.suppress(subprocess.TimeoutExpired):
                subprocess.run(["wineserver", flag], env=self.env, timeout=60, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._server_started = False

    def start(self, exe, args=(), **popen_args):
        if self._pending_drives:
            # Before the first start the registry file can simply be appended to.
            with open(os.path.join(self.path, "system.reg"), "a", encoding="ascii") as f:
                f.write("\n[Software\\\\Wine\\\\Drives] %d\n" % int(time.time()))
                f.writelines('"%s:"="%s"\n' % item for item in sorted(self._pending_drives.items()))
            self._pending_drives = {}
        self._server_started = True
        popen_args = dict(dict(stdout=subprocess.PIPE, stderr=subprocess.PIPE), **popen_args)
        self._procs.append(subprocess.Popen(["wine", exe] + list(args), env=self.env, start_new_session=True, **popen_args))
        return self._procs[-1]

    def uidriver(self):
        self._driver = self._driver or UiDriver(self)
        return self._driver

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
        self._close_driver()
        self.stop_server()

    def mount_cdrom(self, letter, host_folder): self._mount(letter, host_folder, "cdrom")
    def mount_disk(self, letter, host_folder): self._mount(letter, host_folder, "hd")
    def change_disc(self, letter, host_folder): self._link(letter, host_folder or os.path.join(self.path, "no-disc"))

    def host_path(self, windows_path):
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
        target = self.host_path(windows_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(host_file, target)
        return windows_path

    @staticmethod
    def windows_path(host_path): return "Z:" + os.path.abspath(host_path).replace("/", "\\")

    # The registry goes through the driver: the server holds it.
    def reg_query(self, key, value=None, view=32):
        r = self.uidriver().call("regquery", key, "*" if value is None else value, view)
        pick = lambda v: {k: v[k] for k in ("type", "data", "ansi") if k in v}  # noqa: E731
        if value is not None:
            return pick(r) if r["exists"] else None
        return {"values": {v["name"]: pick(v) for v in r["values"]}, "subkeys": r["subkeys"]} if r["key_exists"] else None

    def reg_add(self, key, value, reg_type, data, view=32):
        data = sjis(data) + b"\0" if isinstance(data, str) else struct.pack("<I", data) if isinstance(data, int) else data
        self.uidriver().call("regset", key, value, reg_type, data, view)

    def reg_delete(self, key, value=None, view=32): self.uidriver().call("regdelete", key, "*" if value is None else value, view)


def _from_driver(v, key=None):
    # The driver's strings are the ANSI bytes themselves (read as latin-1):
    # registry data stays bytes, other texts become str with their bytes as "<key>_hex".
    if isinstance(v, list):
        return [_from_driver(x) for x in v]
    if isinstance(v, dict):
        return dict({k: _from_driver(x, k) for k, x in v.items()},
                    **{k + "_hex": x.encode("latin-1").hex() for k, x in v.items() if k in ("title", "text")})
    if not isinstance(v, str):
        return v
    return v.encode("latin-1") if key in ("data", "ansi") else v.encode("latin-1").decode("cp932", "replace")


class UiDriver:

    SLACK = 20.0  # reply delay beyond the command's own wait (qemu is slow)

    def __init__(self, prefix):
        self.proc = prefix.start(build_file("tests/uidriver/uidrv.exe", "UIDRV_EXE"), stdin=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL)
        self._lines, self._started, self._message_boxes = queue.Queue(), [], set()
        threading.Thread(target=lambda: [self._lines.put(line) for line in itertools.chain(self.proc.stdout, [None])],
                         daemon=True).start()
        if not self._reply(60).get("ready"):
            raise HarnessError("uidrv did not start")

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
                return _from_driver(json.loads(line.decode("latin-1")))

    def call(self, *fields, wait=0.0):
        raw = [f if isinstance(f, bytes) else sjis(str(f)) for f in fields]
        line = b"\t".join(b"".join(b"%%%02X" % c if c in b"%\t\r\n\0" else bytes([c]) for c in f) for f in raw)
        self.proc.stdin.write(line + b"\n")
        self.proc.stdin.flush()
        reply = self._reply(wait + self.SLACK)
        if not reply.get("ok"):
            raise (UiTimeout if reply.get("error") == "timeout" else UiError)("%s: %s" % (fields[0], reply.get("error")))
        return reply

    def close(self):
        try:
            self.proc.stdin.write(b"quit\n")
            self.proc.stdin.flush()
            self.proc.wait(timeout=10)
        except (OSError, subprocess.TimeoutExpired):
            _kill_group(self.proc)

    def start(self, command_line, cwd=None):
        self._started.append(self.call("start", command_line, *([cwd] if cwd else []))["pid"])
        return self._started[-1]

    def end_leftovers(self):
        for pid in self._started:
            with contextlib.suppress(HarnessError):
                self.kill(pid)
        self._started, self._message_boxes = [], set()

    def wait_exit(self, timeout=60, pid=None):
        return self.call("wait_exit", int(timeout * 1000), *([pid] if pid else []), wait=timeout)["exit_code"]

    def kill(self, pid=None): self.call("kill", *([pid] if pid else []))
    def find(self, cls="*", title="*", timeout=30, message_box=False):
        found = []
        wait_until(lambda: found.extend(w for w in self.windows() if cls in ("*", w["class"]) and title in ("*", w.get("title"))
                                        and w["msgbox"] >= message_box) or found, timeout, "window %r" % title, UiTimeout)
        return found[0]
    def find_dialog(self, title, timeout=30): return self.find("#32770", title, timeout)
    def find_message_box(self, title, timeout=30): return self.find("#32770", title, timeout, message_box=True)
    def windows(self): return self.call("list")["windows"]
    def controls(self, hwnd): return self.call("controls", hwnd)["controls"]
    def control(self, hwnd, control_id): return next(c for c in self.controls(hwnd) if c["id"] == control_id)
    def msgbox(self, hwnd): return self.call("msgbox", hwnd)
    def command(self, hwnd, control_id): return self.call("command", hwnd, control_id)
    def settext(self, hwnd, control_id, text): self.call("settext", hwnd, control_id, text)
    def wait_gone(self, hwnd, timeout=30):
        wait_until(lambda: hwnd not in [w["hwnd"] for w in self.windows()], timeout, "%s gone" % hwnd, UiTimeout)
    def close_window(self, hwnd): self.call("close", hwnd)

    def click(self, hwnd, control_id):
        # A matched message box is waited out, so a look-up by title cannot find it still closing.
        reply = self.call("click", hwnd, control_id)
        if hwnd in self._message_boxes:
            self._message_boxes.discard(hwnd)
            with contextlib.suppress(UiTimeout):
                self.wait_gone(hwnd, 15)
        return reply

    def gettext(self, hwnd, control_id=None):
        r = self.call("gettext", hwnd, *([control_id] if control_id is not None else []))
        return r["text"], bytes.fromhex(r["text_hex"])

    def wait_text(self, hwnd, control_id, expected, timeout=60):
        want = sjis(expected) if isinstance(expected, str) else expected
        wait_until(lambda: self.gettext(hwnd, control_id)[1] == want, timeout, "control %s showing %r" % (control_id, want))

    def expect_message_box(self, title, text, buttons=(IDOK,), icon="error", timeout=30):
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
            raise AssertionError("message box %r: %s" % (title, "; ".join(problems)))
        return hwnd


def bmp_bytes(width, height, color=(0, 128, 255)):
    row = (width * 3 + 3) & ~3
    pixels = (bytes(reversed(color)) * width + bytes(row - width * 3)) * height
    return (struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54) +
            struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)


def changed_script(values, changes): return [(k, v) for k, v in dict(values, **changes).items() if v is not None]


def setup_ini(values, section="SETUP"):
    items = values.items() if isinstance(values, dict) else values
    return sjis("\r\n".join(["[%s]" % section] + ["%s=%s" % kv for kv in items]) + "\r\n")


class Disc:

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

    def add_setup_ini(self, values): return self.add("SETUP.INI", setup_ini(values))
    def add_bmp(self, relative, width=16, height=8, color=(0, 128, 255)): return self.add(relative, bmp_bytes(width, height, color))
    def cleanup(self): self._tmp and shutil.rmtree(self._tmp, ignore_errors=True)
    def __enter__(self): return self
    def __exit__(self, *exc): self.cleanup()


class PrefixTestCase(unittest.TestCase):
    prefix = ui = None

    @classmethod
    def prepare_prefix(cls, prefix): pass

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
    def tearDownClass(cls): cls._prefix_cm.close()

    def doCleanups(self):
        # Before the test's own clean-ups: a run left open by a failed check
        # would otherwise hold files and show its boxes to the next test.
        if self.ui is not None:
            self.ui.end_leftovers()
        return super().doCleanups()
