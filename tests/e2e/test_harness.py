"""The test machinery itself: message boxes are read and pressed exactly, test
windows are found and raised, registry values keep their bytes and views, and
drives and disc changes are seen from the Windows side. Other end-to-end tests
stand on these; when one of them fails here, their failures mean little."""

import os
import time
import unittest

import harness as h

MBOX = os.environ.get("MBOX_EXE") or h.build_file("tests/uidriver/mbox.exe")

MB_OK, MB_OKCANCEL, MB_YESNO = 0x0, 0x1, 0x4
MB_ICONERROR, MB_ICONQUESTION, MB_ICONWARNING, MB_ICONINFO = 0x10, 0x20, 0x30, 0x40


class MachineryTest(h.PrefixTestCase):

    @classmethod
    def prepare_prefix(cls, prefix):
        cls.disc1 = h.Disc()
        cls.disc1.add_setup_ini({"GameTitle": "LANTERNA"})
        cls.disc2 = h.Disc()
        cls.disc2.add("DISK2.CHK", b"2")
        prefix.mount_cdrom("e", cls.disc1.root)
        cls.mbox = prefix.put_file(MBOX, r"C:\harness\mbox.exe")

    @classmethod
    def tearDownClass(cls):
        super().tearDownClass()
        cls.disc1.cleanup()
        cls.disc2.cleanup()

    def show_box(self, flags, title, text):
        return self.ui.start('"%s" %d "%s" "%s"' % (self.mbox, flags, title, text))

    def test_message_boxes_are_read_exactly_and_pressed(self):
        cases = [
            # flags, expected button ids, expected icon, button to press
            (MB_OK | MB_ICONERROR, [h.IDOK], "error", h.IDOK),
            (MB_OKCANCEL, [h.IDOK, h.IDCANCEL], "none", h.IDCANCEL),
            (MB_YESNO | MB_ICONQUESTION, [h.IDYES, h.IDNO], "question", h.IDNO),
            (MB_OK | MB_ICONWARNING, [h.IDOK], "warning", h.IDOK),
            (MB_YESNO | MB_ICONINFO, [h.IDYES, h.IDNO], "info", h.IDYES),
        ]
        for flags, buttons, icon, press in cases:
            with self.subTest(flags=hex(flags)):
                title = "テスト %d" % flags
                text = "表示テキスト・ソ表(%d)" % flags
                self.show_box(flags, title, text)
                hwnd = self.ui.expect_message_box(title, text, buttons, icon, timeout=30)
                self.ui.click(hwnd, press)
                self.ui.wait_gone(hwnd, 10)
                self.assertEqual(self.ui.wait_exit(20), press)

    def test_message_box_is_told_from_a_dialog_of_the_same_title(self):
        # The wizard carries the caption of its own message boxes.
        wizard = self.ui.window("#32770", "同じ題")
        try:
            with self.assertRaises(h.UiTimeout):
                self.ui.find_message_box("同じ題", timeout=0.5)
            self.show_box(MB_OK | MB_ICONERROR, "同じ題", "本物")
            hwnd = self.ui.expect_message_box("同じ題", "本物", timeout=30)
            self.assertNotEqual(hwnd, wizard)
            self.ui.click(hwnd, h.IDOK)
            self.assertEqual(self.ui.wait_exit(20), h.IDOK)
        finally:
            self.ui.destroy(wizard)

    def test_expect_message_box_reports_each_mismatch(self):
        self.show_box(MB_OK | MB_ICONERROR, "比較", "本文")
        try:
            for wrong in [dict(text="本文X"), dict(buttons=[h.IDOK, h.IDCANCEL]),
                          dict(icon="question")]:
                args = dict(title="比較", text="本文", buttons=[h.IDOK], icon="error")
                args.update(wrong)
                with self.subTest(wrong=wrong):
                    with self.assertRaises(AssertionError):
                        self.ui.expect_message_box(timeout=20, **args)
            with self.assertRaises(AssertionError):
                self.ui.expect_message_box("題名なし", "本文", timeout=1)
        finally:
            hwnd = self.ui.find_dialog("比較", 5)["hwnd"]
            self.ui.click(hwnd, h.IDOK)
            self.ui.wait_exit(20)

    def test_waits_time_out(self):
        with self.assertRaises(h.UiTimeout):
            self.ui.find("NoSuchClass", "*", timeout=0.5)
        self.show_box(MB_OK, "待ち", "x")
        with self.assertRaises(h.UiTimeout):
            self.ui.wait_exit(0.5)
        hwnd = self.ui.find_dialog("待ち", 30)["hwnd"]
        with self.assertRaises(h.UiTimeout):
            self.ui.wait_gone(hwnd, 0.5)
        self.ui.close_window(hwnd)
        self.ui.wait_exit(20)

    def test_texts_of_a_busy_program_are_read(self):
        # The wizard stops answering messages while it copies; its title and
        # static texts must still be readable then.
        self.ui.start('"%s" busy "作業中" "コピー中・表" 30000' % self.mbox)
        win = self.ui.find("#32770", "作業中", timeout=30)
        time.sleep(1)  # past the window's last look at its messages
        static, edit = self.ui.control(win["hwnd"], 100), self.ui.control(win["hwnd"], 101)
        self.assertEqual(bytes.fromhex(static["text_hex"]), h.sjis("コピー中・表"))
        self.assertEqual(bytes.fromhex(win["title_hex"]), h.sjis("作業中"))
        # An edit field's text lives inside the busy program: reported as unreadable.
        self.assertTrue(edit.get("text_unreadable"))
        self.ui.kill()
        self.ui.wait_exit(20)

    def test_edit_fields_and_check_boxes_are_driven(self):
        self.ui.start('"%s" form "入力欄" "初期"' % self.mbox)
        hwnd = self.ui.find("HarnessForm", "入力欄", timeout=30)["hwnd"]
        self.assertEqual(self.ui.gettext(hwnd, 101), ("初期", h.sjis("初期")))
        # Each set text and each typed character is one change notice.
        self.ui.settext(hwnd, 101, "C:\\表\\ソ")
        self.assertEqual(self.ui.gettext(hwnd, 101)[1], b"C:\\\x95\x5c\\\x83\x5c")
        self.ui.settext_bytes(hwnd, 101, b"D:\\\x83\x5c")
        self.assertEqual(self.ui.gettext(hwnd, 101), ("D:\\ソ", b"D:\\\x83\x5c"))
        self.ui.settext(hwnd, 101, "")
        self.ui.type_text(hwnd, 101, "aソ")
        self.assertEqual(self.ui.gettext(hwnd, 101), ("aソ", b"a\x83\x5c"))
        self.assertEqual(self.ui.control(hwnd, 102)["checked"], 0)
        self.ui.click(hwnd, 102)
        self.assertEqual(self.ui.control(hwnd, 102)["checked"], 1)
        self.ui.click(hwnd, 102)
        self.ui.click(hwnd, 102)
        self.ui.close_window(hwnd)
        self.assertEqual(self.ui.wait_exit(20), 1000 + 5 + 100)

    def test_test_windows_are_found_raised_and_destroyed(self):
        game = self.ui.window("LanternaGameClass", "ゲーム画面")
        other = self.ui.window("#32770", "別の窓")
        try:
            found = self.ui.find("LanternaGameClass", "ゲーム画面", timeout=5)
            self.assertEqual(found["hwnd"], game)
            self.assertEqual(bytes.fromhex(found["title_hex"]), h.sjis("ゲーム画面"))
            self.assertEqual(self.ui.find_dialog("別の窓", 5)["hwnd"], other)
            # A different title under the same class is not a match.
            with self.assertRaises(h.UiTimeout):
                self.ui.find("LanternaGameClass", "ゲーム", timeout=0.3)
            # The window shown last is the active one; the hand-over tests
            # rely on telling these two states apart.
            self.assertEqual(self.ui.foreground(other)["foreground"], True)
            state = self.ui.foreground(game)
            self.assertEqual((state["foreground"], state["visible"]), (False, True))
        finally:
            self.ui.destroy(game)
            self.ui.destroy(other)
        self.ui.wait_gone(game, 5)
        with self.assertRaises(h.UiTimeout):
            self.ui.find("LanternaGameClass", "ゲーム画面", timeout=0.3)

    def test_registry_values_keep_bytes_and_views(self):
        key = r"HKCU\Software\LanternaHarness\日本語"
        self.prefix.reg_add(key, "InstPath", h.REG_SZ, "C:\\ゲーム\\表")
        got = self.prefix.reg_query(key, "InstPath")
        self.assertEqual(got["type"], h.REG_SZ)
        self.assertEqual(got["ansi"], h.sjis("C:\\ゲーム\\表") + b"\0")
        self.prefix.reg_add(key, "Count", h.REG_DWORD, 7)
        self.assertEqual(self.prefix.reg_query(key, "Count")["data"], b"\x07\0\0\0")
        listing = self.prefix.reg_query(key)
        self.assertEqual(sorted(listing["values"]), ["Count", "InstPath"])
        self.assertIsNone(self.prefix.reg_query(key, "Missing"))
        self.prefix.reg_delete(key, "Count")
        self.assertIsNone(self.prefix.reg_query(key, "Count"))
        self.prefix.reg_delete(key)
        self.assertIsNone(self.prefix.reg_query(key))

        # A 32-bit program's HKLM\Software writes are not in the 64-bit view.
        machine = r"HKLM\Software\LanternaHarness"
        self.prefix.reg_add(machine, "V", h.REG_SZ, "32", view=32)
        self.assertIsNotNone(self.prefix.reg_query(machine, "V", view=32))
        self.assertIsNone(self.prefix.reg_query(machine, "V", view=64))
        self.prefix.reg_delete(machine, view=32)

    def test_cdrom_drive_and_disc_change(self):
        self.assertEqual(self.ui.drive("E"), {"ok": True, "present": True, "type": 5})
        self.assertTrue(self.ui.exists(r"E:\SETUP.INI"))
        try:
            self.prefix.change_disc("e", self.disc2.root)
            self.assertTrue(self.ui.exists(r"E:\DISK2.CHK"))
            self.assertFalse(self.ui.exists(r"E:\SETUP.INI"))
            self.prefix.change_disc("e", None)
            self.assertFalse(self.ui.exists(r"E:\DISK2.CHK"))
        finally:
            self.prefix.change_disc("e", self.disc1.root)
        self.assertTrue(self.ui.exists(r"E:\SETUP.INI"))

    def test_host_path_matches_case_like_windows(self):
        path = self.prefix.host_path(r"c:\WINDOWS\System32")
        self.assertTrue(os.path.isdir(path))
        self.assertEqual(os.path.realpath(path),
                         os.path.realpath(os.path.join(self.prefix.path, "drive_c", "windows",
                                                       "system32")))


