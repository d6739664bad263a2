#!/usr/bin/env python3
"""Assembles the sample install disc in a folder.

Usage: make_disc.py OUTPUT_DIR SOURCE_DIR GAME_EXE [SETUP_EXE]

The script and the read-me are kept in UTF-8 in the tree and written in
Shift-JIS with CR LF line ends. The banners and the data files are generated
(deterministic contents), and every file is marked read-only, as files on a
pressed disc are.
"""
import os
import shutil
import stat
import struct
import sys


def write_text_cp932(source, target):
    with open(source, encoding="utf-8") as f:
        text = f.read()
    data = text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp932")
    with open(target, "wb") as f:
        f.write(data)


def bmp24(width, height, pixel):
    """An uncompressed bottom-up 24-bit bitmap file; pixel(x, y) gives (r, g, b), y from the top."""
    row = (width * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        line += b"\0" * (row - width * 3)
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + bytes(pixels)


def lantern_banner(width, height, hue):
    """A dark sky with a warm glow; `hue` shifts the colour so the two banners differ."""
    cx, cy = width // 2, height * 2 // 5

    def pixel(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        glow = max(0, 255 - d2 // 90)
        sky = 20 + y * 40 // height
        r = min(255, sky + glow)
        g = min(255, sky // 2 + glow * (150 + hue) // 255)
        b = min(255, 60 + sky - glow // 3) if glow < 200 else 40
        return r, g, max(0, b)

    return bmp24(width, height, pixel)


def data_file(seed, size):
    """Deterministic bytes (a linear congruential sequence), distinct per seed."""
    state = seed & 0xFFFFFFFF
    out = bytearray(size)
    for i in range(size):
        state = (state * 1103515245 + 12345) & 0xFFFFFFFF
        out[i] = (state >> 16) & 0xFF
    return bytes(out)


# Relative path (backslash form, as the script lists it) -> (seed, size)
DATA_FILES = {
    "DATA\\MAIN.DAT": (1, 48 * 1024),
    "DATA\\STAGE\\STAGE1.DAT": (2, 20 * 1024),
    "DATA\\STAGE\\STAGE2.DAT": (3, 24 * 1024),
    "EXTRA\\MOVIE\\OPENING.MPG": (4, 64 * 1024),
    "EXTRA\\MOVIE\\ENDING.MPG": (5, 32 * 1024),
    "EXTRA\\MOVIE\\CLIPS\\CLIP1.MPG": (6, 8 * 1024),
}


def make_writable(function, path, _):
    os.chmod(path, stat.S_IWUSR | stat.S_IRUSR | stat.S_IXUSR)
    function(path)


def main(argv):
    if len(argv) not in (4, 5):
        sys.stderr.write(__doc__)
        return 2
    out, source, game = argv[1], argv[2], argv[3]
    setup = argv[4] if len(argv) == 5 else None
    if os.path.exists(out):
        shutil.rmtree(out, onerror=make_writable)
    os.makedirs(out)

    write_text_cp932(os.path.join(source, "SETUP.INI"), os.path.join(out, "SETUP.INI"))
    write_text_cp932(os.path.join(source, "README.TXT"), os.path.join(out, "README.TXT"))
    with open(os.path.join(out, "BANNER1.BMP"), "wb") as f:
        f.write(lantern_banner(240, 320, 0))
    with open(os.path.join(out, "BANNER2.BMP"), "wb") as f:
        f.write(lantern_banner(240, 320, 80))
    shutil.copyfile(game, os.path.join(out, "LANTERNA.EXE"))
    if setup:
        shutil.copyfile(setup, os.path.join(out, "SETUP.EXE"))
    for name, (seed, size) in DATA_FILES.items():
        path = os.path.join(out, *name.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data_file(seed, size))

    for folder, _, files in os.walk(out):
        for name in files:
            os.chmod(os.path.join(folder, name), stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
