#!/usr/bin/env python3
"""The presence server the demo host logs in to: the test kit's fake presence server on
127.0.0.1, programmed with a small contact book (two roots, nested groups, Chinese names, one
blocked user).

  demo_presence.py start --port-file F [--chat]    start the fake server and program it
  demo_presence.py program --port-file F [--chat]  program a running one
  demo_presence.py accounts                        the chat accounts: id and address a line
  demo_presence.py stop --port-file F    stop it
  demo_presence.py url --port-file F     print the address the presence client posts to

--chat adds the two demo accounts of the chat demo to the book, online at their addresses,
so that each host of the chat sees the other (and itself) among its friends.
"""
import argparse
import os
import subprocess
import sys
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
FAKE = os.path.join(HERE, "..", "..", "testkit", "presence", "fake_presence.py")

# (group id, group name, friends [(id, name)], sub-groups)
BOOK = [
    ("10", "电话好友", [("zhangsan", "张三")], [
        ("101", "家人", [("mama", "妈妈"), ("baba", "爸爸")], []),
    ]),
    ("11", "网络好友", [("xiaoming", "小明"), ("xiaozhang", "小张"), ("xiaozhou", "小周")], [
        ("111", "同事", [("lisi", "李四"), ("wangwu", "王五")], []),
        ("112", "同学", [("zhaoliu", "赵六")], []),
    ]),
]

# The accounts of the two-host chat demo: (id, name, the address its client listens on).
CHAT_ACCOUNTS = [("demo01", "演示一号", "127.0.0.61"), ("demo02", "演示二号", "127.0.0.62")]
# Their group goes under the network root.
CHAT_GROUP = ("113", "演示帐号", [(fid, name) for fid, name, _ in CHAT_ACCOUNTS], [])

# The black list (groupID 0): users the account blocked.
BLACK_LIST = [("saorao", "骚扰电话")]


def cell(name, text):
    return '<cell name="%s" type="8">%s</cell>' % (name, text)


def group_item(group):
    gid, name, friends, subs = group
    inner = "".join(group_item(s) for s in subs)
    inner += "".join("<item>%s%s</item>" % (cell("friendID", fid), cell("contactname", fname))
                     for fid, fname in friends)
    return "<item>%s%s<cell name=\"friendList\" type=\"27\">%s</cell></item>" % (
        cell("groupID", gid), cell("groupName", name), inner)


def reply(inner):
    return ('<lwData docId="1" opname="x">%s</lwData>' % inner).encode("cp936")


def address_list(chat=False):
    book = BOOK
    if chat:
        gid, name, friends, subs = BOOK[1]
        book = [BOOK[0], (gid, name, friends, subs + [CHAT_GROUP])]
    groups = '<cell name="groupList" type="27">%s<cell name="friendList" type="27">%s</cell></cell>' % (
        cell("groupID", "1"), "".join(group_item(g) for g in book))
    blocked = '<cell name="groupList" type="27">%s<cell name="friendList" type="27">%s</cell></cell>' % (
        cell("groupID", "0"),
        "".join("<item>%s%s</item>" % (cell("friendID", fid), cell("contactname", fname)) for fid, fname in BLACK_LIST))
    return reply(cell("time", "20240101000000") + groups + blocked)


# Friends the presence server reports online: (id, address); their clients are not running.
ONLINE = [("xiaozhang", "127.0.0.2"), ("xiaozhou", "127.0.0.3")]


def online_list(chat=False):
    online = ONLINE + ([(fid, ip) for fid, _, ip in CHAT_ACCOUNTS] if chat else [])
    records = "".join("<record>%s%s%s%s%s%s</record>" % (
        cell("friendid", fid), cell("statuscode", "1"), cell("localip", ip), cell("localport", "6082"),
        cell("ip", ip), cell("port", "6082")) for fid, ip in online)
    return reply('<cell name="friend-list" type="27">%s</cell>' % records)


def port(port_file):
    with open(port_file) as f:
        return int(f.readline().strip())


def control(p, what, body=b""):
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    request = urllib.request.Request("http://127.0.0.1:%d/_ctl/%s" % (p, what), data=body, method="POST")
    with opener.open(request, timeout=10) as answer:
        return answer.read()


def program(port_file, chat=False):
    p = port(port_file)
    control(p, "reset")
    control(p, "default?action=GetFriendIP&status=200",
            reply(cell("statuscode", "1") + cell("localip", "127.0.0.1") + cell("localport", "6082") +
                  cell("ip", "127.0.0.1") + cell("port", "7000")))
    # Each chat account, asked for by id, is where its client runs.
    for fid, _, ip in (CHAT_ACCOUNTS if chat else []):
        control(p, "default?action=GetFriendIP&status=200&when=target_id%%3D%s" % fid,
                reply(cell("friendid", fid) + cell("statuscode", "1") + cell("localip", ip) +
                      cell("localport", "6082") + cell("ip", ip) + cell("port", "6082")))
    control(p, "default?action=IncrementGetAddressList&status=200", address_list(chat))
    control(p, "default?action=GetUserContactFriendIP&status=200", online_list(chat))
    return 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["start", "program", "stop", "url", "accounts"])
    parser.add_argument("--port-file")
    parser.add_argument("--idle", default="3000")
    parser.add_argument("--chat", action="store_true")
    args = parser.parse_args()
    if args.command == "accounts":
        for fid, _, ip in CHAT_ACCOUNTS:
            print(fid, ip)
        return 0
    if not args.port_file:
        parser.error("--port-file is needed")
    if args.command == "start":
        rc = subprocess.call([sys.executable, FAKE, "start", "--port-file", args.port_file, "--idle", args.idle])
        return rc or program(args.port_file, args.chat)
    if args.command == "program":
        return program(args.port_file, args.chat)
    if args.command == "url":
        print("http://127.0.0.1:%d/web/" % port(args.port_file))
        return 0
    return subprocess.call([sys.executable, FAKE, "stop", "--port-file", args.port_file])


if __name__ == "__main__":
    sys.exit(main())
