"""ZelLogHandler's queue and its close: the caller never waits on the network, and a record
that never reaches the console is reported once, also by a short program at its exit."""

import logging
import os
import subprocess
import sys
import textwrap

import pytest

import zellog
import zeltest  # testkit/, on the path by conftest.py
from conftest import CLIENT_DIR


def make_logger(handler, name):
    return zeltest.logger_with(handler, name, logging.INFO, "%(message)s")


def report(count, port):
    return "zellog: %s not delivered to 127.0.0.1:%d\n" % ("1 line" if count == 1 else "%d lines" % count, port)


def test_close_reports_once_and_records_after_it_add_nothing(free_port, capfd):
    handler = zellog.ZelLogHandler("127.0.0.1", free_port, timeout=0.1)
    logger = make_logger(handler, "absent")
    for i in range(3):
        logger.info("lost %d", i)
    handler.close()
    handler.close()
    logger.info("after close")
    assert capfd.readouterr().err == report(3, free_port)
    assert handler.dropped == 1


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
    # Each process keeps its own order; across their two connections the receiver may read
    # either first.
    assert texts.index("child 0\r\n") < texts.index("child 1\r\n") < texts.index("child 2\r\n")
    assert texts.index("parent before\r\n") < texts.index("parent after\r\n")
