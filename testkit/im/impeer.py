#!/usr/bin/env python3
"""IM messages and a scripted IM peer for the tests (Python 3 standard library only).

The layouts are written down here from the protocol's own description: a 64-byte header
(bytes 0-59 zero, 60-63 the four-character code), a fixed part whose length depends on the
code, a variable part for "003S", "014S" and "015B", and a text part for "003S". Every
message a client builds is zero-filled and ends with CR LF.

  Frames      builders (login, text, receipt, ...) and field readers
  read_frame  one message from a socket, cut by a receiver's table (client or server)
  Peer        a scripted client: logs in through the IM server, sends texts and files,
              answers texts with a chosen receipt, listens for and makes direct links
"""
import os
import socket
import threading
import time

HEADER = 64
CRLF = b"\r\n"

# Fixed part behind the header, by code, as a client receives. The server reads "001S" whole.
FIXED = {
    "001S": 0, "001B": 3, "002S": 62, "002B": 63, "003S": 81, "003B": 83, "004S": 346, "004B": 87,
    "005S": 4187, "005B": 63, "006S": 22, "007S": 12, "007B": 12, "008S": 22, "009S": 12, "010S": 22,
    "011S": 22, "012S": 63, "013S": 22, "014S": 61, "014B": 63, "015S": 22, "015B": 61, "020S": 42,
    "021S": 42,
}
SERVER_FIXED = dict(FIXED, **{"001S": 142})


def code_of(msg):
    return msg[60:64].decode("latin-1").upper()


def message(code, size, crlf=True):
    msg = bytearray(size)
    msg[60:64] = code.encode("ascii")
    if crlf:
        msg[-2:] = CRLF
    return msg


def put(msg, offset, size, value, terminated=True):
    """Text in a zero-filled field; terminated fields keep room for their zero byte."""
    data = value.encode("latin-1") if isinstance(value, str) else bytes(value)
    data = data[: size - 1 if terminated else size]
    msg[offset:offset + len(data)] = data


def field(msg, offset, size):
    """Bytes of a zero-terminated field, up to its zero or its end."""
    raw = bytes(msg[offset:offset + size])
    end = raw.find(b"\0")
    return raw if end < 0 else raw[:end]


def text_field(msg, offset, size):
    return field(msg, offset, size).decode("latin-1")


def u32(value):
    return (value & 0xFFFFFFFF).to_bytes(4, "little")


def read_u32(msg, offset):
    return int.from_bytes(msg[offset:offset + 4], "little")


def stamp_now():
    t = time.time()
    lt = time.localtime(t)
    ms = int(t * 1000) % 1000
    return time.strftime("%Y%m%d%H%M%S", lt) + "%03d000" % ms


