"""Program start under Wine: run directory, current directory, the hidden host window with its
ZIP component, and the two ways the program ends."""
import argparse
import shutil
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from wine import run_windows  # noqa: E402
from xvfb import Xvfb, without_display  # noqa: E402

# The folder name holds spaces and "乗", whose code page 936 trail byte is 0x5C.
RUN_FOLDER = "dir with space 乗"
RUN_FOLDER_ANSI = RUN_FOLDER.encode("gbk")
PROBE = None
TIMEOUT = 600


def read_report(folder):
    report = {}
    for line in (folder / "report.txt").read_bytes().splitlines():
        key, _, value = line.partition(b"=")
        report[key.decode()] = value
    return report


class ProbeFolder(unittest.TestCase):
    """A fresh run folder holding the probe, and a folder elsewhere to start it from."""

    def setUp(self):
        self.top = Path(tempfile.mkdtemp(prefix="pelmora-start-"))
        self.run_folder = self.top / RUN_FOLDER
        self.elsewhere = self.top / "elsewhere"
        self.run_folder.mkdir()
        self.elsewhere.mkdir()
        self.probe = self.run_folder / "probe.exe"
        shutil.copy(PROBE, self.probe)

    def tearDown(self):
        shutil.rmtree(self.top, ignore_errors=True)

    def start(self, *args, env=None):
        return run_windows(self.probe, args, cwd=self.elsewhere, timeout=TIMEOUT,
                           env=env if env is not None else without_display())


class ProgramStart(ProbeFolder):
    def test_start_from_elsewhere_works_in_the_run_directory_and_ends_with_0(self):
        # Windows need a display: without one Wine creates none.
        with Xvfb() as display:
            code, output = self.start("end", "ignored argument", env=display.environment())
        self.assertEqual(code, 0, output)
        self.assertFalse((self.elsewhere / "report.txt").exists())
        report = read_report(self.run_folder)
        run = report["run"]
        self.assertTrue(run.endswith(b"\\" + RUN_FOLDER_ANSI), run)
        self.assertEqual(report["current"], run)
        self.assertEqual(report["host.visible"], b"0")
        self.assertEqual(report["host.caption"], b"tarvik")
        self.assertEqual(report["host.frame"], b"50,50,445,338")
        self.assertEqual(report["host.parent"], b"0")
        self.assertEqual(report["child.exists"], b"1")
        self.assertEqual(report["child.isChild"], b"1")
        self.assertEqual(report["child.visible"], b"0")
        self.assertEqual(report["child.caption"], "ZIP压缩1".encode("gbk"))
        self.assertEqual(report["child.kind"], "ZIP压缩".encode("gbk"))
        self.assertEqual(report["child.frame"], b"224,0,26,26")

    # Without a display the error box returns at once.
    def test_fatal_error_ends_with_minus_1(self):
        code, output = self.start("fatal")
        self.assertEqual(code, -1, output)

    def test_failed_allocation_is_fatal(self):
        code, output = self.start("exhaust")
        self.assertEqual(code, -1, output)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--timeout", type=int, default=TIMEOUT)
    options, rest = parser.parse_known_args()
    PROBE, TIMEOUT = options.probe, options.timeout
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
