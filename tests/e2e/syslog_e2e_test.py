"""The syslog relay (zelsend --syslog-udp/--syslog-tcp) into the real console under Wine: the
Linux zelsend, and zelsend.exe under Wine as a Windows machine runs it.

Real senders: Debian's rsyslogd, started here in the foreground with a configuration of its own
(no system sockets: imuxsock is not loaded, and its only input is a TCP port of the test's own),
forwards logger's messages over UDP (RFC 3164) and over TCP with octet counting (RFC 5424);
Python's logging.handlers.SysLogHandler sends over UDP and over TCP. Every message must show
as one line, in order, repaired where its bytes are not valid UTF-8 or hold a NUL.

Run by ctest from the Windows build, which sets ZEL_CONSOLE_SESSION, ZEL_WINE_RUN,
ZEL_HOST_ZELSEND and ZEL_WINDOWS_ZELSEND, and ZEL_CONSOLE_PORT: the port of this test's own
console (the fixed 11925 without it).
"""

import contextlib
import logging
import logging.handlers
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))), "testkit"))
from zeltest import (FrameCounter, free_port, listening, logger_with, send_paced, session_view,  # noqa: E402
                     udp_socket_state, wait_until)

DRIVER = os.environ.get("ZEL_CONSOLE_SESSION")
WINE_RUN = os.environ.get("ZEL_WINE_RUN")
ZELSEND = os.environ.get("ZEL_HOST_ZELSEND")
ZELSEND_EXE = os.environ.get("ZEL_WINDOWS_ZELSEND")
PORT = os.environ.get("ZEL_CONSOLE_PORT", "11925")
STARTED = "日志服务启动成功，正在侦听...\r\n"
COUNT = 400
# The relay sends U+FFFD for what it repairs; the console shows its text through the system's
# code page (936 here), which has no U+FFFD, so the operator sees a question mark.
SHOWN_MARK = "?"

needs_console = pytest.mark.skipif(
    not DRIVER or not WINE_RUN or not ZELSEND or not os.path.exists(ZELSEND or "")
    or not ZELSEND_EXE or not os.path.exists(ZELSEND_EXE or ""),
    reason="needs the Windows build (ctest --preset windows) and the host zelsend (build/host)")

# The relay as each system runs it. Wine turns SIGINT into Ctrl+C for zelsend.exe, which then
# stops as it does in a command prompt and reports the same way.
RELAYS = {
    "linux": lambda: [ZELSEND],
    "windows": lambda: [WINE_RUN, ZELSEND_EXE],
}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


# --- The senders: each sends COUNT messages and returns (pattern, bodies, lines): each line as
# the console must show it, the pattern that takes it apart and the body it must carry -------

def repaired(message):
    """A message as the console shows it: the relay trims its end and puts U+FFFD for what is
    not UTF-8, which the console shows through code page 936 as a question mark."""
    text = message.rstrip(b"\r\n\x00").decode("utf-8", errors="replace")
    return text.replace("\ufffd", SHOWN_MARK) + "\r\n"


# What logger sends: UTF-8 Chinese, and now and then a Latin-1 "é" that must show as one mark.
def logger_bodies():
    sent = [("syslog %04d 日志 ok" % i).encode() if i % 50 else b"syslog %04d caf\xe9" % i for i in range(COUNT)]
    shown = [b.decode("utf-8", errors="replace").replace("\ufffd", SHOWN_MARK) for b in sent]
    return sent, shown


# rsyslog also writes each message, rendered by the same template, to a file of the test's own:
# what it sent the relay, byte for byte, and a sign of when it has sent everything.
RSYSLOG_CONF = """\
global(workDirectory="{work}")
module(load="imtcp")
input(type="imtcp" address="127.0.0.1" port="{input}" ruleset="relay")
ruleset(name="relay") {{
    {action}
    action(type="omfile" file="{work}/sent" template="{template}")
}}
"""
# The lines of the README's "Logs from other machines", with the relay's port.
RSYSLOG_UDP = 'action(type="omfwd" target="127.0.0.1" port="{port}" protocol="udp")'
RSYSLOG_TCP = ('action(type="omfwd" target="127.0.0.1" port="{port}" protocol="tcp" '
               'TCP_Framing="octet-counted" template="RSYSLOG_SyslogProtocol23Format")')
# logger sends RFC 5424 to rsyslog, which keeps no colon after the tag then.
RFC3164 = r"<13>[A-Z][a-z]{2} [ \d]\d \d\d:\d\d:\d\d \S+ zeltest:? (.*)"
RFC5424 = r"<13>1 \d{4}-\d\d-\d\dT\S+ \S+ zeltest \S+ \S+ (?:-|\[[^]]*\]) (.*)"


