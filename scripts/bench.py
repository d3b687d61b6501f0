"""The bench: each phase of the update with the updater's own code under Wine, and the whole run of
PelmoraUpdate.exe, against the native tools on the same archives served by nginx on loopback.
It measures and prints (see docs/performance.md); it asserts nothing, but it refuses to give a
time for a phase that did not do its work."""
import argparse
import os
import platform
import shutil
import statistics
import subprocess
import sys
import time
from datetime import datetime, timezone
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "support"))
sys.path.insert(0, str(ROOT / "scripts"))
from bench_release import release  # noqa: E402
from nginx import ARCHIVE_PATH, Nginx  # noqa: E402
from wine import end_wine_session, run_windows  # noqa: E402
from xvfb import without_display  # noqa: E402

MB = 1000 * 1000
# A limit for every Wine process and native command the bench starts.
STEP_TIMEOUT = 600
PHASES = ("download", "unzip", "install", "run")
# What each phase moves, for its MB/s: the archive, all the files, the top-level files.
MOVED = {"download": "archive_bytes", "unzip": "content_bytes", "install": "top_level_bytes",
         "run": "archive_bytes"}


def windows_path(path, folder=False):
    return "Z:" + str(path).replace("/", "\\") + ("\\" if folder else "")


def fresh(path):
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)
    return path


def files_under(folder):
    return [path for path in folder.rglob("*") if path.is_file()]


