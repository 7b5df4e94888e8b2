"""Fixtures for the tests of this folder: a receiver that reads frames as the console does."""

import os
import sys

import pytest

from frame_receiver import Receiver

# The handler under test: the one file that users copy.
CLIENT_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "clients", "python")
sys.path.insert(0, os.path.abspath(CLIENT_DIR))
# Free ports and waits, shared with the other Python tests and the benches.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "testkit"))
import zeltest  # noqa: E402


@pytest.fixture
def receiver():
    r = Receiver()
    yield r
    r.stop()


@pytest.fixture
def free_port():
    """A port that nothing listens on."""
    return zeltest.free_port()
