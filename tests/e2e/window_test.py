"""The Windows program's window under Wine, seen from outside through window-probe.exe:
the class and window attributes, the log box after each step, text typed into the box,
the box shown when port 3950 is taken, and the exit code after closing the window.

    python3 window_test.py [unittest options] -- SERVER_COMMAND...
(with QX_E2E_WINDOW=1 and QX_WINDOW_PROBE set as for server_test.py)
"""
import os
import socket
import sys
import unittest

from server_harness import connect, make_server, receive_exactly, run_main
from window_harness import start_window_system

SERVER_COMMAND = []

WS_OVERLAPPEDWINDOW = 0x00CF0000
WS_CHILD, WS_VISIBLE, WS_VSCROLL, WS_HSCROLL = 0x40000000, 0x10000000, 0x00200000, 0x00100000
ES_MULTILINE, ES_AUTOVSCROLL, ES_AUTOHSCROLL, ES_READONLY = 0x0004, 0x0040, 0x0080, 0x0800
WS_EX_CLIENTEDGE = 0x00000200


def attributes(probe):
    return {key: int(value, 0) for key, value in (pair.split("=") for pair in probe.ask("attrs").split())}


class Window(unittest.TestCase):
    def setUp(self):
        self.server = make_server(SERVER_COMMAND)
        self.addCleanup(self.server.stop)
        self.server.wait_until_listening()
        self.probe = self.server.probe

    def test_class_window_and_log_box_attributes(self):
        a = attributes(self.probe)
        # Wine tells another process a class's style but not its brush, icon or cursor;
        # those are checked inside the process by platform_window_class_test.
        self.assertEqual(a["class_style"], 3)
        self.assertEqual(a["menu"], 0)
        self.assertEqual(a["style"] & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW)
        self.assertEqual(a["exstyle"] & WS_EX_CLIENTEDGE, 0)
        self.assertEqual((a["x"], a["y"], a["width"], a["height"]), (200, 200, 640, 480))
        self.assertEqual(a["box"], 1)
        wanted = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL
        self.assertEqual(a["box_style"] & wanted, wanted)
        self.assertEqual(a["box_style"] & (WS_VSCROLL | WS_HSCROLL | ES_READONLY), 0)
        self.assertEqual(a["box_exstyle"] & WS_EX_CLIENTEDGE, WS_EX_CLIENTEDGE)
        self.assertEqual((a["box_x"], a["box_y"], a["box_width"], a["box_height"]), (50, 50, 400, 260))

    def test_log_box_after_each_step(self):
        conn = connect()
        self.addCleanup(conn.close)
        self.server.expect_lines("Nexolt connected!")
        conn.sendall(b"regi,1,2,F1,240115,830,12345")
        self.server.expect_lines("Card: 12345 at 08:30 on 15-01-2024 (Fkey: F1)")
        receive_exactly(conn, 95)  # the booking reply
        for i in range(1, 18):  # 20 entries in all: the box shows entries 7 to 20
            conn.sendall(b"request %d" % i)
            self.server.expect_lines("request %d" % i)
        self.assertTrue(self.server.box_text().startswith(b"request 4\r\n"))
        self.assertEqual(self.server.box_text().count(b"\r\n"), 14)
        conn.close()
        self.server.expect_lines("Nexolt closed connection!")

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
