"""A local HTTPS update host for the update tests: a test certificate
authority made with openssl, trusted through the system's certificate store
for the length of the run (libcurl and Wine's WinHTTP both read it), and a
small threaded server on localhost that answers each path with whatever the
test put there."""

import http.server
import os
import shutil
import socket
import ssl
import subprocess
import tempfile
import threading
import time
import unittest

# The test copy of the program is built with this host and port
# (VESKLAR_TEST_UPDATE_PORT in src/CMakeLists.txt).
HOST = "localhost"
PORT = 17866
BASE_URL = f"https://{HOST}:{PORT}"

# Bytes per piece of a paced answer (see UpdateHost.serve).
PACED_PIECE = 65536

STORE_FOLDER = "/usr/local/share/ca-certificates"
CERTS_FOLDER = "/etc/ssl/certs"


def can_change_trust_store():
    return (os.geteuid() == 0 and os.path.isdir(STORE_FOLDER)
            and shutil.which("update-ca-certificates") is not None
            and shutil.which("openssl") is not None)


def skip_unless_trust_store_can_change():
    """For a test module's set-up: skips the module where the test authority
    cannot be trusted."""
    if not can_change_trust_store():
        raise unittest.SkipTest("the update tests need root, openssl and update-ca-certificates "
                                "to trust their test certificate authority")


def start_trusted_host():
    """A test certificate authority that this machine trusts, and an update
    host started with its certificate: (authority, host)."""
    authority = TestAuthority()
    authority.trust()
    host = UpdateHost(authority)
    host.start()
    return authority, host


def stop_trusted_host(authority, host):
    if host:
        host.stop()
    if authority:
        authority.cleanup()


def _openssl(*args, cwd):
    subprocess.run(["openssl", *args], cwd=cwd, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


class TestAuthority:
    """A certificate authority and a server certificate for localhost,
    made in a temporary folder."""

    def __init__(self):
        self.folder = tempfile.mkdtemp(prefix="vesklar-ca-")
        d = self.folder
        with open(os.path.join(d, "server.ext"), "w") as f:
            f.write("basicConstraints=critical,CA:FALSE\n"
                    "keyUsage=critical,digitalSignature,keyEncipherment\n"
                    "extendedKeyUsage=serverAuth\n"
                    "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n")
        _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
                 "-keyout", "ca.key", "-out", "ca.crt", "-subj", "/CN=Vesklar Test CA",
                 "-addext", "basicConstraints=critical,CA:TRUE",
                 "-addext", "keyUsage=critical,keyCertSign,cRLSign", cwd=d)
        _openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", "server.key",
                 "-out", "server.csr", "-subj", "/CN=localhost", cwd=d)
        _openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                 "-CAcreateserial", "-days", "2", "-sha256", "-extfile", "server.ext",
                 "-out", "server.crt", cwd=d)
        self.ca_cert = os.path.join(d, "ca.crt")
        self.server_cert = os.path.join(d, "server.crt")
        self.server_key = os.path.join(d, "server.key")
        self.installed = None

    def trust(self):
        """Adds the authority to the system store; `untrust` takes it out."""
        self.installed = os.path.join(STORE_FOLDER, f"vesklar-test-ca-{os.getpid()}.crt")
        shutil.copyfile(self.ca_cert, self.installed)
        subprocess.run(["update-ca-certificates"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def untrust(self):
        if self.installed and os.path.exists(self.installed):
            os.remove(self.installed)
            # update-ca-certificates rebuilds the bundle without the file but
            # leaves its links behind (the named one and the hash link to it).
            pem = os.path.splitext(os.path.basename(self.installed))[0] + ".pem"
            for entry in os.listdir(CERTS_FOLDER):
                link = os.path.join(CERTS_FOLDER, entry)
                if os.path.islink(link) and (entry == pem or os.readlink(link) == pem):
                    os.remove(link)
            subprocess.run(["update-ca-certificates"], check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.installed = None

    def cleanup(self):
        self.untrust()
        shutil.rmtree(self.folder, ignore_errors=True)


class _Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        host = self.server.update_host
        with host.lock:
            host.requests.append((self.path, self.headers.get("User-Agent")))
            answer = host.routes.get(self.path)
        if answer is None:
            answer = (404, b"Not Found", "text/plain", 0, 0)
        status, body, content_type, delay, pace = answer
        time.sleep(delay)
        try:
            self.send_response(status)
            self.send_header("Content-Type", content_type)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if not pace:
                self.wfile.write(body)
                return
            # A slow host: the body in small pieces with a pause after each.
            for at in range(0, len(body), PACED_PIECE):
                self.wfile.write(body[at:at + PACED_PIECE])
                self.wfile.flush()
                time.sleep(pace)
        except (ConnectionError, ssl.SSLError):
            with host.lock:
                host.hung_up.append(self.path)

    def log_message(self, *args):
        pass


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, family, context, update_host):
        self.address_family = family
        self.update_host = update_host
        super().__init__(address, _Handler)
        # The handshake happens in the request's own thread, on first read.
        self.socket = context.wrap_socket(self.socket, server_side=True,
                                          do_handshake_on_connect=False)

    def handle_error(self, request, client_address):
        pass  # a client that gives up mid-handshake is part of some tests


class UpdateHost:
    """Serves `routes` ({path: (status, body bytes, content type)}) on
    localhost:PORT over both loopback addresses, and records each request's
    path and user agent."""

    def __init__(self, authority):
        self.authority = authority
        self.routes = {}
        self.requests = []
        self.hung_up = []  # paths whose client left before the whole answer
        self.lock = threading.Lock()
        self.servers = []

    def start(self):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.authority.server_cert, self.authority.server_key)
        addresses = [(("127.0.0.1", PORT), socket.AF_INET)]
        if socket.has_ipv6:
            addresses.append((("::1", PORT), socket.AF_INET6))
        for address, family in addresses:
            try:
                server = _Server(address, family, context, self)
            except OSError:
                if family == socket.AF_INET6:
                    continue  # no IPv6 loopback here: the IPv4 one serves
                raise
            threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.05},
                             daemon=True).start()
            self.servers.append(server)

    def stop(self):
        for server in self.servers:
            server.shutdown()
            server.server_close()
        self.servers = []

    def serve(self, path, body, status=200, content_type="application/octet-stream", delay=0, pace=0):
        """`pace`: seconds of pause after each PACED_PIECE bytes of the body."""
        with self.lock:
            self.routes[path] = (status, body, content_type, delay, pace)

    def manifest(self, text, status=200):
        self.serve("/descargas/version.json",
                   text.encode("latin-1") if isinstance(text, str) else text, status,
                   "application/json")

    def taken(self):
        """The requests so far, forgetting them."""
        with self.lock:
            out, self.requests = self.requests, []
        return out
