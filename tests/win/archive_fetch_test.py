"""The HTTP fetch under Wine against servers of the test's own on 127.0.0.1: what each server
received, and what the fetch returned. A probe program makes the fetches of one test in one
process (tests/win/helpers/fetch_probe.cpp)."""
import argparse
import base64
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from scripted_server import ScriptedServer, answer, echo_target, unused_port  # noqa: E402
from wine import run_windows  # noqa: E402

PROBE = None
TIMEOUT = 600
AGENT = b"Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)"
MEGABYTE = 1024 * 1024


class Fetch:
    def __init__(self, body, opens):
        self.body = body
        self.opens = opens

    def __repr__(self):
        return f"Fetch({len(self.body)} bytes, {self.opens} opens)"


class FetchTest(unittest.TestCase):
    def server(self, routes=None, port=0, certificate=None):
        server = ScriptedServer(routes or {}, port=port, certificate=certificate)
        self.addCleanup(server.close)
        return server

    def fetch(self, *commands, timeout=None):
        """Runs the probe once: each command a URL or "--release". Returns one Fetch per URL."""
        folder = Path(tempfile.mkdtemp(prefix="pelmora-fetch-"))
        self.addCleanup(shutil.rmtree, folder, True)
        lines = [command.encode("ascii") if isinstance(command, str) else command for command in commands]
        (folder / "commands.txt").write_bytes(b"".join(line + b"\n" for line in lines))
        code, output = run_windows(PROBE, cwd=folder, timeout=timeout or TIMEOUT)
        self.assertEqual(code, 0, output)
        fetches = []
        for line in (folder / "report.txt").read_text().splitlines():
            number, length, opens = map(int, line.split())
            body = (folder / f"fetch-{number}.body").read_bytes()
            self.assertEqual(len(body), length)
            fetches.append(Fetch(body, opens))
        self.assertEqual(len(fetches), sum(1 for line in lines if line != b"--release"))
        return fetches

    def assertBody(self, fetch, expected, what):
        # Large bodies are compared without printing them.
        self.assertEqual(len(fetch.body), len(expected), what)
        self.assertTrue(fetch.body == expected, f"{what}: the bytes differ")


class TheRequest(FetchTest):
    def test_request_line_and_headers_are_those_of_the_fetch(self):
        archive = b"PK\x03\x04" + os.urandom(1000)
        server = self.server({b"/update/pelmoraDesk/latest.zip?channel=stable&n=1": answer(archive)})
        [fetch] = self.fetch(server.url("/update/pelmoraDesk/latest.zip?channel=stable&n=1#part-2"))
        self.assertBody(fetch, archive, "the archive")
        [request] = server.requests
        self.assertEqual(request.method, b"GET")
        self.assertEqual(request.target, b"/update/pelmoraDesk/latest.zip?channel=stable&n=1")
        self.assertEqual(request.version, b"HTTP/1.0")
        self.assertEqual(request.values(b"User-Agent"), [AGENT])
        self.assertEqual(request.values(b"Accept"), [b"*/*"])
        self.assertEqual(request.values(b"Host"), [b"127.0.0.1:%d" % server.port])
        # Nothing else: no Range, Referer, Cookie, cache or body header.
        self.assertEqual(sorted(name for name, _ in request.headers), [b"accept", b"host", b"user-agent"])

    def test_the_query_is_sent_and_the_fragment_is_not(self):
        cases = [
            ("/a", b"/a"),
            ("/a?b=1&c=2", b"/a?b=1&c=2"),
            ("/a#top", b"/a"),
            ("/a?b=1#top", b"/a?b=1"),
            ("/a?b=#x#y", b"/a?b="),
            ("/dir/latest.zip?#", b"/dir/latest.zip?"),
            # Escapes stay as they are: nothing is decoded or encoded.
            ("/%7Euser/a%20b?q=%41%23#f", b"/%7Euser/a%20b?q=%41%23"),
        ]
        server = self.server()
        server.routes = {target: echo_target for _, target in cases}
        fetches = self.fetch(*(server.url(path) for path, _ in cases))
        self.assertEqual([request.target for request in server.requests], [target for _, target in cases])
        self.assertEqual([fetch.body for fetch in fetches], [target for _, target in cases])

    def test_a_url_longer_than_the_first_canonical_buffer_is_fetched(self):
        path = "/update/" + "p" * 1990 + "/latest.zip"
        server = self.server({path.encode(): answer(b"long way")})
        url = server.url(path, credentials="u" * 120 + ":" + "w" * 120 + "@")
        self.assertGreater(len(url), 2084)
        [fetch] = self.fetch(url)
        self.assertEqual(fetch.body, b"long way")
        self.assertEqual([request.target for request in server.requests], [path.encode()])

    def test_credentials_of_the_url_reach_the_server(self):
        expected = b"Basic " + base64.b64encode(b"pelmora:s3cret")

        def private(request, connection):
            if request.values(b"Authorization") == [expected]:
                answer(b"granted")(request, connection)
            else:
                answer(b"<html>denied</html>", b"401 Unauthorized",
                       headers=[(b"WWW-Authenticate", b'Basic realm="pelmora"')])(request, connection)

        server = self.server({b"/private": private})
        # WinINet keeps the credentials it has used for the process: the fetch without comes first.
        without, with_credentials = self.fetch(server.url("/private"),
                                               server.url("/private", credentials="pelmora:s3cret@"))
        self.assertEqual(without.body, b"<html>denied</html>", "the challenge's page, status unexamined")
        self.assertEqual(with_credentials.body, b"granted")
        # The second fetch meets the challenge and answers it with the URL's credentials.
        authorizations = [request.values(b"Authorization") for request in server.requests]
        self.assertEqual(authorizations, [[], [], [expected]])


