"""Starting Windows programs under Wine for the tests: the tests' prefix, a time limit, and the
end of everything started, by process group, on every path."""
import os
import signal
import subprocess
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
WINE_RUN = ROOT / "tests" / "wine-run"


def headless_prefix():
    return os.environ.get("PELMORA_WINEPREFIX", str(ROOT / "build" / "wineprefix"))


def display_prefix():
    return headless_prefix() + "-display"


def end_wine_session(prefix):
    """Ends every Windows process of that prefix's session (only this test's, by its own prefix)."""
    env = dict(os.environ, WINEPREFIX=prefix)
    subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=False)


def exit_code(returncode):
    """Wine hands a Windows exit code to Unix as its low byte; -1 arrives as 255."""
    return returncode - 256 if returncode >= 128 else returncode


class WindowsProcess:
    """A Windows program started under Wine in its own process group."""

    def __init__(self, program, args=(), cwd=None, env=None):
        # Output goes to a file, not a pipe: programs that this one starts inherit it and may outlive
        # it, and a pipe would then never reach its end.
        self.output = tempfile.TemporaryFile()
        self.process = subprocess.Popen(
            [str(WINE_RUN), str(program), *map(str, args)],
            cwd=cwd, env=env, stdin=subprocess.DEVNULL,
            stdout=self.output, stderr=subprocess.STDOUT, start_new_session=True)

    def wait(self, timeout, raw=False):
        """(Windows exit code, output); the output as bytes when raw, else as text."""
        try:
            self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise
        self.output.seek(0)
        output = self.output.read()
        return exit_code(self.process.returncode), output if raw else output.decode("utf-8", "replace")

    def kill(self):
        if self.process.poll() is None:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()


def run_windows(program, args=(), cwd=None, timeout=300, env=None, raw=False):
    """Runs a program to its end; returns (Windows exit code, output)."""
    with WindowsProcess(program, args, cwd=cwd, env=env) as process:
        return process.wait(timeout, raw)