class Frames:
    """Builders of every message, byte for byte."""

    @staticmethod
    def login(own_id):
        msg = message("001S", 206)
        put(msg, 64, 140, own_id)
        return bytes(msg)

    @staticmethod
    def login_reply(result="0"):
        msg = message("001B", 67)
        msg[64] = ord(result)
        return bytes(msg)

    @staticmethod
    def peer_link_request(requester, address, port):
        msg = message("002S", 126, crlf=False)
        put(msg, 64, 20, requester)
        put(msg, 104, 15, address, terminated=False)
        put(msg, 119, 7, str(port), terminated=False)
        return bytes(msg)

    @staticmethod
    def peer_link_reply(own_id, peer_id, linked):
        msg = message("002B", 127)
        put(msg, 64, 20, own_id)
        put(msg, 84, 20, peer_id)
        msg[124] = ord("1" if linked else "0")
        return bytes(msg)

    @staticmethod
    def chat_text(sender, receiver, text, status="1*", stamp=None, formatted=False, face="SimSun",
                  height="18", code="0", colour="#000000"):
        """A chat text; `text` is bytes in the ANSI code page (or str, taken as cp936)."""
        data = text.encode("cp936") if isinstance(text, str) else bytes(text)
        data = data[:800]
        n = len(data) + 2
        if formatted:
            msg = message("003S", 195 + len(data))
            msg[144] = ord("2")
            put(msg, 145, 32, face)
            put(msg, 177, 2, height, terminated=False)
            msg[179] = ord(code)
            put(msg, 180, 7, colour, terminated=False)
            put(msg, 187, 4, "%04d" % n, terminated=False)
            at = 191
        else:
            msg = message("003S", 153 + len(data))
            msg[144] = ord("0")
            put(msg, 145, 4, "%d" % n, terminated=False)
            at = 149
        put(msg, 64, 20, stamp or stamp_now(), terminated=False)
        put(msg, 84, 20, sender)
        put(msg, 104, 20, receiver)
        msg[at:at + len(data)] = data
        put(msg, at + len(data), 2, status, terminated=False)
        return bytes(msg)

    @staticmethod
    def chat_text_raw_digits(sender, receiver, digits, text_part, formatted=False):
        """A chat text whose length digits and text part are whatever the test says."""
        msg = message("003S", (191 if formatted else 149) + len(text_part), crlf=False)
        put(msg, 64, 20, stamp_now(), terminated=False)
        put(msg, 84, 20, sender)
        put(msg, 104, 20, receiver)
        msg[144] = ord("2" if formatted else "0")
        msg[187 if formatted else 145:(187 if formatted else 145) + 4] = digits
        msg[191 if formatted else 149:] = text_part
        return bytes(msg)

    @staticmethod
    def receipt(stamp, sender, text_sender, result="0"):
        msg = message("003B", 147)
        put(msg, 64, 20, stamp, terminated=False)
        put(msg, 84, 20, sender)
        put(msg, 104, 20, text_sender)
        msg[144] = ord(result)
        return bytes(msg)

    @staticmethod
    def file_offer(stamp, offerer, receiver, path, size):
        msg = message("004S", 410)
        put(msg, 64, 20, stamp, terminated=False)
        put(msg, 84, 20, offerer)
        put(msg, 104, 20, receiver)
        put(msg, 144, 256, path.encode("cp936") if isinstance(path, str) else path)
        msg[400:404] = u32(size)
        return bytes(msg)

    @staticmethod
    def file_offer_reply(stamp, replier, offerer, accepted, resume=0):
        msg = message("004B", 151)
        if accepted:
            put(msg, 64, 20, stamp, terminated=False)
            msg[145:149] = u32(resume)
        put(msg, 84, 20, replier)
        put(msg, 104, 20, offerer)
        msg[144] = ord("0" if accepted else "1")
        return bytes(msg)

    @staticmethod
    def file_block(stamp, offerer, receiver, number, data, count=None):
        msg = message("005S", 4251)
        put(msg, 64, 20, stamp, terminated=False)
        put(msg, 84, 20, offerer)
        put(msg, 104, 20, receiver)
        msg[144:148] = u32(number)
        msg[149:153] = u32(len(data) if count is None else count)
        msg[153:153 + len(data)] = data[:4096]
        return bytes(msg)

    @staticmethod
    def file_block_ack(stamp, acker, offerer, stop=False):
        msg = message("005B", 127)
        put(msg, 64, 20, stamp, terminated=False)
        put(msg, 84, 20, acker)
        put(msg, 104, 20, offerer)
        msg[124] = ord("1" if stop else "0")
        return bytes(msg)

    @staticmethod
    def typing(sender, receiver, state="0"):
        msg = message("012S", 127)
        put(msg, 64, 20, sender)
        put(msg, 84, 20, receiver)
        msg[124] = ord(state)
        return bytes(msg)

    @staticmethod
    def offline_store(text_msg):
        """The offline store of a chat text (the whole "003S")."""
        formatted = text_msg[144] != ord("0")
        digits_at = 187 if formatted else 145
        n = int(bytes(text_msg[digits_at:digits_at + 4]).split(b"\0")[0] or b"0")
        text = bytes(text_msg[digits_at + 4:digits_at + 4 + max(n - 2, 0)])
        msg = message("014S", 961 if formatted else 931)
        msg[64:124] = text_msg[64:124]
        if formatted:
            msg[124] = ord("2")
            msg[125:145] = text_msg[145:165]
            msg[145:155] = text_msg[177:187]
            msg[155:159] = text_msg[187:191]
            msg[159:159 + len(text)] = text
        else:
            msg[124] = ord("0")
            msg[125:129] = text_msg[145:149]
            msg[129:129 + len(text)] = text
        return bytes(msg)

    @staticmethod
    def offline_store_reply(stamp, peer, result="0"):
        msg = message("014B", 127)
        put(msg, 64, 20, stamp, terminated=False)
        put(msg, 84, 20, peer)
        msg[124] = ord(result)
        return bytes(msg)

    @staticmethod
    def offline_fetch(own_id):
        msg = message("015S", 86)
        put(msg, 64, 20, own_id)
        return bytes(msg)

    @staticmethod
    def offline_delivery(store):
        """A stored "014S" handed back: code "015B", without its final CR LF."""
        msg = bytearray(store[:-2])
        msg[60:64] = b"015B"
        return bytes(msg)

    @staticmethod
    def file_cancel(canceller, other):
        msg = message("020S", 106)
        put(msg, 64, 20, canceller)
        put(msg, 84, 20, other)
        return bytes(msg)


