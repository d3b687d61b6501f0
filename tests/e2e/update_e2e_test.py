"""The real updater under Wine against nginx on loopback: a run folder with an old test
application as "Pelmora.exe", a release archive holding a new one, and every file, request, exit
code and process checked afterwards."""
import os
import subprocess
import sys
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import update_fixture as fixture  # noqa: E402
from nginx import ARCHIVE_PATH, Nginx  # noqa: E402
from signing import Verdict, make_certificate, sign  # noqa: E402
from update_fixture import CAPTION, RELEASE_EXTRAS, SUCCESS, UpdateRun, wait_until  # noqa: E402
from wine import WindowsProcess, run_windows  # noqa: E402
from xvfb import Xvfb  # noqa: E402

PACK_RELEASE = Path(__file__).resolve().parents[2] / "scripts" / "pack-release"


class Headless(UpdateRun):
    """Without a display the success box returns at once, as if OK had been pressed."""

    def test_a_running_application_is_replaced_and_started_again(self):
        old = self.start_old_application()
        self.assert_updated(*self.run_updater())
        wait_until(lambda: old.process.poll() is not None, 30, "the old application to end")

    def test_an_application_that_is_not_running_is_updated_the_same_way(self):
        self.assert_updated(*self.run_updater())

    def test_a_backup_left_by_an_earlier_run_is_replaced(self):
        (self.run_folder / "Pelmora.exe.bak").write_bytes(b"an old backup")
        self.start_old_application()
        self.assert_updated(*self.run_updater())


class FolderWithSpaces(UpdateRun):
    """The new application is started by its unquoted path, which the system resolves."""

    RUN_FOLDER = "Program Files 乗 x"

    def test_the_update_works_in_a_folder_whose_name_holds_spaces(self):
        self.start_old_application()
        self.assert_updated(*self.run_updater())


class PackedRelease(UpdateRun):
    """A vendor's release folder packed by scripts/pack-release installs like any other release."""

    def write_release(self):
        folder = self.top / "release"
        files = {"Pelmora.exe": self.new_app, **{name: data for name, (data, _) in RELEASE_EXTRAS.items()}}
        for name, data in files.items():
            path = folder / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(data)
        (folder / "readonly.txt").chmod(0o444)
        archive = self.serve_root / ARCHIVE_PATH
        archive.parent.mkdir(parents=True)
        packed = subprocess.run([sys.executable, str(PACK_RELEASE), str(folder), "--output", str(archive)],
                                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
        self.assertEqual(packed.returncode, 0, packed.stderr)

    def test_the_packed_release_is_installed(self):
        self.start_old_application()
        self.assert_updated(*self.run_updater())


class SignedUpdater(UpdateRun):
    """The updater as the build's signing step leaves it still does the whole update."""

    def test_a_signed_updater_updates_the_application(self):
        updater = self.run_folder / "PelmoraUpdate.exe"
        cert, key = make_certificate(self.top)
        sign(updater, cert, key)
        verdict = Verdict(updater, trusted=cert)
        self.assertTrue(verdict.verified, verdict.report)
        self.start_old_application()
        self.assert_updated(*self.run_updater())


class OnDisplay(UpdateRun):
    """The success box as a user sees it: read, pressed, and kept as a screenshot."""

    def test_the_success_box_says_so_and_waits_for_ok(self):
        self.start_old_application()
        with Xvfb() as display:
            env = display.environment(self.env)
            with Nginx(fixture.OPTIONS.port, self.serve_root) as server:
                updater = WindowsProcess(self.run_folder / "PelmoraUpdate.exe", cwd=self.elsewhere, env=env)
                self.addCleanup(updater.kill)
                self.screenshot_box(display)
                code, text = run_windows(fixture.OPTIONS.box_reader, [CAPTION, 1, fixture.OPTIONS.timeout * 1000],
                                         env=env, timeout=fixture.OPTIONS.timeout + 60, raw=True)
                self.assertEqual(code, 0, text)
                result = updater.wait(fixture.OPTIONS.timeout)
                time.sleep(0.3)
                requests = server.requests()
        self.assertEqual(text.strip(), SUCCESS)
        self.assert_updated(*result, requests)

    def screenshot_box(self, display):
        """Waits for the box on the screen and keeps a picture of it."""
        env = dict(os.environ, DISPLAY=display.display)
        subprocess.run(["xdotool", "search", "--sync", "--name", CAPTION], env=env, check=True,
                       stdout=subprocess.DEVNULL, timeout=fixture.OPTIONS.timeout)
        time.sleep(1)
        artifacts = Path(fixture.OPTIONS.artifacts)
        artifacts.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-window", "root", str(artifacts / "success-box.png")], env=env, check=True,
                       timeout=60)


if __name__ == "__main__":
    unittest.main(argv=fixture.parse_options(), verbosity=2)