class Bench:
    def __init__(self, options):
        self.options = options
        self.work = Path(options.work).resolve()
        self.prefix = options.prefix
        self.env = without_display()
        self.env["PELMORA_WINEPREFIX"] = self.prefix
        self.url = f"http://127.0.0.1:{options.port}/{ARCHIVE_PATH.as_posix()}"

    def windows(self, *args):
        """One phase in the bench program under Wine: its fields."""
        code, output = run_windows(self.options.bench_program, args, env=self.env, timeout=STEP_TIMEOUT)
        line = output.strip().splitlines()[-1] if output.strip() else ""
        fields = dict(item.split("=", 1) for item in line.split())
        if code != 0 or fields.get("done") != "1":
            sys.exit(f"bench: {args[0]} under Wine did not do its work (exit code {code}): {output.strip()}")
        return fields

    @staticmethod
    def native(command):
        """Seconds of a native command; pending writes of earlier steps are flushed first."""
        subprocess.run(["sync"], check=True)
        start = time.perf_counter()
        subprocess.run(command, check=True, timeout=STEP_TIMEOUT, stdin=subprocess.DEVNULL)
        return time.perf_counter() - start

    def check(self, what, got, expected):
        if got != expected:
            sys.exit(f"bench: {what}: got {got}, expected {expected}; the time would mean nothing")

    # Each measurement returns (seconds, peak private bytes or None) and leaves nothing behind.

    def download_wine(self, manifest, phase="download"):
        target = self.work / "download.zip"
        subprocess.run(["sync"], check=True)
        fields = self.windows(phase, self.url, windows_path(target))
        self.check(f"{phase} under Wine", target.stat().st_size, manifest["archive_bytes"])
        target.unlink()
        return float(fields["seconds"]), int(fields["peak_private_bytes"])

    def download_native(self, manifest):
        target = self.work / "download.zip"
        seconds = self.native(["curl", "-s", "-o", str(target), self.url])
        self.check("curl", target.stat().st_size, manifest["archive_bytes"])
        target.unlink()
        return seconds, None

    def unzip_wine(self, manifest, archive):
        folder = fresh(self.work / "unzip-wine")
        subprocess.run(["sync"], check=True)
        fields = self.windows("unzip", windows_path(archive), windows_path(folder))
        self.check("unzip under Wine", len(files_under(folder / "latest")), manifest["files"])
        shutil.rmtree(folder)
        return float(fields["seconds"]), int(fields["peak_private_bytes"])

    def unzip_native(self, manifest, archive):
        folder = fresh(self.work / "unzip-native")
        seconds = self.native(["unzip", "-q", str(archive), "-d", str(folder)])
        self.check("Info-ZIP unzip", len(files_under(folder)), manifest["files"])
        shutil.rmtree(folder)
        return seconds, None

    def install_wine(self, manifest, staged, phase="install"):
        target = fresh(self.work / "install-wine")
        subprocess.run(["sync"], check=True)
        fields = self.windows(phase, windows_path(staged, folder=True), windows_path(target, folder=True))
        self.check(f"{phase} under Wine", len(files_under(target)), len(manifest["top_level"]))
        shutil.rmtree(target)
        return float(fields["seconds"]), int(fields["peak_private_bytes"])

    def install_native(self, manifest, staged):
        target = fresh(self.work / "install-native")
        # The same files as copyStagedFiles: the regular files at the top of the staging folder.
        seconds = self.native(["find", str(staged), "-maxdepth", "1", "-type", "f",
                               "-exec", "cp", "-t", str(target), "{}", "+"])
        self.check("cp", len(files_under(target)), len(manifest["top_level"]))
        shutil.rmtree(target)
        return seconds, None

    def run_wine(self, manifest):
        """PelmoraUpdate.exe in a run folder with an old application that is not running."""
        folder = fresh(self.work / "run")
        shutil.copy(self.options.updater, folder / "PelmoraUpdate.exe")
        shutil.copy(self.options.old_app, folder / "Pelmora.exe")
        (folder / "key").write_bytes(b"licence key")
        subprocess.run(["sync"], check=True)
        fields = self.windows("run", windows_path(folder / "PelmoraUpdate.exe"))
        installed = sorted(path.name for path in folder.iterdir())
        self.check("the run's folder afterwards", installed, sorted([*manifest["top_level"], "PelmoraUpdate.exe"]))
        shutil.rmtree(folder)
        return float(fields["seconds"]), int(fields["peak_private_bytes"])

    def measure(self, megabytes):
        """Every phase on one archive: lists of (seconds, peak) per side, in repetitions."""
        archive, manifest = release(self.work.parent / "releases" / str(megabytes), megabytes)
        manifest["top_level_bytes"] = sum(manifest["top_level"].values())
        results = {key: [] for key in ("download", "download native", "download floor", "unzip", "unzip native",
                                       "install", "install native", "install floor", "run")}
        with Nginx(self.options.port, archive.parents[2]):
            staged = fresh(self.work / "staged")
            subprocess.run(["unzip", "-q", str(archive), "-d", str(staged)], check=True, timeout=STEP_TIMEOUT)
            pairs = (
                ("download", lambda: self.download_wine(manifest), lambda: self.download_native(manifest)),
                ("unzip", lambda: self.unzip_wine(manifest, archive), lambda: self.unzip_native(manifest, archive)),
                ("install", lambda: self.install_wine(manifest, staged),
                 lambda: self.install_native(manifest, staged)),
            )
            for repetition in range(self.options.repeat):
                for phase, wine_side, native_side in pairs:
                    # Each side goes first in every other repetition, so that neither always
                    # meets the other's leftovers.
                    sides = [(phase, wine_side), (phase + " native", native_side)]
                    for key, side in sides if repetition % 2 == 0 else reversed(sides):
                        results[key].append(side())
                results["download floor"].append(self.download_wine(manifest, "download-floor"))
                results["install floor"].append(self.install_wine(manifest, staged, "install-floor"))
                results["run"].append(self.run_wine(manifest))
                print(f"  {megabytes} MB: repetition {repetition + 1} of {self.options.repeat} done", flush=True)
            shutil.rmtree(staged)
        return manifest, {key: medians(values) for key, values in results.items()}


def medians(measurements):
    seconds = statistics.median(m[0] for m in measurements)
    peaks = [m[1] for m in measurements if m[1] is not None]
    return seconds, (statistics.median(peaks) if peaks else None)


def machine_facts():
    cpu = next((line.split(":", 1)[1].strip() for line in Path("/proc/cpuinfo").read_text().splitlines()
                if line.startswith("model name")), platform.processor())
    memory_kb = next(int(line.split()[1]) for line in Path("/proc/meminfo").read_text().splitlines()
                     if line.startswith("MemTotal:"))
    wine = subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True, text=True).stdout.strip()
    return (f"{cpu}, {os.cpu_count()} cores (nproc), {memory_kb / 1024 / 1024:.1f} GiB memory;"
            f" {platform.release()}; {wine}")


