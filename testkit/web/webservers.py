#!/usr/bin/env python3
"""Web servers for the HTTP tests, all on 127.0.0.1 only.

    webservers.py start <state dir> [--lifetime seconds] [--proxy]
    webservers.py stop <state dir>
    webservers.py bigfile <state dir> <megabytes>   (a file for the download benchmark)

`start` runs a supervisor in the background and returns once everything listens:
nginx with a configuration generated from nginx.conf.in, the fake HTTP server below,
and with --proxy two tinyproxy forward proxies: one open, which hands requests for
names under ".invalid" to the fake server as its upstream (so that only the proxy can
reach them; nginx serves "proxy.pac" pointing there), and one that refuses every
tunnel and the addresses holding "forbidden"; and a blackhole port that never answers a connection.
Ports and folders go to <state dir>/servers.ini, which Windows test programs read. The supervisor stops its servers on `stop`, on SIGTERM, and by
itself when its lifetime ends, so nothing outlives a failed run.

The fake server does what a real server won't on demand. Per request, by query:
    status=N            reply status (default 200)
    body=TEXT           reply body (default "ok")
    setcookie=TEXT      a Set-Cookie header (repeatable)
    length=N&truncate=M declare Content-Length N, send M bytes, close
    drip=N              send the body N bytes at a time, 50 ms apart
Paths:
    /files/NAME[?norange=1]   a file of the nginx root, with Range unless norange
    /raw/MODE                 hand-made replies: endless-header, chunks1024,
                              lower-length, blank, status404, server-field
    PUT /_canned/PATH         the request body becomes the raw reply for /PATH
    PUT /_queue/PATH          the request body is queued as the next raw reply for /PATH;
                              requests take the queued replies in order, the last repeats
    CONNECT host:port         a tunnel to 127.0.0.1:port
    /hostile/MODE             a server that means harm (see FakeHandler.hostile):
                              silent, drip-body[?every=S&size=N], drip-header[?for=S], endless,
                              flood[?for=S&length=N], late-body?after=S&size=N, status?line=TEXT,
                              header-lines, byte-chunks, continue (each ?for=S, default 5),
                              noblank, junk, close, range?start=S&end=E&total=T&size=N,
                              r416[?total=N], length?value=TEXT, range?...&nolength=1,
                              reply?name=NAME (HOSTILE_REPLIES)
    /stats/floods[?tag=T&reset=1]  "<open> <most at once>" flood connections of tag T (the
                              floods asked with that tag; none: untagged; reset: most = open)
Every request is written, exactly as received, to <state>/log/<path with "/" as "_">.req
and listed in <state>/requests.log.
"""
import argparse
import ctypes
import http.server
import os
import random
import re
import signal
import socket
import socketserver
import string
import subprocess
import sys
import threading
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_LIFETIME = 1800


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_listening(port, proc, seconds=15):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if proc is not None and proc.poll() is not None:
            return False
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.5):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def pattern_bytes(size, seed):
    return random.Random(seed).randbytes(size)


def die_with_parent():
    # The servers end with the supervisor even when it is killed outright.
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        libc.prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except OSError:
        pass
    os.setpgrp()


# ---------------------------------------------------------------- fake HTTP server

# Queued raw replies (PUT /_queue/PATH): a reply that changes from one request to the
# next, as the upgrade tests need (a wrong body, then the right one).
REPLY_QUEUES = {}
REPLY_QUEUES_LOCK = threading.Lock()


def queue_reply(path, raw):
    with REPLY_QUEUES_LOCK:
        REPLY_QUEUES.setdefault(path, []).append(raw)


def next_queued_reply(path):
    with REPLY_QUEUES_LOCK:
        queue = REPLY_QUEUES.get(path)
        if not queue:
            return None
        return queue.pop(0) if len(queue) > 1 else queue[0]


class FakeState:
    def __init__(self, state, root):
        self.state = state
        self.root = root
        self.logdir = os.path.join(state, "log")
        self.canned = {}
        self.lock = threading.Lock()
        # Per tag, flood replies whose connection is still open and the most at once:
        # test programs that share the server count only their own.
        self.floods = {}
        os.makedirs(self.logdir, exist_ok=True)

    def flood_began(self, tag, change):
        with self.lock:
            counts = self.floods.setdefault(tag, [0, 0])
            counts[0] += change
            counts[1] = max(counts[1], counts[0])

    def record(self, path, raw):
        name = re.sub(r"[^A-Za-z0-9._-]", "_", path.strip("/")) or "root"
        with self.lock:
            with open(os.path.join(self.logdir, name + ".req"), "wb") as f:
                f.write(raw)
            with open(os.path.join(self.state, "requests.log"), "a", encoding="utf-8") as f:
                f.write(raw.split(b"\r\n", 1)[0].decode("latin-1") + "\n")


class FakeHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fake"
    sys_version = ""

    def log_message(self, fmt, *args):
        pass

    def read_body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def handle_any(self):
        body = self.read_body()
        head = self.requestline + "\r\n" + "".join("%s: %s\r\n" % (k, v) for k, v in self.headers.items())
        url = urllib.parse.urlsplit(self.path)
        self.server.fake.record(url.path, head.encode("latin-1") + b"\r\n" + body)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        if url.path.startswith("/_canned/") and self.command == "PUT":
            self.server.fake.canned["/" + url.path[len("/_canned/"):]] = body
            return self.reply(200, b"stored")
        if url.path.startswith("/_queue/") and self.command == "PUT":
            queue_reply("/" + url.path[len("/_queue/"):], body)
            return self.reply(200, b"queued")
        queued = next_queued_reply(url.path)
        if queued is not None:
            self.wfile.write(queued)
            self.close_connection = True
            return None
        canned = self.server.fake.canned.get(url.path)
        if canned is not None:
            self.wfile.write(canned)
            self.close_connection = True
            return None
        if url.path == "/stats/floods":
            fake = self.server.fake
            with fake.lock:
                counts = fake.floods.setdefault(query.get("tag", [""])[0], [0, 0])
                text = "%d %d" % (counts[0], counts[1])
                if "reset" in query:
                    counts[1] = counts[0]
            return self.reply(200, text.encode("latin-1"))
        if url.path.startswith("/raw/"):
            return self.raw(url.path[len("/raw/"):])
        if url.path.startswith("/hostile/"):
            return self.hostile(url.path[len("/hostile/"):], query)
        if url.path.startswith("/files/"):
            return self.serve_file(url.path[len("/files/"):], query)
        status = int(query.get("status", ["200"])[0])
        reply = query.get("body", ["ok"])[0].encode("latin-1", "replace")
        extra = [("Set-Cookie", c) for c in query.get("setcookie", [])]
        length = int(query["length"][0]) if "length" in query else None
        truncate = int(query["truncate"][0]) if "truncate" in query else None
        drip = int(query["drip"][0]) if "drip" in query else None
        return self.reply(status, reply, extra, length=length, truncate=truncate, drip=drip)

    do_GET = do_POST = do_PUT = do_HEAD = handle_any

    def do_CONNECT(self):
        # Upstream of the open proxy for names under ".invalid": the tunnel always ends
        # on the loopback address, at the port the client asked for.
        self.server.fake.record("/_connect", (self.requestline + "\r\n\r\n").encode("latin-1"))
        try:
            port = int(self.path.rsplit(":", 1)[1])
            upstream = socket.create_connection(("127.0.0.1", port), timeout=10)
        except (ValueError, IndexError, OSError):
            self.send_error(502)
            return
        self.wfile.write(b"HTTP/1.0 200 Connection established\r\n\r\n")
        self.wfile.flush()
        self.close_connection = True
        relay(self.connection, upstream)

    def reply(self, status, body, extra=(), length=None, truncate=None, drip=None, ctype="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        for k, v in extra:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body) if length is None else length))
        if truncate is not None:
            self.send_header("Connection", "close")
        self.end_headers()
        if self.command == "HEAD":
            return
        if truncate is not None:
            self.wfile.write(body[:truncate] if truncate <= len(body) else body + b"x" * (truncate - len(body)))
            self.wfile.flush()
            self.close_connection = True
            return
        self.send_body(body, drip)

    def send_body(self, body, drip):
        if not drip:
            self.wfile.write(body)
            return
        try:
            for i in range(0, len(body), drip):
                self.wfile.write(body[i:i + drip])
                self.wfile.flush()
                time.sleep(0.05)
        except OSError:
            self.close_connection = True

    def serve_file(self, name, query):
        path = os.path.join(self.server.fake.root, os.path.basename(name))
        if not os.path.isfile(path):
            return self.reply(404, b"not found")
        with open(path, "rb") as f:
            data = f.read()
        drip = int(query["drip"][0]) if "drip" in query else None
        rng = self.headers.get("Range")
        m = re.match(r"bytes=(\d+)-$", rng or "")
        if m and "norange" not in query:
            start = int(m.group(1))
            if start >= len(data):
                self.send_response(416)
                self.send_header("Content-Range", "bytes */%d" % len(data))
                self.send_header("Content-Length", "0")
                self.end_headers()
                return None
            self.send_response(206)
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))
            self.send_header("Content-Length", str(len(data) - start))
            self.end_headers()
            return self.send_body(data[start:], drip)
        return self.reply(200, data, drip=drip, ctype="application/octet-stream")

    def raw(self, mode):
        w = self.wfile
        self.close_connection = True
        try:
            if mode == "endless-header":
                w.write(b"HTTP/1.0 200 OK\r\n")
                for _ in range(20000):  # about 600 KB of header lines, never a blank line
                    w.write(b"X-Pad: " + b"a" * 20 + b"\r\n")
            elif mode == "chunks1024":
                w.write(b"HTTP/1.0 200 OK\r\nServer: fake\r\n\r\n")
                w.flush()
                for i in range(4):
                    w.write(bytes([ord("A") + i]) * 1024)
                    w.flush()
                    time.sleep(0.05)
            elif mode == "lower-length":
                w.write(b"HTTP/1.0 200 OK\r\ncontent-length: 10\r\n\r\n0123456789ABCDE")
                w.flush()
                time.sleep(0.5)
            elif mode == "blank":
                w.write(b"\r\n\r\n")
            elif mode == "status404":
                w.write(b"HTTP/1.1 404 Not Found\r\nServer: fake\r\nContent-Length: 9\r\n\r\nnot found")
            elif mode == "server-field":
                w.write(b"HTTP/1.0 200 OK\r\nServer: fake\r\nContent-Length: 5\r\n\r\nhello")
            w.flush()
        except OSError:
            pass


    # ------------------------------------------------ hostile replies
    # What a broken or malicious server does to a client: never answer, answer a byte a
    # second, never stop, send status lines or headers no real server sends, or close
    # at once. Every mode ends when the client goes away.

    def client_gone(self, seconds):
        """Waits up to seconds; True as soon as the client closed its side."""
        import select
        try:
            readable, _, _ = select.select([self.connection], [], [], seconds)
            if readable:
                # Whatever more the client sends is read and dropped.
                return self.connection.recv(65536) == b""
        except OSError:
            return True
        return False

    def hostile(self, mode, query):
        w = self.wfile
        self.close_connection = True
        arg = lambda key, default: query.get(key, [default])[0]
        every = float(arg("every", "1"))
        try:
            if mode == "silent":
                # The request was read; no byte ever comes back.
                deadline = time.time() + float(arg("seconds", "300"))
                while time.time() < deadline and not self.client_gone(0.5):
                    pass
            elif mode == "drip-body":
                size = int(arg("size", "100000"))
                w.write(b"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n" % size)
                w.flush()
                for _ in range(size):
                    w.write(b"x")
                    w.flush()
                    if self.client_gone(every):
                        break
            elif mode == "late-body":
                # A whole copy whose body comes only after a pause: a client that gave up
                # on it meanwhile must not take it.
                size = int(arg("size", "100"))
                w.write(b"HTTP/1.0 200 OK\r\nContent-Length: %d\r\n\r\n" % size)
                w.flush()
                if not self.client_gone(float(arg("after", "3"))):
                    w.write(b"L" * size)
            elif mode == "flood":
                # A body as fast as the client takes it, for `for` seconds, under a stated
                # length far beyond what comes (or none). /stats/floods counts the
                # connections of floods still open.
                until = time.time() + float(arg("for", "5"))
                length = arg("length", "10737418240")
                head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                if length:
                    head += "Content-Length: %s\r\n" % length
                tag = arg("tag", "")
                self.server.fake.flood_began(tag, 1)
                try:
                    w.write((head + "\r\n").encode("latin-1"))
                    block = b"f" * 65536
                    while time.time() < until:
                        w.write(block)
                    w.flush()
                    # Open until the client goes.
                    while not self.client_gone(1):
                        pass
                finally:
                    self.server.fake.flood_began(tag, -1)
            elif mode == "drip-header":
                until = time.time() + float(arg("for", "1e9"))
                for c in b"HTTP/1.0 200 OK\r\nX-Slow: " + b"s" * 100000:
                    w.write(bytes([c]))
                    w.flush()
                    if self.client_gone(every) or time.time() > until:
                        break
            elif mode in ("header-lines", "byte-chunks", "continue"):
                # A header of 100,000 lines, a chunked body of one byte a chunk, or endless
                # interim replies: each as fast as the client takes it, for `for` seconds.
                until = time.time() + float(arg("for", "5"))
                if mode == "header-lines":
                    w.write(b"HTTP/1.1 200 OK\r\n")
                elif mode == "byte-chunks":
                    w.write(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")
                line = 0
                while time.time() < until and line < 100000:
                    if mode == "header-lines":
                        w.write(b"".join(b"X-Line-%d: v\r\n" % (line + i) for i in range(100)))
                        line += 100
                    elif mode == "byte-chunks":
                        w.write(b"1\r\nx\r\n" * 100)
                    else:
                        w.write(b"HTTP/1.1 100 Continue\r\n\r\n" * 10)
                        time.sleep(0.01)
                    w.flush()
                    time.sleep(0.001)
            elif mode == "endless":
                w.write(b"HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<lwData docId=\"1\">")
                block = b"<cell name=\"x\" type=\"8\">" + b"y" * 65000 + b"</cell>"
                while True:
                    w.write(block)
            elif mode == "status":
                w.write(b"HTTP/1.1 " + arg("line", "0").encode("latin-1") +
                        b" Odd\r\nContent-Type: text/xml\r\nContent-Length: 19\r\nConnection: close\r\n\r\n"
                        b"<lwData docId=\"1\"/>")
            elif mode == "noblank":
                w.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nX-Cut: here\r\n")
            elif mode == "junk":
                w.write(b"<lwData docId=\"1\"/> is no status line\r\n\r\n<lwData docId=\"1\"/>")
            elif mode == "close":
                pass
            elif mode == "range":
                size = int(arg("size", "100"))
                length = "" if "nolength" in query else "Content-Length: %d\r\n" % size
                w.write(("HTTP/1.1 206 Partial Content\r\nConnection: close\r\nContent-Range: bytes %s-%s/%s\r\n%s\r\n" %
                         (arg("start", "0"), arg("end", "99"), arg("total", "100"), length)).encode("latin-1"))
                w.write(b"r" * size)
            elif mode == "reply":
                w.write(HOSTILE_REPLIES[arg("name", "")])
            elif mode == "length":
                w.write(b"HTTP/1.0 200 OK\r\nContent-Length: " + arg("value", "5").encode("latin-1") +
                        b"\r\n\r\nhello")
            elif mode == "r416":
                head = "HTTP/1.1 416 Requested Range Not Satisfiable\r\nContent-Length: 0\r\nConnection: close\r\n"
                if "total" in query:
                    head += "Content-Range: bytes */%s\r\n" % arg("total", "0")
                w.write((head + "\r\n").encode("latin-1"))
            w.flush()
        except OSError:
            pass


# Whole replies by name (/hostile/reply?name=...), each followed by a close: bodies cut
# or in conflict with their own header, and the legal replies that carry no body or no
# header line at all. A reply whose end a client can tell says that the connection
# closes, so that no client keeps it for its next request.
HOSTILE_REPLIES = {
    "chunks-cut": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10\r\n0123456789abcdef\r\n10\r\n01234",
    "chunks-empty": b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n0\r\n\r\n",
    "close-after-header": b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n",
    "no-header-line": b"HTTP/1.0 200 OK\r\n\r\n",
    "no-header-line-body": b"HTTP/1.0 200 OK\r\n\r\nhello",
    "two-lengths": b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\nContent-Length: 50\r\nConnection: close\r\n\r\n" +
                   b"t" * 100,
    "same-length-twice": b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 5\r\nConnection: close\r\n\r\n"
                         b"hello",
}


def relay(a, b):
    import selectors
    sel = selectors.DefaultSelector()
    sel.register(a, selectors.EVENT_READ, b)
    sel.register(b, selectors.EVENT_READ, a)
    try:
        while True:
            events = sel.select(timeout=30)
            if not events:
                return
            for key, _ in events:
                data = key.fileobj.recv(65536)
                if not data:
                    return
                key.data.sendall(data)
    except OSError:
        pass
    finally:
        sel.close()
        b.close()


class FakeServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


# ---------------------------------------------------------------- supervisor

class Supervisor:
    def __init__(self, state, lifetime, proxy):
        self.state = os.path.abspath(state)
        self.root = os.path.join(self.state, "www")
        self.lifetime = lifetime
        self.proxy = proxy
        self.children = []
        self.stopping = threading.Event()

    def prepare_files(self):
        os.makedirs(self.root, exist_ok=True)
        for sub in ("nginx-tmp", "log"):
            os.makedirs(os.path.join(self.state, sub), exist_ok=True)
        with open(os.path.join(self.root, "hello.txt"), "w", encoding="ascii", newline="") as f:
            f.write("hello through the tunnel\r\n")
        for name, size, seed in (("data100k.bin", 100000, 1), ("big20m.bin", 20 * 1024 * 1024, 2)):
            path = os.path.join(self.root, name)
            if not os.path.isfile(path) or os.path.getsize(path) != size:
                with open(path + ".tmp", "wb") as f:
                    f.write(pattern_bytes(size, seed))
                os.replace(path + ".tmp", path)

    def spawn(self, argv, log):
        out = open(os.path.join(self.state, log), "ab")
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=out, preexec_fn=die_with_parent)
        self.children.append(proc)
        return proc

    def start_nginx(self):
        port = free_port()
        with open(os.path.join(HERE, "nginx.conf.in"), encoding="utf-8") as f:
            template = string.Template(f.read())
        user_line = "user root root;" if os.geteuid() == 0 else ""
        conf = template.substitute(port=port, root=self.root, state=self.state, user_line=user_line)
        path = os.path.join(self.state, "nginx.conf")
        with open(path, "w", encoding="utf-8") as f:
            f.write(conf)
        proc = self.spawn(["nginx", "-p", self.state, "-c", path], "nginx.out")
        if not wait_listening(port, proc):
            raise RuntimeError("nginx did not start (see %s/nginx.out)" % self.state)
        return port

    def start_tinyproxy(self, name, extra):
        port = free_port()
        lines = [
            "Port %d" % port,
            "Listen 127.0.0.1",
            "Timeout 30",
            "MaxClients 20",
            "Allow 127.0.0.1",
            "LogFile \"%s/%s.log\"" % (self.state, name),
            "LogLevel Info",
            "PidFile \"%s/%s.pid\"" % (self.state, name),
            "DisableViaHeader Yes",
        ]
        if os.geteuid() == 0:
            lines += ["User root", "Group root"]
        lines += extra
        path = os.path.join(self.state, name + ".conf")
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")
        proc = self.spawn(["tinyproxy", "-d", "-c", path], name + ".out")
        if not wait_listening(port, proc):
            raise RuntimeError("tinyproxy did not start (see %s/%s.out)" % (self.state, name))
        return port

    def write_ini(self, ports):
        lines = ["[servers]"] + ["%s=%d" % kv for kv in ports.items()]
        lines += ["[folders]", "root=" + windows_path(self.root), "log=" + windows_path(os.path.join(self.state, "log")),
                  "state=" + windows_path(self.state)]
        tmp = os.path.join(self.state, "servers.ini.tmp")
        with open(tmp, "w", encoding="utf-8", newline="\r\n") as f:
            f.write("\n".join(lines) + "\n")
        os.replace(tmp, os.path.join(self.state, "servers.ini"))

    def start_blackhole(self):
        # A port whose accept queue is full: connections to it get no answer at all, as
        # on a network that drops them.
        self.blackhole = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.blackhole.bind(("127.0.0.1", 0))
        self.blackhole.listen(0)
        port = self.blackhole.getsockname()[1]
        self.blackhole_filler = socket.create_connection(("127.0.0.1", port), timeout=5)
        return port

    def run(self):
        self.prepare_files()
        fake = FakeServer(("127.0.0.1", 0), FakeHandler)
        fake.fake = FakeState(self.state, self.root)
        threading.Thread(target=fake.serve_forever, daemon=True).start()
        ports = {"fake": fake.server_address[1], "nginx": self.start_nginx(), "blackhole": self.start_blackhole()}
        if self.proxy:
            filt = os.path.join(self.state, "proxy-filter.txt")
            with open(filt, "w", encoding="utf-8") as f:
                f.write("forbidden\n")
            ports["proxy"] = self.start_tinyproxy("tinyproxy", [
                "ConnectPort %d" % ports["nginx"],
                "Upstream http 127.0.0.1:%d \".invalid\"" % ports["fake"]])
            with open(os.path.join(self.root, "proxy.pac"), "w", encoding="ascii") as f:
                f.write('function FindProxyForURL(url, host) {\n'
                        '  if (shExpMatch(host, "*.invalid")) return "PROXY 127.0.0.1:%d";\n'
                        '  return "DIRECT";\n}\n' % ports["proxy"])
            ports["strictproxy"] = self.start_tinyproxy(
                "tinyproxy-strict", ["ConnectPort 1", "Filter \"%s\"" % filt, "FilterURLs On"])
        self.write_ini(ports)
        deadline = time.time() + self.lifetime
        while not self.stopping.is_set() and time.time() < deadline:
            if any(p.poll() is not None for p in self.children):
                break
            self.stopping.wait(0.5)
        self.shutdown()
        fake.shutdown()

    def shutdown(self):
        for p in self.children:
            if p.poll() is None:
                p.terminate()
        for p in self.children:
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
        for name in ("servers.ini", "supervisor.pid"):
            try:
                os.unlink(os.path.join(self.state, name))
            except OSError:
                pass


