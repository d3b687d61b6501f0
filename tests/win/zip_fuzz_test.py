"""Fuzz mode of the ZIP extraction under Wine. Writes seeded mutants of the seed archives
(zip_mutator.py), then one Windows process (zip_fuzz_runner) unzips them one after the other into a
target inside a sandbox on the prefix's drive C:, checking after each that nothing outside the
target changed. Names such as "\\x" resolve to the root of drive C:, so this driver compares the
top of drive_c, the Linux root (drive Z:) and the sandbox before and after, from outside.

Bounded by --seconds and --count. It prints the seed and the number of archives tried; a failing
archive is kept in --artifacts/zip-fuzz/. The same --seed gives the same archives again; --replay
unzips one kept archive alone."""
import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
sys.path.insert(0, str(Path(__file__).resolve().parent))
from wine import WindowsProcess, headless_prefix  # noqa: E402
import zip_mutator  # noqa: E402

OPTIONS = None
# The runner's own start and end, beyond its time budget.
RUNNER_MARGIN = 90


def windows_path(path):
    """The path as Wine's drive Z: (the Linux root) shows it."""
    return "Z:" + str(path).replace("/", "\\")


def tree(folder):
    """Every file and folder under the folder, with a file's bytes."""
    return {str(p.relative_to(folder)): (p.read_bytes() if p.is_file() else None)
            for p in sorted(Path(folder).rglob("*"))}


def top_level(folder):
    return sorted(os.listdir(folder))


def write_mutants(folder, seed, count):
    seed_archives = zip_mutator.seeds()
    manifest = {}
    for index in range(count):
        label, applied, archive = zip_mutator.mutant(seed, index, seed_archives)
        name = f"{index:06d}.zip"
        (folder / name).write_bytes(archive)
        manifest[name] = f"{label}: {', '.join(applied) or 'no mutation'}"
    return manifest


class ZipFuzz(unittest.TestCase):
    def setUp(self):
        self.drive_c = Path(headless_prefix()) / "drive_c"
        self.sandbox = self.drive_c / f"pelmora-zip-fuzz-{os.getpid()}"
        self.archives = Path(tempfile.mkdtemp(prefix="pelmora-zip-fuzz-"))
        self.addCleanup(shutil.rmtree, self.archives, ignore_errors=True)
        self.addCleanup(shutil.rmtree, self.sandbox, ignore_errors=True)
        run = self.sandbox / "run"
        run.mkdir(parents=True)
        # What an escaping entry would most like to replace.
        (self.sandbox / "outside.txt").write_bytes(b"outside the run directory\n")
        (run / "Pelmora.exe").write_bytes(b"MZ the application\n")
        (run / "key").write_bytes(b"key\n")

    def remove_what_escaped_to_drive_c(self, before):
        """Keeps the prefix fit for the next tests after a failure; drive C: is the tests' own."""
        for name in set(top_level(self.drive_c)) - set(before):
            escaped = self.drive_c / name
            if escaped.is_dir():
                shutil.rmtree(escaped, ignore_errors=True)
            else:
                escaped.unlink(missing_ok=True)

    def run_runner(self):
        """(exit code or None after a hang, output) of one runner over every archive."""
        with WindowsProcess(OPTIONS.runner, [windows_path(self.archives), "C:\\" + self.sandbox.name,
                                             OPTIONS.seconds], cwd=self.sandbox / "run") as runner:
            try:
                code, output = runner.wait(OPTIONS.seconds + RUNNER_MARGIN)
            except subprocess.TimeoutExpired:
                runner.output.seek(0)
                code, output = None, runner.output.read().decode("utf-8", "replace") + "the runner hung\n"
        return code, output.replace("\r\n", "\n")

    def keep(self, culprit, manifest):
        kept = Path(OPTIONS.artifacts) / "zip-fuzz" / culprit
        kept.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy(self.archives / culprit, kept)
        print(f"{culprit} ({manifest[culprit]}) kept as {kept}; replay with --replay {kept}")

    def test_nothing_appears_outside_the_target(self):
        if OPTIONS.replay:
            shutil.copy(OPTIONS.replay, self.archives)
            manifest = {Path(OPTIONS.replay).name: "replayed"}
        else:
            seed = OPTIONS.seed if OPTIONS.seed is not None else random.SystemRandom().getrandbits(32)
            print(f"seed {seed}: replay with --seed {seed}", flush=True)
            manifest = write_mutants(self.archives, seed, OPTIONS.count)
        sandbox_before = tree(self.sandbox)
        drive_c_before = top_level(self.drive_c)
        root_before = top_level("/")
        self.addCleanup(self.remove_what_escaped_to_drive_c, drive_c_before)

        code, output = self.run_runner()
        lines = output.splitlines()
        print("\n".join(line for line in lines if not line.startswith("archive ")))
        # The last archive begun is the one of a violation, a crash or a hang.
        tried = [line.split()[1] for line in lines if line.startswith("archive ")]
        if code != 0 and tried:
            self.keep(tried[-1], manifest)

        self.assertEqual(code, 0, "the runner failed")
        self.assertEqual(tree(self.sandbox), sandbox_before, "the sandbox changed outside the target")
        self.assertEqual(top_level(self.drive_c), drive_c_before, "something appeared at the top of drive C:")
        self.assertEqual(top_level("/"), root_before, "something appeared at the Linux root (drive Z:)")
        summary = re.search(r"^tried (\d+) archives: (\d+) gave 1, (\d+) gave 0, (\d+) files extracted$", output,
                            re.MULTILINE)
        self.assertIsNotNone(summary, output[-2000:])
        if not OPTIONS.replay:
            # A run that tried next to nothing, or whose mutants all failed alike, proved nothing.
            archives, walk_ended, failed, files = map(int, summary.groups())
            self.assertGreaterEqual(archives, min(OPTIONS.count, 200), summary[0])
            self.assertGreater(walk_ended, 0, summary[0])
            self.assertGreater(failed, 0, summary[0])
            self.assertGreater(files, 0, summary[0])

if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--runner", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--count", type=int, default=4000)
    parser.add_argument("--seed", type=int)
    parser.add_argument("--replay")
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.runner = Path(OPTIONS.runner).resolve()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
