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
``close()`` (which ``logging.shutdown`` calls at interpreter exit) keeps handing records to
the console while it takes them, up to ``timeout`` seconds (5 by default) and no longer than a
second in which it takes nothing, reconnecting as needed; then the view's last line counts the
records it gave up, and stderr names every record that never went out, once, with the
console's host and port (as ``logging`` reports its own errors: not when
``logging.raiseExceptions`` is False). ``flush()`` waits up to a second, only while
connected, and reports nothing; ``flush(seconds)`` waits for the console
whatever it takes, and reports what is left at its limit. The host may
be a name, an IPv4 address or an IPv6 address, bare (``::1``) or bracketed (``[::1]``). This
handler keeps the contract that the C++ and .NET clients keep (docs/protocol.md).
A forked process gets a thread and connection of its own. One that ends with ``os._exit``, as
a multiprocessing worker does, skips ``logging.shutdown``: call ``logging.shutdown()`` at the
end of its work, or its last records may not go out.

From a shell script, each argument is one line::

    python3 zellog.py "build started"
    python3 zellog.py --host logpc --port 11925 "first line" "second line"

Python 3.8 or later, standard library only.
"""

import argparse
import bisect
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
# Each address of the host gets this long to take a connection.
CONNECT_LIMIT = 2.0
# At close: a console that takes nothing for this long is given up, and this long is what the
# last line and the console's confirmation get after the records.
STALL = 1.0
# What the system may hold on its side of the connection: the bytes whose fate is open when the
# console closes or the handler stops, so they are kept few.
SEND_BUFFER = 256 * 1024
# At most this much goes to the system each time it reports room, so that the buffer never fills
# up: the frame cut at a stop and the last line then fit at once, even while a slow console
# frees room only in large steps.
SEND_CHUNK = 64 * 1024


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


def lines(n):
    return "1 line" if n == 1 else "%d lines" % n


def lookup_name(host):
    """The host as the resolver takes it: an IPv6 address without its brackets."""
    return host[1:-1] if host.startswith("[") and host.endswith("]") else host


def where(host, port):
    """"host:port" as reports name it, an IPv6 address in brackets."""
    name = lookup_name(host)
    return "%s:%d" % ("[%s]" % name if ":" in name else name, port)


def dropped_line(n):
    """The line that stands for records dropped from a full queue, the same in every client but
    for the client's name."""
    return "[zellog: %s dropped, the queue was full]\r\n" % lines(n)


def undelivered_line(n):
    """The last line of a handler that stops with records it could not hand over: with the
    dropped-lines lines before it, it makes the view account for every record."""
    return "[zellog: %s not delivered, the program stopped logging before the console took them]\r\n" % lines(n)


RESET_LINE = "[zellog: the console closed the connection; lines written just before it may be missing]\r\n"


def frame_start(ends, offset):
    """Where the frame that holds byte ``offset`` begins, given where each frame ends."""
    k = bisect.bisect_right(ends, offset)
    return ends[k - 1] if k else 0


def as_lines(text):
    """The text with every line break as CR LF, the only break the console's view shows."""
    if "\n" not in text:
        return text + "\r\n"
    return text.replace("\r\n", "\n").replace("\n", "\r\n") + "\r\n"


OPEN, CLOSED, RESET = "open", "closed", "reset"


