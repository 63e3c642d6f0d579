"""The server on a real terminal (a pseudo-terminal): the title and the whole log box are
redrawn at every change, so the screen always shows the last 14 entries.

    python3 terminal_view_test.py [unittest options] -- SERVER_COMMAND...
"""
import os
import pty
import select
import signal
import sys
import time
import unittest

from server_harness import connect, receive_exactly, run_main

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
        if self.pid:
            try:
                os.kill(self.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            deadline = time.monotonic() + 20
            while time.monotonic() < deadline:
                done, status = os.waitpid(self.pid, os.WNOHANG)
                if done:
                    self.pid = 0
                    os.close(self.master)
                    return os.waitstatus_to_exitcode(status)
                self.read_some(0.05)
            os.kill(self.pid, signal.SIGKILL)
            os.waitpid(self.pid, 0)
            self.pid = 0
            os.close(self.master)
            raise AssertionError("server did not end after SIGTERM")
        return None

    def read_some(self, timeout):
        ready, _, _ = select.select([self.master], [], [], timeout)
        if ready:
            try:
                self.output += os.read(self.master, 65536)
            except OSError:
                pass

    def screen(self):
        """What the last redraw put on the screen, with line ends as LF (the terminal
        adds its own CR to every LF, so CRs are dropped)."""
        if CLEAR not in self.output:
            return b""
        return self.output[self.output.rfind(CLEAR) + len(CLEAR):].replace(b"\r", b"")

    def wait_for_screen(self, last_line, timeout=20.0):
        deadline = time.monotonic() + timeout
        while not self.screen().endswith(last_line + b"\n"):
            if time.monotonic() > deadline:
                raise AssertionError("screen never ended with %r; it shows:\n%r" % (last_line, self.screen()))
            self.read_some(0.1)
        return self.screen()

    def test_screen_shows_title_and_the_last_14_entries(self):
        self.wait_for_screen(b"Waiting for Nexolt to connect...")
        conn = connect()
        self.addCleanup(conn.close)
        self.wait_for_screen(b"Nexolt connected!")
        for i in range(1, 19):  # with the two entries above: 20 entries in all
            conn.sendall(b"request %d" % i)
            screen = self.wait_for_screen(b"request %d" % i)
        lines = screen.split(b"\n")
        self.assertEqual(lines[0], b"Nexolt communication demo")
        self.assertEqual(lines[1], b"=" * len(lines[0]))
        self.assertEqual(lines[2:-1], [b"request %d" % i for i in range(5, 19)])  # entries 7 to 20
        conn.sendall(b"get_alive,")
        receive_exactly(conn, 37)
        self.assertEqual(self.stop(), 0)  # closing the window (SIGTERM) ends the run with 0

    def test_control_bytes_of_a_request_show_escaped(self):
        self.wait_for_screen(b"Waiting for Nexolt to connect...")
        conn = connect()
        self.addCleanup(conn.close)
        conn.sendall(b"\x1b[2J\x1b]0;owned\x07forged\rline\nA\x7f\r\nCard: 99999 at 08:00 on 15-01-2024 (Fkey: F1)"
                     b"\x9b2J\xc2\x9d0;x\xe9 Jos\xc3\xa9")
        screen = self.wait_for_screen(b"\\x1b[2J\\x1b]0;owned\\x07forged\\rline\\nA\\x7f\\r\\nCard: 99999 at 08:00 on "
                                      b"15-01-2024 (Fkey: F1)\\x9b2J\\xc2\\x9d0;x\\xe9 Jos\xc3\xa9")
        after_clear = self.output[self.output.rfind(CLEAR) + len(CLEAR):]
        # Only the redraw's own clear and the CR LF that ends each entry reach the
        # terminal: no other C0 or C1 control, no byte that is not UTF-8.
        self.assertEqual([b for b in after_clear if b < 0x20 and b not in b"\r\n" or b == 0x7F], [], screen)
        self.assertNotRegex(after_clear.decode("utf-8"), "[\x80-\x9f]")
        self.assertEqual(after_clear.count(b"\r\n"), 5, screen)  # title, rule, two entries, the request


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND"])
