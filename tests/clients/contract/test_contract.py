"""The client contract of docs/protocol.md ("The clients' contract"), one table run against the
C++, Python and .NET clients alike, each through a small driver, against a loopback receiver
that reads frames as the console does.

ctest runs one group of one client per entry (ZEL_CONTRACT_GROUP, ZEL_CONTRACT_CLIENT) and says
where the built drivers are (ZEL_CONTRACT_CPP: contract_driver, ZEL_CONTRACT_DOTNET:
ContractDriver.exe), and ZEL_CONTRACT_RUN what runs the C++ one when it is the Windows
build's (Wine); the Python driver needs no build.

A row's steps, in order: a driver command ("lines 0 3"), optionally "=> ANSWER" to check its
answer; a command ending in "&" is sent without waiting, and "@answer ANSWER" collects its
answer later; "@listen" starts the receiver on the row's port, "@stop" stops it as a console
that exits, "@drop" ends its connections, "@hold" listens without reading until "@release";
"@slow RATE" listens and reads no faster than RATE bytes a second;
"@sleep S" waits, "@wait N" until N frames are in. "@within S" checks that the last answer came within S seconds of its command:
only for a bound the contract states, with a generous margin.
"""

import os
import re
import sys
import time
import warnings

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from contract_run import CLOSE_WAIT_MS, LONG, Frozen, Run  # noqa: E402
from frame_receiver import MAX_PAYLOAD  # noqa: E402

NAMES = {"cpp": "zel::LogClient", "python": "zellog", "dotnet": "ZelLogClient", "zelsend": "zel::LogClient"}
CONNECT_LIMIT = 2.0  # the contract's limit for one connect to one address


def hexed(text, times=1):
    token = text.encode("utf-8").hex()
    return token if times == 1 else "%s*%d" % (token, times)


def numbered(first, count):
    return ["line %06d\r\n" % n for n in range(first, first + count)]


def lines(n):
    return "1 line" if n == 1 else "%d lines" % n


def dropped_line(client, n):
    return "[%s: %s dropped, the queue was full]\r\n" % (NAMES[client], lines(n))


# Checks that need more than a list of frames: each takes the run and fails by assertion.

def long_text(unit, extra):
    """A line past the console's frame limit: cut at a character boundary, then the marker."""
    size = len(unit.encode("utf-8"))
    count = MAX_PAYLOAD // size + 1
    text = "x" * extra + unit * count + "\r\n"

    def check(run):
        run.wait(2)
        first, after = run.frames
        marker = (" [cut: %d bytes in all]\r\n" % len(text.encode("utf-8"))).encode("ascii")
        assert MAX_PAYLOAD - len(marker) - 4 < len(first) <= MAX_PAYLOAD
        assert first.endswith(marker)
        kept = first[:-len(marker)].decode("utf-8")  # raises if a character was split
        assert text.startswith(kept)
        assert after == b"after\r\n" and run.receiver.connection_count() == 1

    return ["send %s %s %s" % (hexed("x", extra) if extra else "", hexed(unit, count), hexed("\r\n")),
            "send " + hexed("after\r\n"), "flush 60000 => flush 1"], check


def full_queue(queue, total):
    """The console appears after `total` lines met a queue of `queue` bytes: every line arrives,
    in order and the newest last, or is counted by a dropped-lines line."""

    def check(run):
        run.wait(total - run.dropped + 1)
        pattern = re.compile(r"\[%s: (\d+) lines? dropped, the queue was full\]\r\n\Z" % re.escape(NAMES[run.client]))
        counted, arrived = 0, []
        for text in run.texts():
            m = pattern.match(text)
            if m:
                assert text == dropped_line(run.client, int(m.group(1)))  # "1 line", not "1 lines"
                counted += int(m.group(1))
            else:
                arrived.append(int(text.split()[1]))
        assert counted == run.dropped > 0
        assert arrived == sorted(set(arrived)) and arrived[-1] == total - 1
        assert counted + len(arrived) == total

    return ["lines 0 %d" % total, "@listen", "flush 60000 => flush 1", "dropped", "close => closed"], check



def threads(count, each):
    def check(run):
        run.wait(count * each)
        seen = {}
        for text in run.texts():
            name, i, filler = text[:-2].split(" ")
            t, i = int(name[1:]), int(i)
            assert i == seen.get(t, 0) and filler == chr(97 + t) * (i % 300)
            seen[t] = i + 1
        assert seen == {t: each for t in range(count)}

    return ["threads %d %d" % (count, each), "flush 60000 => flush 1"], check