def peer_state(sock, wait=0.0):
    """How the connection stands. The console never sends anything, so anything to read is its
    end: a clean one (CLOSED: it had read all it was sent) or RESET (it closed with bytes unread,
    or failed); bytes written into a closed connection would be lost without a word."""
    # Not select, which fails on a descriptor past FD_SETSIZE in a program that holds many files.
    timeout = sock.gettimeout()
    sock.settimeout(wait)
    try:
        if sock.recv(1, socket.MSG_PEEK) != b"":
            return RESET
        # An end of stream after the console refused bytes sent once it had closed is a reset.
        return RESET if sock.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR) else CLOSED
    except (BlockingIOError, InterruptedError, socket.timeout):
        return OPEN
    except OSError:
        return RESET
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

    def __init__(self, host=DEFAULT_HOST, port=DEFAULT_PORT, timeout=5.0, queue_bytes=8 * 1024 * 1024):
        super().__init__()
        self.host = host
        self.port = port
        self.timeout = timeout  # the longest wait at close, and a flush's
        self.queue_bytes = queue_bytes
        self._closing = False
        self._deadline = None
        self._closed = False
        self._start()
        _handlers.add(self)

    def _start(self):
        self.dropped = 0  # records dropped from a full queue, or logged after close
        self._queue = collections.deque()  # UTF-8 payloads, oldest first
        self._queued = 0  # their bytes, lengths included
        self._uncounted = 0  # dropped since the last count line
        # Records are numbered as they come; those numbered below _reported_below that did not
        # go out have been reported on stderr already.
        self._next = 0
        self._reported_below = 0
        self._lost_unreported = 0  # dropped, numbered from _reported_below, not yet reported
        self._batch_first = 0  # the number of the first record of the batch in flight
        self._batch_records = 0  # in that batch, its count line aside
        self._batch_sent = 0  # of which wholly handed to the connection
        self._batch_dropped = 0  # the count its count line carries, until that line is out
        self._batch_counted = False  # the batch starts with a count line
        self._close_start = 0.0
        self._reset_unsaid = False  # the next connection starts with RESET_LINE
        self._resets_unreported = 0
        self._unconfirmed = False  # stopped before the console confirmed it read everything
        self._last_taken = 0.0  # when the console last took bytes
        self.left_at_stop = 0  # records still queued, or not wholly sent, when the sender stopped
        self._queue_lock = threading.Lock()
        # The sender's state. Not the handler's own lock: logging.shutdown holds that while it
        # flushes and closes, and the sender must go on meanwhile.
        self._cond = threading.Condition(threading.Lock())
        self._idle = False  # waiting for records: only then does emit wake it
        self._sending = False  # a batch is out of the queue but not yet all sent
        self._connected = False
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
            self._next += 1
            self._queued += 4 + len(payload)
            # The newest record always stays, even when it alone is larger than the queue.
            while self._queued > self.queue_bytes and len(queue) > 1:
                if self._next - len(queue) >= self._reported_below:
                    self._lost_unreported += 1
                self._queued -= 4 + len(queue.popleft())
                self.dropped += 1
                self._uncounted += 1
        if self._idle:
            with self._cond:
                self._cond.notify()

    def flush(self, timeout=None):
        """Waits until every queued record has been handed to the connection; False at the
        limit, after reporting on stderr the records not delivered that no report has named yet.

        With a ``timeout`` in seconds it waits up to that, reconnecting as needed. Without one,
        as logging calls it (often, and at exit just before ``close``), it waits up to a second
        and only while connected, and reports nothing: a console that is away or slow must not
        hold up every flush, and ``close`` names what never went out."""
        if timeout is None:
            return self._connected and self._wait_sent(min(self.timeout, STALL)) or \
                not self._queue and not self._sending
        if self._wait_sent(timeout):
            return True
        self._report()
        return False

    def _wait_sent(self, timeout):
        deadline = time.monotonic() + timeout
        with self._cond:
            while (self._queue or self._sending or self._uncounted) and self._thread.is_alive():
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self._cond.wait(left)
            return not self._queue and not self._sending and not self._uncounted

    def close(self):
        """Keeps handing records to the console while it takes them (up to ``timeout`` seconds),
        ends the view with a line counting those it gave up, stops the sender, and reports on
        stderr, once, the records that never went out."""
        with self._cond:
            if self._closing:
                return
            self._closing = True
            self._close_start = time.monotonic()
            self._deadline = self._close_start + self.timeout
            self._cond.notify_all()
        # Only a connect in progress may hold the sender past its limits.
        self._thread.join(self.timeout + 2 * STALL + 2 * CONNECT_LIMIT)
        with self._queue_lock:
            self._closed = True
        self._report()
        super().close()

    def _give_up_at(self):
        return min(self._deadline, max(self._last_taken, self._close_start) + STALL)

    def _give_up(self):
        """At close: the console has taken nothing for STALL, or the wait is over."""
        return self._closing and time.monotonic() >= self._give_up_at()

    def _report(self):
        """Tells stderr, once, how many records have not reached the console and where to:
        those dropped, still queued, or in a batch not yet sent, and not told of before."""
        with self._queue_lock:
            queued = min(len(self._queue), self._next - self._reported_below)
            batch_end = self._batch_first + self._batch_records
            unsent_from = max(self._batch_first + self._batch_sent, self._reported_below)
            lost = self._lost_unreported + queued + max(0, batch_end - unsent_from)
            self._reported_below = self._next
            self._lost_unreported = 0
            resets, self._resets_unreported = self._resets_unreported, 0
            unconfirmed, self._unconfirmed = self._unconfirmed, False
        at = where(self.host, self.port)
        said = ["zellog: %s not delivered to %s\n" % (lines(lost), at)] if lost else []
        if resets:
            said.append("zellog: %s closed the connection with lines unread; lines written just before may be "
                        "missing\n" % at)
        if unconfirmed:
            said.append("zellog: %s had not read the last lines when the client stopped; they may be missing\n" % at)
        # As logging reports its own errors: not when logging.raiseExceptions is False.
        if said and logging.raiseExceptions and sys.stderr:
            try:
                sys.stderr.write("".join(said))
                sys.stderr.flush()
            except (OSError, ValueError):
                pass

    def _run(self):
        sock = None
        retry = self.retryStart
        data, ends, at = b"", [], None
        try:
            while True:
                with self._cond:
                    self._sending = False
                    self._cond.notify_all()
                    # Idle before the look at the queue, so that a record queued after it wakes us.
                    self._idle = True
                    while not self._queue and not self._uncounted and not self._closing:
                        self._cond.wait()
                    self._idle = False
                    if not self._queue and not self._uncounted:
                        break  # closing, and everything is out
                data, ends, counted = self._take_batch()
                sock, retry, at = self._send_batch(sock, data, ends, counted, retry)
                if at is not None:
                    break
                with self._queue_lock:
                    self._batch_records = self._batch_sent = 0
            sock = self._finish(sock, data, ends, at)
        finally:
            if sock is not None:
                sock.close()
            self._connected = False
            with self._cond:
                self._sending = False
                self._cond.notify_all()

    def _take_batch(self):
        """Everything queued, as frames led by the count of records dropped since the last
        batch; where each frame ends; and whether that count leads."""
        with self._queue_lock:
            self._sending = True  # before the queue empties, so that a flush sees one or the other
            batch, self._queue = self._queue, collections.deque()
            self._queued = 0
            count, self._uncounted = self._uncounted, 0
            self._batch_first = self._next - len(batch)
            self._batch_records = len(batch)
            self._batch_sent = 0
            self._batch_dropped = count
            self._batch_counted = count > 0
        if count:
            batch.appendleft(dropped_line(count).encode("ascii"))
        lengths = list(map(len, batch))
        if lengths and max(lengths) > MAX_PAYLOAD:
            parts = [frame_parts(payload) for payload in batch]
            lengths = [len(p[1]) for p in parts]
            data = b"".join(b"".join(p) for p in parts)
        else:  # the usual case, in one pass that stays in C
            data = b"".join(itertools.chain.from_iterable(zip(map(_LENGTH.pack, lengths), batch)))
        return data, list(itertools.accumulate(4 + n for n in lengths)), count > 0

    def _send_batch(self, sock, data, ends, counted, retry):
        """Sends the batch whole, reconnecting with back-off as often as needed; a frame cut off
        by a failure is sent again from its start, since the console drops the part it had.
        Returns the socket, the back-off, and where it stopped when it gave up at close (None
        when all went)."""
        view = memoryview(data)
        sent = 0
        while sent < len(data):
            if sock is not None:
                state = peer_state(sock)
                if state != OPEN:
                    sock = self._disconnect(sock, state)
                    sent = frame_start(ends, sent)
            if sock is None:
                sock = self._connect()
                if sock is None:
                    if not self._back_off(retry):
                        return None, retry, sent
                    retry = min(retry * self.retryFactor, self.retryMax)
                    continue
            try:
                sent += sock.send(view[sent:sent + SEND_CHUNK])  # once the system reports room
                retry = self.retryStart
                self._last_taken = time.monotonic()
                self._count_sent(ends, sent, counted)
            except socket.timeout:
                pass  # a console that reads slowly is waited for, up to close's limits
            except OSError:
                sock = self._disconnect(sock, RESET)
                sent = frame_start(ends, sent)
            if sent < len(data) and self._give_up():
                return sock, retry, sent
        return sock, retry, None

    def _count_sent(self, ends, sent, counted):
        done = bisect.bisect_right(ends, sent)
        self._batch_sent = max(0, done - counted)
        if done:
            self._batch_dropped = 0  # the count line is out

    def _finish(self, sock, data, ends, at):
        """The end of the sender: a frame cut at the stop is completed, so that the line after
        it reads whole; the records given up are counted in one last line; then the console is
        asked, by the end of the sending side, to confirm it read everything by closing its own."""
        until = max(time.monotonic() + STALL, self._deadline)  # what is left of the wait, a second at least
        # Bytes are in doubt from here unless the console confirms, or a reset is told instead.
        in_doubt, resets = sock is not None, self._resets_unreported
        if sock is not None and at is not None and at != frame_start(ends, at):
            end = ends[bisect.bisect_right(ends, at)]
            if self._write_all(sock, data[at:end], until):
                self._count_sent(ends, end, self._batch_counted)
            else:
                sock = self._disconnect(sock, None)
        with self._queue_lock:
            self.left_at_stop = len(self._queue) + self._batch_records - self._batch_sent
            unsaid = self._uncounted + self._batch_dropped + self.left_at_stop
        if sock is not None and unsaid and not self._write_all(sock, frame(undelivered_line(unsaid)), until):
            sock = self._disconnect(sock, None)
        state = OPEN
        if sock is not None:
            try:
                sock.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            state = peer_state(sock, max(0.0, until - time.monotonic()))
            if state == RESET:
                sock = self._disconnect(sock, RESET)
        self._unconfirmed = in_doubt and state == OPEN and self._resets_unreported == resets
        return sock

    def _write_all(self, sock, data, until):
        """Writes a few bytes whole: the lines that must not be cut. False when the connection
        broke, at ``until``, or once the console has taken nothing for STALL."""
        view = memoryview(data)
        taken = time.monotonic()
        # Tried now and then without waiting for the system to report room: it reports room only
        # once a third of its buffer is free, which a slow console takes seconds to free, while a
        # few bytes fit much sooner.
        sock.settimeout(0.0)
        try:
            while view:
                try:
                    view = view[sock.send(view):]
                    taken = self._last_taken = time.monotonic()
                except (BlockingIOError, InterruptedError):
                    if time.monotonic() >= min(until, taken + STALL):
                        return False
                    time.sleep(0.05)
                except OSError:
                    self._disconnect(sock, RESET)
                    return False
            return True
        finally:
            if sock.fileno() != -1:  # not closed by a failure
                sock.settimeout(0.1)

    def _connect(self):
        limit = CONNECT_LIMIT
        if self._closing:
            limit = min(limit, max(0.0, self._deadline - time.monotonic()))
        try:
            sock = socket.create_connection((lookup_name(self.host), self.port), timeout=max(limit, 0.01))
            # Lines go out as they come: the console shows each as soon as it arrives.
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, SEND_BUFFER)
            # Sends wake now and then, so that close() can keep to its limit.
            sock.settimeout(0.1)
        except OSError:
            return None
        self._connected = True
        # A connection made after the console reset the last one says so first.
        if self._reset_unsaid:
            if not self._write_all(sock, frame(RESET_LINE), time.monotonic() + STALL):
                return self._disconnect(sock, None)
            self._reset_unsaid = False
        return sock

    def _disconnect(self, sock, state):
        """Closes the connection. After a RESET, lines written just before may be missing: the
        next connection and the report say so."""
        sock.close()
        self._connected = False
        if state == RESET:
            with self._queue_lock:
                self._resets_unreported += 1
            self._reset_unsaid = True
        return None

    def _back_off(self, retry):
        """Waits out the back-off; False when the handler gives up at close."""
        until = time.monotonic() + retry
        with self._cond:
            while True:
                now = time.monotonic()
                if self._closing and now >= self._give_up_at():
                    return False
                if now >= until:
                    return True
                self._cond.wait(min(until, self._give_up_at()) - now if self._closing else until - now)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Send lines of text to ZelLogConsole.")
    parser.add_argument("--host", default=DEFAULT_HOST, help="a name, an IPv4 or an IPv6 address")
    parser.add_argument("--port", type=int, default=DEFAULT_PORT)
    parser.add_argument("--timeout", type=float, default=5.0)
    parser.add_argument("text", nargs="+", help="each argument is sent as one line")
    args = parser.parse_args(argv)
    try:
        with socket.create_connection((lookup_name(args.host), args.port), timeout=args.timeout) as sock:
            sock.sendall(b"".join(frame(as_lines(t)) for t in args.text))
    except OSError as error:
        print("zellog: cannot send to %s: %s" % (where(args.host, args.port), error), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
