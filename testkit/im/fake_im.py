#!/usr/bin/env python3
"""Fake IM gatekeeper and IM server on 127.0.0.1 for the IM tests (standard library only).

Gatekeeper (HTTP): a post of exactly "Flag=CLogin" to "/gk/GKServer.do" is answered with
"127.0.0.1;0;<IM port>" in one chunk (or refused, garbled, split or slow, as set).

IM server (TCP): reads messages by a server's table ("001S" is 206 bytes here), answers a
login with "001B" (result settable), relays by receiver (bytes 104-123 of 003S, 003B,
004S, 004B, 005S, 005B; bytes 84-103 of 002B, 012S, 020S), answers a text for an absent
receiver with "003B" '1', keeps each "014S" for its receiver and answers "014B" (stamp at
64, the stored message's receiver at 84, the result at 124), and on "015S" sends each kept
message as "015B" without its CR LF, then forgets it.

Control routes, posts on the HTTP port (ids are account ids; "body" is the raw post body):
  /_ctl/reset                          close every session, forget everything set and kept
  /_ctl/login_result?result=R[&count=N] the next N logins get R (default: '0' for all)
  /_ctl/store_result?result=R          what "014B" says; anything but '0' keeps nothing
  /_ctl/gatekeeper?mode=M[&delay=S]    ok | refuse (503) | garbled | split | slow
  /_ctl/send_002s?to=ID&requester=ID&address=A&port=P
  /_ctl/close?id=ID                    close that account's session
  /_ctl/swallow?code=C[&count=N]       take frames of code C without relaying or answering
  /_ctl/hold_absent?seconds=S          a text for an absent receiver waits up to S seconds
                                       for the receiver's login and is relayed after its
                                       "001B" (later: the sender gets "003B" '1'); 0: off
  /_ctl/raw?to=ID                      write the body to that session as it stands
  /_ctl/write_mode?to=ID[&piece=N][&pause_ms=M][&delay_ms=D]
                                       write to that session in N-byte pieces with M ms
                                       between them, D ms before each message
  /_ctl/log                            one line per frame: time, direction, session, code,
                                       length, bytes in hex (tab-separated)
  /_ctl/sessions                       the logged-in ids, one a line
  /_ctl/stored?id=ID                   how many messages are kept for ID
  /_ctl/stop                           ends the fake
Scripted peers living in the fake (see impeer.Peer):
  /_ctl/peer/start?id=ID[&login=1][&receipt=R|none][&source=127.0.0.x][&save_dir=D]
  /_ctl/peer/receipt?id=ID&result=R|none
  /_ctl/peer/text?id=ID&to=ID&text=T[&formatted=1][&via=server|direct]
  /_ctl/peer/raw?id=ID[&via=server|direct]           body = bytes to send
  /_ctl/peer/listen?id=ID[&address=127.0.0.x][&port=P][&rcvbuf=N] -> the port
  /_ctl/peer/read_rate?id=ID&bytes=N   its direct links read N bytes a second at most (0: no limit)
  /_ctl/peer/connect?id=ID&address=A&port=P[&source=127.0.0.x]
  /_ctl/peer/offer?id=ID&to=ID&path=P[&via=server|direct] -> the stamp
  /_ctl/peer/stop_after?id=ID&blocks=N  a sender that stops mid-file
  /_ctl/peer/log?id=ID                 what it received: time, link, code, length, hex
  /_ctl/peer/files?id=ID               files it took whole: stamp, path, size
  /_ctl/peer/stop?id=ID

  fake_im.py serve|start --port-file F [--idle S]
  fake_im.py stop --port-file F
The port file holds three lines: the HTTP port, the IM port, and a port where nothing listens.
"""
import http.server
import os
import socketserver
import sys
import threading
import time
import urllib.parse

here = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [here, os.path.join(here, "..", "support")]
import fake_process  # noqa: E402
import impeer  # noqa: E402
from impeer import Frames, code_of, text_field  # noqa: E402

RELAY_AT_104 = ("003S", "003B", "004S", "004B", "005S", "005B")
RELAY_AT_84 = ("002B", "012S", "020S")


