"""The fixture of the end-to-end tests: a run folder with the old test application as
"Pelmora.exe" beside the updater under test, a release on the server holding the new one, and the
updater run in them under Wine."""
import argparse
import shutil
import sys
import tempfile
import time
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from nginx import ARCHIVE_PATH, Nginx  # noqa: E402
from wine import WindowsProcess, display_prefix, end_wine_session, run_windows  # noqa: E402
from xvfb import without_display  # noqa: E402

OPTIONS = None
USER_AGENT = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)"
SUCCESS = "升级成功！".encode("gbk")
CAPTION = "信息："

# The release: top-level files are installed, the subfolder's are not.
HIDDEN, READ_ONLY = 0x02, 0x01
RELEASE_EXTRAS = {
    "lib.dll": (b"new library", 0),
    "hidden.dll": (b"new hidden library", HIDDEN),
    "readonly.txt": (b"new read-only notes", READ_ONLY),
    "docs/manual.txt": (b"manual", 0),
}
# What the run folder holds before the update, besides the application.
RUN_FOLDER_FILES = {
    "lib.dll": b"old library",
    "key": b"licence key",
    "data.txt": b"user data the release does not hold",
}


def windows_path(path):
    """The Wine path of a Unix path, in code page 936."""
    return ("Z:" + str(path).replace("/", "\\")).encode("gbk")


def read_records(path):
    if not path.exists():
        return []
    records = []
    for line in path.read_bytes().splitlines():
        records.append(dict(field.split(b"=", 1) for field in line.split(b"\t")))
    return records


def wait_until(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.2)


class UpdateRun(unittest.TestCase):
    """One run folder, one release on the server, and the updater run in them."""

    RUN_FOLDER = "run"

    def setUp(self):
        # Each case owns the display copy of the prefix: its session is ended before and after, which
        # also ends the applications the updater started.
        end_wine_session(display_prefix())
        self.addCleanup(end_wine_session, display_prefix())
        self.top = Path(tempfile.mkdtemp(prefix="pelmora-e2e-"))
        # nginx's workers run as an unprivileged user: they must be able to reach the release.
        self.top.chmod(0o755)
        self.addCleanup(shutil.rmtree, self.top, ignore_errors=True)
        self.run_folder = self.top / self.RUN_FOLDER
        self.elsewhere = self.top / "elsewhere"
        self.serve_root = self.top / "server"
        self.record = self.top / "application.record"
        for folder in (self.run_folder, self.elsewhere, self.serve_root):
            folder.mkdir()
        shutil.copy(OPTIONS.updater, self.run_folder / "PelmoraUpdate.exe")
        shutil.copy(OPTIONS.old_app, self.run_folder / "Pelmora.exe")
        # The application's settings stay beside it, untouched by the update; its record goes outside.
        (self.run_folder / "Pelmora.cfg").write_bytes(b"record=" + windows_path(self.record) + b"\r\n")
        for name, data in RUN_FOLDER_FILES.items():
            (self.run_folder / name).write_bytes(data)
        self.env = without_display()
        self.env["PELMORA_WINEPREFIX"] = display_prefix()
        self.new_app = Path(OPTIONS.new_app).read_bytes()
        self.write_release()

    def write_release(self):
        archive = self.serve_root / ARCHIVE_PATH
        archive.parent.mkdir(parents=True)
        with zipfile.ZipFile(archive, "w", compression=zipfile.ZIP_DEFLATED) as release:
            release.writestr("Pelmora.exe", self.new_app)
            for name, (data, attributes) in RELEASE_EXTRAS.items():
                entry = zipfile.ZipInfo(name, date_time=(2026, 11, 30, 12, 0, 0))
                entry.compress_type = zipfile.ZIP_DEFLATED
                entry.create_system = 0
                entry.external_attr = attributes
                release.writestr(entry, data)

    def start_old_application(self, env=None):
        started_before = len(read_records(self.record))
        application = WindowsProcess(self.run_folder / "Pelmora.exe", cwd=self.run_folder, env=env or self.env)
        self.addCleanup(application.kill)
        wait_until(lambda: len(read_records(self.record)) > started_before, OPTIONS.timeout,
                   "the old application to start")
        return application

    def run_updater(self, env=None):
        with Nginx(OPTIONS.port, self.serve_root) as server:
            code, output = run_windows(self.run_folder / "PelmoraUpdate.exe", ["--ignored", "argument"],
                                       cwd=self.elsewhere, env=env or self.env, timeout=OPTIONS.timeout)
            time.sleep(0.3)
            requests = server.requests()
        return code, output, requests

    def new_versions_started(self):
        return [r for r in read_records(self.record) if r[b"version"] == b"2"]

    def assert_updated(self, code, output, requests):
        self.assertEqual(code, 0, output)
        self.assertEqual(requests, [("GET /update/pelmoraDesk/latest.zip HTTP/1.0", USER_AGENT, "*/*", "200")])
        wait_until(self.new_versions_started, OPTIONS.timeout, "the new application to start")
        started = self.new_versions_started()
        self.assertEqual(len(started), 1)
        application = windows_path(self.run_folder / "Pelmora.exe")
        # Wine quotes the program part of a command line it resolved; the updater passes it plain.
        self.assertEqual(started[0][b"command"].strip(b'"'), application)
        self.assertEqual(started[0][b"module"], application)

        self.assertEqual((self.run_folder / "Pelmora.exe").read_bytes(), self.new_app)
        for name, (data, _) in RELEASE_EXTRAS.items():
            if "/" not in name:
                self.assertEqual((self.run_folder / name).read_bytes(), data, name)
        self.assertFalse((self.run_folder / "docs").exists())
        for gone in ("latest.zip", "latest", "key", "Pelmora.exe.bak"):
            self.assertFalse((self.run_folder / gone).exists(), gone)
        self.assertEqual((self.run_folder / "data.txt").read_bytes(), RUN_FOLDER_FILES["data.txt"])
        self.assertEqual(sorted(p.name for p in self.run_folder.iterdir()),
                         sorted(["PelmoraUpdate.exe", "Pelmora.exe", "Pelmora.cfg", "data.txt", "lib.dll",
                                 "hidden.dll", "readonly.txt"]))


def parse_options(*extra):
    """Reads the options of the end-to-end tests, and any extra ones; returns unittest's arguments."""
    global OPTIONS
    parser = argparse.ArgumentParser()
    for option in ("--updater", "--old-app", "--new-app", "--box-reader", "--artifacts", *extra):
        parser.add_argument(option, required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--timeout", type=int, default=300)
    OPTIONS, rest = parser.parse_known_args()
    return [sys.argv[0], *rest]
