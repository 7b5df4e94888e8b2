"""zelsend's syslog relay under the contract table (test_contract.py), as the rows marked for it
drive it: it relays what arrives on a TCP port of its own to the receiver, through zel::LogClient.

Usage: zelsend_driver.py HOST PORT QUEUE_BYTES CLOSE_WAIT_MS RETRY_START_MS RETRY_MAX_MS, with
ZEL_CONTRACT_ZELSEND naming zelsend. The queue and back-off are zelsend's own; CLOSE_WAIT_MS is
its --stop-wait. Commands (one answer each):

    lines FROM COUNT [X]  "line 000007" and X times "x", one syslog line each, over TCP
    close              ends the TCP sender, lets the relay read it, then one SIGINT: "closed"
    interrupt-twice    SIGINT, and another a moment later: "exited CODE"
zelsend's stderr goes to this driver's stderr.
"""

import os
import signal
import socket
import subprocess
import sys
import time


def main():
    host, port, _queue, close_ms = sys.argv[1:5]
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        tcp = s.getsockname()[1]
    relay = subprocess.Popen([os.environ["ZEL_CONTRACT_ZELSEND"], "--host", host, "--port", port, "--syslog-tcp",
                              "127.0.0.1:%d" % tcp, "--stop-wait", close_ms], stderr=sys.stderr)
    until = time.monotonic() + 30
    while True:
        try:
            sender = socket.create_connection(("127.0.0.1", tcp))
            break
        except OSError:
            assert time.monotonic() < until, "the relay listens"
            time.sleep(0.05)

    def answer(text):
        sys.stdout.write(text + "\n")
        sys.stdout.flush()

    for line in sys.stdin:
        command, *args = line.split()
        if command == "lines":
            first, count, filler = (list(map(int, args)) + [0])[:3]
            sender.sendall(b"".join(b"line %06d%s\n" % (n, b"x" * filler) for n in range(first, first + count)))
            answer("ok")
        elif command == "close":
            sender.close()
            time.sleep(1.0)  # the relay reads far faster than the console: only its queue waits
            relay.send_signal(signal.SIGINT)
            relay.wait(30)
            answer("closed")
        elif command == "interrupt-twice":
            relay.send_signal(signal.SIGINT)
            time.sleep(0.2)
            relay.send_signal(signal.SIGINT)
            answer("exited %d" % relay.wait(30))
        else:
            sys.exit("unknown command: " + line)
    if relay.poll() is None:
        relay.send_signal(signal.SIGINT)
        relay.wait(30)


if __name__ == "__main__":
    main()