def start(state, lifetime, proxy):
    state = os.path.abspath(state)
    os.makedirs(state, exist_ok=True)
    stop(state)
    ini = os.path.join(state, "servers.ini")
    for name in ("servers.ini", "supervisor.err", "requests.log"):
        try:
            os.unlink(os.path.join(state, name))
        except OSError:
            pass
    pid = os.fork()
    if pid == 0:
        os.setsid()
        err = open(os.path.join(state, "supervisor.err"), "w")
        os.dup2(err.fileno(), 2)
        devnull = os.open(os.devnull, os.O_RDWR)
        os.dup2(devnull, 0)
        os.dup2(devnull, 1)
        sup = Supervisor(state, lifetime, proxy)
        signal.signal(signal.SIGTERM, lambda *a: sup.stopping.set())
        signal.signal(signal.SIGINT, lambda *a: sup.stopping.set())
        with open(os.path.join(state, "supervisor.pid"), "w") as f:
            f.write(str(os.getpid()))
        code = 0
        try:
            sup.run()
        except Exception as e:  # noqa: BLE001 - reported through supervisor.err
            print("webservers: %s" % e, file=sys.stderr)
            sup.shutdown()
            code = 1
        os._exit(code)
    deadline = time.time() + 120
    while time.time() < deadline:
        if os.path.exists(ini):
            print("webservers: started, %s" % ini)
            return 0
        finished, status = os.waitpid(pid, os.WNOHANG)
        if finished:
            break
        time.sleep(0.1)
    with open(os.path.join(state, "supervisor.err"), encoding="utf-8", errors="replace") as f:
        sys.stderr.write(f.read())
    stop(state)
    print("webservers: failed to start", file=sys.stderr)
    return 1


