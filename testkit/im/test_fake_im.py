#!/usr/bin/env python3
"""The fake IM gatekeeper and server, driven by scripted peers on 127.0.0.1.

  test_fake_im.py --port-file F    against the running fake that F names
"""
import argparse
import os
import socket
import sys
import tempfile
import time
import unittest
import urllib.request

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from impeer import Frames, Peer, chat_text_fields, code_of, field, read_u32, text_field  # noqa: E402

PORTS = None
OPENER = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def post(path, body=b"", timeout=15):
    with OPENER.open("http://127.0.0.1:%d%s" % (PORTS[0], path), data=body, timeout=timeout) as reply:
        return reply.status, reply.read()


def control(path, body=b""):
    status, reply = post("/_ctl/" + path, body)
    assert status == 200, (path, status, reply)
    return reply


class FakeIm(unittest.TestCase):
    def setUp(self):
        control("reset")
        self.peers = []

    def tearDown(self):
        for peer in self.peers:
            peer.close()

    def peer(self, own_id, **kw):
        p = Peer(own_id, **kw)
        self.peers.append(p)
        self.assertEqual(p.login("127.0.0.1", PORTS[1]), "0")
        return p

    def test_gatekeeper(self):
        status, reply = post("/gk/GKServer.do", b"Flag=CLogin")
        self.assertEqual((status, reply), (200, ("127.0.0.1;0;%d" % PORTS[1]).encode()))
        with self.assertRaises(urllib.error.HTTPError) as wrong:
            post("/gk/GKServer.do", b"Flag=CLogin&x=1")
        self.assertEqual(wrong.exception.code, 400)
        control("gatekeeper?mode=refuse")
        with self.assertRaises(urllib.error.HTTPError) as refused:
            post("/gk/GKServer.do", b"Flag=CLogin")
        self.assertEqual(refused.exception.code, 503)
        control("gatekeeper?mode=garbled")
        self.assertNotIn(b";", post("/gk/GKServer.do", b"Flag=CLogin")[1][:3])
        control("gatekeeper?mode=split&delay=0.2")
        self.assertEqual(post("/gk/GKServer.do", b"Flag=CLogin")[1], ("127.0.0.1;0;%d" % PORTS[1]).encode())
        self.assertIn(b"466c61673d434c6f67696e\n", control("gatekeeper_log"))

    def test_login_results_and_sessions(self):
        control("login_result?result=1")
        refused = Peer("10001")
        self.peers.append(refused)
        self.assertEqual(refused.login("127.0.0.1", PORTS[1]), "1")
        self.assertEqual(control("sessions"), b"")
        self.peer("10001")
        self.assertEqual(control("sessions"), b"10001\n")
        log = control("log").decode().splitlines()
        login = [line.split("\t") for line in log if "\t001S\t" in line]
        self.assertEqual(login[0][4], "206")
        self.assertEqual(login[0][1], "in")

    def test_text_and_receipt_between_two_peers(self):
        a, b = self.peer("10001"), self.peer("20002")
        stamp = a.send_text("20002", "hi^>there", formatted=True, code="6", colour="#0000ff")
        got = b.wait_code("003S")
        fields = chat_text_fields(got)
        self.assertEqual((fields["sender"], fields["receiver"], fields["text"]), ("10001", "20002", b"hi^>there"))
        self.assertEqual(len(got), 195 + 9)
        receipt = a.wait_code("003B")
        self.assertEqual(len(receipt), 147)
        self.assertEqual(receipt[64:84].decode(), stamp)
        self.assertEqual(text_field(receipt, 84, 20), "20002")
        self.assertEqual(chr(receipt[144]), "0")

        # A receiver that is not there: '1' from the server, so the sender can offer to store it.
        stamp = a.send_text("30003", "anyone?", stamp="20261209120000000000")
        receipt = a.wait_for(lambda kind, msg: code_of(msg) == "003B" and msg[64:84].decode() == stamp)
        self.assertEqual(chr(receipt[144]), "1")
        self.assertEqual(text_field(receipt, 104, 20), "10001")

        # Typing notices and cancels go by the receiver at 84.
        a.send_raw(Frames.typing("10001", "20002", "0"))
        self.assertEqual(chr(b.wait_code("012S")[124]), "0")

    def test_text_for_an_absent_receiver_held_until_its_login(self):
        control("hold_absent?seconds=30")
        a = self.peer("10001")
        a.send_text("20002", "early")
        time.sleep(0.3)
        b = self.peer("20002")
        got = b.wait_code("003S")
        self.assertEqual(chat_text_fields(got)["text"], b"early")
        codes = [code_of(msg) for _, _, msg in b.received]
        self.assertLess(codes.index("001B"), codes.index("003S"))
        # Once more after the wait is over: the sender hears '1' at the receiver's login.
        control("hold_absent?seconds=0.1")
        stamp = a.send_text("30003", "too late", stamp="20261209120000000001")
        time.sleep(0.5)
        self.peer("30003")
        receipt = a.wait_for(lambda kind, msg: code_of(msg) == "003B" and msg[64:84].decode() == stamp)
        self.assertEqual(chr(receipt[144]), "1")

    def test_offline_message_stored_and_delivered_once(self):
        a = self.peer("10001")
        text = Frames.chat_text("10001", "30003", "see you", formatted=True, face="A very long face name here")
        a.send_raw(Frames.offline_store(text))
        reply = a.wait_code("014B")
        self.assertEqual(reply[64:84], text[64:84])
        self.assertEqual(text_field(reply, 84, 20), "30003")
        self.assertEqual(chr(reply[124]), "0")
        self.assertEqual(control("stored?id=30003"), b"1")

        c = self.peer("30003")
        c.send_raw(Frames.offline_fetch("30003"))
        delivery = c.wait_code("015B")
        self.assertEqual(len(delivery), 959)  # the stored 961 bytes without CR LF
        self.assertEqual(delivery[125:145], b"A very long face nam")
        self.assertEqual(delivery[159:166], b"see you")
        mark = len(c.received)
        c.send_raw(Frames.offline_fetch("30003"))
        c.send_raw(Frames.typing("30003", "30003"))  # a marker that comes back through the relay
        c.wait_code("012S", start=mark)
        self.assertFalse([m for _, _, m in c.received[mark:] if code_of(m) == "015B"])

        control("store_result?result=1")
        mark = len(a.received)
        a.send_raw(Frames.offline_store(Frames.chat_text("10001", "30003", "again")))
        self.assertEqual(chr(a.wait_code("014B", start=mark)[124]), "1")
        self.assertEqual(control("stored?id=30003"), b"0")

    def test_scripted_peer_in_the_fake_and_server_controls(self):
        a = self.peer("10001")
        self.assertEqual(control("peer/start?id=20002&receipt=6"), b"0")
        stamp = a.send_text("20002", "blocked?")
        receipt = a.wait_code("003B")
        self.assertEqual((receipt[64:84].decode(), chr(receipt[144])), (stamp, "6"))
        self.assertIn("\t003S\t", control("peer/log?id=20002").decode())

        # 1-byte writes with pauses keep the stream whole; a swallowed text is never answered.
        control("write_mode?to=10001&piece=1&pause_ms=1")
        control("peer/text?id=20002&to=10001&text=slowly")
        self.assertEqual(chat_text_fields(a.wait_code("003S", timeout=20))["text"], b"slowly")
        control("write_mode?to=10001")
        control("swallow?code=003S&count=1")
        mark = len(a.received)
        a.send_text("20002", "lost")
        a.send_text("20002", "kept")
        receipts = []
        while len(receipts) < 1:
            receipts = [m for _, _, m in a.received[mark:] if code_of(m) == "003B"]
            time.sleep(0.05)
        time.sleep(0.3)
        self.assertEqual(len([m for _, _, m in a.received[mark:] if code_of(m) == "003B"]), 1)

        control("send_002s?to=10001&requester=20002&address=127.0.0.2&port=60000")
        link = a.wait_code("002S")
        self.assertEqual((len(link), text_field(link, 104, 15), text_field(link, 119, 7)), (126, "127.0.0.2", "60000"))
        control("raw?to=10001", Frames.file_cancel("20002", "10001"))
        a.wait_code("020S")
        control("close?id=10001")
        deadline = time.time() + 5
        while not a.server.closed and time.time() < deadline:
            time.sleep(0.05)
        self.assertTrue(a.server.closed)

    def test_file_over_a_direct_link_with_resume(self):
        with tempfile.TemporaryDirectory() as folder:
            source = os.path.join(folder, "big.bin")
            data = os.urandom(10000)
            with open(source, "wb") as f:
                f.write(data)
            save = os.path.join(folder, "in")
            os.mkdir(save)
            a, b = self.peer("10001"), self.peer("20002", save_dir=save)
            port = b.listen("127.0.0.1")
            link = a.connect("127.0.0.1", port, source="127.0.0.2")
            # The first attempt stops after one block: the receiver keeps 4096 bytes.
            a.stop_after_blocks = 1
            a.offer_file("20002", source, link=link)
            part = os.path.join(save, "big.bin.part")
            deadline = time.time() + 5
            while not (os.path.exists(part) and os.path.getsize(part) == 4096) and time.time() < deadline:
                time.sleep(0.05)
            self.assertEqual(os.path.getsize(part), 4096)
            # The offer names the file alone, not where it lies at the sender.
            offer = b.wait_code("004S")
            self.assertEqual(field(offer, 144, 256), b"big.bin")
            a.stop_after_blocks = None
            mark = len(a.received)
            stamp = a.offer_file("20002", source, link=link)
            reply = a.wait_code("004B", start=mark)
            self.assertEqual(read_u32(reply, 145), 4096)
            deadline = time.time() + 10
            while not b.finished and time.time() < deadline:
                time.sleep(0.05)
            self.assertEqual(b.finished[0][0], stamp)
            with open(os.path.join(save, "big.bin"), "rb") as f:
                self.assertEqual(f.read(), data)
            blocks = [m for kind, m in ((k, m) for _, k, m in b.received) if code_of(m) == "005S"]
            self.assertEqual([read_u32(m, 144) for m in blocks], [0, 1, 2])
            self.assertEqual(read_u32(blocks[-1], 149), 1808)
            self.assertTrue(all(len(m) == 4251 for m in blocks))
            # The server saw none of it.
            self.assertNotIn("\t005S\t", control("log").decode())


def main():
    global PORTS
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    args, rest = parser.parse_known_args()
    with open(args.port_file) as f:
        PORTS = [int(line) for line in f.read().split()]
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
