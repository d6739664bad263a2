"""The fa2 command-line tool: its commands, their results and their errors.

Run by CTest with the tool's path as the first argument:
    python3 tool_test.py /path/to/fa2
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

TOOL = None


def run(*args):
    return subprocess.run([TOOL] + list(args), capture_output=True, timeout=60)


class Fa2Tool(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.root = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def write(self, name, data, mtime=None):
        path = os.path.join(self.root, name)
        with open(path, "wb") as f:
            f.write(data)
        if mtime is not None:
            os.utime(path, (mtime, mtime))
        return path

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def pack(self, archive, *files):
        result = run("pack", archive, *files)
        self.assertEqual(result.returncode, 0, result.stderr)
        return self.read(archive)

    def test_pack_lays_out_members_and_stamps_times(self):
        text = b"the lantern by the harbour " * 400
        a = self.write("UNINST.exe", text, mtime=981173106)  # 2001-02-03 04:05:06 UTC
        b = self.write("UPDATE.INI", b"[UPDATE]\r\nUpdateFile00=UNINST.EXE\r\n")
        archive = os.path.join(self.root, "OUT.FA2")
        image = self.pack(archive, a, b)
        magic, flags, directory, count = struct.unpack_from("<IIII", image)
        self.assertEqual((magic, flags, count), (0x00324146, 1, 2))
        listing = run("list", archive)
        self.assertEqual(listing.returncode, 0)
        lines = listing.stdout.decode().splitlines()
        self.assertIn("UNINST.exe", lines[2])
        self.assertIn("compressed", lines[2])
        self.assertIn("2001-02-03 04:05:06", lines[2])
        self.assertIn(" 16 ", lines[2])  # the first member's data offset
        self.assertIn("plain", lines[3])  # 35 bytes do not shrink
        self.assertEqual(run("test", archive).returncode, 0)

    def test_extract_matches_names_without_case(self):
        a = self.write("A.TXT", b"first one " * 50, mtime=1262304000)
        archive = os.path.join(self.root, "X.FA2")
        self.pack(archive, a)
        out = os.path.join(self.root, "out")
        os.mkdir(out)
        result = run("extract", archive, "-C", out, "a.txt")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.read(os.path.join(out, "A.TXT")), b"first one " * 50)
        self.assertEqual(int(os.stat(os.path.join(out, "A.TXT")).st_mtime), 1262304000)

        missing = run("extract", archive, "-C", out, "B.TXT")
        self.assertNotEqual(missing.returncode, 0)
        self.assertIn(b"X.FA2", missing.stderr)
        self.assertIn(b"B.TXT", missing.stderr)

    def test_first_of_equal_names_is_extracted(self):
        first = os.path.join(self.root, "one")
        second = os.path.join(self.root, "two")
        os.mkdir(first)
        os.mkdir(second)
        a = os.path.join(first, "DUP.BIN")
        b = os.path.join(second, "dup.bin")
        with open(a, "wb") as f:
            f.write(b"first")
        with open(b, "wb") as f:
            f.write(b"second")
        archive = os.path.join(self.root, "D.FA2")
        self.pack(archive, a, b)
        out = os.path.join(self.root, "out")
        os.mkdir(out)
        self.assertEqual(run("extract", archive, "-C", out, "Dup.Bin").returncode, 0)
        self.assertEqual(self.read(os.path.join(out, "DUP.BIN")), b"first")

    def test_errors_name_the_file_and_fail(self):
        long_name = self.write("FIFTEEN_BYTES_X", b"x")
        result = run("pack", os.path.join(self.root, "L.FA2"), long_name)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"FIFTEEN_BYTES_X", result.stderr)
        self.assertIn(b"14", result.stderr)

        fourteen = self.write("FOURTEEN_BYTES", b"x")
        self.pack(os.path.join(self.root, "F.FA2"), fourteen)

        not_archive = self.write("NOT.FA2", b"MZ this is no archive")
        result = run("list", not_archive)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"NOT.FA2", result.stderr)

        self.assertNotEqual(run("list", os.path.join(self.root, "MISSING.FA2")).returncode, 0)
        self.assertNotEqual(run("bogus").returncode, 0)

    def test_test_finds_a_damaged_member(self):
        a = self.write("A.TXT", b"abcdefgh" * 300 + bytes(range(256)))
        archive = os.path.join(self.root, "T.FA2")
        image = bytearray(self.pack(archive, a))
        # The stream's first flag word, all zeros: it now opens with a long match
        # that reaches before the start of the output.
        image[16:20] = b"\0\0\0\0"
        self.write("T.FA2", bytes(image))
        result = run("test", archive)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn(b"A.TXT", result.stderr)

    def test_encode_decode_round_trip(self):
        data = bytes((i * 7) % 251 for i in range(20000)) + b"\0" * 5000
        source = self.write("IN", data)
        stream = os.path.join(self.root, "S")
        back = os.path.join(self.root, "OUT")
        self.assertEqual(run("encode", source, stream).returncode, 0)
        self.assertLess(os.path.getsize(stream), len(data))
        self.assertEqual(run("decode", stream, back).returncode, 0)
        self.assertEqual(self.read(back), data)
        # The format's own example stream.
        example = self.write("EX", bytes([0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00, 0xFF]))
        self.assertEqual(run("decode", example, back).returncode, 0)
        self.assertEqual(self.read(back), b"ABABABABABAB")
        truncated = self.write("TR", bytes([0x00, 0xC0, 0x77, 0xCC, 0x41, 0x42, 0x00]))
        self.assertNotEqual(run("decode", truncated, back).returncode, 0)

    def test_help(self):
        for command in ("pack", "list", "extract", "test", "encode", "decode"):
            result = run(command, "--help")
            self.assertEqual(result.returncode, 0, command)
            self.assertIn(("usage: fa2 " + command).encode(), result.stdout)
        self.assertEqual(run("--help").returncode, 0)


if __name__ == "__main__":
    TOOL = os.path.abspath(sys.argv.pop(1))
    unittest.main()