class DiscToolsTest(unittest.TestCase):
    """The disc builders write what Windows programs expect to read."""

    def test_bmp_layout(self):
        data = h.bmp_bytes(3, 2, lambda x, y: (x, y, 200))
        # 54-byte headers, rows padded to 4 bytes: 3 * 3 + 3 = 12 bytes per row.
        self.assertEqual(len(data), 54 + 12 * 2)
        self.assertEqual(data[:2], b"BM")
        self.assertEqual(int.from_bytes(data[2:6], "little"), len(data))
        self.assertEqual(int.from_bytes(data[10:14], "little"), 54)
        self.assertEqual(int.from_bytes(data[28:30], "little"), 24)
        # Bottom-up: the first stored row is the picture's last (y = 1); BGR order.
        self.assertEqual(data[54:57], bytes((200, 1, 0)))
        self.assertEqual(data[54 + 12:54 + 15], bytes((200, 0, 0)))
        self.assertEqual(data[54 + 9:54 + 12], b"\0\0\0")

    def test_setup_ini_is_shift_jis_with_crlf(self):
        data = h.setup_ini([("GameTitle", "LANTERNA"), ("InstallTitle0", "標準"), ("N", 3)])
        self.assertEqual(data, b"[SETUP]\r\nGameTitle=LANTERNA\r\nInstallTitle0=\x95\x57\x8f\x80\r\nN=3\r\n")


if __name__ == "__main__":
    unittest.main()
