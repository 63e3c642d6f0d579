"""The server on a real terminal (a pseudo-terminal): the title and the whole log box are
redrawn at every change.   python3 terminal_view_test.py [unittest options] -- SERVER_COMMAND..."""
import contextlib
import os
import pty
import select
import subprocess
import time
import tty
import unittest

from server_harness import connect, run_main

SERVER_COMMAND = []
CLEAR = b"\x1b[H\x1b[2J"


class TerminalView(unittest.TestCase):
    def setUp(self):
        self.master, terminal = pty.openpty()
        tty.setraw(terminal)  # the bytes as the server writes them
        self.server = subprocess.Popen(SERVER_COMMAND, stdin=terminal, stdout=terminal, stderr=terminal)
        os.close(terminal)
        self.output = b""
        self.addCleanup(os.close, self.master)
        self.addCleanup(lambda: (self.server.kill(), self.server.wait()))

    def wait_for_screen(self, last_line, timeout=20.0):
        """The last redraw, from its clear on, once the output ends with `last_line`."""
        deadline = time.monotonic() + timeout
        while not self.output.endswith(last_line + b"\r\n"):
            assert time.monotonic() < deadline, "screen never ended with %r; output:\n%r" % (last_line, self.output[-500:])
            if select.select([self.master], [], [], 0.1)[0]:
                with contextlib.suppress(OSError):  # the server has ended
                    self.output += os.read(self.master, 65536)
        return b"".join(self.output.rpartition(CLEAR)[1:])

    def test_screen_shows_the_title_and_the_log_escaped(self):
        self.wait_for_screen(b"Waiting for Nexolt to connect...")
        conn = connect()
        self.addCleanup(conn.close)
        conn.sendall(b"\x1b[2J\x1b]0;owned\x07forged\rline\nA\x7f\r\nCard: 99999 at 08:00 on 15-01-2024 (Fkey: F1)"
                     b"\x9b2J\xc2\x9d0;x\xe9 Jos\xc3\xa9")
        escaped = (b"\\x1b[2J\\x1b]0;owned\\x07forged\\rline\\nA\\x7f\\r\\nCard: 99999 at 08:00 on 15-01-2024 (Fkey: F1)"
                   b"\\x9b2J\\xc2\\x9d0;x\\xe9 Jos\xc3\xa9")
        title = b"Nexolt communication demo"
        # Only the redraw's own clear and the CR LF that ends each line reach the terminal:
        # no other C0 or C1 control, no byte that is not UTF-8.
        self.assertEqual(self.wait_for_screen(escaped), CLEAR + b"\r\n".join(
            [title, b"=" * len(title), b"Waiting for Nexolt to connect...", b"Nexolt connected!", escaped, b""]))
        self.server.terminate()  # closing the window (SIGTERM) ends the run with 0
        self.assertEqual(self.server.wait(timeout=20), 0)


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND"])
