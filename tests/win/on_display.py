"""Runs a Windows test program to its end under a private X server, for tests that need real
windows (message boxes, window titles): its output is passed on and its exit code is ours.

    on_display.py <program> [arguments...]
"""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from wine import run_windows  # noqa: E402
from xvfb import Xvfb  # noqa: E402

TIMEOUT = 900


def main(program, *args):
    with Xvfb() as display:
        code, output = run_windows(program, args, timeout=TIMEOUT, env=display.environment())
    sys.stdout.write(output)
    return code


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
