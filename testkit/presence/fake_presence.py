#!/usr/bin/env python3
"""Fake presence server on 127.0.0.1 for the PresenceCore tests (standard library only).

Speaks the presence protocol as a server sees it: "POST <prefix><Action>.do" form posts
answered with an lwData XML reply in code page 936. Tests program it over HTTP on the
same ports:

  POST /_ctl/reset                         forget queued replies, defaults and the log
  POST /_ctl/queue?action=A[&status=N][&truncate=K]
                                           body = reply bytes for the next post of A
                                           (truncate: announce the full length, send K
                                           bytes, then close)
  POST /_ctl/default?action=A[&status=N]   body = reply for every post of A while its
                                           queue is empty; "{seq}" becomes 1, 2, 3, ...
  POST /_ctl/log                           one line per post: port, path, Cookie header,
                                           body bytes in hex, separated by tabs
  POST /_ctl/stop                          ends the server

Unprogrammed actions get '<lwData docId="1" opname="A"/>'. The gatekeeper route is any
prefix: "/gk/GetAvailablePresenceTab.do" is the action "GetAvailablePresenceTab".

  fake_presence.py serve --port-file F [--idle S]   run in the foreground
  fake_presence.py start --port-file F [--idle S]   start in the background, wait for F
  fake_presence.py stop --port-file F               stop the server named in F

The port file holds three lines: the main port, a second port sharing the same state
(a server a gatekeeper can point at), and a port where nothing listens.
"""
import argparse
import http.server
import os
import socket
import socketserver
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.queues = {}
        self.defaults = {}
        self.log = []
        self.seq = 0
        self.last_seen = time.time()
        self.stop = threading.Event()

    def reset(self):
        with self.lock:
            self.queues.clear()
            self.defaults.clear()
            self.log.clear()

    def reply_for(self, action):
        with self.lock:
            queue = self.queues.get(action)
            if queue:
                return queue.pop(0)
            if action in self.defaults:
                status, body = self.defaults[action]
                self.seq += 1
                return {"status": status, "body": body.replace(b"{seq}", str(self.seq).encode()), "truncate": None}
        body = ('<lwData docId="1" opname="%s"/>' % action).encode("cp936")
        return {"status": 200, "body": body, "truncate": None}


STATE = State()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FakePresence/1.0"

    def log_message(self, fmt, *args):
        pass

    def _body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _send(self, status, body, truncate=None, close=False):
        self.send_response(status)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(body) if truncate is None else len(body) + 1000))
        if close or truncate is not None:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body if truncate is None else body[:truncate])
        self.wfile.flush()
        if close or truncate is not None:
            self.close_connection = True

    def _control(self, path, query, body):
        what = path[len("/_ctl/"):]
        action = query.get("action", [""])[0]
        status = int(query.get("status", ["200"])[0])
        if what == "reset":
            STATE.reset()
        elif what == "queue":
            truncate = query.get("truncate", [None])[0]
            with STATE.lock:
                STATE.queues.setdefault(action, []).append(
                    {"status": status, "body": body, "truncate": None if truncate is None else int(truncate)})
        elif what == "default":
            with STATE.lock:
                STATE.defaults[action] = (status, body)
        elif what == "log":
            with STATE.lock:
                lines = ["%d\t%s\t%s\t%s\n" % entry for entry in STATE.log]
            self._send(200, "".join(lines).encode("ascii"))
            return
        elif what == "stop":
            self._send(200, b"bye", close=True)
            STATE.stop.set()
            return
        else:
            self._send(404, b"unknown control")
            return
        self._send(200, b"ok")

    def do_POST(self):
        STATE.last_seen = time.time()
        parts = urllib.parse.urlsplit(self.path)
        body = self._body()
        if parts.path.startswith("/_ctl/"):
            self._control(parts.path, urllib.parse.parse_qs(parts.query), body)
            return
        name = parts.path.rsplit("/", 1)[-1]
        if not name.endswith(".do"):
            self._send(404, b"not an action")
            return
        action = name[:-3]
        cookie = (self.headers.get("Cookie") or "").replace("\t", " ")
        with STATE.lock:
            STATE.log.append((self.server.server_address[1], parts.path, cookie, body.hex()))
        reply = STATE.reply_for(action)
        self._send(reply["status"], reply["body"], reply["truncate"])

    def do_GET(self):
        self._send(405, b"presence actions are posts")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def serve(port_file, idle):
    servers = [Server(("127.0.0.1", 0), Handler) for _ in range(2)]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    ports = [server.server_address[1] for server in servers] + [free_port()]
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write("".join("%d\n" % p for p in ports))
    os.replace(tmp, port_file)
    # Ends by itself: on request, after a quiet spell, or after an hour at the most.
    started = time.time()
    while not STATE.stop.wait(1.0):
        now = time.time()
        if now - STATE.last_seen > idle or now - started > 3600:
            break
    for server in servers:
        server.shutdown()
    try:
        os.remove(port_file)
    except OSError:
        pass


def start(port_file, idle, script=None):
    """Runs `script serve` (this server unless another fake is named) in the background."""
    try:
        os.remove(port_file)
    except OSError:
        pass
    subprocess.Popen([sys.executable, os.path.abspath(script or __file__), "serve", "--port-file", port_file,
                      "--idle", str(idle)],
                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                     start_new_session=True, env={k: v for k, v in os.environ.items() if "proxy" not in k.lower()})
    deadline = time.time() + 20
    while time.time() < deadline:
        if os.path.exists(port_file):
            return 0
        time.sleep(0.1)
    print("%s did not start" % os.path.basename(script or __file__), file=sys.stderr)
    return 1


def stop(port_file):
    try:
        with open(port_file) as f:
            port = int(f.readline())
    except (OSError, ValueError):
        return 0
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    try:
        opener.open("http://127.0.0.1:%d/_ctl/stop" % port, data=b"", timeout=5).read()
    except OSError:
        pass
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["serve", "start", "stop"])
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--idle", type=float, default=600)
    args = parser.parse_args()
    if args.command == "serve":
        serve(args.port_file, args.idle)
        return 0
    if args.command == "start":
        return start(args.port_file, args.idle)
    return stop(args.port_file)


if __name__ == "__main__":
    sys.exit(main())
