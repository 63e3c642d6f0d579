"""Starting the terminal demo server as a process and talking to it over loopback TCP.

The server under test is any command line (the Linux program, or the Windows one under
Wine): its log is read from its standard output, where each new entry is one line.
Waits poll for readiness; nothing sleeps a fixed time to let the server catch up.
"""
import os
import queue
import re
import sys
import unittest
import socket
import subprocess
import threading
import time

# The Windows program is watched through its window instead of its standard output.
WINDOW_MODE = os.environ.get("QX_E2E_WINDOW") == "1"

PORT = 3950
HOST = "127.0.0.1"
WAITING = "Waiting for Nexolt to connect..."


class Server:
    """One server process: its log lines arrive in a queue as it writes them."""

    def __init__(self, command, env=None):
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.process = subprocess.Popen(
            command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
            env=full_env)
        self.lines = queue.Queue()
        self.seen = []
        self.stderr = b""
        threading.Thread(target=self._read_stdout, daemon=True).start()
        self._stderr_reader = threading.Thread(target=self._read_stderr, daemon=True)
        self._stderr_reader.start()

    def _read_stdout(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode("latin-1").rstrip("\r\n"))
        self.lines.put(None)

    def _read_stderr(self):
        self.stderr = self.process.stderr.read()

    def next_line(self, timeout=10.0):
        """The next log line, or None when the output ended; fails after `timeout`."""
        try:
            line = self.lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("no log line within %.0f s (seen: %r)" % (timeout, self.seen[-5:]))
        if line is not None:
            self.seen.append(line)
        return line

    def expect_lines(self, *expected, timeout=10.0):
        got = [self.next_line(timeout) for _ in expected]
        if list(expected) != got:
            raise AssertionError("log lines %r, expected %r" % (got, list(expected)))

    def expect_entries(self, entries, timeout=10.0):
        """The next log lines are `entries`, in any order (several terminals at once)."""
        got = [self.next_line(timeout) for _ in entries]
        if sorted(got) != sorted(entries):
            raise AssertionError("log lines %r, expected in any order %r" % (got, list(entries)))

    def wait_until_listening(self, timeout=30.0):
        """Waits for the first log entry and for the port to accept a connection."""
        self.expect_lines(WAITING, timeout=timeout)

    def stop(self, timeout=20.0):
        """Asks the server to close (SIGTERM: the window is closed) and returns its exit code."""
        if self.process.poll() is None:
            self.process.terminate()
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("server did not end within %.0f s of SIGTERM" % timeout)
        finally:
            self.process.stdout.close()
            self.process.stderr.close()

    def wait_exit(self, timeout=30.0):
        """Waits for the process to end and for all it wrote on stderr; its exit code."""
        code = self.process.wait(timeout=timeout)
        self._stderr_reader.join(timeout)
        return code


def connect(timeout=10.0, host=HOST, source=None):
    """A connection to the server (at `host`, from the local address `source`); retries
    while the listener is not up yet."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            conn = socket.create_connection((host, PORT), timeout=timeout,
                                            source_address=(source, 0) if source else None)
            conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            return conn
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.05)


def receive_exactly(conn, count, timeout=10.0):
    """Reads `count` bytes, failing if fewer come within `timeout`."""
    conn.settimeout(timeout)
    data = b""
    while len(data) < count:
        chunk = conn.recv(count - len(data))
        if not chunk:
            raise AssertionError("connection closed after %d of %d bytes: %r" % (len(data), count, data))
        data += chunk
    return data


def _expand(text):
    return re.sub(r"\{(\d+)\*([^}]+)\}", lambda m: m.group(2) * int(m.group(1)), text)


def unescape(text):
    """The bytes of a text written with the escapes \\\\ \\t \\n \\r \\0 \\xHH."""
    plain = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r", "0": "\0"}
    return re.sub(r"\\(x[0-9a-f]{2}|.)", lambda m: chr(int(m.group(1)[1:], 16)) if len(m.group(1)) == 3
                  else plain[m.group(1)], text).encode("latin-1")


def protocol_cases():
    """The rows of protocol_cases.tsv: (request bytes, log entry or None, reply bytes or None)."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "protocol_cases.tsv")
    rows = [line.split("\t") for line in open(path, encoding="latin-1").read().splitlines()
            if line and not line.startswith("#")]
    return [(unescape(_expand(request)), None if entry == "-" else _expand(entry),
             None if reply == "-" else unescape(_expand(reply))) for request, entry, reply in rows]


def reply_to(request):
    """The reply the protocol table gives `request`."""
    return next(reply for sent, _, reply in protocol_cases() if sent == request)


KEEP_ALIVE_REPLY = reply_to(b"get_alive,")


def assert_no_reply_pending(conn):
    """Checks that the server sent nothing since the last reply read: a keep-alive sent
    now must be answered by exactly the keep-alive reply, as TCP keeps the order. Call it
    only after the server has taken the previous request (its log line was seen)."""
    conn.sendall(b"get_alive,")
    got = receive_exactly(conn, len(KEEP_ALIVE_REPLY))
    if got != KEEP_ALIVE_REPLY:
        raise AssertionError("unexpected bytes before the keep-alive reply: %r" % got)


def split_command_line(argv, commands=1):
    """Splits `argv` at "--" into the unittest arguments and `commands` command lines."""
    parts = [[]]
    for word in argv[1:]:
        if word == "--" and len(parts) <= commands:
            parts.append([])
        else:
            parts[-1].append(word)
    if len(parts) != commands + 1 or not all(parts[1:]):
        raise SystemExit("usage: %s [unittest options]%s" % (argv[0], " -- COMMAND..." * commands))
    return [argv[0]] + parts[0], parts[1:]


def make_server(command, env=None):
    """The server under test, watched through its output or, in window mode, its window."""
    if WINDOW_MODE:
        from window_harness import WindowServer
        return WindowServer(command, env)
    return Server(command, env)


def finish_run():
    """Stops what the run started besides the servers (the window system in window mode)."""
    if WINDOW_MODE:
        from window_harness import stop_window_system
        stop_window_system()


def run_main(module_globals, command_names):
    """Runs the calling test module: sets its command-line globals (`command_names`, one
    per "--" part of the command line), runs its tests, stops what the run started and
    exits with the result."""
    unittest_argv, commands = split_command_line(sys.argv, len(command_names))
    module_globals.update(zip(command_names, commands))
    try:
        result = unittest.main(module="__main__", argv=unittest_argv, verbosity=2, exit=False).result
    finally:
        finish_run()
    sys.exit(0 if result.wasSuccessful() else 1)
