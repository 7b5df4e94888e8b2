#!/usr/bin/env python3
"""The syslog relay under load: RATE UDP messages a second for SECONDS on loopback, through the
host zelsend --syslog-udp into the real console under Wine; every message must show, in order.

Two runs in one go, each into a fresh console:
  relay:   the messages as syslog datagrams, paced at RATE, into zelsend --syslog-udp;
  ceiling: the same lines at once from zelsend reading them on standard input (no relay, no
           pacing): what the console itself takes, on this machine at this moment.
It prints the machine and its load, what was sent, shown and lost (the relay's own counts), and
for each run the time until the console had shown everything, counted from the first send to
the moment the console session has seen the whole view, held it still for 0.5 s and saved it:
both runs carry that same settle, so their ratio compares like with like.

    scripts/isolated.sh python3 bench/bridges/syslog_relay_bench.py [RATE=20000] [SECONDS=10]

Needs the Windows build this machine runs (scripts/windows-test-preset: console_session) and
the host build (build/host: zelsend). Not a test: nothing here passes or fails on a time.
"""

import os
import platform
import signal
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "testkit"))
from zeltest import free_port, send_paced  # noqa: E402
PRESET = subprocess.run([os.path.join(ROOT, "scripts/windows-test-preset")], capture_output=True,
                        text=True).stdout.strip() or "windows"
SESSION = os.path.join(ROOT, "build", PRESET, "testkit/console_session.exe")
WINE_RUN = os.path.join(ROOT, "scripts/wine-run")
ZELSEND = os.path.join(ROOT, "build/host/tools/zelsend/zelsend")
STARTED = "日志服务启动成功，正在侦听...\r\n"
SIZE = 90  # bytes of each message: 200,000 of them stay within the view's 24 Mi characters


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def load():
    return " ".join(open("/proc/loadavg").read().split()[:3])


def messages(count):
    head = "<14>syslog-bench %06d "
    return [(head % i).ljust(SIZE, "x").encode() for i in range(count)]


class Console:
    """console_session under Wine: a fresh console with its service started."""

    def __init__(self, work, expected_length):
        self.ready, self.done, self.out = (os.path.join(work, n) for n in ("ready", "done", "out"))
        self.expected = expected_length
        self.driver = subprocess.Popen([WINE_RUN, SESSION, windows_path(self.ready), windows_path(self.done),
                                        windows_path(self.out)])
        until = time.monotonic() + 120
        while not os.path.exists(self.ready):
            if self.driver.poll() is not None or time.monotonic() > until:
                sys.exit("the console did not come up")
            time.sleep(0.05)

    def shown(self):
        """Tells the session how long the view will be; returns its text once it has saved it."""
        with open(self.done, "w") as f:
            f.write(str(self.expected))
        self.driver.wait(timeout=600)
        with open(self.out, "rb") as f:
            return f.read().decode("utf-8")


def count_missing(view, lines):
    """Lines not in the view, and whether those there are in order."""
    body = view[len(STARTED):] if view.startswith(STARTED) else view
    shown = [l for l in body.split("\r\n") if l.startswith("<14>syslog-bench ")]
    numbers = [int(l.split()[1]) for l in shown]
    return len(lines) - len(set(numbers)), numbers == sorted(numbers)


def relay_run(lines, rate, work):
    text = [l.decode() + "\r\n" for l in lines]
    console = Console(work, len(STARTED) + sum(len(t) for t in text))
    port = free_port(socket.SOCK_DGRAM)
    relay = subprocess.Popen([ZELSEND, "--syslog-udp", str(port)], stderr=subprocess.PIPE, text=True)
    relay.stderr.readline()  # "zelsend: syslog on UDP ...": it listens now
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    start = time.monotonic()
    sent_in = send_paced(sender, lines, ("127.0.0.1", port), rate)
    view = console.shown()
    shown_in = time.monotonic() - start
    relay.send_signal(signal.SIGINT)
    report = relay.communicate(timeout=30)[1].strip().splitlines()[-1]
    return view, sent_in, shown_in, report


def ceiling_run(lines, work):
    data = b"".join(l + b"\n" for l in lines)
    console = Console(work, len(STARTED) + sum(len(l) + 2 for l in lines))
    start = time.monotonic()
    subprocess.run([ZELSEND, "--crlf", "--utf8"], input=data, check=True)
    view = console.shown()
    return view, time.monotonic() - start


def main():
    rate = int(sys.argv[1]) if len(sys.argv) > 1 else 20000
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    count = rate * seconds
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    wine = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    print("machine: %s, %d cores, %s, Python %s" % (model, os.cpu_count(), wine, platform.python_version()))
    print("load average before: %s" % load())
    lines = messages(count)
    with tempfile.TemporaryDirectory() as work:
        os.mkdir(os.path.join(work, "relay"))
        os.mkdir(os.path.join(work, "ceiling"))
        view, sent_in, relay_shown, report = relay_run(lines, rate, os.path.join(work, "relay"))
        missing, ordered = count_missing(view, lines)
        print("relay: %d messages of %d bytes sent in %.2f s (%.0f/s asked %d/s); all shown %.2f s after the first"
              % (count, SIZE, sent_in, count / sent_in, rate, relay_shown))
        print("relay: shown %d, missing %d, in order: %s" % (count - missing, missing, ordered))
        print("relay: %s" % report)
        print("load average between: %s" % load())
        view, ceiling_shown = ceiling_run(lines, os.path.join(work, "ceiling"))
        ceiling_missing, _ = count_missing(view, lines)
        print("ceiling: the same %d lines straight from zelsend: all shown in %.2f s (%.0f lines/s), missing %d"
              % (count, ceiling_shown, count / ceiling_shown, ceiling_missing))
    print("ratio: asked rate / the console's own rate = %.2f; relay time to all shown / ceiling's = %.2f"
          % (rate / (count / ceiling_shown), relay_shown / ceiling_shown))
    print("load average after: %s" % load())
    return 0 if missing == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
