"""A private X server for tests that need real windows: Xvfb on a free display number, ended by its
process id. Wine runs under it in the display copy of the tests' prefix, whose session is ended
before and after, since a Wine session keeps the display its desktop started with. Tests that use
it hold ctest's wine_display lock."""
import os
import subprocess

from wine import display_prefix, end_wine_session


class Xvfb:
    def __init__(self, width=1024, height=768):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-nolisten", "tcp", "-screen", "0", f"{width}x{height}x24"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            with os.fdopen(read_end) as pipe:
                number = pipe.readline().strip()
            if not number:
                raise RuntimeError("Xvfb did not start")
        except BaseException:
            self.stop()
            raise
        self.display = f":{number}"
        end_wine_session(display_prefix())

    def environment(self, base=None):
        env = dict(os.environ if base is None else base)
        env["DISPLAY"] = self.display
        env["PELMORA_WINEPREFIX"] = display_prefix()
        return env

    def stop(self):
        end_wine_session(display_prefix())
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait(timeout=30)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def without_display(base=None):
    """The environment with no display: Wine's message boxes then return at once."""
    env = dict(os.environ if base is None else base)
    env.pop("DISPLAY", None)
    return env
