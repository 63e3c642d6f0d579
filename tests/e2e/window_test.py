"""The Windows program's window under Wine, seen through window-probe.exe (set up as for
server_test.py):   python3 window_test.py [unittest options] -- SERVER_COMMAND..."""
import socket
import unittest

from server_harness import connect, make_server, run_main
from window_harness import start_window_system

SERVER_COMMAND = []

class Window(unittest.TestCase):
    def setUp(self):
        self.server = make_server(SERVER_COMMAND)
        self.addCleanup(self.server.stop)
        self.server.wait_until_listening()
        self.probe = self.server.probe

    def test_log_box_keeps_the_last_14_entries(self):
        conn = connect()
        self.addCleanup(conn.close)
        self.server.expect_lines("Nexolt connected!")
        for i in range(1, 19):  # 20 entries in all: the box shows entries 7 to 20
            conn.sendall(b"request %d" % i)
            self.server.expect_lines("request %d" % i)
        self.assertEqual(self.server.box_text(), b"".join(b"request %d\r\n" % i for i in range(5, 19)))

    def test_typed_text_is_lost_at_the_next_entry(self):
        self.assertEqual(self.probe.ask("settext typed\\r\\nby a user"), "ok")
        conn = connect()
        self.addCleanup(conn.close)
        self.server.expect_lines("Nexolt connected!")  # the whole box is the log again

    def test_closing_the_window_exits_0(self):
        self.assertEqual(self.server.stop(), 0)


class PortTaken(unittest.TestCase):
    def test_unable_to_bind_box_then_the_program_ends_with_failure(self):
        probe = start_window_system()
        holder = socket.socket()
        holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        holder.bind(("0.0.0.0", 3950))
        holder.listen(1)
        self.addCleanup(holder.close)
        server = make_server(SERVER_COMMAND)
        self.addCleanup(server.stop)
        self.assertEqual(probe.ask("box Error 60000"), "Unable to bind socket")
        self.assertEqual(probe.ask("dismiss Error"), "ok")
        self.assertEqual(server.wait_exit(), 1)


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND"])
