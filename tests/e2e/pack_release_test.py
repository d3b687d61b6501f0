"""scripts/pack-release: a good release folder becomes the archive the updater expects; a folder
with anything the updater would refuse or lose is refused with a clear message and no archive."""
import calendar
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
PACK_RELEASE = ROOT / "scripts" / "pack-release"
# An even second: DOS times count in steps of two.
MODIFIED = calendar.timegm((2026, 11, 30, 12, 0, 30))
UTF8_NAME_FLAG = 0x800
DEFLATED = 8
LOCAL_HEADER = struct.Struct("<IHHHHHIIIHH")

# The longest name the updater unpacks: "latest\" and the name stay below its 260-byte paths.
LONGEST = 252
# Two levels of double-byte characters (two bytes each in code page 936, three in UTF-8, so that
# each level stays within Linux's 255-byte names), then ASCII up to the wanted length.
WIDE = "说" * 60


def long_name(length):
    tail = length - (2 * 120 + 1) - len(".dll")
    return f"{WIDE}/{WIDE}{'x' * tail}.dll"


class Release(unittest.TestCase):
    def setUp(self):
        self.top = Path(tempfile.mkdtemp(prefix="pelmora-pack-"))
        self.addCleanup(shutil.rmtree, self.top, ignore_errors=True)
        self.folder = self.top / "release"
        self.folder.mkdir()
        self.out = self.top / "out"
        self.out.mkdir()
        self.archive = self.out / "latest.zip"

    def add(self, name, data=b"data"):
        path = self.folder / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        os.utime(path, (MODIFIED, MODIFIED))
        return path

    def pack(self, folder=None, output=None):
        return subprocess.run([sys.executable, str(PACK_RELEASE), str(folder or self.folder),
                               "--output", str(output or self.archive)],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)


class GoodRelease(Release):
    FILES = {
        "Pelmora.exe": b"MZ new application" * 100,
        "lib.dll": b"library",
        "说明.txt": "新版本".encode("gbk"),
        "a..b.txt": b"two dots inside a name",
        "empty.dat": b"",
        "sub/手册.txt": b"manual",
        long_name(LONGEST): b"as long as the updater takes",
    }

    def setUp(self):
        super().setUp()
        for name, data in self.FILES.items():
            self.add(name, data)
        self.result = self.pack()
        self.assertEqual(self.result.returncode, 0, self.result.stderr.decode())

    def entries(self):
        with zipfile.ZipFile(self.archive, metadata_encoding="gbk") as archive:
            return [(entry, archive.read(entry)) for entry in archive.infolist()]

    def test_every_file_is_packed_deflated_in_sorted_order_with_its_data(self):
        entries = self.entries()
        self.assertEqual([entry.filename for entry, _ in entries], sorted(self.FILES))
        for entry, data in entries:
            with self.subTest(entry.filename):
                self.assertEqual(data, self.FILES[entry.filename])
                self.assertEqual(entry.compress_type, DEFLATED)

    def test_names_are_code_page_936_bytes_without_the_utf8_flag(self):
        raw = self.archive.read_bytes()
        for entry, _ in self.entries():
            with self.subTest(entry.filename):
                self.assertFalse(entry.flag_bits & UTF8_NAME_FLAG)
                self.assertIn(entry.filename.encode("gbk"), raw)
        self.assertNotIn("说明".encode("utf-8"), raw)

    def test_local_and_central_records_carry_the_dos_and_ut_times_of_the_file(self):
        ut = struct.pack("<HHBi", 0x5455, 5, 1, MODIFIED)
        raw = self.archive.read_bytes()
        for entry, _ in self.entries():
            with self.subTest(entry.filename):
                self.assertEqual(entry.date_time, time.localtime(MODIFIED)[:6])
                self.assertEqual(entry.extra, ut)
                header = LOCAL_HEADER.unpack_from(raw, entry.header_offset)
                name_length, extra_length = header[9], header[10]
                extra_at = entry.header_offset + LOCAL_HEADER.size + name_length
                self.assertEqual(raw[extra_at:extra_at + extra_length], ut)

    def test_it_tells_what_it_packed_and_warns_of_files_the_updater_does_not_install(self):
        output = self.result.stdout.decode()
        for name in self.FILES:
            self.assertIn(name, output)
        self.assertIn(f"packed {len(self.FILES)} files", output)
        warnings = [line for line in self.result.stderr.decode().splitlines() if "warning" in line]
        subfolder_files = sorted(name for name in self.FILES if "/" in name)
        self.assertEqual(len(warnings), len(subfolder_files), warnings)
        for name, warning in zip(subfolder_files, warnings):
            self.assertIn(name, warning)
            self.assertIn("does not install", warning)

    def test_packing_again_gives_the_same_archive(self):
        first = self.archive.read_bytes()
        self.assertEqual(self.pack().returncode, 0)
        self.assertEqual(self.archive.read_bytes(), first)


