#!/usr/bin/env python3
"""Fake friends' clients for the presence-tab tests (standard library only).

A friend's client speaks the peer channel: one TCP connection per command, 1130
upper-case hexadecimal digits of a 565-byte record, a 20-digit reply. This fake keeps
its own coding of both, so a test compares two independent sides. Tests program it
over HTTP on 127.0.0.1 (the port in the port file); every friend address is loopback.

  POST /_ctl/reset                        close every listener, forget the log
  POST /_ctl/listen?addr=A&port=P&mode=M[&delay=MS]
        listen on A:P; per connection read a whole record, then by mode:
          answer  reply at once          late   reply after delay ms
          silent  never reply (hold)     close  read and close without a reply
  POST /_ctl/unlisten?addr=A&port=P
  POST /_ctl/send?addr=A&port=P[&mode=M][&copies=N][&from=A2]
        body: "key=value" lines (UTF-8) of cmd, answer, sender, receiver, sub, nick,
        msg; texts go out in GBK. Modes: whole, pieces (three writes), half (half a
        record, then close), lower (lower-case digits), unterminated (every field filled
        to its last byte), misaddressed (another receiver). copies > 1 connect at once.
        Answer: one line per copy, the reply's digits or "-" when none came.
  POST /_ctl/log
        one line per record received: address:port, command, answer, sender, receiver,
        sub-code, then nickname and message as hex of their bytes, then the number of
        characters that arrived, separated by tabs
  POST /_ctl/stop

  fake_peer.py serve|start|stop --port-file F [--idle S]
"""
import http.server
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import fake_process  # noqa: E402

RECORD = 565
DIGITS = "0123456789ABCDEF"
FIELDS = [("cmd", 0, 5), ("answer", 5, 5), ("sender", 10, 21), ("receiver", 31, 21), ("sub", 52, 3),
          ("nick", 55, 255), ("msg", 310, 255)]
KNOWN = {b"0001", b"0002", b"0003", b"0004", b"0005", b"0006"}


def encode(data, lower=False):
    text = "".join(DIGITS[b >> 4] + DIGITS[b & 15] for b in data)
    return (text.lower() if lower else text).encode("ascii")


def decode(text):
    def nibble(c):
        return DIGITS.index(c) if c in DIGITS else 0
    text = text.decode("latin-1")
    return bytes(nibble(text[i]) << 4 | nibble(text[i + 1]) for i in range(0, len(text) - 1, 2))


