"""Authenticode signing in the tests: a throw-away self-signed certificate made by the test, the
project's signing step (scripts/sign-exe), a timestamp server of the test's own on loopback, and
osslsigncode's verdict on a signed program."""
import http.server
import os
import re
import subprocess
import tempfile
import threading
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SIGN_EXE = ROOT / "scripts" / "sign-exe"
PASSWORD = "throw-away"


def make_certificate(folder):
    """A self-signed code-signing certificate and its password-protected key: (cert.pem, key.pem)."""
    cert, key = Path(folder) / "cert.pem", Path(folder) / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-sha256", "-days", "1",
                    "-subj", "/CN=Pelmora throw-away signer", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", str(key), "-out", str(cert), "-passout", "pass:" + PASSWORD],
                   check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    return cert, key


def signing_environment():
    return dict(os.environ, PELMORA_SIGN_PASSWORD=PASSWORD)


def sign(program, cert, key):
    """Signs the program in place with the project's signing step."""
    subprocess.run([str(SIGN_EXE), str(program), str(cert), str(key)], env=signing_environment(), check=True,
                   stdin=subprocess.DEVNULL, capture_output=True, timeout=120)


TIMESTAMP_CONFIG = """
[ tsa ]
default_tsa = throw_away
[ throw_away ]
serial = {folder}/serial
signer_cert = {folder}/tsa.pem
signer_key = {folder}/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256
"""


class TimestampServer:
    """An RFC 3161 timestamp server on 127.0.0.1: `openssl ts -reply` behind a small HTTP server,
    with a throw-away certificate of its own (`certificate`), stopped when the block ends."""

    def __init__(self, folder, port):
        self.folder = Path(folder)
        self.certificate = self.folder / "tsa.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "1",
                        "-subj", "/CN=Pelmora throw-away timestamps",
                        "-addext", "extendedKeyUsage=critical,timeStamping",
                        "-keyout", str(self.folder / "tsa.key"), "-out", str(self.certificate)],
                       check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        (self.folder / "serial").write_text("01\n")
        config = self.folder / "tsa.cnf"
        config.write_text(TIMESTAMP_CONFIG.format(folder=self.folder))
        self.requests = 0
        server = self

        class Reply(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                server.requests += 1
                with tempfile.TemporaryDirectory() as work:
                    query, reply = Path(work) / "query", Path(work) / "reply"
                    query.write_bytes(self.rfile.read(int(self.headers["Content-Length"])))
                    subprocess.run(["openssl", "ts", "-reply", "-config", str(config), "-queryfile", str(query),
                                    "-out", str(reply)], check=True, capture_output=True, timeout=60)
                    answer = reply.read_bytes()
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(answer)))
                self.end_headers()
                self.wfile.write(answer)

            def log_message(self, *args):
                pass

        self.http = http.server.HTTPServer(("127.0.0.1", port), Reply)
        self.url = f"http://127.0.0.1:{port}/"
        self.thread = threading.Thread(target=self.http.serve_forever, daemon=True)
        self.thread.start()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.http.shutdown()
        self.http.server_close()
        self.thread.join(timeout=30)


class Verdict:
    """What `osslsigncode verify` says of a program: its report, and whether it found a signature
    whose digest matches the program, whether its chain leads to a trusted certificate, and whether
    it carries a timestamp whose server's signature is valid."""

    def __init__(self, program, trusted=None, trusted_timestamps=None):
        command = ["osslsigncode", "verify", "-in", str(program)]
        if trusted:
            command[2:2] = ["-CAfile", str(trusted)]
        if trusted_timestamps:
            command[2:2] = ["-TSA-CAfile", str(trusted_timestamps)]
        result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
        self.report = result.stdout + result.stderr
        self.verified = result.returncode == 0
        current = re.search(r"Current message digest\s*:\s*(\w+)", self.report)
        calculated = re.search(r"Calculated message digest\s*:\s*(\w+)", self.report)
        self.signed = current is not None
        self.digest_matches = self.signed and calculated is not None and current[1] == calculated[1]
        algorithm = re.search(r"Message digest algorithm\s*:\s*(\w+)", self.report)
        self.digest_algorithm = algorithm[1] if algorithm else None
        self.timestamped = "Timestamp Server Signature verification: ok" in self.report