def cut_short(run):
    """What the report counts and what the connection carried add up to every line, and the view
    ends with the line that counts those given up: the client keeps room for it in the system's
    buffer; the lines the console had not read when the client stopped are said to be in doubt."""
    report, unconfirmed = run.stderr
    assert unconfirmed == "%s: %s had not read the last lines when the client stopped; they may be missing" % (
        NAMES[run.client], run.where)
    m = re.match(r"%s: (\d+) lines? not delivered to %s\Z" % (re.escape(NAMES[run.client]), re.escape(run.where)),
                 report)
    assert m, report
    lost = int(m.group(1))
    assert 0 < lost < 20000
    run.wait(20000 - lost + 1)
    assert run.texts() == ["line %06d%s\r\n" % (n, "x" * 1000) for n in range(20000 - lost)] + [
        undelivered_line(run.client, lost)]


def undelivered_line(client, n):
    return "[%s: %s not delivered, the program stopped logging before the console took them]\r\n" % (NAMES[client],
                                                                                                     lines(n))


def accounted(total):
    """After a close that gave lines up: the view ends with the line that counts them, and what it
    shows and counts add up to every line logged; the report names every line that did not
    arrive (and may add that the console had not read the last ones yet)."""

    def check(run):
        name = re.escape(NAMES[run.client])
        last = re.compile(r"\[%s: (\d+) lines? not delivered, " % name)
        until = time.monotonic() + LONG
        while not run.receiver.ended:
            assert time.monotonic() < until, "the client ends its connection"
            time.sleep(0.1)
        dropped = re.compile(r"\[%s: (\d+) lines? dropped, the queue was full\]\r\n\Z" % name)
        *texts, end = run.texts()
        counted = [int(dropped.match(t).group(1)) for t in texts if dropped.match(t)]
        arrived = [int(t.split()[1][:6]) for t in texts if t.startswith("line ")]
        assert last.match(end), "the view ends with %r" % end[-200:]
        given_up = int(last.match(end).group(1))
        assert end == undelivered_line(run.client, given_up)
        assert len(counted) + len(arrived) == len(texts)
        assert arrived == sorted(set(arrived)) and given_up > 0
        assert len(arrived) + sum(counted) + given_up == total
        report, *rest = [e for e in run.stderr if e.startswith(NAMES[run.client] + ": ")]
        assert report == reports(total - len(arrived))[0].format(name=NAMES[run.client], where=run.where)
        assert rest in ([], ["%s: %s had not read the last lines when the client stopped; they may be missing" % (
            NAMES[run.client], run.where)])

    return check


def relay_accounted(total):
    """zelsend's relay stopped under load: the view accounts for every message, ending with the
    count of those given up, and the stop summary's words say the same numbers."""
    in_view = accounted(total)

    def check(run):
        in_view(run)
        arrived = sum(t.startswith("line ") for t in run.texts())
        summary = [e for e in run.stderr if e.startswith("zelsend: syslog relay stopped: ")]
        m = re.match(r"zelsend: syslog relay stopped: (\d+) messages received; (\d+) reached the console and (\d+) "
                     r"did not: 0 left out by --include/--exclude, (\d+) dropped by the full queue to the console, "
                     r"(\d+) not delivered at stop\.", summary[0] if summary else "")
        assert m, run.stderr
        received, reached, missed, dropped, at_stop = map(int, m.groups())
        assert (received, reached, missed) == (total, arrived, total - arrived)
        assert dropped + at_stop == missed and at_stop > 0

    return check


def quit_at_once(run):
    assert "zelsend: stopped at once; lines still queued for the console are lost" in run.stderr


def reset_said(run):
    """A console that closed with a line unread: that line is not sent again (the sender cannot
    know it was lost), but the next console is told first that it may be missing, and so is
    stderr."""
    assert run.receiver.wait_for(2, LONG)
    assert run.receiver.texts() == ["[%s: the console closed the connection; lines written just before it may "
                                    "be missing]\r\n" % NAMES[run.client], "line 000001\r\n"]
    assert "%s: %s closed the connection with lines unread; lines written just before may be missing" % (
        NAMES[run.client], run.where) in run.stderr


def reports(*counts):
    return ["{name}: %s not delivered to {where}" % lines(n) for n in counts]


WIRE = ["build started\r\n", "订单服务已启动\r\n", "deploy \U0001F680 done\r\n", "first\r\nsecond\r\n"]