def sent_messages(path):
    """The messages in rsyslog's copy: each starts with its priority, <13>, which no body holds."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    return [b"<13>" + m for m in data.split(b"<13>")[1:]]


def rsyslog_sender(action, template, pattern):
    def send(udp_port, tcp_port, work, cleanup):
        input_port = free_port(socket.SOCK_STREAM)
        conf = os.path.join(work, "rsyslog.conf")
        with open(conf, "w") as f:
            port = udp_port if "udp" in action else tcp_port
            f.write(RSYSLOG_CONF.format(work=work, input=input_port, action=action.format(port=port),
                                        template=template))
        daemon = subprocess.Popen(["rsyslogd", "-n", "-f", conf, "-i", os.path.join(work, "rsyslogd.pid")])
        cleanup.callback(lambda: (daemon.send_signal(signal.SIGTERM), daemon.wait(timeout=30)))
        wait_until(lambda: daemon.poll() is not None or listening(input_port), "rsyslogd")
        assert daemon.poll() is None, "rsyslogd did not start"
        sent, shown = logger_bodies()
        subprocess.run(["logger", "-n", "127.0.0.1", "-P", str(input_port), "-T", "--octet-count",
                        "-t", "zeltest"], input=b"\n".join(sent) + b"\n", check=True, timeout=60)
        # The file's action comes after the relay's: once it holds every message, all went out.
        copy = os.path.join(work, "sent")
        wait_until(lambda: len(sent_messages(copy)) >= COUNT, "rsyslogd to forward everything", 120)
        return pattern, shown, [repaired(m) for m in sent_messages(copy)]
    return send


def python_sender(kind):
    def send(udp_port, tcp_port, work, cleanup):
        port = udp_port if kind == socket.SOCK_DGRAM else tcp_port
        handler = logging.handlers.SysLogHandler(address=("127.0.0.1", port), socktype=kind)
        log = logger_with(handler, "e2e.订单")
        bodies = []
        for i in range(COUNT):
            # A NUL inside a datagram would end the console's text: it shows as a mark instead.
            # Over TCP a NUL ends the message, as SysLogHandler's own NUL does.
            text = "py %04d a\x00b" % i if i % 40 == 0 and kind == socket.SOCK_DGRAM else "py %04d 用户 ok" % i
            log.info(text)
            bodies.append("e2e.订单 INFO " + text.replace("\x00", SHOWN_MARK))
            if kind == socket.SOCK_DGRAM and i % 100 == 99:
                time.sleep(0.01)  # UDP: a burst may not outrun the loopback's own buffers
        handler.close()
        return r"<14>(.*)", bodies, ["<14>" + b + "\r\n" for b in bodies]
    return send


def test_readme_gives_the_rsyslog_lines_run_here():
    with open(os.path.join(os.path.dirname(__file__), "..", "..", "README.md"), encoding="utf-8") as f:
        readme = f.read()
    for action in (RSYSLOG_UDP, RSYSLOG_TCP):
        line = "*.* " + action.format(port=5514).replace('"127.0.0.1"', '"192.168.1.20"')
        assert line in readme.splitlines(), line


SENDERS = {
    "rsyslog_udp_rfc3164": rsyslog_sender(RSYSLOG_UDP, "RSYSLOG_TraditionalForwardFormat", RFC3164),
    "rsyslog_tcp_octet_counted_rfc5424": rsyslog_sender(RSYSLOG_TCP, "RSYSLOG_SyslogProtocol23Format", RFC5424),
    "python_handler_udp": python_sender(socket.SOCK_DGRAM),
    "python_handler_tcp": python_sender(socket.SOCK_STREAM),
}


@needs_console
@pytest.mark.skipif(shutil.which("rsyslogd") is None, reason="needs rsyslog (scripts/bootstrap.sh)")
@pytest.mark.parametrize("sender", SENDERS.keys())
@pytest.mark.parametrize("relay_on", RELAYS.keys())
def test_every_message_shows_as_one_line_in_order(relay_on, sender):
    with tempfile.TemporaryDirectory() as work, contextlib.ExitStack() as cleanup:
        ready, done, out = (os.path.join(work, name) for name in ("ready", "done", "out"))
        driver = subprocess.Popen([WINE_RUN, DRIVER, windows_path(ready), windows_path(done), windows_path(out)])
        cleanup.callback(lambda: driver.poll() is None and driver.kill())
        wait_until(lambda: driver.poll() is not None or os.path.exists(ready), "the console", 120)
        assert driver.poll() is None, "the console did not come up"
        udp_port, tcp_port = free_port(socket.SOCK_DGRAM), free_port(socket.SOCK_STREAM)
        relay = subprocess.Popen(RELAYS[relay_on]() + ["--port", PORT, "--syslog-udp", str(udp_port), "--syslog-tcp", str(tcp_port)],
                                 stderr=subprocess.PIPE, text=True)
        cleanup.callback(lambda: relay.poll() is None and relay.kill())
        wait_until(lambda: relay.poll() is not None or listening(tcp_port), "the relay")
        assert relay.poll() is None, relay.stderr.read()

        pattern, bodies, lines = SENDERS[sender](udp_port, tcp_port, work, cleanup)

        # The view waits for its whole length, then until it has held still.
        expected = STARTED + "".join(lines)
        # All within the BMP: one UTF-16 unit each.
        view = session_view(driver, done, out, len(expected))
        relay.send_signal(signal.SIGINT)
        report = relay.communicate(timeout=30)[1]
        assert relay.returncode == 0, report

    assert len(lines) == COUNT
    for i, (line, body) in enumerate(zip(lines, bodies)):
        match = re.fullmatch(pattern, line[:-2])
        assert match and match.group(1) == body, "line %d: %r, expected the body %r" % (i, line, body)
    shown = view[len(STARTED):].split("\r\n") if view.startswith(STARTED) else [view]
    assert len(shown) == COUNT + 1, report  # and what follows the last CR LF: nothing
    for i, (line, sent) in enumerate(zip(shown, lines)):
        assert line + "\r\n" == sent, "line %d: %r, expected %r" % (i, line, sent)
    assert view == expected
    assert "%d messages relayed" % COUNT in report, report
    assert (" 0 datagrams lost before they were read" in report if relay_on == "linux"
            else " datagrams lost before they were read at most (the system's count" in report), report


# --- A burst faster than the relay may read: every datagram shown or counted -------------------

BURST, BURST_RATE = 40000, 20000
needs_relays = pytest.mark.skipif(
    not WINE_RUN or not ZELSEND or not os.path.exists(ZELSEND or "") or not ZELSEND_EXE
    or not os.path.exists(ZELSEND_EXE or ""),
    reason="needs the Windows build (ctest --preset windows) and the host zelsend (build/host)")


def number_before(text, words):
    found = re.search(r"(\d+)" + re.escape(words), text)
    return int(found.group(1)) if found else None


@needs_relays
@pytest.mark.parametrize("relay_on", RELAYS.keys())
def test_a_burst_is_shown_or_counted_never_lost_silently(relay_on):
    """40,000 datagrams at 20,000 a second into a relay whose console only counts frames. Each
    shows, or the report and the view say what became of it: on Linux the socket's count of those
    the system dropped makes the sum exact; Windows counts them only for the whole machine, so
    there the count is at least what this socket lost (/proc/net/udp). Either way what the relay
    received and what the kernel dropped add up to what was sent: the relay itself lost none."""
    sink = FrameCounter()
    udp_port = free_port(socket.SOCK_DGRAM)
    relay = subprocess.Popen(RELAYS[relay_on]() + ["--port", str(sink.port), "--syslog-udp", str(udp_port)],
                             stderr=subprocess.PIPE, text=True)
    try:
        assert "syslog on UDP" in relay.stderr.readline()
        lines = [(b"<14>burst %05d " % i).ljust(90, b"x") for i in range(BURST)]
        send_paced(socket.socket(socket.AF_INET, socket.SOCK_DGRAM), lines, ("127.0.0.1", udp_port), BURST_RATE)
        wait_until(lambda: udp_socket_state(udp_port)[0] == 0, "the relay to read what its socket holds", 60)
        kernel_dropped = udp_socket_state(udp_port)[1]
        relay.send_signal(signal.SIGINT)
        report = relay.communicate(timeout=60)[1]
    finally:
        if relay.poll() is None:
            relay.kill()
    assert relay.returncode == 0, report
    received = number_before(report, " messages received")
    reached = number_before(report, " reached the console")
    assert received is not None and reached == received, report  # no filter, and room in the queue
    wait_until(lambda: sink.messages(b"<14>burst ") >= reached, "the relayed messages to arrive", 30)
    assert sink.messages(b"<14>burst ") == reached, report
    assert received + kernel_dropped == BURST, (kernel_dropped, report)
    lost = number_before(report, " datagrams lost before they were read")
    assert lost is not None, report
    if relay_on == "linux":
        assert received + lost == BURST, report
    else:
        assert lost >= kernel_dropped and "read at most (the system's count" in report, (kernel_dropped, report)
    said = [number_before(n, " syslog datagrams lost") for n in sink.notices if " syslog datagrams lost" in n]
    assert sum(said) == lost, sink.notices