def symbolic_link(release):
    release.add("Pelmora.exe")
    (release.folder / "latest-build.dll").symlink_to(release.folder / "Pelmora.exe")


def named_pipe(release):
    release.add("Pelmora.exe")
    os.mkfifo(release.folder / "pipe")


def undecodable_name(release):
    release.add("Pelmora.exe")
    with open(os.path.join(os.fsencode(release.folder), b"\xff\xfe.dll"), "wb") as file:
        file.write(b"data")


class RefusedRelease(Release):
    # (case, names of the release or a function that lays it out, what the message must say)
    CASES = [
        ("no application", ["lib.dll"], 'no "Pelmora.exe" at the top'),
        ("application only in a subfolder", ["bin/Pelmora.exe"], 'no "Pelmora.exe" at the top'),
        ("application in another case", ["pelmora.exe"], 'no "Pelmora.exe" at the top'),
        ("parent part", ["Pelmora.exe", ".../evil.dll"], '".." part'),
        ("parent part of dots and spaces", ["Pelmora.exe", ". ./evil.dll"], '".." part'),
        ("backslashes in a name", ["Pelmora.exe", "..\\..\\evil.dll"], "not allow in names"),
        ("absolute name", ["Pelmora.exe", "\\Windows\\evil.dll"], "not allow in names"),
        ("drive letter", ["Pelmora.exe", "C:evil.dll"], "not allow in names"),
        ("wildcard", ["Pelmora.exe", "what?.txt"], "not allow in names"),
        ("device name", ["Pelmora.exe", "con.txt"], "name of a Windows device"),
        ("trailing dot", ["Pelmora.exe", "readme."], "ends in a dot or space"),
        ("name one byte too long", ["Pelmora.exe", long_name(LONGEST + 1)], f"at most {LONGEST}"),
        ("not in code page 936", ["Pelmora.exe", "smile😀.txt"], "not valid in code page 936"),
        ("undecodable bytes", undecodable_name, "not valid in code page 936"),
        ("names that differ in case only", ["Pelmora.exe", "Lib.dll", "lib.DLL"], "only in case"),
        ("the key the updater deletes", ["Pelmora.exe", "key"], "deletes it after installing"),
        ("the backup the updater deletes", ["Pelmora.exe", "Pelmora.exe.bak"], "deletes it after installing"),
        ("the updater itself", ["Pelmora.exe", "PelmoraUpdate.exe"], "cannot replace itself"),
        ("a file named like the staging folder", ["Pelmora.exe", "latest"], "staging folder"),
        ("symbolic link", symbolic_link, "symbolic link"),
        ("named pipe", named_pipe, "not a regular file"),
    ]

    def test_each_case_is_refused_with_its_reason_and_no_archive(self):
        for case, layout, reason in self.CASES:
            with self.subTest(case):
                shutil.rmtree(self.folder)
                self.folder.mkdir()
                if callable(layout):
                    layout(self)
                else:
                    for name in layout:
                        self.add(name)
                result = self.pack()
                message = result.stderr.decode()
                self.assertEqual(result.returncode, 1, message)
                self.assertIn("refused, no archive written", message)
                self.assertIn(reason, message)
                self.assertEqual(list(self.out.iterdir()), [])

    def test_a_refusal_leaves_an_earlier_archive_as_it_was(self):
        self.archive.write_bytes(b"the release served until now")
        self.add("lib.dll")
        self.assertEqual(self.pack().returncode, 1)
        self.assertEqual(self.archive.read_bytes(), b"the release served until now")
        self.assertEqual(list(self.out.iterdir()), [self.archive])

    def test_an_archive_inside_the_release_folder_is_refused(self):
        self.add("Pelmora.exe")
        result = self.pack(output=self.folder / "latest.zip")
        self.assertEqual(result.returncode, 1)
        self.assertIn("inside the release folder", result.stderr.decode())
        self.assertEqual(sorted(path.name for path in self.folder.iterdir()), ["Pelmora.exe"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
