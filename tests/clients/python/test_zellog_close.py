"""ZelLogHandler's queue and its close: the caller never waits on the network, and a record
that never reaches the console is reported once, also by a short program at its exit."""

import logging
import os
import socket
import subprocess
import sys
import textwrap

import pytest

import zellog
from conftest import CLIENT_DIR, Receiver, split_frames


def make_logger(handler, name):
    handler.setFormatter(logging.Formatter("%(message)s"))
    logger = logging.getLogger(name)
    logger.handlers[:] = [handler]
    logger.propagate = False
    logger.setLevel(logging.INFO)
    return logger


def report(count, port):
    return "zellog: %s not delivered to 127.0.0.1:%d\n" % ("1 line" if count == 1 else "%d lines" % count, port)


def test_a_full_queue_drops_the_oldest_records_and_sends_their_count(free_port):
    handler = zellog.ZelLogHandler("127.0.0.1", free_port, queue_bytes=2048)
    handler.retryStart = handler.retryMax = 0.02
    logger = make_logger(handler, "full")
    for i in range(1000):
        logger.info("line %06d", i)  # returns although nothing listens
    receiver = Receiver(free_port)
    try:
        assert handler.flush(10)
        kept = 1000 - handler.dropped
        assert receiver.wait_for(kept + 1)
        texts = receiver.texts()
    finally:
        handler.close()
        receiver.stop()
    counted, delivered = 0, []
    for text in texts:
        if text.startswith("[zellog: "):
            assert text.endswith(" records dropped, the queue was full]\r\n")
            counted += int(text.split()[1])
        else:
            delivered.append(int(text.split()[1]))
    assert counted == handler.dropped > 0
    # In order, up to the newest; a batch taken before the queue filled is kept whole.
    assert delivered == sorted(set(delivered)) and delivered[-1] == 999
    assert counted + len(delivered) == 1000


def test_close_sends_everything_queued_and_reports_nothing(receiver, capfd):
    handler = zellog.ZelLogHandler("127.0.0.1", receiver.port)
    logger = make_logger(handler, "close")
    for i in range(20000):
        logger.info("line %06d", i)
    handler.close()
    assert receiver.wait_for(20000)
    assert receiver.texts() == ["line %06d\r\n" % i for i in range(20000)]
    assert handler.dropped == 0
    assert capfd.readouterr().err == ""


def test_close_with_the_console_absent_reports_once_and_later_records_add_nothing(free_port, capfd):
    handler = zellog.ZelLogHandler("127.0.0.1", free_port)
    logger = make_logger(handler, "absent")
    for i in range(3):
        logger.info("lost %d", i)
    assert not handler.flush(5)  # gives up at the first refused connect, not after 5 s
    handler.close()
    handler.close()
    logger.info("after close")
    assert capfd.readouterr().err == report(3, free_port)


@pytest.mark.parametrize("records, size", [(20000, 1000), (100, 200000)], ids=["small", "large"])
def test_a_batch_cut_short_by_close_counts_only_the_records_not_wholly_sent(capfd, records, size):
    # A console that accepts but does not read: what the system's buffers hold reaches it later.
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    port = listener.getsockname()[1]
    filler = "x" * size
    try:
        handler = zellog.ZelLogHandler("127.0.0.1", port, timeout=0.3, queue_bytes=64 << 20)
        logger = make_logger(handler, "stalled")
        for i in range(records):
            logger.info("line %06d %s", i, filler)
        handler.close()
        conn, _ = listener.accept()
        buffer, frames = bytearray(), []
        with conn:
            while True:
                data = conn.recv(1 << 20)
                if not data:
                    break
                buffer += data
                assert split_frames(buffer, frames)
    finally:
        listener.close()
    err = capfd.readouterr().err
    lost = handler.dropped
    assert 0 < lost < records and err == report(lost, port)
    assert [f.decode() for f in frames] == ["line %06d %s\r\n" % (i, filler) for i in range(records - lost)]


