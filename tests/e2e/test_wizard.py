"""End-to-end tests of the wizard dialog: pages, buttons, the install-folder
preview, the default destination, the busy guard, banner loading and choice.
Automatic mode, the correctable faults and the completed page are driven by
test_install.

Run: python3 -m unittest -v tests/e2e/test_wizard.py   (from the repository root;
SETUP_EXE / UIDRV_EXE pick the build, else the newest one is used)."""
import os
import struct
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402
from harness import sjis  # noqa: E402

CAPTION = "LANTERNA 修正セットアップ"
NEXT, CANCEL, BACK = 1, 2, 4
INFO, EDIT, BROWSE, BANNER, PREVIEW, DIRECTX = 1001, 1002, 1003, 1004, 1009, 1008
RADIOS = (1005, 1006, 1007)

WELCOME = "「LANTERNA」のインストールを開始します"
DESTINATION = "インストール先を指定して下さい"
ABORTED = "インストールが中断されました"
COMPANY = "タルベン表"  # 表 ends in byte 0x5C: the preview must still add one separator
# A script text with conversions in it: shown as it stands, nothing read for it.
SELECT_MESSAGE = "方法を選んで下さい %s %d %% 100%"
DX_MESSAGE = "ＤｉｒｅｃｔＸも入れる"


def script(**changes):
    """A SETUP.INI of two install choices; keyword arguments replace or add keys."""
    values = {
        "CompanyName": COMPANY, "GameTitle": "LANTERNA", "GameDir": "LANTERNA",
        "GameExe": "LANTERNA.EXE", "UninstExe": "UNINST.EXE", "SetupBmp": "BANNER.BMP",
        "InstallSelects": 2,
        "InstallTitle0": "標準インストール", "InstallFiles0": "A.DAT",
        "InstallTitle1": "フルインストール", "InstallFiles1": "A.DAT,B.DAT",
        "InstallSize1": 1048576 * 650,
        "Shortcuts": 0, "DefaultSelect": 1, "InstallDirectX": 1,
        "InstallDXMessage": DX_MESSAGE, "SelectSetupMessage": SELECT_MESSAGE,
    }
    return harness.changed_script(values, changes)


def prepare_disc(disc, **changes):
    disc.add_setup_ini(script(**changes))
    disc.add("A.DAT", b"a" * 1536)
    disc.add("B.DAT", b"b" * 100)
    disc.add_bmp("BANNER.BMP", 96, 64, (200, 40, 40))


class Wizard:
    """One run of setup.exe and its wizard window, driven through the UI driver."""

    def __init__(self, test, arguments=""):
        self.test = test
        self.ui = test.ui
        exe = test.prefix.windows_path(harness.setup_exe())
        self.pid = self.ui.start('"%s"%s' % (exe, (" " + arguments) if arguments else ""))
        self.hwnd = self.ui.find_dialog(CAPTION, 90)["hwnd"]

    def controls(self):
        return {c["id"]: c for c in self.ui.controls(self.hwnd)}

    def text(self, control_id):
        return self.ui.gettext(self.hwnd, control_id)[1]

    def press(self, control_id):
        self.ui.command(self.hwnd, control_id)

    def wait_info(self, text, timeout=60):
        self.ui.wait_text(self.hwnd, INFO, text, timeout)

    def expect_buttons(self, back, next_, cancel):
        c = self.controls()
        self.test.assertEqual((c[BACK]["enabled"], c[NEXT]["enabled"], c[CANCEL]["enabled"]),
                              (back, next_, cancel), "Back, Next, Cancel enabled")

    def expect_shown(self, shown, hidden):
        c = self.controls()
        for i in shown:
            self.test.assertTrue(c[i]["visible"], "control %d should be visible" % i)
        for i in hidden:
            self.test.assertFalse(c[i]["visible"], "control %d should be hidden" % i)

    def browser(self):
        """The shell's folder browser of this run, or None."""
        for win in self.ui.windows():
            if (win["class"] == "#32770" and win["visible"] and win["hwnd"] != self.hwnd
                    and win["pid"] == self.pid):
                return win["hwnd"]
        return None

    def cancel_and_expect_abort(self):
        """Cancel ends the dialog with -1: the abort message, then exit code 0."""
        self.press(CANCEL)
        self.ui.wait_gone(self.hwnd, 30)
        box = self.ui.expect_message_box(CAPTION, ABORTED, icon=None)
        self.ui.click(box, harness.IDOK)
        self.test.assertEqual(self.ui.wait_exit(60, self.pid), 0)

    def to_destination(self):
        """Welcome -> selection -> destination, each page's text checked."""
        self.wait_info(WELCOME)
        self.press(NEXT)
        self.wait_info(SELECT_MESSAGE)
        self.press(NEXT)
        self.wait_info(DESTINATION)



