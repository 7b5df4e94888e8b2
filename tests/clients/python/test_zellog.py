"""ZelLogHandler and the zellog command against a receiver that splits frames as the console does:
what is the handler's own. The cases all clients share are in tests/clients/contract."""

import logging
import logging.handlers
import os
import queue
import subprocess
import sys

import pytest

import zellog
import zeltest  # testkit/, on the path by conftest.py
from conftest import CLIENT_DIR


def make_logger(handler, name):
    return zeltest.logger_with(handler, name, logging.DEBUG, None)


@pytest.fixture
def handler_for(request):
    """Makes handlers that log bare messages and are closed after the test."""
    made = []

    def make(port, **kwargs):
        h = zellog.ZelLogHandler("127.0.0.1", port, **kwargs)
        h.setFormatter(logging.Formatter("%(message)s"))
        made.append(h)
        return h

    yield make
    for h in made:
        h.close()


def send_then(receiver, handler_for, name, message, after, **kwargs):
    """Logs `message`, then `after`, and waits for both frames."""
    logger = make_logger(handler_for(receiver.port, **kwargs), name)
    logger.info(message)
    logger.info(after)
    assert receiver.wait_for(2)


@pytest.mark.parametrize("message, wire", [
    ("first\nsecond", "first\r\nsecond\r\n"),
    ("first\r\nsecond\r\n", "first\r\nsecond\r\n\r\n"),
    ("", "\r\n"),
], ids=["lf-becomes-crlf", "crlf-kept", "empty"])
def test_record_arrives_as_one_frame_of_utf8_with_crlf(receiver, handler_for, message, wire):
    send_then(receiver, handler_for, "wire", message, "end")
    assert receiver.texts() == [wire, "end\r\n"]
    assert receiver.bytes == 4 + len(wire.encode("utf-8")) + 4 + 5


def test_formatter_output_is_what_is_sent(receiver, handler_for):
    handler = handler_for(receiver.port)
    handler.setFormatter(logging.Formatter("%(levelname)s %(name)s: %(message)s"))
    make_logger(handler, "app.db").warning("slow query %d ms", 120)
    assert receiver.wait_for(1)
    assert receiver.texts() == ["WARNING app.db: slow query 120 ms\r\n"]


def test_lone_surrogate_is_replaced_so_the_frame_stays_valid_utf8(receiver, handler_for):
    make_logger(handler_for(receiver.port), "surrogate").info("file \udcff.txt")
    assert receiver.wait_for(1)
    assert receiver.texts() == ["file ?.txt\r\n"]


def test_queue_listener_sends_from_its_own_thread(receiver, handler_for):
    q = queue.SimpleQueue()
    listener = logging.handlers.QueueListener(q, handler_for(receiver.port))
    logger = make_logger(logging.handlers.QueueHandler(q), "queued")
    listener.start()
    for i in range(100):
        logger.info("queued %d", i)
    listener.stop()
    assert receiver.wait_for(100)
    assert receiver.texts() == ["queued %d\r\n" % i for i in range(100)]


def run_command(*args):
    return subprocess.run([sys.executable, os.path.join(CLIENT_DIR, "zellog.py")] + list(args),
                          capture_output=True, text=True, timeout=30)


def test_command_sends_each_argument_as_a_line(receiver):
    result = run_command("--port", str(receiver.port), "build started", "构建完成")
    assert result.returncode == 0, result.stderr
    assert receiver.wait_for(2)
    assert receiver.texts() == ["build started\r\n", "构建完成\r\n"]


def test_command_fails_loudly_when_nothing_listens(free_port):
    result = run_command("--port", str(free_port), "lost")
    assert result.returncode == 1
    assert "cannot send to 127.0.0.1:%d" % free_port in result.stderr


def test_a_program_holding_many_files_keeps_its_one_connection(receiver, handler_for):
    # The handler's socket lands past FD_SETSIZE (1024), where select() cannot look at it: a
    # check for a closed console that used it would take each batch for a new connection.
    resource = pytest.importorskip("resource")
    if resource.getrlimit(resource.RLIMIT_NOFILE)[0] < 1300:
        pytest.skip("the process may not hold 1,300 files")
    pipes = [os.pipe() for _ in range(600)]
    try:
        handler = handler_for(receiver.port)
        logger = make_logger(handler, "many.files")
        for i in range(10):
            logger.info("line %d", i)
            assert handler.flush(10)  # one batch each
        assert receiver.wait_for(10)
    finally:
        for r, w in pipes:
            os.close(r)
            os.close(w)
    assert receiver.texts() == ["line %d\r\n" % i for i in range(10)]
    assert receiver.connection_count() == 1
