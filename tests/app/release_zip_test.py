#!/usr/bin/env python3
"""Tests of the release zip that users download.

The zip is named by SYSLOG_RELEASE_ZIP, which tools/test sets after packing
it; a run without that variable (a bare ctest) is skipped with code 77, and
a variable that names no file fails.

Usage: release_zip_test.py VERSION README_TEMPLATE PACKER X64_EXE X86_EXE
"""

import calendar
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

SKIPPED = 77

VERSION = README_TEMPLATE = PACKER = X64_EXE = X86_EXE = ZIP = ""

PE32 = 0x10B
PE32_PLUS = 0x20B
WINDOWS_GUI = 2


def pe_header(data):
    """The fields of a PE file that say what it is, or None for no PE file."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    machine, section_count, stamp, symbol_table, symbols, optional_size, _ = struct.unpack_from(
        "<HHIIIHH", data, offset + 4)
    optional = offset + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    subsystem = struct.unpack_from("<H", data, optional + 68)[0]
    # Names longer than 8 bytes (.eh_frame, .debug_info) are "/N": N is their
    # offset in the string table that follows the symbols.
    strings = symbol_table + 18 * symbols
    table = optional + optional_size
    sections = []
    for index in range(section_count):
        name = data[table + 40 * index:table + 40 * index + 8].rstrip(b"\0")
        if name.startswith(b"/") and symbol_table:
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)]
        sections.append(name.decode("latin-1"))
    return {"machine": machine, "stamp": stamp, "symbols": symbols, "magic": magic,
            "subsystem": subsystem, "sections": sections}


class ReleaseZipTest(unittest.TestCase):
    def setUp(self):
        self.folder = "syslog-%s-windows" % VERSION
        self.assertTrue(os.path.isfile(ZIP), "no release zip at %r" % ZIP)
        self.archive = zipfile.ZipFile(ZIP)
        self.addCleanup(self.archive.close)

    def read(self, name):
        return self.archive.read(self.folder + "/" + name)

    def test_holds_the_readme_and_both_programs_under_one_folder(self):
        self.assertEqual(os.path.basename(ZIP), self.folder + ".zip")
        self.assertEqual(sorted(self.archive.namelist()),
                         [self.folder + "/README.txt",
                          self.folder + "/x64/syslog.exe",
                          self.folder + "/x86/syslog.exe"])
        self.assertIsNone(self.archive.testzip())

    def test_programs_are_stripped_windows_programs_of_their_architecture(self):
        cases = [
            ("x64/syslog.exe", 0x8664, PE32_PLUS),
            ("x86/syslog.exe", 0x014C, PE32),
        ]
        for name, machine, magic in cases:
            with self.subTest(name):
                header = pe_header(self.read(name))
                self.assertIsNotNone(header, "not a PE file")
                self.assertEqual(header["machine"], machine)
                self.assertEqual(header["magic"], magic)
                self.assertEqual(header["subsystem"], WINDOWS_GUI)
                # No debug information, and no build time that would make
                # every build differ.
                self.assertEqual(header["symbols"], 0)
                self.assertIn(".rsrc", header["sections"])
                self.assertEqual([name for name in header["sections"]
                                  if name.startswith(".debug")], [])
                self.assertEqual(header["stamp"], 0)

    def test_programs_are_the_ones_just_built(self):
        for name, built in [("x64/syslog.exe", X64_EXE), ("x86/syslog.exe", X86_EXE)]:
            with self.subTest(name):
                with open(built, "rb") as f:
                    self.assertTrue(self.read(name) == f.read(), "%s differs from %s" % (name, built))

    def test_readme_has_windows_line_ends_and_names_the_version(self):
        text = self.read("README.txt")
        self.assertTrue(text.isascii())
        self.assertNotIn(b"\n", text.replace(b"\r\n", b""), "a line end without CR")
        self.assertNotIn(b"\r", text.replace(b"\r\n", b""), "a CR without line feed")
        self.assertTrue(text.startswith(b"Syslog %s\r\n" % VERSION.encode()))
        self.assertIn(b"x64\\syslog.exe", text)
        self.assertNotIn(b"@VERSION@", text)

    def test_packing_again_gives_the_same_bytes(self):
        stamps = {info.date_time for info in self.archive.infolist()}
        self.assertEqual(len(stamps), 1, "entries carry different times")
        epoch = calendar.timegm(stamps.pop() + (0, 0, 0))
        with tempfile.TemporaryDirectory() as scratch:
            inputs = {}
            for name in ("x64/syslog.exe", "x86/syslog.exe"):
                inputs[name] = os.path.join(scratch, name.replace("/", "-"))
                with open(inputs[name], "wb") as f:
                    f.write(self.read(name))
                # The files' own dates must not reach the zip.
                os.utime(inputs[name], (1, 1))
            repacked = os.path.join(scratch, "out")
            subprocess.run([sys.executable, PACKER, VERSION, str(epoch), inputs["x64/syslog.exe"],
                            inputs["x86/syslog.exe"], README_TEMPLATE, repacked],
                           check=True, stdout=subprocess.DEVNULL,
                           env=dict(os.environ, TZ="Pacific/Kiritimati"))
            with open(os.path.join(repacked, self.folder + ".zip"), "rb") as f:
                again = f.read()
        with open(ZIP, "rb") as f:
            self.assertTrue(f.read() == again, "the same inputs packed to different bytes")


def main(argv):
    global VERSION, README_TEMPLATE, PACKER, X64_EXE, X86_EXE, ZIP
    if len(argv) < 6:
        sys.stderr.write(__doc__)
        return 2
    VERSION, README_TEMPLATE, PACKER, X64_EXE, X86_EXE = argv[1:6]
    ZIP = os.environ.get("SYSLOG_RELEASE_ZIP", "")
    if not ZIP:
        print("SYSLOG_RELEASE_ZIP is not set: no release zip to test (tools/test packs one)")
        return SKIPPED
    program = unittest.main(argv=[argv[0]] + argv[6:], exit=False, verbosity=2)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
