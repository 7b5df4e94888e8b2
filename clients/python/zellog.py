"""Send Python's logging records to ZelLogConsole (TCP port 11925).

Three lines in any program::

    import logging, zellog
    logging.getLogger().addHandler(zellog.ZelLogHandler("127.0.0.1", 11925))
    logging.getLogger().warning("订单服务已启动")

Each record goes out as one frame: a 4-byte little-endian length and the UTF-8 text of the
formatted record, ended with CR LF (the console adds no line breaks of its own).

Logging never waits on the network. ``emit`` only formats the record and puts it in a bounded
queue (``queue_bytes``, 8 MiB by default); a thread of the handler's own connects, sends in
batches and reconnects with back-off when the console is not there (``retryStart``,
``retryFactor``, ``retryMax``), so the console may start after the program, or restart. When
the queue is full the oldest records go, and their count follows as a line of its own.
``flush()`` and ``close()`` (both of which ``logging.shutdown`` calls at interpreter exit) each
give what is queued up to ``timeout`` seconds (2 by default) to go out, while the console takes
it; when it cannot be reached they stop after one more try to connect. ``close()`` then reports
the records that never went out once on stderr, with the console's host and port (as
``logging`` reports its own errors: not when ``logging.raiseExceptions`` is False).
A forked process gets a thread and connection of its own. One that ends with ``os._exit``, as
a multiprocessing worker does, skips ``logging.shutdown``: call ``logging.shutdown()`` at the
end of its work, or its last records may not go out.

From a shell script, each argument is one line::

    python3 zellog.py "build started"
    python3 zellog.py --host logpc --port 11925 "first line" "second line"

Python 3.8 or later, standard library only.
"""

import argparse
import collections
import itertools
import logging
import os
import socket
import struct
import sys
import threading
import time
import weakref

DEFAULT_HOST = "127.0.0.1"
DEFAULT_PORT = 11925
# The console closes the connection on any larger frame.
MAX_PAYLOAD = 16 * 1024 * 1024


def frame(text):
    """The bytes of one frame holding ``text``, which is sent as it is (no line end added)."""
    # A lone surrogate (from a file name, say) cannot be UTF-8; the console would show nothing.
    return b"".join(frame_parts(text.encode("utf-8", "replace")))


_LENGTH = struct.Struct("<i")


def frame_parts(payload):
    """The length and the payload of one frame, as two blocks of bytes.

    A payload over the console's limit is cut at a character boundary and says so: a frame
    the console refuses would take the whole connection with it.
    """
    if len(payload) > MAX_PAYLOAD:
        marker = (" [cut: %d bytes in all]\r\n" % len(payload)).encode("ascii")
        keep = MAX_PAYLOAD - len(marker)
        while keep > 0 and payload[keep] & 0xC0 == 0x80:
            keep -= 1
        payload = payload[:keep] + marker
    return _LENGTH.pack(len(payload)), payload


def records(n):
    return "1 record" if n == 1 else "%d records" % n


def frame_start(data, offset):
    """Where the frame that holds byte ``offset`` of ``data`` (whole frames) begins."""
    at = 0
    while True:
        end = at + 4 + _LENGTH.unpack_from(data, at)[0]
        if end > offset:
            return at
        at = end


def records_from(data, offset, counted):
    """How many records the frames of ``data`` from ``offset`` on hold; a leading count line
    is not one."""
    count = 0
    at = 0
    while at < len(data):
        if at >= offset and not (counted and at == 0):
            count += 1
        at += 4 + _LENGTH.unpack_from(data, at)[0]
    return count


def as_lines(text):
    """The text with every line break as CR LF, the only break the console's view shows."""
    if "\n" not in text:
        return text + "\r\n"
    return text.replace("\r\n", "\n").replace("\n", "\r\n") + "\r\n"


def peer_gone(sock):
    """True when the console has closed its end. It never sends anything, so anything to read
    means the end; bytes written into a closed connection would be lost without a word."""
    # A look that does not wait; not select, which fails on a descriptor past FD_SETSIZE in a
    # program that holds many files.
    timeout = sock.gettimeout()
    sock.settimeout(0.0)
    try:
        return sock.recv(1, socket.MSG_PEEK) == b""
    except (BlockingIOError, InterruptedError):
        return False
    except OSError:
        return True
    finally:
        sock.settimeout(timeout)