# A short program, run to its end: the report comes from logging.shutdown at interpreter exit.
PROGRAMS = {
    "addHandler": """
        import logging, zellog
        logging.getLogger().addHandler(zellog.ZelLogHandler("127.0.0.1", PORT))
        logging.getLogger().warning("one"); logging.getLogger().warning("two")
        logging.getLogger().warning("three")
    """,
    "closed-first": """
        import logging, zellog
        h = zellog.ZelLogHandler("127.0.0.1", PORT)
        logging.getLogger().addHandler(h)
        for text in ("one", "two", "three"):
            logging.getLogger().warning(text)
        h.close()
    """,
    "dictConfig": """
        import logging, logging.config
        logging.config.dictConfig({"version": 1, "root": {"handlers": ["zel"], "level": "INFO"},
            "handlers": {"zel": {"class": "zellog.ZelLogHandler", "host": "127.0.0.1", "port": PORT}}})
        for text in ("one", "two", "three"):
            logging.info(text)
    """,
    "fileConfig": """
        import io, logging, logging.config
        logging.config.fileConfig(io.StringIO('''
        [loggers]
        keys=root
        [handlers]
        keys=zel
        [formatters]
        keys=
        [logger_root]
        level=INFO
        handlers=zel
        [handler_zel]
        class=zellog.ZelLogHandler
        args=("127.0.0.1", PORT)
        '''.replace("\\n        ", "\\n")))
        for text in ("one", "two", "three"):
            logging.info(text)
    """,
}


def run_program(name, port):
    code = textwrap.dedent(PROGRAMS[name]).replace("PORT", str(port))
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60,
                          env=dict(os.environ, PYTHONPATH=CLIENT_DIR))


@pytest.mark.parametrize("name", sorted(PROGRAMS))
def test_a_short_program_with_the_console_absent_says_so_once_at_exit(name, free_port):
    result = run_program(name, free_port)
    assert result.returncode == 0
    assert result.stderr == report(3, free_port)


@pytest.mark.parametrize("name", sorted(PROGRAMS))
def test_a_short_program_delivers_its_lines_before_it_exits(name, receiver):
    result = run_program(name, receiver.port)
    assert result.returncode == 0 and result.stderr == ""
    assert receiver.wait_for(3)
    assert [t.split()[-1] for t in receiver.texts()] == ["one", "two", "three"]


def test_no_report_when_logging_is_told_to_keep_its_errors_quiet(free_port):
    code = ("import logging, zellog\nlogging.raiseExceptions = False\n"
            "logging.getLogger().addHandler(zellog.ZelLogHandler('127.0.0.1', %d))\n"
            "logging.getLogger().warning('lost')\n" % free_port)
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60,
                            env=dict(os.environ, PYTHONPATH=CLIENT_DIR))
    assert result.returncode == 0 and result.stderr == ""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork")
def test_a_forked_process_sends_its_own_records(receiver):
    code = textwrap.dedent("""
        import logging, os, sys, zellog
        logging.getLogger().addHandler(zellog.ZelLogHandler("127.0.0.1", PORT))
        logging.warning("parent before")
        pid = os.fork()
        if pid == 0:
            for i in range(3):
                logging.warning("child %d", i)
            sys.exit(0)
        os.waitpid(pid, 0)
        logging.warning("parent after")
    """).replace("PORT", str(receiver.port))
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60,
                            env=dict(os.environ, PYTHONPATH=CLIENT_DIR))
    assert result.returncode == 0 and result.stderr == ""
    assert receiver.wait_for(5)
    texts = receiver.texts()
    assert sorted(texts) == sorted(["parent before\r\n", "child 0\r\n", "child 1\r\n", "child 2\r\n", "parent after\r\n"])
    assert texts.index("child 0\r\n") < texts.index("child 1\r\n") < texts.index("child 2\r\n") < texts.index(
        "parent after\r\n")
