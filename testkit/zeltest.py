"""What the Python tests and benches share: free loopback ports, a listener, waits and paced sending.

Import it after putting this folder on sys.path:
    sys.path.insert(0, os.path.join(ROOT, "testkit"))
"""
import logging
import socket
import threading
import time


def free_port(kind=socket.SOCK_STREAM):
    """A loopback port that nothing holds now: found by binding once, then closed again."""
    s = socket.socket(socket.AF_INET, kind)
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def loopback_listener(backlog=4):
    """A TCP socket listening on a loopback port of the system's choosing, and that port: the
    listener that stands in for the console."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(backlog)
    return server, server.getsockname()[1]


class FrameCounter:
    """A listener that stands in for the console and only counts the frames it reads (4-byte
    little-endian length, then the text), on a thread of its own. Frames that start with "["
    (the senders' own notices: lines dropped, datagrams lost) are kept as well."""

    def __init__(self):
        self.server, self.port = loopback_listener()
        self.frames = 0
        self.last = 0.0  # time.monotonic() of the last frame read
        self.notices = []
        self._prefixes = {}
        self._lock = threading.Lock()
        threading.Thread(target=self._run, daemon=True).start()

    def messages(self, prefix):
        """How many frames began with `prefix` (bytes)."""
        with self._lock:
            return self._prefixes.get(prefix, 0)

    def _run(self):
        while True:
            conn, _ = self.server.accept()
            data = b""
            while True:
                chunk = conn.recv(1 << 20)
                if not chunk:
                    break
                data += chunk
                at = 0
                with self._lock:
                    while len(data) - at >= 4:
                        n = int.from_bytes(data[at:at + 4], "little")
                        if len(data) - at < 4 + n:
                            break
                        frame = data[at + 4:at + 4 + n]
                        at += 4 + n
                        self.frames += 1
                        if frame.startswith(b"["):
                            self.notices.append(frame.decode("utf-8", errors="replace"))
                        else:
                            head = frame[:frame.find(b" ") + 1]
                            self._prefixes[head] = self._prefixes.get(head, 0) + 1
                data = data[at:]
                self.last = time.monotonic()


def udp_socket_state(port):
    """The UDP socket bound to `port` in this network namespace, as /proc/net/udp tells it:
    (bytes waiting in its receive queue, datagrams the kernel dropped on it), or None."""
    for line in open("/proc/net/udp").read().splitlines()[1:]:
        fields = line.split()
        if int(fields[1].split(":")[1], 16) == port:
            return int(fields[4].split(":")[1], 16), int(fields[-1])
    return None


def wait_until(check, what, limit=60):
    """Checks until `check()` holds; fails the test, naming `what`, once `limit` seconds pass."""
    until = time.monotonic() + limit
    while not check():
        assert time.monotonic() < until, "timed out waiting for " + what
        time.sleep(0.05)


def session_view(driver, done, out, length):
    """Tells a console session (testkit/console_session.cpp) the length its view must reach,
    waits for the session to end, and returns the view it wrote out."""
    with open(done, "w") as f:
        f.write(str(length))
    assert driver.wait(timeout=300) == 0
    with open(out, "rb") as f:
        return f.read().decode("utf-8")


def listening(port):
    """True when something accepts TCP connections on the loopback port."""
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def send_paced(sender, lines, target, rate):
    """Sends each line as a datagram to `target`, `rate` a second; the seconds it took."""
    start = time.monotonic()
    for i, line in enumerate(lines):
        due = start + i / rate
        now = time.monotonic()
        if due - now > 0.001:
            time.sleep(due - now)
        sender.sendto(line, target)
    return time.monotonic() - start


def logger_with(handler, name, level=logging.INFO, form="%(name)s %(levelname)s %(message)s"):
    """The logger `name` writing only to `handler`, from `level` up, in `form` (None: the handler's own)."""
    if form:
        handler.setFormatter(logging.Formatter(form))
    log = logging.getLogger(name)
    log.handlers[:] = [handler]
    log.propagate = False
    log.setLevel(level)
    return log