# Each row: group, name, steps, then what must arrive (a list of texts, or a check) and what
# stderr must say (report lines; none when left out). Options: host, listen_on (the receiver's
# address), queue, close_ms, fast (10 to 50 ms back-off in place of the contract's, for speed).
CASES = [
    # Lines arrive as frames, byte for byte, in order, on one connection.
    dict(group="Order", name="texts", steps=["@listen"] + ["send " + hexed(t) for t in WIRE] +
         ["flush 60000 => flush 1"], frames=WIRE, connections=1),
    dict(group="Order", name="many", steps=["@listen", "lines 0 5000", "flush 60000 => flush 1"],
         frames=numbered(0, 5000), connections=1),
    # Past the console's frame limit: cut at a character boundary, with a marker.
    *[dict(group="LongText", name="%s-%d" % (unit.encode().hex(), extra), queue=64 << 20, pre=["@listen"],
           make=long_text(unit, extra)) for unit, extra in
      [("a", 0), ("中", 0), ("中", 1), ("中", 2), ("\U0001F600", 1), ("\U0001F600", 3)]],
    # The console absent at the start, gone for a while, or dropping the connection.
    dict(group="Reconnect", name="absent-then-appears", steps=["lines 0 100", "flush 100 => flush 0", "@listen",
         "flush 60000 => flush 1"], frames=numbered(0, 100), stderr=reports(100)),
    dict(group="Reconnect", name="restarts-on-its-port", steps=[
        "@listen", "lines 0 100", "flush 60000 => flush 1", "@wait 100", "@stop", "lines 100 100", "@sleep 0.2", "@listen",
        "lines 200 100", "flush 60000 => flush 1", "dropped => dropped 0"], frames=numbered(0, 300)),
    dict(group="Reconnect", name="connection-dropped", steps=[
        "@listen", "lines 0 500", "flush 60000 => flush 1", "@wait 500", "@drop", "lines 500 500",
        "flush 60000 => flush 1", "@wait 1000", "@drop", "lines 1000 500", "flush 60000 => flush 1"], frames=numbered(0, 1500), connections=3),
    # localhost may name ::1 first, where nothing listens: the next address is tried.
    dict(group="Reconnect", name="host-name", host="localhost", steps=["@listen", "lines 0 3",
         "flush 60000 => flush 1"], frames=numbered(0, 3)),
    # A full queue drops the oldest lines and says how many in one line.
    # The dropped lines never reached the console: the report at close counts them too.
    *[dict(group="FullQueue", name="%d-bytes" % q, queue=q, make=full_queue(q, n), stderr="dropped")
      for q, n in [(2048, 1000), (0, 300), (17, 300), (64 * 1024, 20000)]],
    # Room for one line: whichever line the sender took first, exactly one is dropped ("1 line").
    dict(group="FullQueue", name="one-dropped", queue=17, steps=[
        "lines 0 1", "@sleep 0.2", "lines 1 1", "@sleep 0.2", "lines 2 1", "@listen", "flush 60000 => flush 1",
        "dropped => dropped 1", "close => closed"], check=full_queue(17, 3)[1], stderr="dropped"),
    dict(group="Threads", name="four", pre=["@listen"], make=threads(4, 2000)),
    # Close waits for the queue, reconnecting, and reports what never went out.
    dict(group="Close", name="delivers-and-is-silent", steps=["@listen", "lines 0 20000", "close => closed"],
         frames=numbered(0, 20000)),
    dict(group="Close", name="console-appears-during-the-wait", close_ms=30000, steps=[
        "lines 0 3", "close &", "@sleep 0.5", "@listen", "@answer closed"], frames=numbered(0, 3)),
    dict(group="Close", name="absent-is-bounded", fast=False, steps=[
        "lines 0 3", "close &", "@answer closed", "@within %.1f" % (CLOSE_WAIT_MS / 1000 + CONNECT_LIMIT + 2)],
         frames=[], stderr=reports(3)),
    # The report: once per line, at a failed flush, at close, at the end of the program.
    dict(group="Report", name="one-line", steps=["lines 0 1", "close => closed"], frames=[], stderr=reports(1)),
    dict(group="Report", name="at-exit", steps=["lines 0 3", "exit"], frames=[], stderr=reports(3)),
    dict(group="Report", name="full-queue", queue=2048, steps=["lines 0 1000", "close => closed"], frames=[],
         stderr=reports(1000)),
    dict(group="Report", name="delivered-at-exit", steps=["@listen", "lines 0 3", "exit"], frames=numbered(0, 3)),
    dict(group="ReportOnce", name="flush-then-close", steps=[
        "lines 0 5", "flush 50 => flush 0", "flush 50 => flush 0", "lines 5 2", "close => closed"], frames=[],
         stderr=reports(5, 2)),
    # A console that stops reading: close gives up on a batch part sent.
    dict(group="ReportOnce", name="batch-cut-short", queue=64 << 20, close_ms=300, steps=[
        "@hold", "lines 0 20000 1000", "close => closed", "@release"], check=cut_short),
    # The end: lines go while a slow console takes them; what is given up is counted in the
    # view's last line, and named in the report, as are lines a console gone before the close
    # never took; a console that closes with lines unread is told of on the next connection.
    # The console reads slowly enough that the close must give lines up, however slowly a busy
    # machine lets the program log.
    dict(group="End", name="slow-console", queue=1 << 20, steps=[
        "@slow 50000", "lines 0 30000 100", "close => closed"], check=accounted(30000), stderr="checked"),
    dict(group="End", name="console-gone-before-close", queue=64 << 10, steps=[
        "@listen", "lines 0 3", "flush 60000 => flush 1", "@wait 3", "@stop", "lines 3 20000", "close => closed"],
         frames=numbered(0, 3), stderr=reports(20000)),
    dict(group="End", name="reset-is-said", steps=[
        "@hold", "lines 0 1", "flush 60000 => flush 1", "@stop", "@listen", "lines 1 1", "flush 60000 => flush 1"],
         check=reset_said, stderr="checked"),
    # zelsend's relay stopped under load (TCP in, so that every message is received): its queue
    # goes while the console takes it, the view ends with the count of the rest; a second
    # Ctrl+C quits at once.
    dict(group="End", name="relay-stopped-under-load", clients=["zelsend"], steps=[
        "@slow 1000000", "lines 0 150000 100", "close => closed"], check=relay_accounted(150000), stderr="checked"),
    dict(group="End", name="second-interrupt-quits", clients=["zelsend"], steps=[
        "@slow 100000", "lines 0 50000 100", "interrupt-twice => exited 130", "@within 2"],
         check=quit_at_once, stderr="checked"),
    # IPv6 hosts, bare and bracketed; the report names one in brackets.
    dict(group="IPv6", name="bare", host="::1", listen_on="::1", steps=["@listen", "lines 0 3",
         "flush 60000 => flush 1"], frames=numbered(0, 3)),
    dict(group="IPv6", name="bracketed", host="[::1]", listen_on="::1", steps=["@listen", "lines 0 3",
         "flush 60000 => flush 1"], frames=numbered(0, 3)),
    dict(group="IPv6", name="report", host="[::1]", steps=["lines 0 2", "close => closed"], frames=[],
         stderr=reports(2)),
]