class Bodies(FetchTest):
    def test_bodies_with_and_without_a_length_arrive_byte_for_byte(self):
        small = os.urandom(1000)
        large = os.urandom(30 * MEGABYTE + 12345)
        server = self.server({
            b"/small": answer(small),
            b"/small-unannounced": answer(small, length=None),
            b"/large": answer(large),
            b"/large-unannounced": answer(large, length=None),
        })
        fetches = self.fetch(*(server.url(path) for path in
                               ("/small", "/small-unannounced", "/large", "/large-unannounced")))
        for fetch, expected, what in zip(fetches, (small, small, large, large),
                                         ("small", "small without length", "large", "large without length")):
            self.assertBody(fetch, expected, what)

    def test_a_body_is_read_to_its_end_whatever_its_length_says(self):
        body = os.urandom(250000)
        server = self.server({
            b"/understated": answer(body, length=b"1000"),
            b"/signed": answer(body, length=b" +250000"),
            b"/nonsense": answer(body, length=b"many"),
        })
        fetches = self.fetch(server.url("/understated"), server.url("/signed"), server.url("/nonsense"))
        for fetch, what in zip(fetches, ("Content-Length 1000", "Content-Length +250000", "Content-Length many")):
            self.assertBody(fetch, body, what)

    def test_a_connection_closed_in_the_middle_gives_the_bytes_received(self):
        sent = os.urandom(40000)
        sent_large = os.urandom(3 * MEGABYTE + 17)
        server = self.server({
            b"/cut": answer(sent, length=b"100000"),
            b"/cut-large": answer(sent_large, length=b"%d" % (8 * MEGABYTE)),
        })
        cut, cut_large = self.fetch(server.url("/cut"), server.url("/cut-large"))
        self.assertBody(cut, sent, "cut after 40000 of 100000 bytes")
        self.assertBody(cut_large, sent_large, "cut after 3 of 8 MB")

    def test_the_status_is_not_examined_and_redirects_are_followed(self):
        page = b"<html><body><h1>404 Not Found</h1></body></html>"
        archive = os.urandom(5000)
        server = self.server()
        server.routes = {
            b"/missing": answer(page, b"404 Not Found"),
            b"/failing": answer(b"oops", b"500 Internal Server Error"),
            b"/latest.zip": answer(b"", b"302 Found", headers=[(b"Location", server.url("/moved/latest.zip").encode())]),
            b"/moved/latest.zip": answer(archive),
        }
        missing, failing, moved = self.fetch(server.url("/missing"), server.url("/failing"),
                                             server.url("/latest.zip"))
        self.assertEqual(missing.body, page)
        self.assertEqual(failing.body, b"oops")
        self.assertBody(moved, archive, "the body after the redirect")
        self.assertEqual([request.target for request in server.requests][-2:], [b"/latest.zip", b"/moved/latest.zip"])

    def test_an_empty_body_gives_the_empty_result(self):
        server = self.server({
            b"/empty": answer(b""),
            b"/empty-unannounced": answer(b"", length=None),
            b"/not-modified": answer(b"", b"204 No Content", length=None),
        })
        fetches = self.fetch(server.url("/empty"), server.url("/empty-unannounced"), server.url("/not-modified"))
        self.assertEqual([fetch.body for fetch in fetches], [b"", b"", b""])
        self.assertEqual(len(server.requests), 3)


