#!/usr/bin/env python3
"""How long a sender's end takes, and what the view then accounts for: zelsend's relay stopped
by SIGINT under load, and zel::LogClient closed with a full queue (the contract table's C++
driver), each against a console stood in for by a receiver that reads at a given rate, one that
has stopped reading, and none at all.

    python3 bench/clients/sender_end_bench.py ZELSEND CONTRACT_DRIVER [LINES=150000]

Prints, for each: the seconds from the stop (SIGINT, or the close command) until the sender
ended; lines shown, lines counted by dropped-lines lines, the count of the last line, and
whether they add up to the lines logged.
"""

import os
import re
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "clients", "python"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "testkit"))
from frame_receiver import Receiver  # noqa: E402
import zeltest  # noqa: E402

# Bytes a second: about the console's 15,000 to 18,000 lines of 100 bytes, a tenth of that (a
# console busy with its view), a console that reads nothing, and none.
CONSOLES = [("reads 1.6 MB/s", 1600000), ("reads 160 KB/s", 160000), ("reads nothing", 0), ("absent", None)]


def console(kind):
    port = zeltest.free_port()
    if kind is None:
        return port, None
    return port, Receiver(port, rate=kind) if kind else Receiver(port, accept=False)


def tally(receiver, total):
    if receiver is None:
        return "nothing shown"
    time.sleep(0.5)
    until = time.monotonic() + 60
    while receiver.rate and not receiver.ended and time.monotonic() < until:
        time.sleep(0.1)  # what was on its way when the sender ended
    texts = receiver.texts()
    shown = sum(t.startswith("line ") for t in texts)
    dropped = sum(int(m.group(1)) for m in (re.search(r": (\d+) lines? dropped", t) for t in texts) if m)
    last = re.search(r": (\d+) lines? not delivered", texts[-1]) if texts else None
    given_up = int(last.group(1)) if last else 0
    return "shown %d + dropped %d + given up %d = %d of %d%s" % (
        shown, dropped, given_up, shown + dropped + given_up, total, "" if last else " (no last line)")


def relay(zelsend, rate, total):
    port, receiver = console(rate)
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        tcp = s.getsockname()[1]
    proc = subprocess.Popen([zelsend, "--port", str(port), "--syslog-tcp", "127.0.0.1:%d" % tcp],
                            stderr=subprocess.PIPE, text=True)
    zeltest.wait_until(lambda: zeltest.listening(tcp), "the relay")
    with socket.create_connection(("127.0.0.1", tcp)) as sender:
        sender.sendall(b"".join(b"line %06d%s\n" % (n, b"x" * 88) for n in range(total)))
    time.sleep(1)
    start = time.monotonic()
    proc.send_signal(signal.SIGINT)
    proc.wait(60)
    took = time.monotonic() - start
    summary = [l for l in proc.stderr.read().splitlines() if "relay stopped" in l]
    result = tally(receiver, total)
    if receiver:
        receiver.stop()
    return took, result, summary[0].split(": ", 2)[2].split(". ")[0] if summary else "no summary"


def client(driver, rate, total):
    port, receiver = console(rate)
    proc = subprocess.Popen([driver, "127.0.0.1", str(port), str(8 << 20), "5000", "100", "2000"],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    proc.stdin.write("lines 0 %d 88\n" % total)
    proc.stdin.flush()
    proc.stdout.readline()
    start = time.monotonic()
    proc.stdin.write("close\n")
    proc.stdin.flush()
    proc.stdout.readline()
    took = time.monotonic() - start
    proc.stdin.close()
    proc.wait(60)
    result = tally(receiver, total)
    if receiver:
        receiver.stop()
    return took, result, proc.stderr.read().strip().replace("\n", " / ")


def main():
    zelsend, driver = sys.argv[1:3]
    total = int(sys.argv[3]) if len(sys.argv) > 3 else 150000
    print("load average before: %s" % open("/proc/loadavg").read().split(" ")[:3])
    for name, run in (("zelsend --syslog-tcp, SIGINT", lambda r: relay(zelsend, r, total)),
                      ("zel::LogClient close", lambda r: client(driver, r, total))):
        for label, rate in CONSOLES:
            took, result, said = run(rate)
            print("%s, console %s: ended %.2f s after the stop; %s\n    stderr: %s" % (name, label, took, result, said))


if __name__ == "__main__":
    main()