class WizardTestCase(harness.PrefixTestCase):
    disc = None

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.disc = harness.Disc()
        prepare_disc(cls.disc)
        prefix.mount_cdrom("E", cls.disc.root)

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        if cls.disc:
            cls.disc.cleanup()

    def run_wizard(self, arguments="", **changes):
        prepare_disc(self.disc, **changes)
        return Wizard(self, arguments)


class PageTests(WizardTestCase):
    def test_welcome_selection_destination_back_and_cancel(self):
        w = self.run_wizard()
        # Welcome: caption, banner, size captions prepared for later, DirectX offer.
        self.assertEqual(self.ui.gettext(w.hwnd)[1], sjis(CAPTION))
        w.wait_info(WELCOME)
        c = w.controls()
        self.assertTrue(c[BANNER].get("has_image"), "banner set")
        self.assertEqual(bytes.fromhex(c[1005]["text_hex"]), sjis("標準インストール  ( 約 1.50 KB )"))
        self.assertEqual(bytes.fromhex(c[1006]["text_hex"]), sjis("フルインストール  ( 約 650 MB )"))
        self.assertEqual(bytes.fromhex(c[DIRECTX]["text_hex"]), sjis(DX_MESSAGE))
        self.assertEqual(c[DIRECTX]["checked"], 0, "DirectX starts cleared")
        w.expect_shown([DIRECTX, BANNER, INFO], RADIOS + (EDIT, BROWSE, PREVIEW))
        w.expect_buttons(back=False, next_=True, cancel=True)

        # The check box toggles on each click: once ticked, twice cleared.
        for expected in (1, 0, 1):
            self.ui.click(w.hwnd, DIRECTX)
            harness.wait_until(lambda: w.controls()[DIRECTX]["checked"] == expected, 20, "DirectX box %d" % expected)

        # Selection: the script text literally, only listed choices, the default chosen.
        w.press(NEXT)
        w.wait_info(SELECT_MESSAGE)
        w.expect_shown([1005, 1006], [1007, DIRECTX, EDIT, BROWSE, PREVIEW])
        w.expect_buttons(back=False, next_=True, cancel=True)
        c = w.controls()
        self.assertEqual((c[1005]["checked"], c[1006]["checked"]), (0, 1), "DefaultSelect=1 chosen")
        self.ui.click(w.hwnd, 1005)
        harness.wait_until(lambda: w.controls()[1005]["checked"] == 1, 20, "first choice")
        c = w.controls()
        self.assertEqual((c[1005]["checked"], c[1006]["checked"]), (1, 0))

        # Destination: the default folder and the preview that follows the field.
        w.press(NEXT)
        w.wait_info(DESTINATION)
        w.expect_shown([EDIT, BROWSE, PREVIEW], RADIOS + (DIRECTX,))
        w.expect_buttons(back=True, next_=True, cancel=True)
        default = w.text(EDIT)
        self.assertTrue(default, "a default destination is set")
        joined = default if default.endswith(b"\\") else default + b"\\"
        self.assertEqual(w.text(PREVIEW), joined + sjis(COMPANY) + b"\\LANTERNA")
        for typed, preview in [
            (b"D:\\Games", b"D:\\Games\\" + sjis(COMPANY) + b"\\LANTERNA"),
            (b"D:\\", b"D:\\" + sjis(COMPANY) + b"\\LANTERNA"),
            (b"", b"\\" + sjis(COMPANY) + b"\\LANTERNA"),
            (sjis("D:\\ソフト"), sjis("D:\\ソフト\\") + sjis(COMPANY) + b"\\LANTERNA"),
        ]:
            self.ui.settext_bytes(w.hwnd, EDIT, typed)
            self.ui.wait_text(w.hwnd, PREVIEW, preview, 30)
        # Keystrokes too, one change at a time.
        self.ui.settext_bytes(w.hwnd, EDIT, b"")
        self.ui.type_text(w.hwnd, EDIT, "E:\\X")
        self.ui.wait_text(w.hwnd, PREVIEW, b"E:\\X\\" + sjis(COMPANY) + b"\\LANTERNA", 30)

        # Back returns to the selection page with the choice kept.
        w.press(BACK)
        w.wait_info(SELECT_MESSAGE)
        w.expect_shown([1005, 1006], [EDIT, BROWSE, PREVIEW])
        self.assertEqual(w.controls()[1005]["checked"], 1)
        # Next again puts the default back into the field.
        w.press(NEXT)
        w.wait_info(DESTINATION)
        self.assertEqual(w.text(EDIT), default)

        # Correctable faults and Back from them are walked in test_install.
        w.cancel_and_expect_abort()

    def test_browse_acts_only_on_the_destination_page_and_cancel_keeps_the_field(self):
        w = self.run_wizard()
        w.wait_info(WELCOME)
        w.press(BROWSE)  # hidden here; a posted command must not open the browser
        time.sleep(3)
        self.assertIsNone(w.browser(), "no folder browser on the welcome page")
        w.to_destination()
        self.ui.settext_bytes(w.hwnd, EDIT, b"D:\\Kept")
        w.press(BROWSE)
        harness.wait_until(lambda: w.browser() is not None, 60, "the folder browser opened")
        browser = w.browser()
        texts = [bytes.fromhex(c.get("text_hex", "")) for c in self.ui.controls(browser)]
        self.assertIn(sjis(DESTINATION), texts, "the browser shows the prompt")
        self.ui.click(browser, harness.IDCANCEL)
        self.ui.wait_gone(browser, 30)
        self.assertEqual(w.text(EDIT), b"D:\\Kept")
        w.cancel_and_expect_abort()

    def test_without_directx_offer_the_box_stays_hidden(self):
        # Only a missing key withholds the offer; InstallDirectX=0 still offers it.
        w = self.run_wizard(InstallDirectX=None)
        w.wait_info(WELCOME)
        w.expect_shown([], [DIRECTX])
        self.assertEqual(w.text(DIRECTX), b"Check1")
        w.cancel_and_expect_abort()

    def test_default_destination_follows_program_files_dir(self):
        key = r"HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion"
        original = self.prefix.reg_query(key, "ProgramFilesDir", view=32)
        self.assertIsNotNone(original, "a 32-bit program sees ProgramFilesDir")
        self.addCleanup(self.prefix.reg_add, key, "ProgramFilesDir", original["type"], original["ansi"], 32)
        os.makedirs(self.prefix.host_path("C:\\") + "/Spiele", exist_ok=True)

        w = self.run_wizard()
        w.to_destination()
        # The 32-bit view's value, as the program reads it.
        self.assertEqual(w.text(EDIT), original["ansi"].rstrip(b"\0"))

        # The page computes the default each time it is shown.
        cases = [
            ("C:\\Spiele", b"C:\\Spiele"),       # an existing folder is taken as it is
            ("C:\\Nirgends", b"C:\\"),            # a missing folder: the Windows drive's root
            (None, b"C:\\Program Files"),         # no value: Program Files on the Windows drive
        ]
        for value, expected in cases:
            if value is None:
                self.prefix.reg_delete(key, "ProgramFilesDir", view=32)
            else:
                self.prefix.reg_add(key, "ProgramFilesDir", harness.REG_SZ, value, view=32)
            w.press(BACK)
            w.wait_info(SELECT_MESSAGE)
            w.press(NEXT)
            w.wait_info(DESTINATION)
            self.assertEqual(w.text(EDIT), expected, value)
        w.cancel_and_expect_abort()


