"""The Python handler under the contract table (test_contract.py): reads commands on stdin and
answers each on stdout once done.

Usage: driver.py HOST PORT QUEUE_BYTES CLOSE_WAIT_MS RETRY_START_MS RETRY_MAX_MS

    send TOKEN...      one line: the bytes of each hex TOKEN ("e4b8ad*3": three times), as UTF-8
    lines FROM COUNT [X]  "line 000007\\r\\n" and so on, with X times "x" before the CR LF
    threads T N        N lines from each of T threads: "t3 12 " and 12 % 300 times chr(97 + 3)
    flush MS           "flush 1" when all went out within MS, else "flush 0"
    dropped            "dropped N": lines dropped so far from a full queue
    close              closes the client: "closed"
    exit               ends the program without closing the client (so does the end of input)

The handler adds CR LF to every record, so a line's own CR LF at its end is left to it.
"""

import logging
import os
import sys
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..", "clients", "python"))
import zellog  # noqa: E402


def decode(token):
    hex_text, _, count = token.partition("*")
    return bytes.fromhex(hex_text).decode("utf-8") * int(count or 1)


def main():
    host, port, queue_bytes, close_ms, retry_start_ms, retry_max_ms = sys.argv[1:]
    handler = zellog.ZelLogHandler(host, int(port), timeout=int(close_ms) / 1000, queue_bytes=int(queue_bytes))
    handler.retryStart = int(retry_start_ms) / 1000
    handler.retryMax = int(retry_max_ms) / 1000
    handler.setFormatter(logging.Formatter("%(message)s"))
    logger = logging.getLogger("contract")
    logger.addHandler(handler)
    logger.propagate = False
    logger.setLevel(logging.INFO)

    def send(text):
        logger.info("%s", text[:-2] if text.endswith("\r\n") else text)

    def answer(text):
        sys.stdout.write(text + "\n")
        sys.stdout.flush()

    for line in sys.stdin:
        command, *args = line.split()
        if command == "send":
            send("".join(decode(t) for t in args))
            answer("ok")
        elif command == "lines":
            first, count, filler = (list(map(int, args)) + [0])[:3]
            for n in range(first, first + count):
                send("line %06d%s\r\n" % (n, "x" * filler))
            answer("ok")
        elif command == "threads":
            threads, lines = map(int, args)

            def work(t):
                for i in range(lines):
                    send("t%d %d %s\r\n" % (t, i, chr(97 + t) * (i % 300)))

            workers = [threading.Thread(target=work, args=(t,)) for t in range(threads)]
            for w in workers:
                w.start()
            for w in workers:
                w.join()
            answer("ok")
        elif command == "flush":
            answer("flush %d" % handler.flush(int(args[0]) / 1000))
        elif command == "dropped":
            answer("dropped %d" % handler.dropped)
        elif command == "close":
            handler.close()
            answer("closed")
        elif command == "exit":
            break
        else:
            sys.exit("unknown command: " + line)
    # logging.shutdown closes the handler at exit, as in any program.


if __name__ == "__main__":
    main()
