"""Runs the shell, Python and C# snippets of docs/protocol.md against a receiver that reads as the
console does (mcs and mono come with scripts/bootstrap.sh test). The PowerShell snippet is not
run: Debian does not package PowerShell, so a test of it would be skipped on every machine."""

import os
import re
import subprocess
import sys

import pytest

DOC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "docs", "protocol.md")


def snippet(language):
    blocks = re.findall(r"```%s\n(.*?)```" % language, open(DOC, encoding="utf-8").read(), re.S)
    assert len(blocks) == 1, "docs/protocol.md should have one %s snippet" % language
    return blocks[0]


def on_port(code, port):
    assert "11925" in code
    return code.replace("11925", str(port))


def test_shell_snippet(receiver):
    code = on_port(snippet("sh"), receiver.port)
    subprocess.run(["sh", "-c", code], check=True, timeout=30)
    assert receiver.wait_for(1)
    assert receiver.texts() == ["build started on %s\r\n" % os.uname().nodename]


@pytest.mark.parametrize("text", ["a", "你好 \U0001F680", "x" * 300, "y" * 70000])
def test_shell_snippet_lengths_past_one_byte(receiver, text):
    code = on_port(snippet("sh"), receiver.port).replace('"build started on $(hostname)"', '"$ZEL_TEXT"')
    subprocess.run(["sh", "-c", code], check=True, timeout=30, env=dict(os.environ, ZEL_TEXT=text))
    assert receiver.wait_for(1)
    assert receiver.texts() == [text + "\r\n"]


def test_python_snippet(receiver):
    subprocess.run([sys.executable, "-c", on_port(snippet("python"), receiver.port)], check=True, timeout=30)
    assert receiver.wait_for(1)
    assert receiver.texts() == ["hello from Python 你好\r\n"]


def test_csharp_snippet(receiver, tmp_path):
    source = tmp_path / "ZelLog.cs"
    source.write_text(on_port(snippet("csharp"), receiver.port), encoding="utf-8")
    subprocess.run(["mcs", "-nologo", "-out:%s" % (tmp_path / "ZelLog.exe"), str(source)], check=True, timeout=120)
    subprocess.run(["mono", str(tmp_path / "ZelLog.exe")], check=True, timeout=60)
    assert receiver.wait_for(1)
    assert receiver.texts() == ["hello from C# 你好\r\n"]