class BusyTests(WizardTestCase):
    def test_cancel_next_and_back_are_ignored_while_a_box_of_the_run_is_up(self):
        w = self.run_wizard(InstallFiles0="A.DAT,2:C.DAT", DiskCheckFile2="DISC2.MRK", DefaultSelect=0)
        w.to_destination()
        w.press(NEXT)
        prompt = self.ui.expect_message_box(CAPTION, "「LANTERNA」ディスク 2 を入れて下さい",
                                            (harness.IDOK, harness.IDCANCEL), "none", timeout=90)
        # The wizard re-enters its procedure under the box; busy turns these into nothing.
        for control_id in (CANCEL, BACK, NEXT):
            w.press(control_id)
        time.sleep(3)
        still = {win["hwnd"] for win in self.ui.windows() if win["visible"]}
        self.assertIn(w.hwnd, still, "wizard still open")
        self.assertIn(prompt, still, "the prompt is still up")
        self.ui.click(prompt, harness.IDCANCEL)
        self.ui.wait_gone(w.hwnd, 60)
        box = self.ui.expect_message_box(CAPTION, ABORTED, icon=None, timeout=60)
        self.ui.click(box, harness.IDOK)
        self.assertEqual(self.ui.wait_exit(60, w.pid), 0)


# ---- banners -------------------------------------------------------------------

