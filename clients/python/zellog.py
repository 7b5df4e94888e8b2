"""Send Python's logging records to ZelLogConsole (TCP port 11925).

Three lines in any program::

    import logging, zellog
    logging.getLogger().addHandler(zellog.ZelLogHandler("127.0.0.1", 11925))
    logging.getLogger().warning("订单服务已启动")

Each record goes out as one frame: a 4-byte little-endian length and the UTF-8 text of the
formatted record, ended with CR LF (the console adds no line breaks of its own). The handler
connects on first use and reconnects with back-off when the console is not there
(``retryStart``, ``retryFactor``, ``retryMax``, as in ``logging.handlers.SocketHandler``);
records logged while it cannot connect are counted, and the count is sent as a line of its own
once it can.

``emit`` waits on the network for as long as a send takes (``timeout`` seconds at most). A
program that must never wait puts a queue in between, so that a thread of its own does the
sending::

    import logging, logging.handlers, queue, zellog
    q = queue.SimpleQueue()
    listener = logging.handlers.QueueListener(q, zellog.ZelLogHandler())
    logging.getLogger().addHandler(logging.handlers.QueueHandler(q))
    listener.start()   # and listener.stop() before the program ends, to send what is queued

From a shell script, each argument is one line::

    python3 zellog.py "build started"
    python3 zellog.py --host logpc --port 11925 "first line" "second line"

Python 3.8 or later, standard library only.
"""

import argparse
import logging
import logging.handlers
import select
import socket
import struct
import sys

DEFAULT_HOST = "127.0.0.1"
DEFAULT_PORT = 11925
# The console closes the connection on any larger frame.
MAX_PAYLOAD = 16 * 1024 * 1024


def frame(text):
    """The bytes of one frame holding ``text``, which is sent as it is (no line end added).

    Text over the console's limit is cut at a character boundary and says so: a frame the
    console refuses would take the whole connection with it.
    """
    # A lone surrogate (from a file name, say) cannot be UTF-8; the console would show nothing.
    payload = text.encode("utf-8", "replace")
    if len(payload) > MAX_PAYLOAD:
        marker = (" [cut: %d bytes in all]\r\n" % len(payload)).encode("ascii")
        keep = MAX_PAYLOAD - len(marker)
        while keep > 0 and payload[keep] & 0xC0 == 0x80:
            keep -= 1
        payload = payload[:keep] + marker
    return struct.pack("<i", len(payload)) + payload


def as_lines(text):
    """The text with every line break as CR LF, the only break the console's view shows."""
    return text.replace("\r\n", "\n").replace("\n", "\r\n") + "\r\n"


def peer_gone(sock):
    """True when the console has closed its end. It never sends anything, so anything to read
    means the end; bytes written into a closed connection would be lost without a word."""
    try:
        # select first: a socket with a timeout would wait that long in recv for nothing.
        if not select.select([sock], [], [], 0)[0]:
            return False
        return sock.recv(1, socket.MSG_PEEK) == b""
    except (BlockingIOError, InterruptedError, socket.timeout):
        return False
    except (OSError, ValueError):
        return True


class ZelLogHandler(logging.handlers.SocketHandler):
    """A logging handler that sends each formatted record to the console as one line."""

    def __init__(self, host=DEFAULT_HOST, port=DEFAULT_PORT, timeout=5.0):
        super().__init__(host, port)
        self.timeout = timeout
        # Records lost while the console could not be reached, not yet reported to it.
        self.dropped = 0

    def makeSocket(self, timeout=None):
        sock = super().makeSocket(self.timeout if timeout is None else timeout)
        # Lines go out as they come: the console shows each as soon as it arrives.
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        sock.settimeout(self.timeout)
        return sock

    def makePickle(self, record):
        return frame(as_lines(self.format(record)))

    def send(self, s):
        if self.sock is not None and peer_gone(self.sock):
            self.sock.close()
            self.sock = None
        if self.sock is None:
            self.createSocket()
        if self.sock is None:
            self.dropped += 1
            return
        if self.dropped:
            s = frame("[zellog: %d records dropped, the console could not be reached]\r\n"
                      % self.dropped) + s
        try:
            self.sock.sendall(s)
            self.dropped = 0
        except OSError:
            # Part of the frame may have gone out; the console drops a frame cut off by a
            # closed connection, so this record counts as lost and the next one reconnects.
            self.sock.close()
            self.sock = None
            self.dropped += 1

    def emit(self, record):
        # The base class reports a failure through handleError and closes; the loss is already
        # counted by send, so formatting errors are the only ones left to report.
        try:
            self.send(self.makePickle(record))
        except Exception:
            self.handleError(record)


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
