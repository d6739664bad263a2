#!/usr/bin/env python3
"""Checks the resources compiled into setup.exe: the wizard dialog (101) control by
control with its Japanese texts as Shift-JIS bytes, the manifest (24/1), and the
update package (UPDATE/102) when an archive is given.

usage: check_resources.py SETUP.EXE [--update ARCHIVE]
Exits 0 when everything matches, 1 with a list of differences otherwise."""
import struct
import sys

RT_DIALOG, RT_MANIFEST = 5, 24
LANG_JAPANESE_DEFAULT = 0x411

WS_POPUP, WS_CHILD, WS_VISIBLE = 0x80000000, 0x40000000, 0x10000000
WS_CAPTION, WS_BORDER, WS_SYSMENU = 0x00C00000, 0x00800000, 0x00080000
WS_GROUP, WS_TABSTOP = 0x00020000, 0x00010000
DS_SETFONT, DS_MODALFRAME, DS_CENTER = 0x40, 0x80, 0x800
BS_PUSHBUTTON, BS_DEFPUSHBUTTON, BS_AUTOCHECKBOX, BS_AUTORADIOBUTTON, BS_MULTILINE = 0, 1, 3, 9, 0x2000
SS_LEFT, SS_BITMAP = 0, 0xE
ES_LEFT, ES_AUTOHSCROLL = 0, 0x80
BUTTON, EDIT, STATIC = 0x80, 0x81, 0x82

# Captions as the user sees them, in Shift-JIS.
NEXT = bytes.fromhex("8e9f82d6")             # 次へ
CANCEL = bytes.fromhex("92868e7e")           # 中止
BACK = bytes.fromhex("96df82e9")             # 戻る
BROWSE = bytes.fromhex("8e518fc6")           # 参照
FONT = bytes.fromhex("826c827220826f835383568362834e")  # ＭＳ Ｐゴシック

DIALOG = dict(style=DS_MODALFRAME | DS_CENTER | DS_SETFONT | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU,
              rect=(0, 0, 394, 222), caption=b"SETUP", font_size=11, font=FONT)

HIDDEN = 0
SHOWN = WS_VISIBLE
# id, class, style (WS_CHILD added below), x, y, width, height, text
CONTROLS = [
    (1, BUTTON, BS_DEFPUSHBUTTON | WS_TABSTOP | SHOWN, 279, 200, 50, 14, NEXT),
    (2, BUTTON, BS_PUSHBUTTON | WS_TABSTOP | SHOWN, 336, 200, 50, 14, CANCEL),
    (4, BUTTON, BS_PUSHBUTTON | WS_TABSTOP | SHOWN, 227, 200, 50, 14, BACK),
    (1004, STATIC, SS_BITMAP | SHOWN, 8, 8, 13, 13, b"SETUP.BMP"),
    (1001, STATIC, SS_LEFT | WS_GROUP | SHOWN, 211, 20, 168, 33, b"Info"),
    (1009, STATIC, SS_LEFT | WS_GROUP | HIDDEN, 211, 53, 168, 33, b"Info2"),
    (1002, EDIT, ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP | HIDDEN, 217, 90, 156, 12, b""),
    (1003, BUTTON, BS_PUSHBUTTON | WS_TABSTOP | HIDDEN, 318, 106, 50, 14, BROWSE),
    (1005, BUTTON, BS_AUTORADIOBUTTON | BS_MULTILINE | HIDDEN, 220, 78, 160, 18, b"Select0"),
    (1006, BUTTON, BS_AUTORADIOBUTTON | BS_MULTILINE | HIDDEN, 220, 103, 160, 18, b"Select1"),
    (1007, BUTTON, BS_AUTORADIOBUTTON | BS_MULTILINE | HIDDEN, 220, 128, 160, 18, b"Select2"),
    (1008, BUTTON, BS_AUTOCHECKBOX | BS_MULTILINE | HIDDEN, 220, 114, 160, 18, b"Check1"),
]

MANIFEST_MUST_HOLD = [
    b'name="TALVEN.Installer.SETUPCL"',
    b'version="1.0.0.0"',
    b'processorArchitecture="X86"',
    b'type="win32"',
    b'level="requireAdministrator"',
]