class Session:
    def __init__(self, server, sock, address):
        self.server = server
        self.sock = sock
        self.address = address
        self.id = None
        self.lock = threading.Lock()
        self.closed = False

    def write(self, data, mode):
        piece, pause, delay = mode
        with self.lock:
            if delay:
                time.sleep(delay / 1000.0)
            if piece:
                for at in range(0, len(data), piece):
                    self.sock.sendall(data[at:at + piece])
                    if pause:
                        time.sleep(pause / 1000.0)
            else:
                self.sock.sendall(data)

    def close(self):
        self.closed = True
        impeer.close_socket(self.sock)


class ImState:
    def __init__(self):
        self.lock = threading.Lock()
        self.stop = threading.Event()
        self.last_seen = time.time()
        self.sessions = {}   # id -> Session
        self.all_sessions = []
        self.peers = {}      # id -> impeer.Peer
        self.im_port = 0
        self.clear()

    def clear(self):
        self.stored = {}       # receiver id -> [014S bytes]
        self.login_results = []
        self.store_result = "0"
        self.gatekeeper = ("ok", 0.0)
        self.swallow = {}      # code -> remaining count (None: all)
        self.hold_seconds = 0.0
        self.held = {}         # receiver id -> [(deadline, 003S bytes, sender session)]
        self.modes = {}        # id -> (piece, pause_ms, delay_ms)
        self.log = []
        self.gatekeeper_log = []

    def reset(self):
        with self.lock:
            sessions, peers = list(self.all_sessions), list(self.peers.values())
            self.sessions.clear()
            self.all_sessions.clear()
            self.peers.clear()
            self.clear()
        for peer in peers:
            peer.close()
        for session in sessions:
            session.close()

    def note(self, direction, who, msg):
        with self.lock:
            self.log.append((time.time(), direction, who or "-", code_of(msg) if len(msg) >= 64 else "?",
                             len(msg), bytes(msg).hex()))

    def send(self, session, msg):
        with self.lock:
            mode = self.modes.get(session.id, (0, 0, 0))
        self.note("out", session.id, msg)
        try:
            session.write(msg, mode)
        except OSError:
            pass

    def session_of(self, account):
        with self.lock:
            return self.sessions.get(account)

    def swallowed(self, code):
        with self.lock:
            if code not in self.swallow:
                return False
            left = self.swallow[code]
            if left is not None:
                if left <= 1:
                    del self.swallow[code]
                else:
                    self.swallow[code] = left - 1
            return True

    def hold_or_target(self, receiver, msg, sender):
        """The receiver's session, or None; True when the text was kept for its login."""
        with self.lock:
            target = self.sessions.get(receiver)
            if (target is None or target.closed) and self.hold_seconds > 0:
                self.held.setdefault(receiver, []).append((time.time() + self.hold_seconds, bytes(msg), sender))
                return None, True
            return target, False

    def release_held(self, session, held):
        for deadline, msg, sender in held:
            if time.time() <= deadline:
                self.send(session, msg)
            elif not sender.closed:
                self.send(sender, Frames.receipt(msg[64:84], text_field(msg, 104, 20), text_field(msg, 84, 20), "1"))

    def on_frame(self, session, msg):
        self.note("in", session.id or "%s:%d" % session.address, msg)
        code = code_of(msg)
        if self.swallowed(code):
            return
        if code == "001S":
            account = text_field(msg, 64, 140)
            with self.lock:
                result = self.login_results.pop(0) if self.login_results else "0"
                held = []
                if result == "0":
                    old = self.sessions.get(account)
                    session.id = account
                    self.sessions[account] = session
                    held = self.held.pop(account, [])
                else:
                    old = None
            if old is not None and old is not session:
                old.close()
            self.send(session, Frames.login_reply(result))
            self.release_held(session, held)
        elif code == "014S":
            receiver = text_field(msg, 104, 20)
            with self.lock:
                result = self.store_result
                if result == "0":
                    self.stored.setdefault(receiver, []).append(bytes(msg))
            self.send(session, Frames.offline_store_reply(msg[64:84], receiver, result))
        elif code == "015S":
            account = text_field(msg, 64, 20)
            with self.lock:
                kept = self.stored.pop(account, [])
            for store in kept:
                self.send(session, Frames.offline_delivery(store))
        elif code in RELAY_AT_104 or code in RELAY_AT_84:
            receiver = text_field(msg, 104 if code in RELAY_AT_104 else 84, 20)
            target, held = self.hold_or_target(receiver, msg, session) if code == "003S" else (
                self.session_of(receiver), False)
            if held:
                return
            if target is not None and not target.closed:
                self.send(target, msg)
            elif code == "003S":
                sender = text_field(msg, 84, 20)
                self.send(session, Frames.receipt(msg[64:84], receiver, sender, "1"))

    def serve_session(self, sock, address):
        session = Session(self, sock, address)
        with self.lock:
            self.all_sessions.append(session)
        try:
            while True:
                msg = impeer.read_frame(sock, impeer.SERVER_FIXED)
                self.last_seen = time.time()
                self.on_frame(session, msg)
        except (impeer.Closed, OSError):
            pass
        with self.lock:
            if session.id and self.sessions.get(session.id) is session:
                del self.sessions[session.id]
            if session in self.all_sessions:
                self.all_sessions.remove(session)
        session.close()


