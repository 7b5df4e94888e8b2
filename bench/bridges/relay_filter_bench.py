#!/usr/bin/env python3
"""What --include/--exclude cost the syslog relay: its rate with and without filters, in one run.

A listener here stands in for the console and only counts frames, so the relay itself is what is
measured. For each filter set, in turns (RUNS rounds, the median shown):
  rate: COUNT octet-counted messages of 90 bytes sent over TCP at once; messages/s from the first
        byte sent to the last frame taken (every filter set keeps every message, so all arrive);
  cpu:  20,000 UDP messages/s for SECONDS, paced; the relay process's CPU seconds (user + system)
        per 100,000 messages.
The filter sets: none; plain words (searched as text); regular expressions (std::regex).

    scripts/isolated.sh python3 bench/bridges/relay_filter_bench.py [ZELSEND=build/host/tools/zelsend/zelsend]
        [COUNT=200000] [SECONDS=5] [RUNS=3]
A path ending in .exe runs under scripts/wine-run. Not a test: nothing passes or fails on a time.
"""

import os
import socket
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "testkit"))
from zeltest import FrameCounter, free_port, send_paced  # noqa: E402
SIZE = 90
FILTERS = {
    "none": [],
    "words": ["--include", "bench", "--exclude", "error|warn|fatal"],
    "regex": ["--include", r"bench \d{6} x", "--exclude", r"(error|warn)\s*:"],
}


def start_relay(zelsend, sink, args):
    command = [zelsend] if not zelsend.endswith(".exe") else [os.path.join(ROOT, "scripts/wine-run"), zelsend]
    relay = subprocess.Popen(command + ["--port", str(sink.port)] + args, stderr=subprocess.PIPE, text=True,
                             env=dict(os.environ, ZEL_WINE_DESKTOP="0"))
    line = relay.stderr.readline()
    if "syslog on" not in line:
        sys.exit("the relay did not start: " + line + relay.stderr.read())
    if "--syslog-udp" in args and "--syslog-tcp" in args:
        relay.stderr.readline()
    return relay


def cpu_seconds(pid):
    fields = open("/proc/%d/stat" % pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def relay_pid(relay, zelsend):
    """The process that runs zelsend: under Wine, the one whose command line names the exe."""
    if not zelsend.endswith(".exe"):
        return relay.pid
    name = os.path.basename(zelsend)
    for _ in range(100):
        for pid in os.listdir("/proc"):
            if pid.isdigit():
                try:
                    if name in open("/proc/%s/cmdline" % pid, "rb").read().decode(errors="replace"):
                        if int(pid) != relay.pid or True:
                            return int(pid)
                except OSError:
                    pass
        time.sleep(0.1)
    return relay.pid


def stop(relay):
    relay.send_signal(2)
    try:
        relay.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        relay.kill()


def rate_run(zelsend, filters, count):
    sink = FrameCounter()
    port = free_port(socket.SOCK_STREAM)
    relay = start_relay(zelsend, sink, ["--syslog-tcp", str(port)] + filters)
    body = b"".join(b"%d %s" % (SIZE, (b"<14>bench %06d x" % i).ljust(SIZE, b"x")) for i in range(count))
    with socket.create_connection(("127.0.0.1", port)) as s:
        start = time.monotonic()
        s.sendall(body)
        until = start + 300
        while sink.frames < count and time.monotonic() < until:
            time.sleep(0.01)
    took = sink.last - start
    stop(relay)
    return count / took if sink.frames >= count else 0.0


def cpu_run(zelsend, filters, seconds, rate=20000):
    sink = FrameCounter()
    port = free_port(socket.SOCK_DGRAM)
    relay = start_relay(zelsend, sink, ["--syslog-udp", str(port)] + filters)
    pid = relay_pid(relay, zelsend)
    sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    count = rate * seconds
    lines = [(b"<14>bench %06d x" % i).ljust(SIZE, b"x") for i in range(count)]
    before = cpu_seconds(pid)
    send_paced(sender, lines, ("127.0.0.1", port), rate)
    until = time.monotonic() + 60
    while sink.frames < count and time.monotonic() < until:
        time.sleep(0.05)
    used = cpu_seconds(pid) - before
    stop(relay)
    return used / count * 100000, sink.frames


def main():
    zelsend = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/host/tools/zelsend/zelsend")
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 200000
    seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    print("machine: %s, %d cores (nproc %s), load average before: %s" % (
        model, os.cpu_count(), subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip(),
        " ".join(open("/proc/loadavg").read().split()[:3])))
    print("zelsend: %s" % zelsend)
    rates = {name: [] for name in FILTERS}
    cpus = {name: [] for name in FILTERS}
    for _ in range(runs):
        for name, filters in FILTERS.items():
            rates[name].append(rate_run(zelsend, filters, count))
            cpu, shown = cpu_run(zelsend, filters, seconds)
            cpus[name].append(cpu)
            if shown < 20000 * seconds:
                print("  (%s: %d of %d datagrams arrived)" % (name, shown, 20000 * seconds))
    base_rate = statistics.median(rates["none"])
    base_cpu = statistics.median(cpus["none"])
    for name in FILTERS:
        r, c = statistics.median(rates[name]), statistics.median(cpus[name])
        print("%-6s %s  rate %8.0f msg/s (%.2f of unfiltered; runs %s)  cpu at 20,000/s %.3f s per 100k msgs "
              "(%.2f of unfiltered)" % (name, " ".join(FILTERS[name]) or "-", r, r / base_rate,
                                        " ".join("%.0f" % x for x in rates[name]), c, c / base_cpu))
    print("load average after: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))


if __name__ == "__main__":
    main()