def build(values, unterminated=False):
    record = bytearray(RECORD)
    for name, at, width in FIELDS:
        raw = values.get(name, "").encode("gbk")
        if unterminated:
            raw = (raw or b"x") * (width // max(len(raw), 1) + 1)
            raw = raw[:width]
        else:
            raw = raw[:width - 1]
        record[at:at + len(raw)] = raw
    return bytes(record)


def reply_for(record):
    command = record[0:4]
    tail = b"0000\0" if command in KNOWN else b"00001"
    return encode(command + b"\0" + tail)


def field(record, at, width):
    raw = record[at:at + width]
    end = raw.find(b"\0")
    return raw if end < 0 else raw[:end]


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.listeners = {}
        self.log = []
        self.last_seen = time.time()
        self.stop = threading.Event()

    def note(self, where, record, chars):
        parts = [where]
        for name, at, width in FIELDS[:5]:
            parts.append(field(record, at, width).decode("latin-1"))
        parts.append(field(record, 55, 255).hex())
        parts.append(field(record, 310, 255).hex())
        parts.append(str(chars))
        with self.lock:
            self.log.append("\t".join(parts))


STATE = State()


def read_record(conn):
    data = b""
    while len(data) < RECORD * 2:
        chunk = conn.recv(RECORD * 2 - len(data))
        if not chunk:
            break
        data += chunk
    return data


class Listener:
    def __init__(self, addr, port, mode, delay):
        self.addr, self.port, self.mode, self.delay = addr, port, mode, delay
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((addr, port))
        self.sock.listen(64)
        self.closed = threading.Event()
        self.held = []
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        while not self.closed.is_set():
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            threading.Thread(target=self.serve, args=(conn,), daemon=True).start()

    def serve(self, conn):
        try:
            conn.settimeout(60)
            data = read_record(conn)
            STATE.note("%s:%d" % (self.addr, self.port), decode(data), len(data))
            if len(data) < RECORD * 2 or self.mode == "close":
                conn.close()
                return
            if self.mode == "silent":
                self.held.append(conn)
                self.closed.wait(60)
                conn.close()
                return
            if self.mode == "late":
                time.sleep(self.delay / 1000.0)
            conn.sendall(reply_for(decode(data)))
            conn.close()
        except OSError:
            conn.close()

    def close(self):
        self.closed.set()
        try:
            # A close alone leaves the port held by the blocked accept; a shutdown ends it.
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        try:
            self.sock.close()
        except OSError:
            pass
        for conn in self.held:
            try:
                conn.close()
            except OSError:
                pass


def send_one(addr, port, source, values, mode):
    text = encode(build(values, mode == "unterminated"), lower=(mode == "lower"))
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    s.settimeout(30)
    try:
        if source:
            s.bind((source, 0))
        s.connect((addr, port))
        if mode == "pieces":
            for piece in (text[:100], text[100:700], text[700:]):
                s.sendall(piece)
                time.sleep(0.05)
        elif mode == "half":
            s.sendall(text[:len(text) // 2])
            s.close()
            return "-"
        else:
            s.sendall(text)
        reply = b""
        while len(reply) < 20:
            chunk = s.recv(20 - len(reply))
            if not chunk:
                break
            reply += chunk
        return reply.decode("ascii", "replace") if reply else "-"
    except OSError:
        return "-"
    finally:
        s.close()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def answer(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_POST(self):
        STATE.last_seen = time.time()
        parts = urllib.parse.urlsplit(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(parts.query).items()}
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        what = parts.path[len("/_ctl/"):] if parts.path.startswith("/_ctl/") else ""
        if what == "reset":
            with STATE.lock:
                listeners = list(STATE.listeners.values())
                STATE.listeners.clear()
                STATE.log.clear()
            for listener in listeners:
                listener.close()
            self.answer(200, b"ok")
        elif what == "listen":
            key = (query.get("addr", "127.0.0.2"), int(query.get("port", "0")))
            with STATE.lock:
                old = STATE.listeners.pop(key, None)
            if old:
                old.close()
            try:
                listener = Listener(key[0], key[1], query.get("mode", "answer"), int(query.get("delay", "0")))
            except OSError as e:
                self.answer(200, ("busy %s" % e).encode())
                return
            with STATE.lock:
                STATE.listeners[key] = listener
            self.answer(200, b"ok")
        elif what == "unlisten":
            key = (query.get("addr", ""), int(query.get("port", "0")))
            with STATE.lock:
                old = STATE.listeners.pop(key, None)
            if old:
                old.close()
            self.answer(200, b"ok")
        elif what == "send":
            values = {}
            for line in body.decode("utf-8").splitlines():
                if "=" in line:
                    k, v = line.split("=", 1)
                    values[k.strip()] = v
            mode = query.get("mode", "whole")
            if mode == "misaddressed":
                values["receiver"] = "nobody" + values.get("receiver", "")
            copies = max(1, int(query.get("copies", "1")))
            results = [None] * copies

            def run(i):
                results[i] = send_one(query.get("addr", "127.0.0.1"), int(query.get("port", "0")),
                                      query.get("from"), values, mode)
            threads = [threading.Thread(target=run, args=(i,)) for i in range(copies)]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            self.answer(200, "".join("%s\n" % r for r in results).encode("ascii"))
        elif what == "log":
            with STATE.lock:
                text = "".join(line + "\n" for line in STATE.log)
            self.answer(200, text.encode("latin-1"))
        elif what == "stop":
            self.answer(200, b"bye")
            STATE.stop.set()
        else:
            self.answer(404, b"unknown control")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def serve(port_file, idle):
    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    fake_process.write_port_file(port_file, [server.server_address[1]])
    fake_process.wait_until_done(STATE.stop, lambda: STATE.last_seen, idle)
    server.shutdown()
    with STATE.lock:
        for listener in STATE.listeners.values():
            listener.close()
    fake_process.remove_port_file(port_file)


if __name__ == "__main__":
    sys.exit(fake_process.main(__file__, serve, "fake peer"))
