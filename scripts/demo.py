"""A full demonstration update: an old application running in its folder, a new release on nginx,
the shipping updater run under Wine, and what changed printed at the end."""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import time
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "support"))
from nginx import ARCHIVE_PATH, Nginx  # noqa: E402
from wine import WindowsProcess, display_prefix, end_wine_session, run_windows  # noqa: E402
from xvfb import Xvfb  # noqa: E402

CAPTION = "信息："


def windows_path(path):
    return ("Z:" + str(path).replace("/", "\\")).encode("gbk")


def listing(folder):
    """name -> (size, short digest) of every entry, folders marked with a slash."""
    entries = {}
    for path in sorted(folder.rglob("*")):
        name = path.relative_to(folder).as_posix()
        if path.is_dir():
            entries[name + "/"] = ("", "")
        else:
            data = path.read_bytes()
            entries[name] = (len(data), hashlib.sha256(data).hexdigest()[:12])
    return entries


def print_listing(title, entries):
    print(f"\n{title}")
    for name, (size, digest) in entries.items():
        print(f"  {name:<28} {size!s:>10}  {digest}")


def print_changes(before, after):
    print("\nWhat changed")
    for name in sorted(set(before) | set(after)):
        if name not in after:
            print(f"  removed   {name}")
        elif name not in before:
            print(f"  added     {name}")
        elif before[name] != after[name]:
            print(f"  replaced  {name}")
        else:
            print(f"  unchanged {name}")


def records(path):
    if not path.exists():
        return []
    return [dict(f.split(b"=", 1) for f in line.split(b"\t")) for line in path.read_bytes().splitlines()]


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            sys.exit(f"demo: timed out waiting for {what}")
        time.sleep(0.2)


def lay_out(work, options):
    shutil.rmtree(work, ignore_errors=True)
    run_folder = work / "Pelmora Demo"
    serve_root = work / "server"
    run_folder.mkdir(parents=True)
    shutil.copy(options.updater, run_folder / "PelmoraUpdate.exe")
    shutil.copy(options.old_app, run_folder / "Pelmora.exe")
    record = work / "application.record"
    (run_folder / "Pelmora.cfg").write_bytes(b"record=" + windows_path(record) + b"\r\ntitle=Pelmora 1\r\n")
    (run_folder / "lib.dll").write_bytes(b"library of version 1")
    (run_folder / "key").write_bytes(b"licence key of version 1")
    (run_folder / "settings.ini").write_bytes(b"[user]\r\ntheme=dark\r\n")

    archive = serve_root / ARCHIVE_PATH
    archive.parent.mkdir(parents=True)
    with zipfile.ZipFile(archive, "w", compression=zipfile.ZIP_DEFLATED) as release:
        release.write(options.new_app, "Pelmora.exe")
        release.writestr("lib.dll", b"library of version 2")
        release.writestr("readme.txt", "Pelmora 2: 新版本说明".encode("gbk"))
        release.writestr("docs/manual.txt", b"a subfolder: the updater installs top-level files only")
    return run_folder, serve_root, record


def answer_box(display, options, env, screenshot):
    """Waits for the success box, keeps a screenshot, reads it and presses OK."""
    x_env = dict(os.environ, DISPLAY=display)
    subprocess.run(["xdotool", "search", "--sync", "--name", CAPTION], env=x_env, check=True,
                   stdout=subprocess.DEVNULL, timeout=options.timeout)
    time.sleep(1)
    subprocess.run(["import", "-window", "root", str(screenshot)], env=x_env, check=True, timeout=60)
    code, text = run_windows(options.box_reader, [CAPTION, 1, options.timeout * 1000], env=env,
                             timeout=options.timeout + 60, raw=True)
    print(f"\nThe box said: {text.strip().decode('gbk', 'replace')} (box reader exit code {code})")
    print(f"Screenshot: {screenshot}")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--updater", "--old-app", "--new-app", "--box-reader", "--work"):
        parser.add_argument(option, required=True)
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--timeout", type=int, default=600)
    options = parser.parse_args()

    work = Path(options.work).resolve()
    run_folder, serve_root, record = lay_out(work, options)
    prefix = display_prefix()
    end_wine_session(prefix)
    env = dict(os.environ, PELMORA_WINEPREFIX=prefix)
    own_display = None if os.environ.get("DISPLAY") else Xvfb()
    try:
        if own_display:
            env = own_display.environment(env)
        with Nginx(options.port, serve_root) as server:
            print(f"nginx serves http://127.0.0.1:{options.port}/{ARCHIVE_PATH.as_posix()} from {serve_root}")
            WindowsProcess(run_folder / "Pelmora.exe", cwd=run_folder, env=env)
            wait_for(lambda: records(record), options.timeout, "the old application to start")
            old = records(record)[-1]
            print(f"Pelmora version {old[b'version'].decode()} runs as process {old[b'pid'].decode()}")
            before = listing(run_folder)
            print_listing(f"Files in {run_folder} before the update", before)

            print("\nRunning PelmoraUpdate.exe under Wine (a 32-bit process; it may take a minute to start)...")
            updater = WindowsProcess(run_folder / "PelmoraUpdate.exe", cwd=work, env=env)
            answer_box(env["DISPLAY"], options, env, work / "success-box.png")
            code, _ = updater.wait(options.timeout)
            print(f"PelmoraUpdate.exe ended with exit code {code}")
            time.sleep(0.3)
            requests = server.requests()

        wait_for(lambda: len(records(record)) > 1, options.timeout, "the new application to start")
        after = listing(run_folder)
        print_listing(f"Files in {run_folder} after the update", after)
        print_changes(before, after)
        print("\nRequests the server logged (request | User-Agent | Accept | status)")
        for request in requests:
            print("  " + " | ".join(request))
        new = records(record)[-1]
        print(f"\nNow running: Pelmora version {new[b'version'].decode()} as process {new[b'pid'].decode()},"
              f" started as {new[b'command'].decode('gbk')} (Wine quotes the program part it resolved)")
    finally:
        end_wine_session(prefix)
        if own_display:
            own_display.stop()


if __name__ == "__main__":
    main()
