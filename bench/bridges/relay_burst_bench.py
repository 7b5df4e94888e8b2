#!/usr/bin/env python3
"""How fast the syslog relay takes UDP datagrams, and what becomes of a burst it cannot take.

For each rate asked (0: as fast as this sender goes), a fresh relay (`zelsend --syslog-udp`, or
zelsend.exe under Wine) relays COUNT datagrams of 90 bytes into a listener that stands in for the
console and only counts frames. It prints, per rate: the rate sent; the messages that arrived and
the time from the first send to the last frame (the relay's intake while it kept up); the
datagrams the kernel dropped at the relay's socket (/proc/net/udp) and its receive buffer as the
kernel holds it (ss); and the relay's own stop summary, whose counts must add up to what was sent.

    scripts/isolated.sh xvfb-run -a python3 bench/bridges/relay_burst_bench.py
        [ZELSEND=build/windows/tools/zelsend/zelsend.exe] [COUNT=100000] [RATES=5000,20000,40000,0]

A path ending in .exe runs under scripts/wine-run, on the display that xvfb-run gives: so that
wine-run runs Wine itself, which turns the bench's SIGINT into the Ctrl+C that stops the relay.
Not a test: nothing passes or fails on a time.
"""

import os
import re
import signal
import socket
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "testkit"))
from zeltest import FrameCounter, free_port, send_paced, udp_socket_state  # noqa: E402
SIZE = 90


def load():
    return " ".join(open("/proc/loadavg").read().split()[:3])


def receive_buffer(port):
    """The socket's receive buffer as the kernel holds it (ss's skmem rb), in bytes."""
    out = subprocess.run(["ss", "-uamnH", "sport = :%d" % port], capture_output=True, text=True).stdout
    found = re.search(r"\brb(\d+)", out)
    return int(found.group(1)) if found else None


def run(zelsend, count, rate):
    sink = FrameCounter()
    port = free_port(socket.SOCK_DGRAM)
    command = [zelsend] if not zelsend.endswith(".exe") else [os.path.join(ROOT, "scripts/wine-run"), zelsend]
    relay = subprocess.Popen(command + ["--port", str(sink.port), "--syslog-udp", str(port)],
                             stderr=subprocess.PIPE, text=True, env=dict(os.environ, ZEL_WINE_DESKTOP="0"))
    started = relay.stderr.readline().strip()
    if "syslog on" not in started:
        sys.exit("the relay did not start: " + started + relay.stderr.read())
    lines = [(b"<14>burst %06d " % i).ljust(SIZE, b"x") for i in range(count)]
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    start = time.monotonic()
    if rate:
        took = send_paced(sender, lines, ("127.0.0.1", port), rate)
    else:
        for line in lines:
            sender.sendto(line, ("127.0.0.1", port))
        took = time.monotonic() - start
    # All arrived, or nothing more for 3 s.
    seen, still = -1, time.monotonic()
    while sink.frames < count and time.monotonic() - still < 3:
        if sink.frames != seen:
            seen, still = sink.frames, time.monotonic()
        time.sleep(0.05)
    drops, buffer = (udp_socket_state(port) or (None, None))[1], receive_buffer(port)
    relay.send_signal(signal.SIGINT)
    try:
        said = relay.communicate(timeout=60)[1]
    except subprocess.TimeoutExpired:
        relay.kill()
        said = relay.communicate()[1] + "\n(it did not stop within 60 s of SIGINT)"
    summary = next((l for l in said.splitlines() if "syslog relay stopped" in l), said.strip())
    arrived = sink.messages(b"<14>burst ")
    print("rate asked %s: sent %d in %.2f s (%.0f/s)" % (rate or "unpaced", count, took, count / took))
    print("  arrived %d of %d (%.1f %%), the last %.2f s after the first send: %.0f/s taken" % (
        arrived, count, 100.0 * arrived / count, sink.last - start, arrived / max(sink.last - start, 1e-9)))
    print("  kernel: %s dropped at the socket, receive buffer %s KiB (%s)" % (
        drops, buffer // 1024 if buffer else "?", started))
    print("  relay: %s" % summary)
    for notice in sink.notices[:5]:
        print("  in the view: %s" % notice.strip())
    print("  load average: %s" % load())


def main():
    zelsend = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/windows/tools/zelsend/zelsend.exe")
    if zelsend.endswith(".exe") and not os.environ.get("DISPLAY"):
        sys.exit("run it under xvfb-run (see the top of this file): SIGINT must reach Wine itself")
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    rates = [int(r) for r in (sys.argv[3] if len(sys.argv) > 3 else "5000,20000,40000,0").split(",")]
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    rmem = open("/proc/sys/net/core/rmem_max").read().strip()
    print("machine: %s, %d cores, %s, net.core.rmem_max %s" % (
        model, os.cpu_count(), subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip(),
        rmem))
    print("zelsend: %s; load average before: %s" % (zelsend, load()))
    for rate in rates:
        run(zelsend, count, rate)


if __name__ == "__main__":
    main()
