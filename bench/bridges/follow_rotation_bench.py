#!/usr/bin/env python3
"""A Windows program that rotates its log under zelsend.exe --follow, under Wine: how many of its
renames fail, and how many of its lines never arrive.

log_rotator.exe (testkit) logs numbered lines and rotates as services do: it closes its log,
renames it to LOG.1 with MoveFileEx(MOVEFILE_REPLACE_EXISTING) and starts a new one, and never
retries. Each pattern runs once with zelsend.exe --follow --from-start sending to a receiver here
(frames counted, each line by its number), and the back-to-back pattern once more without
zelsend, as the baseline. Patterns, as log_rotator's ROUNDS and steps (wN: N lines, r: a
rotation, sN: a pause of N ms), the first three as fast as the writer goes:
  20 w1000 r            20,000 lines, rotated every 1,000;
  200 w50 r r           two rotations back to back after every 50 lines;
  300 w1 r              a line, then a rotation at once;
  50 s50 w100 s50 r r   100 lines, then two rotations back to back, 50 ms apart from the lines.
It prints the machine and its load, and for each run the rotations, the renames that failed, and
the lines written, arrived and missing (the first and last line missing). Run it with no other
program of the Wine prefix running: Wine's sockets belong to its server, and a server left from
another network namespace would take zelsend's connection there. Not a test: nothing here passes or fails.

    scripts/isolated.sh xvfb-run -a python3 bench/bridges/follow_rotation_bench.py [BUILD=build/windows]
"""

import os
import platform
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build/windows"))
WINE_RUN = os.path.join(ROOT, "scripts/wine-run")
ZELSEND = os.path.join(BUILD, "tools/zelsend/zelsend.exe")
ROTATOR = os.path.join(BUILD, "testkit/log_rotator.exe")
PATTERNS = [("20", ["w1000", "r"]), ("200", ["w50", "r", "r"]), ("300", ["w1", "r"]),
            ("50", ["s50", "w100", "s50", "r", "r"])]


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def load():
    return " ".join(open("/proc/loadavg").read().split()[:3])


class Receiver:
    """Takes zelsend's connection and collects the numbers of the log lines it sends."""

    def __init__(self):
        self.listener = socket.socket()
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(1)
        self.port = self.listener.getsockname()[1]
        self.numbers, self.last = set(), time.monotonic()
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        connection, _ = self.listener.accept()
        data = b""
        while True:
            chunk = connection.recv(1 << 16)
            if not chunk:
                return
            data += chunk
            while len(data) >= 4 and len(data) >= 4 + struct.unpack("<I", data[:4])[0]:
                size = struct.unpack("<I", data[:4])[0]
                text = data[4:4 + size].decode("utf-8", "replace")
                data = data[4 + size:]
                for line in text.split("\r\n"):  # a frame may carry several lines
                    if line.startswith("rotated log "):
                        self.numbers.add(int(line.split()[2]))
                self.last = time.monotonic()

    def wait_quiet(self, seconds=3.0):
        while time.monotonic() - self.last < seconds:
            time.sleep(0.2)


def run(rounds, steps, follow):
    work = tempfile.mkdtemp(prefix="zel-rotation-")
    log = os.path.join(work, "svc.log")
    open(log, "wb").close()
    zelsend = receiver = None
    if follow:
        receiver = Receiver()
        zelsend = subprocess.Popen([WINE_RUN, ZELSEND, "--port", str(receiver.port), "--follow", windows_path(log),
                                    "--from-start"])
        time.sleep(2)  # it has started and follows the file
    rotator = subprocess.run([WINE_RUN, ROTATOR, windows_path(log), "0", rounds] + steps,
                             capture_output=True, text=True)
    summary = rotator.stdout.strip().splitlines()[-1] if rotator.stdout.strip() else "(no output)"
    errors = sorted({line.split("failed: ")[1] for line in rotator.stdout.splitlines() if "failed: " in line})
    written = int(summary.split()[1]) if summary.startswith("lines ") else 0
    line = "%-20s %-8s %s" % (rounds + " " + " ".join(steps), "zelsend" if follow else "alone", summary)
    if errors:
        line += " (" + ", ".join(errors) + ")"
    if follow:
        receiver.wait_quiet()
        zelsend.kill()
        zelsend.wait()
        lost = sorted(set(range(written)) - receiver.numbers)
        line += "; arrived %d, missing %d" % (written - len(lost), len(lost))
        if lost:
            line += " (first %d, last %d)" % (lost[0], lost[-1])
    print(line, flush=True)
    shutil.rmtree(work, ignore_errors=True)


def main():
    print("host: %s, %d cores, %s; load average before: %s" % (platform.processor() or platform.machine(),
                                                              os.cpu_count(), subprocess.run(
                                                                  ["wine", "--version"], capture_output=True,
                                                                  text=True).stdout.strip(), load()), flush=True)
    os.environ["ZEL_WINE_DESKTOP"] = "0"
    for rounds, steps in PATTERNS:
        run(rounds, steps, True)
    run(*PATTERNS[1], False)
    print("load average after: %s" % load())


if __name__ == "__main__":
    main()