class Failures(FetchTest):
    def test_urls_that_are_not_fetched_make_no_request_and_open_nothing(self):
        server = self.server({b"/x": answer(b"reached")})
        port = server.port
        fetches = self.fetch(
            "",
            f"ftp://127.0.0.1:{port}/x",
            f"gopher://127.0.0.1:{port}/x",
            f"file://127.0.0.1:{port}/x",
            f"mailto:x@127.0.0.1:{port}",
            f"127.0.0.1:{port}/x",
            "not a url",
            f"http://{'h' * 300}:{port}/x",
            server.url("/x"),
        )
        *refused, reached = fetches
        self.assertEqual([fetch.body for fetch in refused], [b""] * len(refused))
        self.assertEqual([fetch.opens for fetch in refused], [0] * len(refused), "no internet handle opened")
        self.assertEqual(reached.body, b"reached", "the probe itself fetches")
        self.assertEqual(reached.opens, 1)
        self.assertEqual(server.connections, 1, "only the last URL reached the server")

    def test_unreachable_servers_give_empty_results_within_wininets_time_outs(self):
        def hang_up(request, connection):
            connection.shutdown(socket.SHUT_RDWR)

        server = self.server({b"/hang-up": hang_up})
        started = time.monotonic()
        fetches = self.fetch(
            f"http://127.0.0.1:{unused_port()}/latest.zip",
            "http://update.pelmora-tests.invalid/latest.zip",
            server.url("/hang-up"),
            timeout=300,
        )
        self.assertEqual([fetch.body for fetch in fetches], [b"", b"", b""])
        self.assertEqual([fetch.opens for fetch in fetches], [1, 1, 1])
        self.assertLess(time.monotonic() - started, 120)


class SharedHandle(FetchTest):
    def test_fetches_share_one_internet_handle_until_it_is_released(self):
        server = self.server({b"/a": answer(b"first"), b"/b": answer(b"second")})
        fetches = self.fetch("", server.url("/a"), server.url("/b"),
                             f"http://127.0.0.1:{unused_port()}/a", server.url("/a"),
                             "--release", server.url("/b"), server.url("/a"))
        self.assertEqual([fetch.body for fetch in fetches],
                         [b"", b"first", b"second", b"", b"first", b"second", b"first"])
        self.assertEqual([fetch.opens for fetch in fetches], [0, 1, 1, 1, 1, 2, 2])


def self_signed_certificate(folder):
    key, certificate = folder / "key.pem", folder / "certificate.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                    "-subj", "/CN=127.0.0.1", "-keyout", str(key), "-out", str(certificate)],
                   check=True, timeout=120, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return str(certificate), str(key)


def bindable(port):
    try:
        socket.create_server(("127.0.0.1", port)).close()
        return True
    except OSError:
        return False


