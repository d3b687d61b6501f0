"""Authenticode signing in the tests: a throw-away self-signed certificate made by the test, the
project's signing step (scripts/sign-exe) and osslsigncode's verdict on a signed program."""
import os
import re
import subprocess
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


class Verdict:
    """What `osslsigncode verify` says of a program: its report, and whether it found a signature
    whose digest matches the program, whether its chain leads to a trusted certificate."""

    def __init__(self, program, trusted=None):
        command = ["osslsigncode", "verify", "-in", str(program)]
        if trusted:
            command[2:2] = ["-CAfile", str(trusted)]
        result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=60)
        self.report = result.stdout + result.stderr
        self.verified = result.returncode == 0
        current = re.search(r"Current message digest\s*:\s*(\w+)", self.report)
        calculated = re.search(r"Calculated message digest\s*:\s*(\w+)", self.report)
        self.signed = current is not None
        self.digest_matches = self.signed and calculated is not None and current[1] == calculated[1]
        algorithm = re.search(r"Message digest algorithm\s*:\s*(\w+)", self.report)
        self.digest_algorithm = algorithm[1] if algorithm else None
