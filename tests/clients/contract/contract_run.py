"""The contract table's harness: one row's driver (a client's, run as its own program and spoken
to on stdin and stdout) and the loopback receiver that stands in for the console."""

import os
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "python"))
from frame_receiver import Receiver  # noqa: E402

LONG = 60.0  # only keeps a broken client from hanging the run
STILL = 10.0  # a Windows driver whose threads have not run for this long has frozen
CLOSE_WAIT_MS = 1000  # the contract's wait at close


def where(host, port):
    name = host[1:-1] if host.startswith("[") else host
    return "%s:%d" % ("[%s]" % name if ":" in name else name, port)


def free_port(host):
    with socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


def driver(client):
    if client == "python":
        return [sys.executable, os.path.join(HERE, "driver.py")]
    if client == "zelsend":
        return [sys.executable, os.path.join(HERE, "zelsend_driver.py")]
    if client == "cpp":  # the Windows build's through Wine (ZEL_CONTRACT_RUN)
        return [p for p in (os.environ.get("ZEL_CONTRACT_RUN"), os.environ["ZEL_CONTRACT_CPP"]) if p]
    return ["mono", "--debug", os.environ["ZEL_CONTRACT_DOTNET"]]


class Frozen(AssertionError):
    """The driver neither answers nor ends. Under Wine a program now and then stops dead, each of
    its threads waiting for an answer from Wine's server that never comes (docs/test_run.md)."""


class Run:
    """One row against one client: the driver, its answers and stderr, and the receiver."""

    def __init__(self, client, row):
        self.client, self.row = client, row
        host = row.get("host", "127.0.0.1")
        self.listen_on = row.get("listen_on", "127.0.0.1")
        self.port = free_port(self.listen_on)
        self.where = where(host, self.port)
        self.receiver, self.earlier, self.dropped = None, [], 0
        fast = row.get("fast", True)
        args = [host, self.port, row.get("queue", 8 << 20), row.get("close_ms", CLOSE_WAIT_MS),
                10 if fast else 100, 50 if fast else 2000]
        self.proc = subprocess.Popen(driver(client) + [str(a) for a in args], stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, encoding="utf-8")
        self._answers, self._errors, self._streams_ended = [], [], 0
        self._arrived = threading.Condition()
        for stream, into in ((self.proc.stdout, self._answers), (self.proc.stderr, self._errors)):
            threading.Thread(target=self._read, args=(stream, into), daemon=True).start()
        self._taken, self._sent_at, self.elapsed, self._last = 0, None, None, None

    def _read(self, stream, into):
        for line in stream:
            with self._arrived:
                into.append(line.rstrip("\n"))
                self._arrived.notify_all()
        with self._arrived:
            self._streams_ended += 1
            self._arrived.notify_all()

    def _await(self, done, what):
        """Waits, with the lock held, until done(); Frozen after LONG, or, for the Windows driver,
        once none of its threads has run for STILL seconds (Linux counts each thread's switches)."""
        start = still_since = time.monotonic()
        ran = None
        while not done():
            now = time.monotonic()
            if now - start >= LONG:
                raise Frozen("%s, within %d s" % (what(), LONG))
            switches = self._switches() if self.client == "cpp" else None
            if switches is None or switches != ran:
                ran, still_since = switches, now
            elif now - still_since >= STILL:
                raise Frozen("%s: none of its threads ran for %d s" % (what(), STILL))
            self._arrived.wait(1.0)

    def _switches(self):
        total = 0
        try:
            for task in os.listdir("/proc/%d/task" % self.proc.pid):
                with open("/proc/%d/task/%s/status" % (self.proc.pid, task)) as status:
                    total += sum(int(line.split()[1]) for line in status if "ctxt_switches" in line)
        except (OSError, ValueError):
            return None
        return total

    def answer(self):
        with self._arrived:
            self._await(lambda: len(self._answers) > self._taken,
                        lambda: "the driver answers %r; it answered %s, its stderr: %s" % (
                            self._last, self._answers[-3:], self._errors[-5:]))
            self._taken += 1
            self.elapsed = time.monotonic() - self._sent_at
            return self._answers[self._taken - 1]

    def command(self, text):
        self._sent_at, self._last = time.monotonic(), text
        self.proc.stdin.write(text + "\n")
        self.proc.stdin.flush()

    def step(self, step):
        word, _, arg = step.partition(" ")
        if word == "@listen":
            self.receiver = Receiver(self.port, self.listen_on)
        elif word == "@slow":
            self.receiver = Receiver(self.port, self.listen_on, rate=float(arg))
        elif word == "@hold":
            self.receiver = Receiver(self.port, self.listen_on, accept=False)
        elif word == "@release":
            self.receiver.accept_now()
        elif word == "@stop":
            self.receiver.stop()
            self.earlier += self.receiver.frames
            self.receiver = None
        elif word == "@drop":
            self.receiver.drop_connections()
        elif word == "@sleep":
            time.sleep(float(arg))
        elif word == "@wait":
            self.wait(int(arg))
        elif word == "@answer":
            assert self.answer() == arg
        elif word == "@within":
            assert self.elapsed <= float(arg), "%.1f s, over the contract's bound" % self.elapsed
        elif step == "exit" or step.endswith("&"):
            self.command(step.rstrip(" &"))
        else:
            text, _, expected = step.partition(" => ")
            self.command(text)
            got = self.answer()
            if got.startswith("dropped "):
                self.dropped = int(got.split()[1])
            assert not expected or got == expected, "%s: %s" % (text, got)

    def end(self):
        self.proc.stdin.close()
        with self._arrived:
            self._await(lambda: self._streams_ended == 2, lambda: "the driver ends; its stderr: %s" % self._errors)
        try:
            code = self.proc.wait(LONG)
        except subprocess.TimeoutExpired:
            raise Frozen("the driver ends within %d s of closing its output" % LONG)
        assert code == 0, self.stderr

    @property
    def stderr(self):
        with self._arrived:
            return list(self._errors)

    @property
    def frames(self):
        return self.earlier + (list(self.receiver.frames) if self.receiver else [])

    def texts(self):
        return [f.decode("utf-8") for f in self.frames]

    def wait(self, count):
        """Waits for `count` frames in all, then a moment for any beyond them to show."""
        assert count <= len(self.earlier) or self.receiver.wait_for(count - len(self.earlier), LONG), \
            "%d frames arrive" % count
        time.sleep(0.2)