STATE = ImState()


def arg(query, name, default=None):
    return query.get(name, [default])[0]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "FakeIM/1.0"

    def log_message(self, fmt, *args):
        pass

    def _body(self):
        length = int(self.headers.get("Content-Length") or 0)
        return self.rfile.read(length) if length > 0 else b""

    def _send(self, status, body, content_type="text/plain"):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    def _gatekeeper(self, body):
        with STATE.lock:
            STATE.gatekeeper_log.append(body)
            mode, delay = STATE.gatekeeper
        if body != b"Flag=CLogin":
            self._send(400, b"bad request")
            return
        reply = ("127.0.0.1;0;%d" % STATE.im_port).encode("ascii")
        if mode == "refuse":
            self._send(503, b"")
        elif mode == "garbled":
            self._send(200, b"\x01no;server\xff")
        elif mode == "split":
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(reply)))
            self.end_headers()
            self.wfile.write(reply[:8])
            self.wfile.flush()
            time.sleep(delay or 0.5)
            self.wfile.write(reply[8:])
            self.wfile.flush()
        else:
            if mode == "slow":
                time.sleep(delay or 5.0)
            self._send(200, reply)

    def _peer(self, what, query, body):
        account = arg(query, "id", "")
        if what == "start":
            receipt = arg(query, "receipt", "0")
            peer = impeer.Peer(account, save_dir=arg(query, "save_dir"), receipt_result=None if receipt == "none" else receipt)
            with STATE.lock:
                old = STATE.peers.pop(account, None)
                STATE.peers[account] = peer
            if old:
                old.close()
            if arg(query, "login", "1") == "1":
                result = peer.login("127.0.0.1", STATE.im_port, source=arg(query, "source"))
                return result.encode("ascii")
            return b"ok"
        with STATE.lock:
            peer = STATE.peers.get(account)
        if peer is None:
            raise KeyError("no peer " + account)
        via = peer.link() if arg(query, "via", "server") == "direct" else peer.server
        if what == "receipt":
            result = arg(query, "result", "0")
            peer.receipt_result = None if result == "none" else result
        elif what == "text":
            text = arg(query, "text", "").encode("cp936", "replace")
            return peer.send_text(arg(query, "to"), text, link=via, formatted=arg(query, "formatted") == "1").encode()
        elif what == "raw":
            peer.send_raw(body, link=via)
        elif what == "listen":
            return str(peer.listen(arg(query, "address", "127.0.0.1"), int(arg(query, "port", "0")),
                                   int(arg(query, "rcvbuf", "0")))).encode()
        elif what == "read_rate":
            peer.read_rate = int(arg(query, "bytes", "0"))
        elif what == "connect":
            peer.connect(arg(query, "address"), int(arg(query, "port")), source=arg(query, "source"))
        elif what == "offer":
            return peer.offer_file(arg(query, "to"), arg(query, "path"), link=via).encode()
        elif what == "stop_after":
            peer.stop_after_blocks = int(arg(query, "blocks", "0"))
        elif what == "log":
            with peer.lock:
                lines = ["%.3f\t%s\t%s\t%d\t%s\n" % (t, kind, code_of(msg), len(msg), msg.hex())
                         for t, kind, msg in peer.received]
            return "".join(lines).encode("ascii")
        elif what == "files":
            with peer.lock:
                return "".join("%s\t%s\t%d\n" % f for f in peer.finished).encode("utf-8")
        elif what == "stop":
            with STATE.lock:
                STATE.peers.pop(account, None)
            peer.close()
        else:
            raise KeyError("unknown peer control " + what)
        return b"ok"

    def _control(self, what, query, body):
        if what.startswith("peer/"):
            return self._peer(what[len("peer/"):], query, body)
        if what == "reset":
            STATE.reset()
        elif what == "login_result":
            with STATE.lock:
                STATE.login_results += [arg(query, "result", "0")] * int(arg(query, "count", "1"))
        elif what == "store_result":
            with STATE.lock:
                STATE.store_result = arg(query, "result", "0")
        elif what == "gatekeeper":
            with STATE.lock:
                STATE.gatekeeper = (arg(query, "mode", "ok"), float(arg(query, "delay", "0")))
        elif what == "send_002s":
            session = STATE.session_of(arg(query, "to"))
            if session is None:
                raise KeyError("no session")
            STATE.send(session, Frames.peer_link_request(arg(query, "requester"), arg(query, "address"), arg(query, "port")))
        elif what == "close":
            session = STATE.session_of(arg(query, "id"))
            if session is not None:
                session.close()
        elif what == "swallow":
            count = arg(query, "count")
            with STATE.lock:
                STATE.swallow[arg(query, "code", "").upper()] = None if count is None else int(count)
        elif what == "raw":
            session = STATE.session_of(arg(query, "to"))
            if session is None:
                raise KeyError("no session")
            STATE.send(session, body)
        elif what == "hold_absent":
            with STATE.lock:
                STATE.hold_seconds = float(arg(query, "seconds", "0"))
        elif what == "write_mode":
            with STATE.lock:
                STATE.modes[arg(query, "to")] = (int(arg(query, "piece", "0")), int(arg(query, "pause_ms", "0")),
                                                 int(arg(query, "delay_ms", "0")))
        elif what == "log":
            with STATE.lock:
                lines = ["%.3f\t%s\t%s\t%s\t%d\t%s\n" % entry for entry in STATE.log]
            return "".join(lines).encode("utf-8")
        elif what == "gatekeeper_log":
            with STATE.lock:
                return b"".join(b.hex().encode() + b"\n" for b in STATE.gatekeeper_log)
        elif what == "sessions":
            with STATE.lock:
                return "".join(i + "\n" for i in sorted(STATE.sessions)).encode("utf-8")
        elif what == "stored":
            with STATE.lock:
                return str(len(STATE.stored.get(arg(query, "id"), []))).encode()
        else:
            raise KeyError("unknown control " + what)
        return b"ok"

    def do_POST(self):
        STATE.last_seen = time.time()
        parts = urllib.parse.urlsplit(self.path)
        body = self._body()
        if parts.path == "/gk/GKServer.do":
            self._gatekeeper(body)
            return
        if not parts.path.startswith("/_ctl/"):
            self._send(404, b"not found")
            return
        what = parts.path[len("/_ctl/"):]
        if what == "stop":
            self._send(200, b"bye")
            STATE.stop.set()
            return
        try:
            reply = self._control(what, urllib.parse.parse_qs(parts.query), body)
        except (KeyError, ValueError, OSError, TimeoutError) as e:
            self._send(400, str(e).encode("utf-8", "replace"))
            return
        self._send(200, reply)

    def do_GET(self):
        self._send(405, b"posts only")


class HttpServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class ImTcpServer(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


class ImHandler(socketserver.BaseRequestHandler):
    def handle(self):
        STATE.serve_session(self.request, self.client_address)


def serve(port_file, idle):
    http_server = HttpServer(("127.0.0.1", 0), Handler)
    im_server = ImTcpServer(("127.0.0.1", 0), ImHandler)
    STATE.im_port = im_server.server_address[1]
    for server in (http_server, im_server):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    fake_process.write_port_file(port_file, [http_server.server_address[1], STATE.im_port, fake_process.free_port()])
    fake_process.wait_until_done(STATE.stop, lambda: STATE.last_seen, idle)
    STATE.reset()
    for server in (http_server, im_server):
        server.shutdown()
    fake_process.remove_port_file(port_file)


if __name__ == "__main__":
    sys.exit(fake_process.main(__file__, serve, "fake IM server"))