def stop(state):
    path = os.path.join(os.path.abspath(state), "supervisor.pid")
    try:
        pid = int(open(path).read().strip())
    except (OSError, ValueError):
        return 0
    try:
        os.kill(pid, signal.SIGTERM)
        for _ in range(100):
            os.kill(pid, 0)
            time.sleep(0.1)
        os.kill(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    try:
        os.unlink(path)
    except OSError:
        pass
    return 0


def bigfile(state, megabytes):
    root = os.path.join(os.path.abspath(state), "www")
    os.makedirs(root, exist_ok=True)
    path = os.path.join(root, "bench%dm.bin" % megabytes)
    if not os.path.isfile(path) or os.path.getsize(path) != megabytes << 20:
        block = pattern_bytes(1 << 20, 3)
        with open(path, "wb") as f:
            for _ in range(megabytes):
                f.write(block)
    print(path)
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("command", choices=["start", "stop", "bigfile"])
    ap.add_argument("state")
    ap.add_argument("megabytes", nargs="?", type=int, default=200)
    ap.add_argument("--lifetime", type=int, default=DEFAULT_LIFETIME)
    ap.add_argument("--proxy", action="store_true")
    a = ap.parse_args()
    if a.command == "start":
        return start(a.state, a.lifetime, a.proxy)
    if a.command == "stop":
        return stop(a.state)
    return bigfile(a.state, a.megabytes)


if __name__ == "__main__":
    sys.exit(main())
