"""The terminal demo server as a process (any command line: the Linux program, or the
Windows one under Wine, QX_E2E_WINDOW=1), its log read line by line, and loopback TCP."""
import os
import queue
import re
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

WINDOW_MODE = os.environ.get("QX_E2E_WINDOW") == "1"
HOST, PORT = "127.0.0.1", 3950
COMMANDS = {}  # the command lines of the run, by name (run_main)


class Server:  # one server process; its standard output, one log entry a line, arrives in a queue
    def __init__(self, command, env=None):
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        env=dict(os.environ, **(env or {})))
        self.lines = queue.Queue()
        threading.Thread(target=lambda: [self.lines.put(line.decode("latin-1").rstrip("\r\n"))
                                         for line in self.process.stdout], daemon=True).start()

    def next_line(self, timeout=10.0):
        try:
            return self.lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("no log line within %.0f s" % timeout)

    def expect_lines(self, *expected, timeout=10.0, order=list):
        got = [self.next_line(timeout) for _ in expected]
        assert order(got) == order(expected), "log lines %r, expected %r" % (got, list(expected))

    def expect_entries(self, entries, timeout=10.0):  # in any order
        self.expect_lines(*entries, timeout=timeout, order=sorted)

    def wait_until_listening(self, timeout=30.0):
        self.expect_lines("Waiting for Nexolt to connect...", timeout=timeout)

    def stop(self, timeout=20.0):  # SIGTERM; the exit code
        self.process.terminate()
        try:
            return self.process.wait(timeout=timeout)
        finally:
            self.process.kill()
            self.process.wait()
            self.process.stdout.close()


def connect(timeout=10.0, host=HOST, source=None):  # retried while the server is not listening yet
    deadline = time.monotonic() + timeout
    while True:
        try:
            conn = socket.create_connection((host, PORT), timeout=timeout, source_address=source and (source, 0))
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            return conn
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.05)


def receive_exactly(conn, count, timeout=10.0):
    conn.settimeout(timeout)
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        assert chunk, "connection closed after %d of %d bytes: %r" % (len(data), count, data)
        data += chunk
    return data


def expand(text):  # each {N*X} written as X N times
    return re.sub(r"\{(\d+)\*([^}]+)\}", lambda m: m.group(2) * int(m.group(1)), text)


def unescape(text):  # the bytes of a text written with the escapes \\ \t \n \r \0 \xHH
    plain = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r", "0": "\0"}
    return re.sub(r"\\(x[0-9a-f]{2}|.)", lambda m: chr(int(m.group(1)[1:], 16)) if len(m.group(1)) == 3
                  else plain[m.group(1)], text).encode("latin-1")


def _rows(kind):
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "protocol_cases.tsv"), encoding="latin-1") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip() and line[0] != "#" and (line[0] == "!") == kind]


def protocol_cases():  # (request bytes, log entry or None, reply bytes or None)
    return [(unescape(expand(request)), None if entry == "-" else expand(entry),
             None if reply == "-" else unescape(expand(reply))) for request, entry, reply in _rows(False)]


def start_failures():  # the rows "!": ({variable: value}, a limit of open files or None, the message)
    return [(dict([variable.split("=", 1)]), None if limit == "-" else int(limit), message)
            for _, variable, limit, message in _rows(True)]


def reply_to(request):
    return next(reply for sent, _, reply in protocol_cases() if sent == request)


KEEP_ALIVE_REPLY = reply_to(b"get_alive,")


def assert_no_reply_pending(conn):  # (after the last request was logged) a keep-alive's reply comes next
    conn.sendall(b"get_alive,")
    got = receive_exactly(conn, len(KEEP_ALIVE_REPLY))
    assert got == KEEP_ALIVE_REPLY, "unexpected bytes before the keep-alive reply: %r" % got


def make_server(command, env=None):  # watched through its output or, in window mode, its window
    if WINDOW_MODE:
        from window_harness import WindowServer
        return WindowServer(command, env)
    return Server(command, env)


class ServerCase(unittest.TestCase):  # a folder of its own (self.dir), and the servers it starts stopped after it
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory(prefix="qx-e2e-", ignore_cleanup_errors=True))

    def start(self, **env):
        self.server = make_server(COMMANDS["SERVER_COMMAND"], env)
        self.addCleanup(self.server.stop)
        self.server.wait_until_listening()

    def terminal(self, entry="Nexolt connected!", **where):  # once the server logged `entry` (None: not waited for)
        conn = connect(**where)
        self.addCleanup(conn.close)
        if entry is not None:
            self.server.expect_lines(entry)
        return conn

    def keep_alive_on(self):  # TCP keep-alive on the server's end of a connection (ss shows its timer)
        return b"timer:(keepalive" in subprocess.run(["ss", "-tnoH", "sport", "=", ":%d" % PORT], capture_output=True).stdout

    def assert_closed(self, conn):  # closed (or reset) by the server; closed here too
        conn.settimeout(10)
        try:
            self.assertEqual(conn.recv(100), b"")
        except ConnectionResetError:
            pass
        conn.close()


# Runs the calling test module: its command line is unittest options, then one "-- COMMAND..."
# for each of `command_names`, set as the module's globals.
def run_main(module_globals, command_names):
    words = sys.argv[1:]
    cuts = [i for i, word in enumerate(words) if word == "--"][:len(command_names)]
    parts = [words[start + 1:end] for start, end in zip([-1] + cuts, cuts + [len(words)])]
    if len(parts) != len(command_names) + 1 or not all(parts[1:]):
        raise SystemExit("usage: %s [unittest options]%s" % (sys.argv[0], " -- COMMAND..." * len(command_names)))
    COMMANDS.update(zip(command_names, parts[1:]))
    module_globals.update(COMMANDS)
    try:
        result = unittest.main(module="__main__", argv=[sys.argv[0]] + parts[0], verbosity=2, exit=False).result
    finally:
        if WINDOW_MODE:
            from window_harness import stop_window_system
            stop_window_system()
    sys.exit(0 if result.wasSuccessful() else 1)
