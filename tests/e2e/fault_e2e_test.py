"""Every fault a user's machine may meet, one row each, against the real updater under Wine: a
server that is down, lies or stalls; a damaged or malicious archive; a run folder that a second
instance, read-only files or an earlier broken run get in the way of. After every row one check
holds the updater to what a user must be able to live with:

- "Pelmora.exe" is in the run folder, byte for byte the old or the new version (the new one
  exactly when the row installs);
- nothing outside the run folder was created or changed: the test's own tree, the Wine prefix's
  drive C: and the root of drive Z: (where "\\x" lands from a run folder on Z:);
- the exit code is 0;
- the success box showed only when the whole new release was installed, and the old application
  still runs when nothing was installed.

The rows run under one private X server, so that the success box is real; the box reader watches
for it beside every run. When every row ran, the suite renders what each did into
docs/reliability.md and fails when the committed file differs; PELMORA_WRITE_RELIABILITY=1 in the
environment writes the file instead."""
import contextlib
import os
import shutil
import socket
import stat
import sys
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Optional

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
import update_fixture as fixture  # noqa: E402
from nginx import ARCHIVE_PATH, Nginx  # noqa: E402
from scripted_server import ScriptedServer, answer, unused_port  # noqa: E402
from update_fixture import (CAPTION, RELEASE_EXTRAS, SUCCESS, UpdateRun, read_records, wait_until,  # noqa: E402
                            windows_path)
from wine import WindowsProcess, display_prefix  # noqa: E402
from xvfb import Xvfb  # noqa: E402
from zip_archives import Entry, build, damaged_deflate  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
DOCUMENT = ROOT / "docs" / "reliability.md"
REGENERATE = "PELMORA_WRITE_RELIABILITY=1 ctest --preset windows64 -R e2e.faults"
ARCHIVE_TARGET = b"/update/pelmoraDesk/latest.zip"
# A run that ends by itself takes a few seconds. A stalled request ends at the fetch's 30 s time-out.
RUN_LIMIT = 120
STALL_LIMIT = 300
STALL_TAKES = (30, 60)
# Wine shows a file that nobody may write to as read-only.
READ_ONLY = stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH
# Windows archivers leave the Unix half of the attributes 0: the file is read-only while written.
WINDOWS_ARCHIVE_BIT = 0x20
ERROR_PAGE = b"<html><head><title>404 Not Found</title></head><body><h1>Not Found</h1></body></html>\n"


def release_entries(new_app, replace=None):
    """The release's files as entries: the new application first, then the rest; an entry named in
    `replace` takes the place of the release's own."""
    entries = [Entry(b"Pelmora.exe", new_app)]
    for name, (data, attributes) in RELEASE_EXTRAS.items():
        entries.append(Entry(name.encode(), data, external=attributes))
    replace = replace or {}
    return [replace.get(entry.name, entry) for entry in entries]


def release_with(new_app, *hostile, replace=None):
    """The release with hostile entries right after "Pelmora.exe", so that something was already
    extracted when they are met."""
    first, *rest = release_entries(new_app, replace)
    return build([first, *hostile, *rest])


def cut_before_central_directory(archive):
    central_start = int.from_bytes(archive[-6:-2], "little")
    return archive[:central_start]


# --- What a row arranges ---------------------------------------------------------------------------

def serve_archive(make_archive):
    """nginx serves the archive that the row makes from the test's release."""
    def serve(run):
        (run.serve_root / ARCHIVE_PATH).write_bytes(make_archive(run))
        return Nginx(fixture.OPTIONS.port, run.serve_root)
    return serve


def serve_release(run):
    return Nginx(fixture.OPTIONS.port, run.serve_root)


def scripted(make_script):
    """A scripted server on the updater's port answers the archive's path as the row says."""
    def serve(run):
        return ScriptedServer({ARCHIVE_TARGET: make_script(run)}, port=fixture.OPTIONS.port)
    return serve


def no_server(run):
    return None