def load():
    return " ".join(f"{value:.2f}" for value in os.getloadavg())


def growth(results, manifests, index, phase):
    if index == 0:
        return ""
    now, before = results[index][phase][0], results[index - 1][phase][0]
    size_now, size_before = manifests[index]["archive_bytes"], manifests[index - 1]["archive_bytes"]
    return f"x{now / before:.2f} (size x{size_now / size_before:.2f})"


def print_table(manifests, results):
    print("\nTimes: median seconds; ratio = Wine / native; growth = this size's time / the previous size's.")
    print("MB/s of what each phase moves: download and run the archive, unzip all files, install the")
    print("top-level files. The run's native column is curl + unzip + cp one after another. The floor is")
    print("the same Win32 calls in a bare loop under Wine, without the updater's code.\n")
    header = (f"{'phase':<9}{'archive':>10}{'Wine s':>9}{'native s':>10}{'ratio':>7}{'Wine MB/s':>11}"
              f"{'native MB/s':>13}{'floor s':>9}{'Wine/floor':>11}  growth")
    print(header)
    print("-" * (len(header) + 22))
    for phase in PHASES:
        for index, (manifest, result) in enumerate(zip(manifests, results)):
            wine = result[phase][0]
            native = (sum(result[p + " native"][0] for p in ("download", "unzip", "install")) if phase == "run"
                      else result[phase + " native"][0])
            moved = manifest[MOVED[phase]] / MB
            floor = result.get(phase + " floor", (None,))[0]
            floor_columns = f"{floor:>9.2f}{wine / floor:>11.2f}" if floor else f"{'':>9}{'':>11}"
            print(f"{phase:<9}{manifest['archive_bytes'] / MB:>7.1f} MB{wine:>9.2f}{native:>10.2f}"
                  f"{wine / native:>7.2f}{moved / wine:>11.1f}{moved / native:>13.1f}{floor_columns}"
                  f"  {growth(results, manifests, index, phase)}")
    print("\nPeak private bytes (median, MB): of the bench program during each phase, and of")
    print("PelmoraUpdate.exe during its whole run; the last column is the run's peak / the archive's size.\n")
    header = f"{'archive':>10}{'download':>10}{'unzip':>8}{'install':>9}{'run':>8}{'run/archive':>13}"
    print(header)
    print("-" * len(header))
    for manifest, result in zip(manifests, results):
        peaks = [result[phase][1] / MB for phase in PHASES]
        print(f"{manifest['archive_bytes'] / MB:>7.1f} MB" + "".join(f"{peak:>{width}.1f}" for peak, width in
                                                                    zip(peaks, (10, 8, 9, 8)))
              + f"{result['run'][1] / manifest['archive_bytes']:>13.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--sizes", default="10,100,300", help="archive sizes in MB, comma-separated")
    parser.add_argument("--repeat", type=int, default=3, help="repetitions per size (the median is shown)")
    parser.add_argument("--build-kind", required=True, help="which build runs, for the header")
    for option in ("--bench-program", "--updater", "--old-app", "--work", "--prefix"):
        parser.add_argument(option, required=True)
    parser.add_argument("--port", type=int, required=True)
    options = parser.parse_args()
    sizes = [int(size) for size in options.sizes.split(",")]

    bench = Bench(options)
    print(f"Pelmora updater bench, {datetime.now(timezone.utc):%Y-%m-%d %H:%M} UTC")
    print(f"machine: {machine_facts()}")
    print(f"build: {options.build_kind}")
    print(f"load at start: {load()}")
    print("page cache: not dropped; both sides read the same warm files, and pending writes are flushed"
          " (sync) before each timing")
    print(f"sizes: {', '.join(map(str, sizes))} MB; {options.repeat} repetitions, each side first in turn\n",
          flush=True)
    end_wine_session(bench.prefix)
    try:
        measured = [bench.measure(size) for size in sizes]
    finally:
        end_wine_session(bench.prefix)
        shutil.rmtree(bench.work, ignore_errors=True)
    print(f"load at end: {load()}")
    print_table([manifest for manifest, _ in measured], [result for _, result in measured])


if __name__ == "__main__":
    main()