def close_socket(sock):
    """Ends a connection so that a thread blocked reading it wakes up."""
    try:
        sock.shutdown(socket.SHUT_RDWR)
    except OSError:
        pass
    sock.close()


class Closed(Exception):
    pass


def recv_exactly(sock, size):
    data = bytearray()
    while len(data) < size:
        chunk = sock.recv(size - len(data))
        if not chunk:
            raise Closed()
        data += chunk
    return bytes(data)


def read_frame(sock, table=FIXED):
    """One whole message as the receiver's table cuts it (the wire bytes, for "015B" 929/959)."""
    header = recv_exactly(sock, HEADER)
    code = code_of(header)
    fixed = table.get(code, 0)
    if fixed == 0:
        return header
    msg = header + recv_exactly(sock, fixed)
    variable = 0
    if code == "003S":
        variable = 4 if msg[144] == ord("0") else 46
    elif code in ("014S", "015B"):
        variable = 806 if msg[124] == ord("0") else 836
        if code == "015B":
            variable -= 2
    if variable:
        msg += recv_exactly(sock, variable)
    if code == "003S":
        at = 145 if msg[144] == ord("0") else 187
        digits = b""
        for b in msg[at:at + 4]:
            if not (0x30 <= b <= 0x39):
                break
            digits += bytes([b])
        msg += recv_exactly(sock, int(digits or b"0") + 2)
    return msg


def chat_text_fields(msg):
    """The fields of a received chat text."""
    formatted = msg[144] != ord("0")
    at = 191 if formatted else 149
    n = int(bytes(msg[at - 4:at]).split(b"\0")[0] or b"0")
    return {
        "stamp": msg[64:84].decode("latin-1"),
        "sender": text_field(msg, 84, 20),
        "receiver": text_field(msg, 104, 20),
        "formatted": formatted,
        "text": bytes(msg[at:at + n - 2]),
        "status": bytes(msg[at + n - 2:at + n]),
    }


