"""A scripted HTTP server on 127.0.0.1 for tests that need a server to misbehave on purpose: each
request target is answered by a script that writes whatever it likes to the connection (a lying
Content-Length, a body cut off, a redirect, silence). Every request head is kept."""
import socket
import ssl
import threading


class Request:
    """One request head as it arrived."""

    def __init__(self, head):
        lines = head.split(b"\r\n")
        self.line = lines[0]
        self.method, self.target, self.version = (self.line.split(b" ", 2) + [b"", b""])[:3]
        self.headers = []
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            if name:
                self.headers.append((name.strip().lower(), value.strip()))

    def values(self, name):
        return [value for key, value in self.headers if key == name.lower()]


def answer(body=b"", status=b"200 OK", length="whole", headers=()):
    """A script that answers with the status, the headers and the body, then closes. The length is
    that of the body ("whole"), none (None: the body ends with the connection) or any text, so that
    the announced length can be wrong."""
    def script(request, connection):
        head = [b"HTTP/1.0 " + status, b"Content-Type: application/octet-stream"]
        if length == "whole":
            head.append(b"Content-Length: %d" % len(body))
        elif length is not None:
            head.append(b"Content-Length: " + length)
        head.extend(name + b": " + value for name, value in headers)
        connection.sendall(b"\r\n".join(head) + b"\r\n\r\n" + body)
    return script


def echo_target(request, connection):
    answer(request.target)(request, connection)


class ScriptedServer:
    """A server on 127.0.0.1 that answers each request by its target with what a script writes, and
    keeps every request head. It counts connections, and those that began with a TLS handshake
    where plain HTTP was expected. With a certificate it speaks TLS and keeps how each handshake
    ended."""

    def __init__(self, routes, port=0, certificate=None):
        self.routes = routes
        self.requests = []
        self.connections = 0
        self.tls_hellos = 0
        self.handshakes = []
        self.lock = threading.Lock()
        self.tls = None
        # Set when the server closes, for scripts that hold a connection open until then.
        self.closing = threading.Event()
        if certificate is not None:
            self.tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self.tls.load_cert_chain(*certificate)
        self.listener = socket.create_server(("127.0.0.1", port))
        self.port = self.listener.getsockname()[1]
        self.workers = []
        self.acceptor = threading.Thread(target=self._accept, daemon=True)
        self.acceptor.start()

    def url(self, target, scheme="http", credentials=""):
        return f"{scheme}://{credentials}127.0.0.1:{self.port}{target}"

    def close(self):
        self.closing.set()
        # Shutting the listener down wakes the blocked accept; closing it alone would not.
        try:
            self.listener.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.listener.close()
        self.acceptor.join(10)
        for worker in self.workers:
            worker.join(30)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def _accept(self):
        while True:
            try:
                connection, _ = self.listener.accept()
            except OSError:
                return
            worker = threading.Thread(target=self._serve, args=(connection,), daemon=True)
            self.workers.append(worker)
            worker.start()

    def _serve(self, connection):
        with self.lock:
            self.connections += 1
        connection.settimeout(120)
        try:
            if self.tls is not None:
                connection = self.tls.wrap_socket(connection, server_side=True, do_handshake_on_connect=False)
                if not self._handshake(connection):
                    return
            head = self._read_head(connection)
            if head is None:
                return
            request = Request(head)
            with self.lock:
                self.requests.append(request)
            self.routes.get(request.target, answer(b"no such page", b"404 Not Found"))(request, connection)
            # A polite end: the client reads the body to the close and then closes too.
            connection.shutdown(socket.SHUT_WR)
            while connection.recv(65536):
                pass
        except OSError:
            pass
        finally:
            connection.close()

    def _handshake(self, connection):
        try:
            connection.do_handshake()
            outcome = "completed"
        except (ssl.SSLError, OSError) as error:
            outcome = str(error)
        with self.lock:
            self.handshakes.append(outcome)
        return outcome == "completed"

    def _read_head(self, connection):
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = connection.recv(65536)
            if not chunk:
                return None
            head += chunk
            if head[:1] == b"\x16":
                with self.lock:
                    self.tls_hellos += 1
                return None
        return head.split(b"\r\n\r\n", 1)[0]


def unused_port():
    """A port of 127.0.0.1 that nothing listens on at the moment."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]
