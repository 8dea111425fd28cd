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
  POST /_ctl/queue?action=A&delay=MS      (with any of the above) the reply waits MS
                                           milliseconds before it is sent
  POST /_ctl/queue?action=A&hostile=MODE   the next post of A meets a server that means
                                           harm: "silent" (never answers), "drip" (the
                                           reply a byte a second), "endless" (a reply
                                           that never ends)
  POST /_ctl/default?action=A[&status=N]   body = reply for every post of A while its
                                           queue is empty; "{seq}" becomes 1, 2, 3, ...
  POST /_ctl/default?action=A&when=T       the same, for the posts of A whose form holds
                                           the text T (before the plain default)
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
import http.server
import os
import socketserver
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import fake_process  # noqa: E402


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

    def reply_for(self, action, form=b""):
        with self.lock:
            queue = self.queues.get(action)
            if queue:
                return queue.pop(0)
            key = next((k for k in self.defaults if k[0] == action and k[1] and k[1] in form), (action, b""))
            if key in self.defaults:
                status, body = self.defaults[key]
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
                    {"status": status, "body": body, "truncate": None if truncate is None else int(truncate),
                     "hostile": query.get("hostile", [None])[0],
                     "delay": int(query.get("delay", ["0"])[0])})
        elif what == "default":
            with STATE.lock:
                when = query.get("when", [""])[0].encode("cp936")
                STATE.defaults[(action, when)] = (status, body)
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
        reply = STATE.reply_for(action, body)
        if reply.get("delay"):
            time.sleep(reply["delay"] / 1000.0)
        if reply.get("hostile"):
            self._hostile(reply["hostile"], reply["body"])
            return
        self._send(reply["status"], reply["body"], reply["truncate"])

    def _client_gone(self, seconds):
        import select
        try:
            readable, _, _ = select.select([self.connection], [], [], seconds)
            return bool(readable) and self.connection.recv(65536) == b""
        except OSError:
            return True

    def _hostile(self, mode, body):
        # Every mode ends when the client goes away, or after five minutes at the most.
        self.close_connection = True
        deadline = time.time() + 300
        try:
            if mode == "silent":
                while time.time() < deadline and not self._client_gone(0.5):
                    pass
            elif mode == "drip":
                head = b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\nContent-Length: %d\r\n\r\n" % len(body)
                self.wfile.write(head)
                for i in range(len(body)):
                    self.wfile.write(body[i:i + 1])
                    self.wfile.flush()
                    if time.time() > deadline or self._client_gone(1.0):
                        break
            elif mode == "endless":
                self.wfile.write(b"HTTP/1.1 200 OK\r\nContent-Type: text/xml\r\n\r\n<lwData docId=\"1\">")
                block = b"<cell name=\"x\" type=\"8\">" + b"y" * 65000 + b"</cell>"
                while time.time() < deadline:
                    self.wfile.write(block)
            self.wfile.flush()
        except OSError:
            pass

    def do_GET(self):
        self._send(405, b"presence actions are posts")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(port_file, idle):
    servers = [Server(("127.0.0.1", 0), Handler) for _ in range(2)]
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    fake_process.write_port_file(port_file, [server.server_address[1] for server in servers] + [fake_process.free_port()])
    fake_process.wait_until_done(STATE.stop, lambda: STATE.last_seen, idle)
    for server in servers:
        server.shutdown()
    fake_process.remove_port_file(port_file)


if __name__ == "__main__":
    sys.exit(fake_process.main(__file__, serve, "fake presence server"))
