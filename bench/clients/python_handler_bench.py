#!/usr/bin/env python3
"""ZelLogHandler's cost per record, next to logging.StreamHandler writing to a file.

Logs N records through a logger with each handler in turn, R rounds each (a fresh handler per
round), and prints the median per record. The console is stood in for by a receiver in another
process: one that reads as fast as it can, and one that reads 4 KiB every 4 ms, as a console
busy with its view does. A logger whose handler only formats gives what every handler pays,
so that the handlers' own overhead is compared too. The ceiling is StreamHandler's cost,
taken in the same run.
    python3 bench/clients/python_handler_bench.py [N=200000] [ROUNDS=5]
"""

import logging
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "clients", "python"))
import zellog  # noqa: E402

RECEIVER = """
import socket, sys, time
chunk, pause = int(sys.argv[1]), float(sys.argv[2])
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(4)
print(s.getsockname()[1], flush=True)
while True:
    c, _ = s.accept()
    while c.recv(chunk):
        if pause:
            time.sleep(pause)
"""


class FormatOnly(logging.Handler):
    def emit(self, record):
        self.format(record)


def one_round(handler, n):
    """Seconds per record through a logger with only `handler`, which is closed after: on the
    clock, and of the process's CPU (the caller's and the handler's threads; what a loaded
    machine's other jobs hardly change)."""
    handler.setFormatter(logging.Formatter("%(asctime)s %(levelname)s %(name)s: %(message)s"))
    logger = logging.getLogger("bench.%s.%d" % (type(handler).__name__, id(handler)))
    logger.handlers[:] = [handler]
    logger.propagate = False
    logger.setLevel(logging.INFO)
    start, cpu = time.perf_counter(), time.process_time()
    for i in range(n):
        logger.info("request %d served in %d ms by worker %s", i, i % 97, "w-07")
    cost = ((time.perf_counter() - start) / n, (time.process_time() - cpu) / n)
    handler.close()
    return cost


def start_receiver(chunk, pause):
    process = subprocess.Popen([sys.executable, "-c", RECEIVER, str(chunk), str(pause)], stdout=subprocess.PIPE,
                               text=True)
    return process, int(process.stdout.readline())


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 200000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    print("machine: %s, %d cores, Python %s; load average before: %s"
          % (model, os.cpu_count(), platform.python_version(), " ".join(open("/proc/loadavg").read().split()[:3])))
    logging.raiseExceptions = False  # the slow receiver's losses are counted below, not reported
    fast, fast_port = start_receiver(1 << 20, 0)
    slow, slow_port = start_receiver(4096, 0.004)
    # The handlers take turns within each round, so that a change in the machine's load falls
    # on all of them alike; each figure is the median of its rounds.
    kinds = ("base", "file", "fast", "slow")
    costs = {kind: [] for kind in kinds}
    dropped = {"fast": 0, "slow": 0}
    try:
        with tempfile.TemporaryDirectory() as work, open(os.path.join(work, "log.txt"), "w", encoding="utf-8") as f:
            for _ in range(rounds):
                handlers = {
                    "base": FormatOnly(),
                    "file": logging.StreamHandler(f),
                    "fast": zellog.ZelLogHandler("127.0.0.1", fast_port, 5.0),
                    "slow": zellog.ZelLogHandler("127.0.0.1", slow_port, 0.5),
                }
                for kind in kinds:
                    costs[kind].append(one_round(handlers[kind], n))
                for kind in dropped:
                    dropped[kind] += handlers[kind].dropped
    finally:
        fast.kill()
        slow.kill()
    print("load average after: %s" % " ".join(open("/proc/loadavg").read().split()[:3]))
    print("%d records, median of %d rounds, microseconds per record (own overhead: less the"
          " logger and format alone)" % (n, rounds))
    names = {"base": "logger + format only", "file": "StreamHandler to a file (ceiling)",
             "fast": "ZelLogHandler, fast receiver", "slow": "ZelLogHandler, slow receiver"}
    medians = {}
    for which, label in ((0, "on the clock"), (1, "process CPU")):
        medians[which] = {kind: statistics.median(c[which] for c in costs[kind]) for kind in kinds}
        m = medians[which]
        print(" %s:" % label)
        for kind in kinds:
            own = "" if kind == "base" else "  own overhead %6.2f" % ((m[kind] - m["base"]) * 1e6)
            print("  %-36s %7.2f%s" % (names[kind], m[kind] * 1e6, own))
    print("records dropped (not fitting the queue): fast receiver %d, slow receiver %d, of %d each"
          % (dropped["fast"], dropped["slow"], n * rounds))
    for which, label in ((0, "on the clock"), (1, "process CPU")):
        m = medians[which]
        for kind in ("fast", "slow"):
            print("ZelLogHandler / StreamHandler, %s, %s: whole call %.2f; own overhead %.2f (target <= 2)"
                  % (names[kind].split(", ")[1], label, m[kind] / m["file"],
                     (m[kind] - m["base"]) / (m["file"] - m["base"])))


if __name__ == "__main__":
    main()