def bmp(width=8, height=4, bits=24, header_size=40, colours_used=0, compression=0,
        planes=1, palette=b"", cut=0):
    """A banner file built field by field; `cut` drops bytes from the end."""
    row = ((bits + 7) // 8 * width + 3) & ~3
    pixels = bytes(row * abs(height))
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, planes, bits, compression,
                       len(pixels), 2835, 2835, colours_used, 0)
    info += bytes(header_size - 40)
    body = info + palette + pixels
    data = struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + len(info) + len(palette)) + body
    return data[:len(data) - cut] if cut else data


class BannerTests(WizardTestCase):
    def expect_load_failure(self, name, content):
        if content is not None:
            self.disc.add(name, content)
        prepare_disc(self.disc, SetupBmp=name)
        if content is None and os.path.exists(os.path.join(self.disc.root, name)):
            os.unlink(os.path.join(self.disc.root, name))
        exe = self.prefix.windows_path(harness.setup_exe())
        pid = self.ui.start('"%s"' % exe)
        try:
            self.ui.click(self.ui.expect_message_box(CAPTION, 'Can\'t load "E:\\%s"' % name, timeout=90), harness.IDOK)
            self.ui.click(self.ui.expect_message_box(CAPTION, ABORTED, icon=None, timeout=60), harness.IDOK)
            self.assertEqual(self.ui.wait_exit(60, pid), 0)
        finally:
            self.ui.end_leftovers()  # a failed case must not leave its box to the next

    def test_missing_or_unfit_banners_end_the_wizard(self):
        cases = [
            ("MISSING.BMP", None),
            ("PALETTE.BMP", bmp(bits=8, colours_used=2, palette=bytes(8))),
            ("EIGHT.BMP", bmp(bits=8)),
            ("V5HEAD.BMP", bmp(header_size=124)),
            ("TOPDOWN.BMP", bmp(height=-4)),
            ("RLE.BMP", bmp(bits=8, compression=1)),
            ("FIELDS.BMP", bmp(bits=32, compression=3)),
            ("SHORT.BMP", bmp(cut=1)),
            ("TABLE24.BMP", bmp(colours_used=4, palette=bytes(16))),
        ]
        for name, content in cases:
            with self.subTest(name):
                self.expect_load_failure(name, content)

    def test_a_fitting_banner_of_each_depth_loads(self):
        for bits in (16, 24, 32):
            with self.subTest(bits=bits):
                self.disc.add("OK.BMP", bmp(width=5, height=3, bits=bits))
                w = self.run_wizard(SetupBmp="OK.BMP")
                w.wait_info(WELCOME)
                self.assertTrue(w.controls()[BANNER].get("has_image"))
                w.cancel_and_expect_abort()


def banner_colour(i):
    return (40 + i * 10, 250 - i * 11, (i * 97) % 256)


class BannerChoiceTests(WizardTestCase):
    def test_several_banners_are_chosen_across_runs(self):
        names = ["B%02d.BMP" % i for i in range(20)]
        for i, name in enumerate(names):
            self.disc.add_bmp(name, 120, 120, banner_colour(i))
        shot = self.prefix.host_path("C:\\") + "/wizard-shot.bmp"
        # The seed is the millisecond timer at start. Starts about 10.03 s apart
        # would draw nearly the same first number (214013 / 65536 * 10034 is close
        # to 32768), so the pauses between runs differ, and the runs go on until two
        # banners differ: six equal choices in a row would mean the seed is not used.
        chosen = []
        for pause in (0.7, 1.9, 3.1, 4.3, 5.5, 0):
            w = self.run_wizard(SetupBmp=",".join(names))
            w.wait_info(WELCOME)
            self.ui.capture(w.hwnd, "C:\\wizard-shot.bmp")
            chosen.append(self.identify(shot))
            w.cancel_and_expect_abort()
            self.assertIsNotNone(chosen[-1], "a banner of the disc shows")
            if len(set(chosen)) > 1:
                break
            time.sleep(pause)
        self.assertGreater(len(set(chosen)), 1, "banners chosen: %s" % chosen)

    @staticmethod
    def identify(path):
        """The banner index whose colour fills the middle of the banner area."""
        with open(path, "rb") as f:
            data = f.read()
        offset, = struct.unpack_from("<I", data, 10)
        width, height, _, bits = struct.unpack_from("<iiHH", data, 18)
        row = ((bits // 8) * width + 3) & ~3
        # Banner at 8,8 dialog units of the client area, 120 pixels square; its
        # middle lies well inside whatever the frame and caption add.
        x, y = 70, 90
        line = height - 1 - y if height > 0 else y
        b, g, r = data[offset + line * row + x * (bits // 8):][:3]
        for i in range(20):
            if banner_colour(i) == (r, g, b):
                return i
        return None


if __name__ == "__main__":
    unittest.main()