class Https(FetchTest):
    @classmethod
    def setUpClass(cls):
        folder = Path(tempfile.mkdtemp(prefix="pelmora-tls-"))
        cls.addClassCleanup(shutil.rmtree, folder, True)
        cls.certificate = self_signed_certificate(folder)

    def test_a_self_signed_certificate_is_rejected(self):
        server = self.server({b"/latest.zip": answer(b"PK\x03\x04")}, certificate=self.certificate)
        [fetch] = self.fetch(server.url("/latest.zip", scheme="https"))
        self.assertEqual(fetch.body, b"")
        # WinINet completes the handshake, finds the certificate untrusted and sends no request.
        self.assertTrue(server.handshakes)
        self.assertEqual(set(server.handshakes), {"completed"})
        self.assertEqual(server.requests, [])

    def test_https_speaks_tls_on_the_urls_port_and_http_does_not(self):
        server = self.server({b"/x": answer(b"plain")})
        secure, plain = self.fetch(server.url("/x", scheme="https"), server.url("/x"))
        self.assertEqual(secure.body, b"")
        self.assertGreaterEqual(server.tls_hellos, 1, "the https URL began with a TLS handshake")
        self.assertEqual(plain.body, b"plain")
        self.assertEqual([request.target for request in server.requests], [b"/x"])

    def test_urls_without_a_port_go_to_their_schemes_default_port(self):
        if not (bindable(80) and bindable(443)):
            self.skipTest("ports 80 and 443 of 127.0.0.1 cannot be had here")
        secure = self.server({b"/latest.zip": answer(b"PK\x03\x04")}, port=443, certificate=self.certificate)
        plain = self.server({b"/latest.zip": answer(b"plain")}, port=80)
        secure_fetch, plain_fetch = self.fetch("https://127.0.0.1/latest.zip", "http://127.0.0.1/latest.zip")
        self.assertEqual(secure_fetch.body, b"", "the self-signed certificate is rejected")
        self.assertTrue(secure.handshakes)
        self.assertEqual(set(secure.handshakes), {"completed"}, "a TLS handshake on port 443")
        self.assertEqual(secure.requests, [])
        self.assertEqual(plain_fetch.body, b"plain")
        self.assertEqual(plain.tls_hellos, 0)


class OneProcess(FetchTest):
    """The fetch's main roads in a single probe process, for builds whose processes start slowly."""

    def test_a_run_of_fetches_in_one_process(self):
        archive = os.urandom(2 * MEGABYTE + 1)
        page = b"<html>not here</html>"
        server = self.server({
            b"/update/pelmoraDesk/latest.zip?v=2": answer(archive),
            b"/unannounced": answer(archive, length=None),
            b"/missing": answer(page, b"404 Not Found"),
        })
        fetches = self.fetch(
            "",
            f"ftp://127.0.0.1:{server.port}/latest.zip",
            server.url("/update/pelmoraDesk/latest.zip?v=2#top"),
            server.url("/unannounced"),
            server.url("/missing"),
            f"http://127.0.0.1:{unused_port()}/latest.zip",
            "--release",
            server.url("/missing"),
        )
        self.assertEqual([fetch.opens for fetch in fetches], [0, 0, 1, 1, 1, 1, 2])
        self.assertEqual(fetches[0].body, b"")
        self.assertEqual(fetches[1].body, b"")
        self.assertBody(fetches[2], archive, "the archive")
        self.assertBody(fetches[3], archive, "the archive without length")
        self.assertEqual(fetches[4].body, page)
        self.assertEqual(fetches[5].body, b"")
        self.assertEqual(fetches[6].body, page)
        first = server.requests[0]
        self.assertEqual(first.line, b"GET /update/pelmoraDesk/latest.zip?v=2 HTTP/1.0")
        self.assertEqual(first.values(b"User-Agent"), [AGENT])
        self.assertEqual(first.values(b"Accept"), [b"*/*"])
        self.assertEqual(len(server.requests), 4)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--probe", required=True)
    parser.add_argument("--timeout", type=int, default=TIMEOUT)
    options, rest = parser.parse_known_args()
    PROBE, TIMEOUT = Path(options.probe).resolve(), options.timeout
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
