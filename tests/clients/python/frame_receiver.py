"""A receiver that reads frames the way the console does, on a loopback port: for the tests of
this folder and the client contract table (tests/clients/contract)."""

import socket
import struct
import threading
import time

MAX_PAYLOAD = 16 * 1024 * 1024


def split_frames(buffer, frames):
    """Takes the whole frames off the front of the bytearray ``buffer`` into ``frames``; False
    when a frame is larger than the console takes (it closes the connection then)."""
    at = 0
    while len(buffer) - at >= 4:
        (length,) = struct.unpack_from("<i", buffer, at)
        if length <= 0:
            at += 4  # consumed, and nothing shown
            continue
        if length > MAX_PAYLOAD:
            return False
        if len(buffer) - at < 4 + length:
            break
        frames.append(bytes(buffer[at + 4:at + 4 + length]))
        at += 4 + length
    del buffer[:at]
    return True


class Receiver:
    """Listens on a loopback port; keeps each frame's payload bytes and the bytes in all.
    ``host`` "::1" listens on IPv6. ``accept`` False holds connections in the backlog unread
    until ``accept_now``, as a console that has stopped reading. ``rate`` (bytes a second) reads
    no faster than that, in small reads, as a console busy with its view does."""

    def __init__(self, port=0, host="127.0.0.1", accept=True, rate=None):
        self.rate = rate
        self.frames = []
        self.bytes = 0
        self.oversize = False
        self.ended = 0  # connections whose sender closed its end
        self._lock = threading.Lock()
        self._listener = socket.socket(socket.AF_INET6 if ":" in host else socket.AF_INET)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind((host, port))
        self._listener.listen(16)
        self._listener.settimeout(0.05)
        self.port = self._listener.getsockname()[1]
        self._running = True
        self._connections = []
        self._thread = threading.Thread(target=self._accept, daemon=True)
        if accept:
            self._thread.start()

    def accept_now(self):
        self._thread.start()

    def drop_connections(self):
        """Ends every connection it has accepted, as a console that drops its clients."""
        for conn, _ in list(self._connections):
            try:
                conn.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def _accept(self):
        while self._running:
            try:
                conn, _ = self._listener.accept()
            except OSError:
                continue
            t = threading.Thread(target=self._read, args=(conn,), daemon=True)
            self._connections.append((conn, t))
            t.start()

    def _read(self, conn):
        buffer = bytearray()
        conn.settimeout(0.05)
        start, taken = time.monotonic(), 0
        while self._running:
            if self.rate:
                time.sleep(max(0.0, start + taken / self.rate - time.monotonic()))
            try:
                data = conn.recv(4096 if self.rate else 1 << 16)
            except socket.timeout:
                continue
            except OSError:
                break
            if not data:
                with self._lock:
                    self.ended += 1
                break
            taken += len(data)
            with self._lock:
                self.bytes += len(data)
                buffer += data
                if not split_frames(buffer, self.frames):
                    self.oversize = True
                    break
        conn.close()

    def connection_count(self):
        with self._lock:
            return len(self._connections)

    def texts(self):
        with self._lock:
            return [f.decode("utf-8") for f in self.frames]

    def wait_for(self, count, limit=20.0):
        until = time.monotonic() + limit
        while time.monotonic() < until:
            with self._lock:
                if len(self.frames) >= count:
                    return True
            time.sleep(0.01)
        return False

    def stop(self):
        """Closes the listener and every connection, as a console that exits."""
        self._running = False
        if self._thread.is_alive():
            self._thread.join()
        for conn, t in self._connections:
            t.join()
        self._listener.close()