# Every handler, so that a forked process can give each one a sender of its own.
_handlers = weakref.WeakSet()


def _after_fork_in_child():
    for handler in list(_handlers):
        handler._start_after_fork()


if hasattr(os, "register_at_fork"):
    os.register_at_fork(after_in_child=_after_fork_in_child)


class ZelLogHandler(logging.Handler):
    """A logging handler that sends each formatted record to the console as one line, from a
    thread of its own."""

    retryStart = 0.1
    retryFactor = 2.0
    retryMax = 2.0

    def __init__(self, host=DEFAULT_HOST, port=DEFAULT_PORT, timeout=2.0, queue_bytes=8 * 1024 * 1024):
        super().__init__()
        self.host = host
        self.port = port
        self.timeout = timeout
        self.queue_bytes = queue_bytes
        # Records that never went out: dropped from a full queue, or left when close() gave up.
        self._closing = False
        self._deadline = None
        self._closed = False
        self._start()
        _handlers.add(self)

    def _start(self):
        self.dropped = 0
        self._queue = collections.deque()  # UTF-8 payloads, oldest first
        self._queued = 0  # their bytes, lengths included
        self._counted = 0  # of the records dropped, those whose count has been sent
        self._batch_records = 0  # in the batch being sent
        self._queue_lock = threading.Lock()
        # The sender's state. Not the handler's own lock: logging.shutdown holds that while it
        # flushes and closes, and the sender must go on meanwhile.
        self._cond = threading.Condition(threading.Lock())
        self._idle = False  # waiting for records: only then does emit wake it
        self._sending = False  # a batch is out of the queue but not yet all sent
        self._failures = 0  # connects that failed: a flush need not wait out an absent console
        self._hurry = False  # a flush waits: connect now rather than after the back-off
        self._thread = threading.Thread(target=self._run, name="zellog", daemon=True)
        self._thread.start()

    def _start_after_fork(self):
        """A forked process (a multiprocessing worker, say) has the handler but not its thread:
        it gets a queue, thread and connection of its own. What the parent had queued stays
        the parent's to send."""
        if not self._closing:
            self._start()

    def emit(self, record):
        # The caller's whole cost: the record's text into the queue. Framing is the sender's.
        try:
            text = self.format(record)
            payload = (as_lines(text) if "\n" in text else text + "\r\n").encode("utf-8", "replace")
        except Exception:
            self.handleError(record)
            return
        with self._queue_lock:
            if self._closed:
                self.dropped += 1
                return
            queue = self._queue
            queue.append(payload)
            self._queued += 4 + len(payload)
            # The newest record always stays, even when it alone is larger than the queue.
            while self._queued > self.queue_bytes and len(queue) > 1:
                self._queued -= 4 + len(queue.popleft())
                self.dropped += 1
        if self._idle:
            with self._cond:
                self._cond.notify()

    def flush(self, timeout=None):
        """Waits up to ``timeout`` seconds (default: the handler's) until every queued record
        has been handed to the connection; False at the limit, or as soon as an attempt to
        connect fails."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        with self._cond:
            failures = self._failures
            self._hurry = True
            self._cond.notify_all()
            while (self._queue or self._sending) and self._failures == failures and self._thread.is_alive():
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self._cond.wait(left)
            return not self._queue and not self._sending

    def close(self):
        """Gives what is queued up to ``timeout`` seconds to go out, stops the sender, and
        reports on stderr, once, the records that never went out."""
        with self._cond:
            if self._closing:
                return
            self._closing = True
            self._deadline = time.monotonic() + self.timeout
            self._cond.notify_all()
        self._thread.join(self.timeout + 1.0)
        with self._queue_lock:
            self._closed = True
            # A sender still held up (by a host name that does not resolve) leaves all it had.
            self.dropped += len(self._queue) + (self._batch_records if self._thread.is_alive() else 0)
            self._queue.clear()
            lost = self.dropped
        if lost and logging.raiseExceptions and sys.stderr:
            try:
                sys.stderr.write("zellog: %s not delivered to %s:%d\n" % (records(lost), self.host, self.port))
                sys.stderr.flush()
            except (OSError, ValueError):
                pass
        super().close()

    def _run(self):
        sock = None
        retry = self.retryStart
        try:
            while True:
                with self._cond:
                    self._sending = False
                    self._cond.notify_all()
                    while not self._queue and not self._closing:
                        self._idle = True
                        self._cond.wait()
                    self._idle = False
                    if not self._queue:
                        return  # closing, and all sent
                data, counted = self._take_batch()
                sock, retry, unsent = self._send_batch(sock, data, retry)
                if unsent is not None:
                    with self._queue_lock:
                        self.dropped += records_from(data, unsent, counted)
                    return
                self._batch_records = 0
        finally:
            if sock is not None:
                sock.close()
            with self._cond:
                self._sending = False
                self._cond.notify_all()

    def _take_batch(self):
        """Everything queued, as frames led by the count of records dropped since the last
        batch; and whether that count leads."""
        with self._queue_lock:
            self._sending = True  # before the queue empties, so that a flush sees one or the other
            batch, self._queue = self._queue, collections.deque()
            self._queued = 0
            count, self._counted = self.dropped - self._counted, self.dropped
            self._batch_records = len(batch)
        lengths = list(map(len, batch))
        if lengths and max(lengths) > MAX_PAYLOAD:
            frames = (b"".join(frame_parts(payload)) for payload in batch)
        else:  # the usual case, in one pass that stays in C
            frames = itertools.chain.from_iterable(zip(map(_LENGTH.pack, lengths), batch))
        notice = frame("[zellog: %s dropped, the queue was full]\r\n" % records(count)) if count else b""
        return notice + b"".join(frames), count > 0

    def _send_batch(self, sock, data, retry):
        """Sends the batch whole, reconnecting as often as needed; a frame cut off by a failure
        is sent again from its start, since the console drops the part it had. Gives up only
        when closing; returns the socket, the back-off, and where the frames not sent begin
        (None when all went)."""
        view = memoryview(data)
        sent = 0
        while sent < len(data):
            if sock is not None and peer_gone(sock):
                sock.close()
                sock, sent = None, frame_start(data, sent)
            if sock is None:
                sock = self._connect()
                if sock is None:
                    if self._closing:
                        return None, retry, frame_start(data, sent)
                    retry = self._back_off(retry)
                    continue
                retry = self.retryStart
            try:
                sent += sock.send(view[sent:sent + (1 << 20)])
            except socket.timeout:
                # A console that reads slowly is waited for, up to close()'s limit.
                if self._closing and time.monotonic() > self._deadline:
                    return sock, retry, frame_start(data, sent)
            except OSError:
                sock.close()
                sock, sent = None, frame_start(data, sent)
        return sock, retry, None

    def _connect(self):
        limit = self.timeout
        if self._closing:
            limit = min(limit, max(0.0, self._deadline - time.monotonic()))
        try:
            sock = socket.create_connection((self.host, self.port), timeout=max(limit, 0.01))
            # Lines go out as they come: the console shows each as soon as it arrives.
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            # Sends wake now and then, so that close() can keep to its limit.
            sock.settimeout(0.1)
            return sock
        except OSError:
            with self._cond:
                self._failures += 1
                self._cond.notify_all()
            return None

    def _back_off(self, retry):
        with self._cond:
            self._cond.wait_for(lambda: self._closing or self._hurry, retry)
            self._hurry = False
        return min(retry * self.retryFactor, self.retryMax)

def main(argv=None):
    parser = argparse.ArgumentParser(description="Send lines of text to ZelLogConsole.")
    parser.add_argument("--host", default=DEFAULT_HOST)
    parser.add_argument("--port", type=int, default=DEFAULT_PORT)
    parser.add_argument("--timeout", type=float, default=5.0)
    parser.add_argument("text", nargs="+", help="each argument is sent as one line")
    args = parser.parse_args(argv)
    try:
        with socket.create_connection((args.host, args.port), timeout=args.timeout) as sock:
            sock.sendall(b"".join(frame(as_lines(t)) for t in args.text))
    except OSError as error:
        print("zellog: cannot send to %s:%d: %s" % (args.host, args.port, error), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
