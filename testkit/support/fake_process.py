"""The life of a test-kit fake server: started in the background, found through its port
file, ended on request or after a quiet spell (Python 3 standard library only)."""
import argparse
import os
import socket
import subprocess
import sys
import time
import urllib.request


def free_port():
    """A loopback port where nothing listens (for tests of refused connections)."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


# The port file each fake of this process wrote, with what it wrote.
_WRITTEN = {}


def write_port_file(port_file, ports):
    text = "".join("%d\n" % p for p in ports)
    tmp = port_file + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, port_file)
    _WRITTEN[port_file] = text


def remove_port_file(port_file):
    """Removes the file; a fake that ends removes only its own, not the one of a fake
    started meanwhile in its place."""
    try:
        if port_file in _WRITTEN:
            with open(port_file) as f:
                if f.read() != _WRITTEN[port_file]:
                    return
        os.remove(port_file)
    except OSError:
        pass


def wait_until_done(stop, last_seen, idle):
    """Returns on request (`stop` set), after `idle` quiet seconds, or after an hour at the most."""
    started = time.time()
    while not stop.wait(1.0):
        now = time.time()
        if now - last_seen() > idle or now - started > 3600:
            return


def start(script, port_file, idle, name):
    """Runs `script serve` in a session of its own and waits until it has written its ports."""
    remove_port_file(port_file)
    subprocess.Popen([sys.executable, os.path.abspath(script), "serve", "--port-file", port_file, "--idle", str(idle)],
                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                     start_new_session=True, env={k: v for k, v in os.environ.items() if "proxy" not in k.lower()})
    deadline = time.time() + 20
    while time.time() < deadline:
        if os.path.exists(port_file):
            return 0
        time.sleep(0.1)
    print("%s did not start" % name, file=sys.stderr)
    return 1


def stop(port_file):
    """Asks the fake named by the first port of `port_file` to end ("/_ctl/stop")."""
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


def main(script, serve, name):
    """The command line every fake takes: serve | start | stop --port-file F [--idle S]."""
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["serve", "start", "stop"])
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--idle", type=float, default=3000)
    args = parser.parse_args()
    if args.command == "serve":
        serve(args.port_file, args.idle)
        return 0
    if args.command == "start":
        return start(script, args.port_file, args.idle, name)
    return stop(args.port_file)
