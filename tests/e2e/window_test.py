"""The Windows program's window under Wine, seen through window-probe.exe (set up as for
server_test.py):   python3 window_test.py [unittest options] -- SERVER_COMMAND..."""
import socket
import unittest

from server_harness import connect, make_server, run_main

SERVER_COMMAND = []


class Window(unittest.TestCase):
    def test_log_box_typed_text_and_closing(self):
        server = make_server(SERVER_COMMAND)
        self.addCleanup(server.stop)
        server.wait_until_listening()
        self.assertEqual(server.probe.ask("settext typed\\r\\nby a user"), "ok")
        conn = connect()
        self.addCleanup(conn.close)
        server.expect_lines("Nexolt connected!")  # the whole box is the log again
        for i in range(1, 19):  # 20 entries in all: the box shows entries 7 to 20
            conn.sendall(b"request %d" % i)
            server.expect_lines("request %d" % i)
        self.assertEqual(server.box_text(), b"".join(b"request %d\r\n" % i for i in range(5, 19)))
        self.assertEqual(server.stop(), 0)  # closing the window ends the program with 0

    def test_unable_to_bind_box_then_the_program_ends_with_failure(self):
        holder = socket.create_server(("0.0.0.0", 3950))  # SO_REUSEADDR: the run's old connections may linger
        self.addCleanup(holder.close)
        server = make_server(SERVER_COMMAND)
        self.addCleanup(server.stop)
        self.assertEqual(server.probe.ask("box Error 60000"), "Unable to bind socket")
        self.assertEqual(server.probe.ask("dismiss Error"), "ok")
        self.assertEqual(server.wait_exit(), 1)


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND"])
