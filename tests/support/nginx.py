"""nginx on loopback with the project's own configuration, serving a folder of update archives;
stopped by its process id."""
import socket
import subprocess
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
TEMPLATE = ROOT / "scripts" / "nginx" / "pelmora-update.conf.in"
# Where the served folder holds the release archive, as the updater asks for it.
ARCHIVE_PATH = Path("update") / "pelmoraDesk" / "latest.zip"


class Nginx:
    def __init__(self, port, serve_root, startup_timeout=20):
        self.port = port
        self.run = Path(tempfile.mkdtemp(prefix="pelmora-nginx-"))
        config = TEMPLATE.read_text().replace("@PORT@", str(port)).replace(
            "@ROOT@", str(serve_root)).replace("@RUN@", str(self.run))
        self.config = self.run / "nginx.conf"
        self.config.write_text(config)
        self.process = subprocess.Popen(
            ["nginx", "-c", str(self.config), "-p", str(self.run)],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + startup_timeout
        while not self._listening():
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("nginx did not start: " + self.errors())
            time.sleep(0.05)

    def _listening(self):
        with socket.socket() as probe:
            probe.settimeout(0.2)
            return probe.connect_ex(("127.0.0.1", self.port)) == 0

    def errors(self):
        log = self.run / "error.log"
        return log.read_text() if log.exists() else ""

    def requests(self):
        """The logged requests: (request line, user agent, accept, status)."""
        log = self.run / "access.log"
        if not log.exists():
            return []
        return [tuple(line.split("|")[:4]) for line in log.read_text().splitlines()]

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
