"""ZIP extraction under Wine: builds the test archives, runs the gtest program on them in one Wine
process, then looks at what it left on the disk from outside, through Linux."""
import argparse
import os
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import zip_archives  # noqa: E402
from wine import run_windows  # noqa: E402

PROGRAM = None
TIMEOUT = 600


def windows_path(path):
    """The path as Wine's drive Z: (the Linux root) shows it."""
    return "Z:" + str(path).replace("/", "\\")


class ZipExtraction(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.top = Path(tempfile.mkdtemp(prefix="pelmora-zip-"))
        cls.archives = cls.top / "archives"
        cls.work = cls.top / "work"
        cls.work.mkdir()
        zip_archives.build_all(cls.archives, cls.top)
        env = dict(os.environ, PELMORA_ZIP_ARCHIVES=windows_path(cls.archives),
                   PELMORA_ZIP_WORK=windows_path(cls.work))
        cls.code, cls.output = run_windows(PROGRAM, cwd=cls.work, timeout=TIMEOUT, env=env)
        print(cls.output)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.top, ignore_errors=True)

    def test_the_windows_tests_pass(self):
        self.assertEqual(self.code, 0, self.output)
        self.assertIn("[  PASSED  ]", self.output)

    def test_no_unsafe_name_was_written_anywhere(self):
        unsafe = sorted(p.stem for p in self.archives.glob("unsafe-*.zip"))
        self.assertEqual(sorted(p.name for p in self.work.glob("unsafe-*")), unsafe,
                         "every unsafe archive was extracted in a folder of its own")
        for label in unsafe:
            case = self.work / label
            found = sorted(str(p.relative_to(case)) for p in case.rglob("*"))
            self.assertEqual(found, ["target", "target/before.txt"], label)
        escaped = [str(p) for p in self.top.rglob("escaped*")]
        escaped += [str(p) for p in Path("/").glob("escaped*")]
        self.assertEqual(escaped, [])

    def test_code_page_936_names_are_their_characters_on_disk(self):
        case = self.work / "cp936-names"
        found = sorted(str(p.relative_to(case)) for p in case.rglob("*"))
        self.assertEqual(found, ["目录乗", "目录乗/乗客", "目录乗/乗客/数据.txt", "目录乗/文件夹", "目录乗/表格.txt"])
        self.assertEqual((case / "目录乗/乗客/数据.txt").read_bytes(), "数据".encode("gbk"))

    def test_a_missing_archive_left_nothing(self):
        self.assertEqual(list((self.work / "missing-archive").iterdir()), [])


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    args, rest = parser.parse_known_args()
    PROGRAM = Path(args.program).resolve()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