def resources(image):
    """{(type, id, language): bytes} from a PE32 image; names are str, ids int."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    if struct.unpack_from("<H", image, optional)[0] != 0x10B:
        raise ValueError("not a 32-bit image")
    rsrc_rva = struct.unpack_from("<I", image, optional + 96 + 2 * 8)[0]
    table = optional + optional_size
    spans = []
    for i in range(sections):
        vsize, vaddr, rawsize, rawptr = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        spans.append((vaddr, max(vsize, rawsize), rawptr))

    def at(rva):
        for vaddr, size, rawptr in spans:
            if vaddr <= rva < vaddr + size:
                return rawptr + rva - vaddr
        raise ValueError("RVA %#x outside the sections" % rva)

    base = at(rsrc_rva)

    def name(value):
        if value & 0x80000000:
            offset = base + (value & 0x7FFFFFFF)
            length = struct.unpack_from("<H", image, offset)[0]
            return image[offset + 2:offset + 2 + 2 * length].decode("utf-16-le")
        return value

    def entries(offset):
        named, ids = struct.unpack_from("<HH", image, base + offset + 12)
        for i in range(named + ids):
            yield struct.unpack_from("<II", image, base + offset + 16 + 8 * i)

    found = {}
    for type_name, type_dir in entries(0):
        for res_name, res_dir in entries(type_dir & 0x7FFFFFFF):
            for lang, leaf in entries(res_dir & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from("<II", image, base + leaf)
                found[(name(type_name), name(res_name), lang)] = image[at(data_rva):at(data_rva) + size]
    return found


class Reader:
    def __init__(self, data):
        self.data, self.pos = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.pos)
        self.pos += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.pos
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.pos:end].decode("utf-16-le")
        self.pos = end + 2
        return value

    def text_or_ordinal(self):
        if self.data[self.pos:self.pos + 2] == b"\xff\xff":
            self.pos += 2
            return self.take("H")
        return self.text()

    def align(self):
        self.pos = (self.pos + 3) & ~3


def sjis(text):
    return text.encode("cp932") if isinstance(text, str) else text


def check_dialog(data, problems):
    r = Reader(data)
    version, signature = r.take("HH")
    if (version, signature) != (1, 0xFFFF):
        problems.append("dialog 101 is not an extended template")
        return
    r.take("I")  # help id
    r.take("I")  # extended style
    style = r.take("I")
    count = r.take("H")
    rect = r.take("hhhh")
    menu, window_class, caption = r.text_or_ordinal(), r.text_or_ordinal(), r.text()
    font_size, _weight, _italic, _charset = r.take("HHBB")
    font = r.text()
    got = dict(style=style, rect=rect, caption=sjis(caption), font_size=font_size, font=sjis(font))
    for key, want in DIALOG.items():
        if got[key] != want:
            problems.append("dialog %s: %r, expected %r" % (key, got[key], want))
    if menu not in ("", 0) or window_class not in ("", 0):
        problems.append("dialog has a menu or class: %r %r" % (menu, window_class))
    if count != len(CONTROLS):
        problems.append("%d controls, expected %d" % (count, len(CONTROLS)))
    for index in range(min(count, len(CONTROLS))):
        r.align()
        r.take("I")  # help id
        r.take("I")  # extended style
        style = r.take("I")
        x, y, w, h = r.take("hhhh")
        control_id = r.take("I")
        cls = r.text_or_ordinal()
        text = r.text_or_ordinal()
        extra = r.take("H")
        r.pos += extra
        want_id, want_cls, want_style, *want_rect, want_text = CONTROLS[index]
        got_c = (control_id, cls, style, x, y, w, h, sjis(text))
        want_c = (want_id, want_cls, want_style | WS_CHILD, *want_rect, want_text)
        if got_c != want_c:
            problems.append("control %d: %r, expected %r" % (index, got_c, want_c))


def main(argv):
    if len(argv) not in (2, 4) or (len(argv) == 4 and argv[2] != "--update"):
        print(__doc__)
        return 2
    with open(argv[1], "rb") as f:
        found = resources(f.read())
    problems = []
    dialog = found.get((RT_DIALOG, 101, LANG_JAPANESE_DEFAULT))
    if dialog is None:
        problems.append("no Japanese dialog 101 among %r" % sorted(found, key=str))
    else:
        check_dialog(dialog, problems)
    manifest = [v for (t, n, _), v in found.items() if t == RT_MANIFEST and n == 1]
    if not manifest:
        problems.append("no manifest 24/1")
    else:
        for needle in MANIFEST_MUST_HOLD:
            if needle not in manifest[0]:
                problems.append("manifest lacks %s" % needle.decode())
    if len(argv) == 4:
        update = [v for (t, n, _), v in found.items() if t == "UPDATE" and n == 102]
        with open(argv[3], "rb") as f:
            archive = f.read()
        if not update:
            problems.append("no UPDATE/102 resource")
        elif update[0] != archive:
            problems.append("UPDATE/102 differs from %s (%d bytes, resource %d)"
                            % (argv[3], len(archive), len(update[0])))
    for p in problems:
        print("FAIL:", p)
    print("resources: %s" % ("ok" if not problems else "%d problem(s)" % len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