def redirect_to_nginx(run):
    """The updater's server answers with a redirect to nginx on another port, which serves the
    release."""
    target = Nginx(unused_port(), run.serve_root)
    run.addCleanup(target.stop)
    location = b"http://127.0.0.1:%d/%s" % (target.port, ARCHIVE_PATH.as_posix().encode())
    return ScriptedServer({ARCHIVE_TARGET: answer(b"", b"302 Found", headers=[(b"Location", location)])},
                          port=fixture.OPTIONS.port)


def stalling(first_bytes):
    """A server that takes the request, writes the first bytes the row gives it, then answers
    nothing more, holding the connection open until the client gives up or the server closes."""
    def serve(run):
        server = ScriptedServer({}, port=fixture.OPTIONS.port)

        def stall(request, connection):
            connection.sendall(first_bytes(run))
            connection.settimeout(1)
            while not server.closing.is_set():
                try:
                    if not connection.recv(65536):
                        return
                except socket.timeout:
                    continue

        server.routes[ARCHIVE_TARGET] = stall
        return server
    return serve


def half_a_response(run):
    archive = release_bytes(run)
    return b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % len(archive) + archive[:len(archive) // 2]


def release_bytes(run):
    return (run.serve_root / ARCHIVE_PATH).read_bytes()


def make_read_only(name):
    def arrange(run):
        (run.run_folder / name).chmod(READ_ONLY)
    return arrange


def second_instance(run):
    run.start_old_application(run.display_env)


def stale_staging_folder(files, read_only=()):
    """A "latest\\" that an earlier run left behind."""
    def arrange(run):
        staging = run.run_folder / "latest"
        staging.mkdir()
        for name, data in files.items():
            (staging / name).write_bytes(data)
        for name in read_only:
            (staging / name).chmod(READ_ONLY)
    return arrange


def old_backup(run):
    (run.run_folder / "Pelmora.exe.bak").write_bytes(b"a backup an earlier run left")


def archive_held_open(run):
    """An earlier "latest.zip", held open by another program that lets no one write to it."""
    (run.run_folder / "latest.zip").write_bytes(b"an earlier download")
    holder = run.top / "holder"
    holder.mkdir()
    shutil.copy(fixture.OPTIONS.old_app, holder / "Holder.exe")
    record = run.top / "holder.record"
    (holder / "Holder.cfg").write_bytes(b"record=" + windows_path(record) + b"\r\nhold=" +
                                        windows_path(run.run_folder / "latest.zip") + b"\r\n")
    process = WindowsProcess(holder / "Holder.exe", cwd=holder, env=run.display_env)
    run.addCleanup(process.kill)
    wait_until(lambda: read_records(record), fixture.OPTIONS.timeout, "the holder to open latest.zip")


def unresolvable_updater(run):
    shutil.copy(fixture.OPTIONS.unresolvable_updater, run.run_folder / "PelmoraUpdate.exe")


@dataclass
class Row:
    """One case: what it sets up, and what the run must do with it."""
    name: str
    group: str
    case: str
    serve: Callable
    installs: bool
    arrange: Optional[Callable] = None
    # Changes to the run folder besides "Pelmora.exe": "+name" added, "-name" removed, "~name" changed.
    changes: tuple = ()
    run_folder: str = UpdateRun.RUN_FOLDER
    time_limit: int = RUN_LIMIT
    # Bounds of the run's wall time in seconds, for rows where time is the point.
    takes: Optional[tuple] = None
    notes: str = ""


# A full install replaces lib.dll, adds the hidden and the read-only file, and deletes "key".
INSTALLED = ("+hidden.dll", "+readonly.txt", "-key", "~lib.dll")

ROWS = [
    # The server.
    Row("nothing_listening", "server", "nothing listens on the server's port", no_server, False),
    Row("host_does_not_resolve", "server", "the server's host name does not resolve (an updater built for "
        "update.pelmora-tests.invalid)", no_server, False, arrange=unresolvable_updater),
    Row("not_found_page", "server", "404 with an HTML page",
        scripted(lambda run: answer(ERROR_PAGE, b"404 Not Found")), False),
    Row("server_error", "server", "500 with a short body",
        scripted(lambda run: answer(b"Internal Server Error", b"500 Internal Server Error")), False),
    Row("empty_body", "server", "200 with an empty body", scripted(lambda run: answer(b"")), False),
    Row("body_cut_halfway", "server", "the connection closes after half of the archive (Content-Length of the whole)",
        scripted(lambda run: answer(release_bytes(run)[:len(release_bytes(run)) // 2],
                                    length=b"%d" % len(release_bytes(run)))), False),
    Row("length_larger_than_body", "server", "Content-Length twice the archive's, then the connection closes "
        "after the whole archive", scripted(lambda run: answer(release_bytes(run),
                                                               length=b"%d" % (2 * len(release_bytes(run))))),
        True, changes=INSTALLED),
    Row("redirect", "server", "302 to the archive on another server (nginx)", redirect_to_nginx, True,
        changes=INSTALLED),
    Row("server_stalls", "server", "the server takes the request and never answers (the fetch gives up after 30 s)",
        stalling(lambda run: b""), False, time_limit=STALL_LIMIT, takes=STALL_TAKES),
    Row("server_stalls_in_the_body", "server", "the server sends half of the archive, then nothing more (the fetch "
        "gives up after 30 s)",
        stalling(half_a_response), False, time_limit=STALL_LIMIT, takes=STALL_TAKES),
    # The archive.
    Row("not_a_zip", "archive", "a text file instead of a ZIP",
        serve_archive(lambda run: b"This is not a ZIP archive.\n" * 100), False),
    Row("cut_before_central_directory", "archive", "the release cut before its central directory",
        serve_archive(lambda run: cut_before_central_directory(release_with(run.new_app))), False),
    Row("damaged_deflate_data", "archive", "the deflated data of \"Pelmora.exe\" damaged halfway (Windows attributes)",
        serve_archive(lambda run: release_with(run.new_app, replace={b"Pelmora.exe": Entry(
            b"Pelmora.exe", run.new_app, external=WINDOWS_ARCHIVE_BIT,
            payload=damaged_deflate(run.new_app, 16384))})), False),
    Row("crc_mismatch", "archive", "\"Pelmora.exe\" whose CRC-32 does not match its data (Windows attributes)",
        serve_archive(lambda run: release_with(run.new_app, replace={b"Pelmora.exe": Entry(
            b"Pelmora.exe", run.new_app, external=WINDOWS_ARCHIVE_BIT, crc=0x12345678)})), False),
    Row("unsupported_method", "archive", "\"lib.dll\", after \"Pelmora.exe\", compressed with method 99",
        serve_archive(lambda run: release_with(run.new_app, replace={b"lib.dll": Entry(
            b"lib.dll", RELEASE_EXTRAS["lib.dll"][0], method=99, payload=RELEASE_EXTRAS["lib.dll"][0])})), False),
    *[Row(f"entry_named_{label}", "archive", f"an entry named \"{name.decode()}\"",
          serve_archive(lambda run, name=name: release_with(run.new_app, Entry(name, b"escaped\n"))), False)
      for label, name in (("parent", b"../x"), ("backslash_parent", b"..\\x"), ("rooted", b"\\x"),
                          ("drive", b"C:\\x"), ("sub_parent_parent", b"sub/../../x"))],
    Row("encrypted_entry", "archive", "\"lib.dll\" marked encrypted",
        serve_archive(lambda run: release_with(run.new_app, replace={b"lib.dll": Entry(
            b"lib.dll", RELEASE_EXTRAS["lib.dll"][0], flags=0x0001)})), False),
    Row("name_of_300_bytes", "archive", "an entry whose name is 300 bytes long",
        serve_archive(lambda run: release_with(run.new_app, Entry(b"n" * 296 + b".txt", b"long\n"))), False),
    Row("five_thousand_entries", "archive", "the release and 5,000 small files at its top level",
        serve_archive(lambda run: release_with(run.new_app, *[Entry(b"many%04d.txt" % number, b"%d\n" % number)
                                                              for number in range(5000)])), True,
        changes=(*INSTALLED, *(f"+many{number:04d}.txt" for number in range(5000)))),
    Row("no_application", "archive", "no \"Pelmora.exe\" at all",
        serve_archive(lambda run: build(release_entries(run.new_app)[1:])), False),
    Row("application_in_subfolder", "archive", "\"Pelmora.exe\" only in a subfolder",
        serve_archive(lambda run: build([Entry(b"bin/Pelmora.exe", run.new_app),
                                         *release_entries(run.new_app)[1:]])), False),
    Row("empty_archive", "archive", "an empty archive (only its end record)",
        serve_archive(lambda run: build([])), False),
    # The run folder.
    Row("read_only_application", "run folder", "\"Pelmora.exe\" is read-only", serve_release, True,
        arrange=make_read_only("Pelmora.exe"), changes=(*INSTALLED, "+Pelmora.exe.bak"),
        notes="the backup of a read-only executable cannot be deleted"),
    Row("second_instance", "run folder", "a second instance of the application runs", serve_release, True,
        arrange=second_instance, changes=(*INSTALLED, "+Pelmora.exe.bak"),
        notes="the backup is the running second instance's executable, which cannot be deleted"),
    Row("stale_staging_folder", "run folder", "\"latest\\\" of an earlier run holds a stale \"Pelmora.exe\" and "
        "\"stale.dll\"", serve_release, True,
        arrange=stale_staging_folder({"Pelmora.exe": b"stale", "stale.dll": b"stale library"}),
        changes=(*INSTALLED, "-latest", "-latest\\Pelmora.exe", "-latest\\stale.dll")),
    Row("stale_files_that_stay", "run folder", "\"latest\\\" of an earlier run holds a read-only \"stale.dll\" and "
        "\".stale\", which deleting a folder leaves", serve_release, False,
        arrange=stale_staging_folder({"stale.dll": b"stale library", ".stale": b"stale dot file"},
                                     read_only=("stale.dll",))),
    Row("old_backup", "run folder", "an old \"Pelmora.exe.bak\" lies beside the application", serve_release, True,
        arrange=old_backup, changes=(*INSTALLED, "-Pelmora.exe.bak")),
    Row("archive_held_open", "run folder", "another program holds \"latest.zip\" open without write sharing",
        serve_release, False, arrange=archive_held_open),
    Row("folder_with_spaces_and_double_bytes", "run folder", "the run folder is named \"Program Files 乗 数据\"",
        serve_release, True, run_folder="Program Files 乗 数据", changes=INSTALLED),
]


@dataclass
class Outcome:
    """What a row's run observably did."""
    exit_code: int
    application: str
    box: bool
    started: list
    changes: list
    outside: list = field(default_factory=list)
    seconds: float = 0.0
    invariant: str = "not checked"


def tree_state(root, skip=()):
    """Every entry under the root with its type, size, time and mode."""
    state = {}
    for folder, folders, files in os.walk(root):
        folders[:] = [name for name in folders if Path(folder, name) not in skip]
        for name in folders + files:
            path = Path(folder, name)
            if path in skip:
                continue
            info = path.lstat()
            state[str(path)] = (stat.S_IFMT(info.st_mode), info.st_size, info.st_mtime_ns, stat.S_IMODE(info.st_mode))
    return state


def differences(before, after):
    return sorted(path for path in before.keys() | after.keys() if before.get(path) != after.get(path))


def run_folder_state(folder):
    return {str(path.relative_to(folder)).replace("/", "\\"): path.read_bytes() if path.is_file() else None
            for path in folder.rglob("*")}


def change_order(change):
    """Changes in the order of the names they change."""
    return change[1:], change[0]


def summarize(changes):
    """Long runs of one kind are shown as their first and last name and a count."""
    numbered = [change for change in changes if change.startswith("+many")]
    if len(numbered) <= 3:
        return changes
    rest = [change for change in changes if not change.startswith("+many")]
    return rest + [f"{numbered[0]} ... {numbered[-1]} ({len(numbered):,} files)"]


class FaultTable(UpdateRun):
    observed = {}

    @classmethod
    def setUpClass(cls):
        cls.display = Xvfb()
        cls.addClassCleanup(cls.display.stop)

    @classmethod
    def tearDownClass(cls):
        if set(cls.observed) != {row.name for row in ROWS}:
            print(f"\n{DOCUMENT.name} not compared: only {len(cls.observed)} of {len(ROWS)} rows ran")
            return
        document = render_document(cls.observed)
        if os.environ.get("PELMORA_WRITE_RELIABILITY"):
            DOCUMENT.parent.mkdir(exist_ok=True)
            DOCUMENT.write_text(document)
            return
        committed = DOCUMENT.read_text() if DOCUMENT.exists() else ""
        if committed != document:
            raise AssertionError(f"{DOCUMENT} is not what the rows did; regenerate it with\n  {REGENERATE}\n"
                                 f"and look at the difference.\nWhat the rows did:\n{document}")

    def setUp(self):
        self.row = ROWS_BY_TEST[self._testMethodName]
        self.RUN_FOLDER = self.row.run_folder
        super().setUp()
        self.display_env = self.display.environment(self.env)
        self.old_applications = []

    def start_old_application(self, env=None):
        application = super().start_old_application(env)
        self.old_applications.append(application)
        return application

    def run_row(self):
        row = self.row
        self.start_old_application(self.display_env)
        if row.arrange:
            row.arrange(self)
        with row.serve(self) or contextlib.nullcontext():
            old_app = (self.run_folder / "Pelmora.exe").read_bytes()
            folder_before = run_folder_state(self.run_folder)
            started_before = len(read_records(self.record))
            outside_before = self.outside_state()
            outcome = self.run_watched(row.time_limit)
        # What the updater started has written its record before the updater's idle wait for it ended;
        # a slow start is given a while longer where a start is due.
        deadline = time.monotonic() + (10 if row.installs else 0.3)
        while len(read_records(self.record)) == started_before and time.monotonic() < deadline:
            time.sleep(0.1)
        outcome.outside = differences(outside_before, self.outside_state())
        outcome.started = [int(record[b"version"]) for record in read_records(self.record)[started_before:]]
        outcome.application = self.which_application(old_app)
        outcome.changes = self.changes(folder_before)
        type(self).observed[row.name] = outcome

        try:
            self.assert_invariant(outcome)
            outcome.invariant = "holds"
        except AssertionError as violation:
            outcome.invariant = f"violated: {violation}"
            raise
        self.assertEqual(summarize(outcome.changes), summarize(sorted(row.changes, key=change_order)),
                         "the run folder's changes")
        if row.takes is not None:
            self.assertGreaterEqual(outcome.seconds, row.takes[0])
            self.assertLessEqual(outcome.seconds, row.takes[1])
        print(f"\n  {row.name}: exit {outcome.exit_code}, {outcome.application} Pelmora.exe, "
              f"box {'shown' if outcome.box else 'not shown'}, {outcome.seconds:.1f} s")

    def run_watched(self, time_limit):
        """Runs the updater with the box reader watching for the success box beside it."""
        watcher = WindowsProcess(fixture.OPTIONS.box_reader, [CAPTION, 1, time_limit * 1000], env=self.display_env)
        self.addCleanup(watcher.kill)
        started = time.monotonic()
        updater = WindowsProcess(self.run_folder / "PelmoraUpdate.exe", cwd=self.elsewhere, env=self.display_env)
        self.addCleanup(updater.kill)
        code, output = updater.wait(time_limit)
        seconds = time.monotonic() - started
        # A box blocks the updater until the reader has read it and pressed OK: once the updater has
        # ended, the reader has written all it will.
        watcher.kill()
        _, text = watcher.wait(10, raw=True)
        if text.strip() not in (b"", SUCCESS):
            self.fail(f"a box captioned {CAPTION} said {text!r}")
        return Outcome(code, "", text.strip() == SUCCESS, [], [], seconds=seconds)

    def outside_state(self):
        """What the updater could reach outside the run folder: the test's tree, drive C: of the
        prefix, and the top of drive Z:, the root of the file system."""
        state = tree_state(self.top, skip={self.run_folder, self.record})
        state.update(tree_state(Path(display_prefix()) / "drive_c"))
        state.update({str(path): None for path in Path("/").iterdir()})
        return state

    def which_application(self, old_app):
        path = self.run_folder / "Pelmora.exe"
        if not path.exists():
            return "missing"
        data = path.read_bytes()
        return "new" if data == self.new_app else "old" if data == old_app else "other"

    def changes(self, before):
        after = run_folder_state(self.run_folder)
        changed = [f"+{name}" for name in after.keys() - before.keys()]
        changed += [f"-{name}" for name in before.keys() - after.keys()]
        changed += [f"~{name}" for name in before.keys() & after.keys()
                    if before[name] != after[name] and name != "Pelmora.exe"]
        return sorted(changed, key=change_order)

    def not_installed(self):
        """The release's top-level files that the run folder lacks or holds otherwise."""
        return [entry.name.decode() for entry in release_entries(self.new_app) if b"/" not in entry.name
                if not (self.run_folder / entry.name.decode()).is_file()
                or (self.run_folder / entry.name.decode()).read_bytes() != entry.data]

    def assert_invariant(self, outcome):
        """What every row must leave, whatever it met."""
        self.assertIn(outcome.application, ("old", "new"), "Pelmora.exe is the old or the new version")
        self.assertEqual(outcome.application == "new", self.row.installs, "the new version installed")
        self.assertEqual(outcome.outside, [], "nothing outside the run folder changed")
        self.assertEqual(outcome.exit_code, 0)
        if outcome.box:
            self.assertEqual(self.not_installed(), [], "the success box showed, so the whole release is installed")
        self.assertEqual(outcome.box, self.row.installs, "the success box")
        if self.row.installs:
            self.assertEqual(outcome.started, [2], "the new application started")
        else:
            self.assertEqual(outcome.started, [], "nothing started")
            self.assertTrue(all(application.process.poll() is None for application in self.old_applications),
                            "the old application still runs")


def make_test(row):
    def test(self):
        self.run_row()
    test.__doc__ = f"{row.group}: {row.case}"
    return test


ROWS_BY_TEST = {f"test_{row.name}": row for row in ROWS}
for test_name, test_row in ROWS_BY_TEST.items():
    setattr(FaultTable, test_name, make_test(test_row))

RELIABILITY_HEADER = f"""# Reliability: faults and hostile input

What the real updater did with every fault in the table below, each row one run of
`PelmoraUpdate.exe` under Wine with the old test application running as "Pelmora.exe". After every
row the suite checks that "Pelmora.exe" is byte for byte the old or the new version, that nothing
outside the run folder was created or changed, that the exit code is 0, and that "升级成功！" showed
only when the whole new release was installed.

This file is written by the suite (tests/e2e/fault_e2e_test.py) from the rows as they ran; the suite
fails when it differs. Regenerate it with

    {REGENERATE}

Columns: the exit code; which "Pelmora.exe" the run folder holds afterwards; whether the success
box showed; which version of the application the updater started; how the run folder changed
besides "Pelmora.exe" ("+" added, "-" removed, "~" changed), where a full install replaces
"lib.dll", adds "hidden.dll" and "readonly.txt" and deletes "key".
"""


def render_document(observed):
    lines = [RELIABILITY_HEADER]
    for group in dict.fromkeys(row.group for row in ROWS):
        lines.append(f"\n## {group.capitalize()}\n")
        lines.append("| Case | Exit | Pelmora.exe | Success box | Started | Run folder afterwards | Invariant |")
        lines.append("|---|---|---|---|---|---|---|")
        for row in (row for row in ROWS if row.group == group):
            outcome = observed[row.name]
            changes = " ".join(summarize(outcome.changes)) or "unchanged"
            if row.notes:
                changes += f" ({row.notes})"
            started = ", ".join(f"v{version}" for version in outcome.started) or "nothing"
            lines.append(f"| {row.case} | {outcome.exit_code} | {outcome.application} | "
                         f"{'shown' if outcome.box else 'not shown'} | {started} | {changes} | {outcome.invariant} |")
    return "\n".join(lines) + "\n"


if __name__ == "__main__":
    unittest.main(argv=fixture.parse_options("--unresolvable-updater"), verbosity=2)