CLIENTS = [c for c in ("cpp", "python", "dotnet", "zelsend")
           if c == "python" or os.environ.get("ZEL_CONTRACT_" + c.upper())]
ONLY_CLIENT = os.environ.get("ZEL_CONTRACT_CLIENT")
ONLY_GROUP = os.environ.get("ZEL_CONTRACT_GROUP")


@pytest.mark.parametrize("client, row", [
    pytest.param(client, row, id="%s-%s-%s" % (client, row["group"], row["name"]))
    for client in CLIENTS if ONLY_CLIENT in (None, client)
    for row in CASES if ONLY_GROUP in (None, row["group"]) and client in row.get("clients", ["cpp", "python", "dotnet"])
])
def test_contract(client, row):
    # A Windows driver that froze under Wine runs its case once more; a client that hangs, hangs
    # again, and a wrong answer fails at once.
    for attempt in (1, 2):
        try:
            return run_row(client, row)
        except Frozen as frozen:
            if client != "cpp" or attempt == 2:
                raise
            warnings.warn("the driver froze, the case runs again: %s" % frozen)


def run_row(client, row):
    steps, check = row.get("steps", []), row.get("check")
    if "make" in row:
        made, check = row["make"]
        steps = row.get("pre", []) + made
    run = Run(client, row)
    try:
        for step in steps:
            run.step(step)
        run.end()
        if "frames" in row:
            if row["frames"]:
                run.wait(len(row["frames"]))
            assert run.texts() == row["frames"]
        if "connections" in row:
            assert run.receiver.connection_count() == row["connections"]
        if check:
            check(run)
        expected = reports(run.dropped) if row.get("stderr") == "dropped" else row.get("stderr", [])
        if check is not cut_short and row.get("stderr") != "checked":
            assert run.stderr == [e.format(name=NAMES[client], where=run.where) for e in expected]
    finally:
        if run.proc.poll() is None:
            run.proc.kill()
        if run.receiver:
            run.receiver.stop()