class Link:
    """One TCP connection of a peer: the IM-server connection or a direct link."""

    def __init__(self, peer, sock, kind):
        self.peer = peer
        self.sock = sock
        self.kind = kind
        self.send_lock = threading.Lock()
        self.closed = False
        threading.Thread(target=self._receive, daemon=True).start()

    def recv(self, size):
        """What the socket has, at most `size` bytes; a direct link of a peer with a read
        rate takes at most 1 KB at a time and no more than the rate (bytes per second)."""
        rate = self.peer.read_rate if self.kind == "direct" else 0
        if not rate:
            return self.sock.recv(size)
        data = self.sock.recv(min(size, 1024))
        time.sleep(len(data) / float(rate))
        return data

    def send(self, data):
        with self.send_lock:
            self.sock.sendall(data)

    def close(self):
        self.closed = True
        close_socket(self.sock)

    def _receive(self):
        try:
            while True:
                msg = read_frame(self)
                self.peer._on_message(self, msg)
        except (Closed, OSError):
            pass
        self.closed = True
        self.peer._on_closed(self)


class Peer:
    """A scripted IM client.

    received: (time, link kind, message bytes) of everything that came in, in order.
    receipt_result: the result character its receipts give ('0', '3', '6'), or None for no receipt.
    Files offered to it are taken into `save_dir` (resuming from "<name>.part") when
    `accept_files` is set.
    """

    def __init__(self, own_id, save_dir=None, receipt_result="0", accept_files=True):
        self.own_id = own_id
        self.save_dir = save_dir
        self.receipt_result = receipt_result
        self.accept_files = accept_files
        self.server = None
        self.links = []
        self.listener = None
        self.received = []
        self.lock = threading.Lock()
        self.changed = threading.Condition(self.lock)
        self.sending = {}   # stamp -> (path, link) of offers made
        self.receiving = {}  # stamp -> state of files being taken
        self.finished = []   # (stamp, path, bytes) of files taken whole
        self.stop_after_blocks = None  # a sender that vanishes mid-file stops after this many
        self.read_rate = 0  # bytes per second its direct links read at most; 0: no limit

    # Connections

    def login(self, host, port, source=None, wait=True):
        sock = socket.create_connection((host, port), timeout=10, source_address=(source, 0) if source else None)
        sock.settimeout(None)
        self.server = Link(self, sock, "server")
        self.server.send(Frames.login(self.own_id))
        if wait:
            reply = self.wait_for(lambda kind, msg: code_of(msg) == "001B", timeout=10)
            return reply[64:65].decode("latin-1")
        return None

    def listen(self, address="127.0.0.1", port=0, receive_buffer=0):
        """Listens for direct links; `receive_buffer` (bytes) sets their socket's buffer."""
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        if receive_buffer:
            self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.listener.bind((address, port))
        self.listener.listen(8)
        threading.Thread(target=self._accept, daemon=True).start()
        return self.listener.getsockname()[1]

    def connect(self, address, port, source=None):
        sock = socket.create_connection((address, port), timeout=10, source_address=(source, 0) if source else None)
        sock.settimeout(None)
        link = Link(self, sock, "direct")
        with self.lock:
            self.links.append(link)
        return link

    def _accept(self):
        while True:
            try:
                sock, _ = self.listener.accept()
            except OSError:
                return
            link = Link(self, sock, "direct")
            with self.lock:
                self.links.append(link)
                self.changed.notify_all()

    def close(self):
        if self.listener:
            # A thread blocked in accept keeps a listener open past close(): wake it first.
            close_socket(self.listener)
        for link in list(self.links) + ([self.server] if self.server else []):
            link.close()

    def link(self):
        """The newest direct link that is open, else the server connection."""
        with self.lock:
            for link in reversed(self.links):
                if not link.closed:
                    return link
        return self.server

    # Sending

    def send_text(self, to, text, link=None, **kw):
        msg = Frames.chat_text(self.own_id, to, text, **kw)
        (link or self.server).send(msg)
        return msg[64:84].decode("latin-1")

    def send_raw(self, data, link=None):
        (link or self.server).send(data)

    def offer_file(self, to, path, link=None, stamp=None):
        stamp = stamp or stamp_now()
        size = os.path.getsize(path)
        with self.lock:
            self.sending[stamp] = {"path": path, "to": to, "link": link}
        # The receiver is offered the file's own name, not where it lies here.
        name = os.path.basename(path)
        (link or self.link()).send(Frames.file_offer(stamp, self.own_id, to, name, size))
        return stamp

    def _send_blocks(self, stamp, resume, reply_link):
        """Blocks from the resume point on; one empty block when nothing is left to send."""
        offer = self.sending.get(stamp)
        if not offer:
            return
        link = offer["link"] or reply_link
        size = os.path.getsize(offer["path"])
        number = resume // 4096
        with open(offer["path"], "rb") as f:
            f.seek(resume)
            position = resume
            while True:
                if self.stop_after_blocks is not None and number - resume // 4096 >= self.stop_after_blocks:
                    return
                data = f.read(min(4096, max(size - position, 0)))
                link.send(Frames.file_block(stamp, self.own_id, offer["to"], number, data))
                number += 1
                position += len(data)
                if position >= size or not data:
                    return

    # Receiving

    def _on_closed(self, link):
        with self.lock:
            self.changed.notify_all()

    def _on_message(self, link, msg):
        code = code_of(msg)
        with self.lock:
            self.received.append((time.time(), link.kind, msg))
            self.changed.notify_all()
        if code == "003S" and self.receipt_result is not None:
            fields = chat_text_fields(msg)
            link.send(Frames.receipt(fields["stamp"], self.own_id, fields["sender"], self.receipt_result))
        elif code == "004S" and self.accept_files and self.save_dir:
            self._accept_file(link, msg)
        elif code == "004B" and msg[144] == ord("0"):
            stamp = msg[64:84].decode("latin-1")
            threading.Thread(target=self._send_blocks, args=(stamp, read_u32(msg, 145), link), daemon=True).start()
        elif code == "005S":
            self._take_block(link, msg)

    def _accept_file(self, link, msg):
        stamp = msg[64:84].decode("latin-1")
        offerer = text_field(msg, 84, 20)
        name = field(msg, 144, 256).replace(b"\\", b"/").rsplit(b"/", 1)[-1].decode("latin-1") or "file"
        size = read_u32(msg, 400)
        final = os.path.join(self.save_dir, name)
        part = final + ".part"
        have = os.path.getsize(part) if os.path.exists(part) else 0
        if have > size:
            have = 0
            open(part, "wb").close()
        with self.lock:
            self.receiving[stamp] = {"part": part, "final": final, "size": size, "have": have, "offerer": offerer}
        link.send(Frames.file_offer_reply(stamp, self.own_id, offerer, True, have))

    def _take_block(self, link, msg):
        stamp = msg[64:84].decode("latin-1")
        job = self.receiving.get(stamp)
        if not job:
            return
        count = read_u32(msg, 149)
        if count > 4096 or job["have"] + count > job["size"]:
            link.send(Frames.file_cancel(self.own_id, job["offerer"]))
            with self.lock:
                self.receiving.pop(stamp, None)
            return
        with open(job["part"], "ab") as f:
            f.write(msg[153:153 + count])
        job["have"] += count
        link.send(Frames.file_block_ack(stamp, self.own_id, job["offerer"]))
        if job["have"] == job["size"]:
            os.replace(job["part"], job["final"])
            with self.lock:
                self.receiving.pop(stamp, None)
                self.finished.append((stamp, job["final"], job["size"]))
                self.changed.notify_all()

    def wait_for(self, test, timeout=10, start=0):
        """The first message from index `start` on for which test(link kind, msg) holds."""
        deadline = time.time() + timeout
        with self.lock:
            while True:
                for _, kind, msg in self.received[start:]:
                    if test(kind, msg):
                        return msg
                left = deadline - time.time()
                if left <= 0:
                    raise TimeoutError("%s: no such message within %ss" % (self.own_id, timeout))
                self.changed.wait(left)

    def wait_code(self, code, timeout=10, start=0):
        return self.wait_for(lambda kind, msg: code_of(msg) == code, timeout, start)
