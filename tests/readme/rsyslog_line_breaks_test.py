"""The README's rsyslog lines for a message that holds line breaks, run with Debian's rsyslogd.

rsyslog escapes control characters as it receives a message, so a line break reaches the relay
as "#012" unless the sending machine's rsyslog is told otherwise with the README's global()
line. Both ways are run: rsyslogd (in the foreground, a configuration of its own, its only
input a TCP port of the test's own) forwards with the README's TCP action to the host zelsend
--syslog-tcp, which sends to a listener here standing in for the console.

    ZELSEND=build/host/tools/zelsend/zelsend pytest-3 tests/readme/rsyslog_line_breaks_test.py
"""

import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "testkit"))
from zeltest import free_port, listening, wait_until  # noqa: E402

ZELSEND = os.environ.get("ZELSEND")
README = os.path.join(os.path.dirname(__file__), "..", "..", "README.md")

pytestmark = pytest.mark.skipif(not ZELSEND or shutil.which("rsyslogd") is None,
                                reason="needs the host zelsend (ZELSEND) and rsyslogd")


def readme_line(pattern):
    with open(README, encoding="utf-8") as f:
        found = [l.strip() for l in f if re.search(pattern, l)]
    assert found, "the README has no line matching " + pattern
    return found[0]


class Console:
    """Takes the relay's frames (4-byte little-endian length, UTF-8) as the console would."""

    def __init__(self):
        self.server = socket.socket()
        self.server.bind(("127.0.0.1", 0))
        self.server.listen(4)
        self.port = self.server.getsockname()[1]
        self.frames = []
        threading.Thread(target=self.run, daemon=True).start()

    def run(self):
        conn, _ = self.server.accept()
        data = b""
        while True:
            chunk = conn.recv(65536)
            if not chunk:
                return
            data += chunk
            while len(data) >= 4 and len(data) >= 4 + int.from_bytes(data[:4], "little"):
                n = int.from_bytes(data[:4], "little")
                self.frames.append(data[4:4 + n].decode("utf-8"))
                data = data[4 + n:]


@pytest.mark.parametrize("keep_breaks", [True, False], ids=["escaping_off", "rsyslog_default"])
def test_line_breaks_reach_the_console_as_lines_only_with_escaping_off(keep_breaks):
    action = readme_line(r'^\*\.\* action\(type="omfwd".*protocol="tcp"')[len("*.* "):]
    setting = readme_line(r'^global\(parser\.escapeControlCharactersOnReceive="off"\)$')
    console = Console()
    relay_port, input_port = free_port(), free_port()
    with tempfile.TemporaryDirectory() as work:
        relay = subprocess.Popen([ZELSEND, "--port", str(console.port), "--syslog-tcp", str(relay_port)],
                                 stderr=subprocess.PIPE, text=True)
        conf = os.path.join(work, "rsyslog.conf")
        with open(conf, "w") as f:
            f.write('global(workDirectory="%s")\n' % work)
            if keep_breaks:
                f.write(setting + "\n")
            f.write('module(load="imtcp")\n'
                    'input(type="imtcp" address="127.0.0.1" port="%d" ruleset="relay")\n'
                    'ruleset(name="relay") {\n    %s\n}\n'
                    % (input_port, action.replace('"192.168.1.20"', '"127.0.0.1"')
                       .replace('port="5514"', 'port="%d"' % relay_port)))
        daemon = subprocess.Popen(["rsyslogd", "-n", "-f", conf, "-i", os.path.join(work, "pid")])
        try:
            wait_until(lambda: listening(relay_port), "the relay")
            wait_until(lambda: daemon.poll() is not None or listening(input_port), "rsyslogd")
            assert daemon.poll() is None, "rsyslogd did not start"
            message = b"<13>1 2026-01-02T03:04:05Z build01 zeltest - - - first line\nsecond line"
            with socket.create_connection(("127.0.0.1", input_port)) as s:
                s.sendall(b"%d " % len(message) + message)
            wait_until(lambda: console.frames, "the message at the console")
        finally:
            daemon.send_signal(signal.SIGTERM)
            daemon.wait(timeout=30)
            relay.send_signal(signal.SIGINT)
            relay.communicate(timeout=30)
    frame = console.frames[0]
    assert frame.endswith("zeltest - - - first line" + ("\r\n" if keep_breaks else "#012") + "second line\r\n"), frame
