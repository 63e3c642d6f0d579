"""The server on a real terminal (a pseudo-terminal): the title and the whole log box are
redrawn at every change.   python3 terminal_view_test.py [unittest options] -- SERVER_COMMAND..."""
import contextlib
import os
import pty
import select
import signal
import time
import unittest

from server_harness import connect, run_main

SERVER_COMMAND = []
CLEAR = b"\x1b[H\x1b[2J"


class TerminalView(unittest.TestCase):
    def setUp(self):
        self.pid, self.master = pty.fork()
        if self.pid == 0:
            os.execvp(SERVER_COMMAND[0], SERVER_COMMAND)
        self.output = b""
        self.addCleanup(self.stop)

    def stop(self):
        """Closes the window (SIGTERM): the exit code (None when already stopped)."""
        pid, self.pid = self.pid, 0
        if not pid:
            return None
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 20
        while not (done := os.waitpid(pid, os.WNOHANG))[0] and time.monotonic() < deadline:
            self.read_some(0.05)  # its last screen
        if not done[0]:
            os.kill(pid, signal.SIGKILL)
            os.waitpid(pid, 0)
        os.close(self.master)
        assert done[0], "server did not end after SIGTERM"
        return os.waitstatus_to_exitcode(done[1])

    def read_some(self, timeout):
        if select.select([self.master], [], [], timeout)[0]:
            with contextlib.suppress(OSError):  # the server has ended
                self.output += os.read(self.master, 65536)

    def screen(self):
        """What the last redraw put on the screen, CRs dropped (the terminal adds its own)."""
        return self.output.rpartition(CLEAR)[2].replace(b"\r", b"") if CLEAR in self.output else b""

    def wait_for_screen(self, last_line, timeout=20.0):
        deadline = time.monotonic() + timeout
        while not self.screen().endswith(last_line + b"\n"):
            assert time.monotonic() < deadline, "screen never ended with %r; it shows:\n%r" % (last_line, self.screen())
            self.read_some(0.1)
        return self.screen()

    def test_screen_shows_the_title_and_the_log_escaped(self):
        self.wait_for_screen(b"Waiting for Nexolt to connect...")
        conn = connect()
        self.addCleanup(conn.close)
        conn.sendall(b"\x1b[2J\x1b]0;owned\x07forged\rline\nA\x7f\r\nCard: 99999 at 08:00 on 15-01-2024 (Fkey: F1)"
                     b"\x9b2J\xc2\x9d0;x\xe9 Jos\xc3\xa9")
        escaped = (b"\\x1b[2J\\x1b]0;owned\\x07forged\\rline\\nA\\x7f\\r\\nCard: 99999 at 08:00 on 15-01-2024 (Fkey: F1)"
                   b"\\x9b2J\\xc2\\x9d0;x\\xe9 Jos\xc3\xa9")
        title = b"Nexolt communication demo"
        self.assertEqual(self.wait_for_screen(escaped), title + b"\n" + b"=" * len(title) +
                         b"\nWaiting for Nexolt to connect...\nNexolt connected!\n" + escaped + b"\n")
        # Only the redraw's own clear and the CR LF that ends each line reach the terminal:
        # no other C0 or C1 control, no byte that is not UTF-8.
        after_clear = self.output.rpartition(CLEAR)[2]
        self.assertEqual([b for b in after_clear if b < 0x20 and b not in b"\r\n" or b == 0x7F], [])
        self.assertNotRegex(after_clear.decode("utf-8"), "[\x80-\x9f]")
        self.assertEqual(after_clear.count(b"\r\n"), 5)
        self.assertEqual(self.stop(), 0)  # closing the window (SIGTERM) ends the run with 0


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND"])
