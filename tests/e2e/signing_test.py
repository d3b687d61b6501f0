"""The build's optional signing step: with PELMORA_SIGN_CERT and PELMORA_SIGN_KEY set, the linked
program carries a valid SHA-256 Authenticode signature of that certificate, timestamped when a
timestamp server is set; unset, nothing is signed and the configuration says so once; a signing
step that fails leaves no unsigned program."""
import argparse
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from signing import TimestampServer, Verdict, make_certificate, signing_environment  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
PROJECT = Path(__file__).resolve().parent / "signed_build"
OPTIONS = None
NOT_SIGNED = "is not signed: set PELMORA_SIGN_CERT and PELMORA_SIGN_KEY to sign it"


class SignedBuild(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.top = Path(tempfile.mkdtemp(prefix="pelmora-signing-"))
        cls.cert, cls.key = make_certificate(cls.top)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.top, ignore_errors=True)

    def configure(self, name, *settings, generator="Unix Makefiles"):
        build = self.top / name
        result = subprocess.run(["cmake", "-G", generator, "-S", str(PROJECT), "-B", str(build),
                                 f"-DCMAKE_TOOLCHAIN_FILE={OPTIONS.toolchain}", *settings],
                                stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=300)
        return build, result

    def build(self, build):
        return subprocess.run(["cmake", "--build", str(build)], env=signing_environment(), stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=300)

    def test_a_build_with_a_certificate_signs_the_program_with_sha256(self):
        build, configured = self.configure("signed", f"-DPELMORA_SIGN_CERT={self.cert}",
                                           f"-DPELMORA_SIGN_KEY={self.key}")
        self.assertEqual(configured.returncode, 0, configured.stderr)
        self.assertNotIn(NOT_SIGNED, configured.stdout)
        built = self.build(build)
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)
        program = build / "signed_probe.exe"

        untrusted = Verdict(program)
        self.assertTrue(untrusted.signed, untrusted.report)
        self.assertTrue(untrusted.digest_matches, untrusted.report)
        self.assertEqual(untrusted.digest_algorithm, "SHA256")
        self.assertFalse(untrusted.verified, "a throw-away certificate must not be trusted")
        self.assertIn("self-signed certificate", untrusted.report)

        trusted = Verdict(program, trusted=self.cert)
        self.assertTrue(trusted.verified, trusted.report)
        self.assertFalse(trusted.timestamped, trusted.report)

    def test_a_build_with_a_timestamp_server_dates_the_signature(self):
        with TimestampServer(self.top, OPTIONS.timestamp_port) as server:
            build, configured = self.configure("timestamped", f"-DPELMORA_SIGN_CERT={self.cert}",
                                               f"-DPELMORA_SIGN_KEY={self.key}",
                                               f"-DPELMORA_SIGN_TIMESTAMP_URL={server.url}")
            self.assertEqual(configured.returncode, 0, configured.stderr)
            built = self.build(build)
            self.assertEqual(built.returncode, 0, built.stdout + built.stderr)
            self.assertEqual(server.requests, 1)
        verdict = Verdict(build / "signed_probe.exe", trusted=self.cert, trusted_timestamps=server.certificate)
        self.assertTrue(verdict.verified, verdict.report)
        self.assertTrue(verdict.timestamped, verdict.report)

    def test_a_build_without_a_certificate_signs_nothing_and_says_so_once(self):
        build, configured = self.configure("unsigned")
        self.assertEqual(configured.returncode, 0, configured.stderr)
        self.assertEqual(configured.stdout.count(NOT_SIGNED), 1, configured.stdout)
        built = self.build(build)
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)
        self.assertFalse(Verdict(build / "signed_probe.exe").signed)

    def test_a_certificate_without_its_key_is_refused(self):
        _, configured = self.configure("half", f"-DPELMORA_SIGN_CERT={self.cert}")
        self.assertNotEqual(configured.returncode, 0)
        self.assertIn("needs both PELMORA_SIGN_CERT and PELMORA_SIGN_KEY", configured.stderr)

    def test_a_failed_signing_fails_the_build_and_leaves_no_unsigned_program(self):
        # A port held by the test without listening: the timestamp server refuses every connection.
        # Make deletes what a failed rule leaves; Ninja does not, so the signing step must.
        with socket.socket() as closed:
            closed.bind(("127.0.0.1", 0))
            url = f"http://127.0.0.1:{closed.getsockname()[1]}/"
            for generator in ("Unix Makefiles", "Ninja"):
                with self.subTest(generator):
                    build, configured = self.configure(
                        f"no-timestamp-{generator}", f"-DPELMORA_SIGN_CERT={self.cert}",
                        f"-DPELMORA_SIGN_KEY={self.key}", f"-DPELMORA_SIGN_TIMESTAMP_URL={url}", generator=generator)
                    self.assertEqual(configured.returncode, 0, configured.stderr)
                    for attempt in ("first", "second"):
                        built = self.build(build)
                        self.assertNotEqual(built.returncode, 0, attempt)
                        self.assertFalse((build / "signed_probe.exe").exists(), attempt)

if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--toolchain", required=True)
    parser.add_argument("--timestamp-port", type=int, required=True)
    OPTIONS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
