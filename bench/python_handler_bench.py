#!/usr/bin/env python3
"""ZelLogHandler's cost per record, next to logging.StreamHandler writing to a file.

Logs N records through a logger with each handler in turn, best of R rounds, and subtracts the
cost of the same logger with a handler that only formats (what every handler pays), so that
the handlers' own overhead is compared. The console is stood in for by a receiver in another
process that reads and discards.
    python3 bench/python_handler_bench.py [N=100000] [ROUNDS=5]
"""

import logging
import logging.handlers
import queue
import os
import platform
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clients", "python"))
import zellog  # noqa: E402

DRAIN = """
import socket, sys
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(4)
print(s.getsockname()[1], flush=True)
while True:
    c, _ = s.accept()
    while c.recv(1 << 20):
        pass
"""


class FormatOnly(logging.Handler):
    def emit(self, record):
        self.format(record)


def per_record(handler, n, rounds):
    handler.setFormatter(logging.Formatter("%(asctime)s %(levelname)s %(name)s: %(message)s"))
    logger = logging.getLogger("bench.%s" % type(handler).__name__)
    logger.handlers[:] = [handler]
    logger.propagate = False
    logger.setLevel(logging.INFO)
    best = float("inf")
    for _ in range(rounds):
        start = time.perf_counter()
        for i in range(n):
            logger.info("request %d served in %d ms by worker %s", i, i % 97, "w-07")
        best = min(best, (time.perf_counter() - start) / n)
    handler.close()
    return best


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 100000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    print("machine: %s, %d cores, Python %s; load average before: %s"
          % (model, os.cpu_count(), platform.python_version(), " ".join(open("/proc/loadavg").read().split()[:3])))
    drain = subprocess.Popen([sys.executable, "-c", DRAIN], stdout=subprocess.PIPE, text=True)
    try:
        port = int(drain.stdout.readline())
        with tempfile.TemporaryDirectory() as work:
            stream = open(os.path.join(work, "log.txt"), "w", encoding="utf-8")
            base = per_record(FormatOnly(), n, rounds)
            file_cost = per_record(logging.StreamHandler(stream), n, rounds)
            zel_cost = per_record(zellog.ZelLogHandler("127.0.0.1", port), n, rounds)
            # As the module's docstring advises for programs that must never wait: the caller
            # pays for the queue, the listener's thread for the network.
            q = queue.SimpleQueue()
            listener = logging.handlers.QueueListener(q, zellog.ZelLogHandler("127.0.0.1", port))
            listener.start()
            queued_cost = per_record(logging.handlers.QueueHandler(q), n, rounds)
            listener.stop()
            stream.close()
    finally:
        drain.kill()
    print("%d records, best of %d rounds, microseconds per record:" % (n, rounds))
    print("  logger + format only:           %6.2f" % (base * 1e6))
    print("  StreamHandler to a file:        %6.2f  (own overhead %.2f)" % (file_cost * 1e6, (file_cost - base) * 1e6))
    print("  ZelLogHandler to a receiver:    %6.2f  (own overhead %.2f)" % (zel_cost * 1e6, (zel_cost - base) * 1e6))
    print("  QueueHandler -> ZelLogHandler:  %6.2f  (own overhead %.2f, in the logging thread)"
          % (queued_cost * 1e6, (queued_cost - base) * 1e6))
    print("ZelLogHandler / StreamHandler, own overhead: %.2f; whole call: %.2f"
          % ((zel_cost - base) / (file_cost - base), zel_cost / file_cost))
    print("QueueHandler -> ZelLogHandler / StreamHandler, own overhead: %.2f; whole call: %.2f"
          % ((queued_cost - base) / (file_cost - base), queued_cost / file_cost))


if __name__ == "__main__":
    main()
