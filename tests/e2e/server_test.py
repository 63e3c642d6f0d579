"""Protocol and log checks of the terminal demo server, run against a real process.

    python3 server_test.py [unittest options] -- SERVER_COMMAND...

The same suite serves every build of the server: the command is the program and any
launcher in front of it. Port 3950 must be free: CTest runs it in a network namespace of
its own (private-net.sh).
"""
import os
import resource
import socket
import struct
import subprocess
import sys
import time
import unittest

from server_harness import (KEEP_ALIVE_REPLY, WAITING, WINDOW_MODE, Server, assert_no_reply_pending,
                            connect, make_server, receive_exactly, run_main)

SERVER_COMMAND = []

ABSENCE_REPLY = (b'{"success":true,"error":"ZA download OK", "hideTermBut":"0", "hideBuchBut":"0", '
                 b'"hideAfwhBut":"0", "type":"get_grund","ucats":[{"grund":"09 business trip"}]}')
TERMNR_REPLY = b'{"success":true,"error":"got termnr"}'


def booking_reply(card):
    return (b'{"success":true,"error":"SALDO","name":"Hi ' + card +
            b' again","kumsal":"+0:15","kumsaloms":"Balance"}')


ESCAPES = {0x5C: "\\\\", 0x09: "\\t", 0x0A: "\\n", 0x0D: "\\r", 0x00: "\\0"}


def escaped(data):
    """A received text as the server's pipe log writes it (one line, escapes: C0 and C1
    controls and bytes that are not UTF-8 as \\xHH), as Latin-1 text of its bytes."""
    out, i = [], 0
    while i < len(data):
        size = next((n for n in (2, 3, 4) if data[i] >= 0x80 and len(data[i:i + n].decode("utf-8", "replace")) == 1
                     and "\ufffd" not in data[i:i + n].decode("utf-8", "replace")), 1)
        sequence = data[i:i + size]
        if size > 1 and not 0x80 <= ord(sequence.decode("utf-8")) <= 0x9F:
            out.append(sequence.decode("latin-1"))
        else:
            out += [ESCAPES.get(b, "\\x%02x" % b if b < 0x20 or 0x7F <= b else chr(b)) for b in sequence]
        i += size
    return "".join(out)


class ServerTestCase(unittest.TestCase):
    def setUp(self):
        self.server = make_server(SERVER_COMMAND)
        self.addCleanup(self.server.stop)
        self.server.wait_until_listening()
        self.conn = self.open_terminal()

    def open_terminal(self):
        conn = connect()
        self.addCleanup(conn.close)
        self.server.expect_lines("Nexolt connected!")
        return conn

    def assert_serving_a_new_terminal(self):
        conn = self.open_terminal()
        conn.sendall(b"get_alive,")
        self.assertEqual(receive_exactly(conn, 37), KEEP_ALIVE_REPLY)

    def request(self, data, log_line=None):
        """Sends one request and waits until the server has logged it."""
        self.conn.sendall(data)
        if log_line is not None:
            self.server.expect_lines(log_line)


class RequestKinds(ServerTestCase):
    def test_replies_and_log_entries(self):
        cases = [  # request, its log entry (None: never logged), its reply (None: none)
            (b"get_alive,", None, KEEP_ALIVE_REPLY),
            (b"get_grund,", "get_grund,", ABSENCE_REPLY),  # 157 bytes whatever follows the keyword
            (b"get_grundX", "get_grundX", ABSENCE_REPLY),
            (b"get_grund", "get_grund", ABSENCE_REPLY),
            (b"snd_termnr,0042", "snd_termnr,0042", TERMNR_REPLY),
            (b"hello\r\n", "hello\\r\\n", None),
            (b"x\r\nCard: 99999 at 08:00 on 15-01-2024 (Fkey: F1)", escaped(b"x\r\nCard: 99999 at 08:00 on 15-01-2024 (Fkey: F1)"), None),
            (b"\x9b2J\xc2\x9d0;x\xe9\xed\xa0\x80 Jos\xc3\xa9", "\\x9b2J\\xc2\\x9d0;x\\xe9\\xed\\xa0\\x80 Jos\xc3\xa9", None),
            (b"abc\x00def", "abc", None),
        ] + [(miss, escaped(miss), None) for miss in
             (b"get_alive,x", b"get_alive", b"get_grun", b"snd_termnr", b"regX", b"hello")]
        for request, entry, reply in cases:
            with self.subTest(request=request):
                self.conn.sendall(request)
                if reply is not None:
                    self.assertEqual(receive_exactly(self.conn, len(reply)), reply)
                if entry is None:
                    self.request(b"marker", "marker")  # the next entry is the marker
                else:
                    self.server.expect_lines(entry)
                assert_no_reply_pending(self.conn)

    def test_requests_over_1024_bytes_come_in_1024_byte_pieces(self):
        self.conn.sendall(b"x" * 65536 + b"b" * 476)
        self.server.expect_lines(*["x" * 1024] * 64 + ["b" * 476])
        assert_no_reply_pending(self.conn)


class Bookings(ServerTestCase):
    CASES = [
        # the request and its log line (the formats case by case are the unit tests' table;
        # here the whole program)
        (b"regi,1,2,F1,240115,0875,12345", "Card: 12345 at 09:15 on 15-01-2024 (Fkey: F1)"),
        (b"regi,1,2,F2,x,y, 77 ", "Card:  77  at 00:00 on  (Fkey: F2)"),
        (b"regi", "Card:  at 00:00 on  (Fkey: )"),
        (b"registration,1,2,F9,101014,0700,9", "Card: 9 at 07:00 on 14-10-2010 (Fkey: F9)"),
    ]

    def test_booking_table(self):
        for request, line in self.CASES:
            with self.subTest(request=request):
                self.request(request, line)
                reply = booking_reply((request.split(b",") + [b""] * 7)[6])
                self.assertEqual(receive_exactly(self.conn, len(reply)), reply)
        assert_no_reply_pending(self.conn)

    def test_overlong_fields_never_overrun(self):
        card = b"C" * 500  # the request stays within one 1024-byte receive
        self.request(b"regi,1,2," + b"K" * 400 + b",101014,0700," + card,
                     "Card: " + "C" * 298 + " at 07:00 on 14-10-2010 (Fkey: " + "K" * 297 + ")")
        # field_at keeps 298 characters; a cut field ended by a comma loses one more
        reply = booking_reply(b"C" * 298)
        self.assertEqual(receive_exactly(self.conn, len(reply)), reply)


class Connections(ServerTestCase):
    def test_newest_connection_wins_and_the_older_one_is_closed(self):
        second = self.open_terminal()  # "Nexolt connected!" alone: the take-over
        self.conn.settimeout(10)
        self.assertEqual(self.conn.recv(100), b"")  # the server closed the older connection
        self.conn.close()  # ... so its late close acts on nothing
        second.sendall(b"snd_termnr,2")
        self.server.expect_lines("snd_termnr,2")  # no close, no empty entry before it
        self.assertEqual(receive_exactly(second, 37), TERMNR_REPLY)

    def test_live_connection_survives_older_ones_closing(self):
        older = [self.conn] + [self.open_terminal() for _ in range(int(os.environ.get("QX_E2E_HELD", "100")))]
        live = self.open_terminal()
        for conn in older:
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            conn.close()  # a reset, for half of them after their data
        live.sendall(b"regi,1,2,F1,240115,0830,4711")
        self.server.expect_lines("Card: 4711 at 08:30 on 15-01-2024 (Fkey: F1)")
        self.assertEqual(receive_exactly(live, len(booking_reply(b"4711"))), booking_reply(b"4711"))
        assert_no_reply_pending(live)

    def test_reset_and_immediate_close_do_not_hurt(self):
        self.conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.conn.close()  # sends a reset
        self.server.expect_lines("Nexolt closed connection!")
        quick = connect()
        quick.close()
        self.server.expect_lines("Nexolt connected!", "Nexolt closed connection!")
        self.assert_serving_a_new_terminal()

    def test_half_request_then_stall_then_the_rest(self):
        self.request(b"get_gr", "get_gr")  # one receive is one request, complete or not
        self.request(b"und,", "und,")
        assert_no_reply_pending(self.conn)

    def test_many_connect_close_cycles(self):
        self.conn.close()
        self.server.expect_lines("Nexolt closed connection!")
        cycles = int(os.environ.get("QX_E2E_CYCLES", "10000"))
        for cycle in range(cycles):
            # A request of its own per cycle: the window's log, trimmed to 14 entries,
            # would else look the same after every cycle, and a check of it could pass
            # before the server has seen the cycle at all.
            c = connect()
            c.sendall(b"cycle %d" % cycle)
            c.close()
            self.server.expect_lines("Nexolt connected!", "cycle %d" % cycle, "Nexolt closed connection!")
        self.assert_serving_a_new_terminal()


@unittest.skipIf(WINDOW_MODE, "the window program's life is checked by window_test.py")
class Lifecycle(unittest.TestCase):
    def test_port_in_use_shows_the_box_and_ends_with_failure(self):
        holder = socket.socket()
        holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # past earlier TIME_WAITs
        holder.bind(("0.0.0.0", 3950))
        holder.listen(1)
        self.addCleanup(holder.close)
        server = Server(SERVER_COMMAND)
        self.addCleanup(server.stop)
        server.expect_lines(WAITING)
        code = server.wait_exit()
        self.assertEqual(code, 1)
        self.assertEqual(server.next_line(), None)  # nothing else was logged
        self.assertIn(b"Error: Unable to bind socket", server.stderr)


@unittest.skipIf(WINDOW_MODE, "the Windows program logs to its window")
class StandardOutput(unittest.TestCase):
    """The log output never stops the server: not a stalled reader, a closed pipe or a
    full disk. Requests that are answered show the server at work meanwhile."""

    ENTRIES = 1500  # of about 1000 bytes: more than the 1 MiB kept back and the pipe

    def start(self, stdout):
        process = subprocess.Popen(SERVER_COMMAND, stdin=subprocess.DEVNULL, stdout=stdout,
                                   stderr=subprocess.PIPE)
        self.addCleanup(self.stop, process)
        return process

    def stop(self, process):
        if process.poll() is None:
            process.terminate()
        try:
            process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise
        finally:
            process.stderr.close()

    def log_many_entries(self):
        """Sends ENTRIES logged requests, each answered within 1 s; then a new terminal
        is served within 1 s."""
        conn = connect()
        self.addCleanup(conn.close)
        for i in range(self.ENTRIES):
            conn.sendall(b"snd_termnr,%04d," % i + b"x" * 980)
            self.assertEqual(receive_exactly(conn, 37, timeout=1), TERMNR_REPLY)
        late = connect()
        self.addCleanup(late.close)
        late.sendall(b"get_alive,")
        self.assertEqual(receive_exactly(late, 37, timeout=1), KEEP_ALIVE_REPLY)

    def reports(self, process):
        """Stops the server; its reports of failed log output on standard error."""
        process.terminate()
        process.wait(timeout=20)
        return [line for line in process.stderr.read().splitlines() if line.startswith(b"Log output:")]

    def test_stalled_reader_then_reading_again(self):
        process = self.start(subprocess.PIPE)
        self.addCleanup(process.stdout.close)
        self.log_many_entries()  # nobody reads meanwhile
        lines = []
        while not lines or not lines[-1].endswith(b"log entries lost)"):
            line = process.stdout.readline()
            self.assertTrue(line, "output ended before the count of lost entries: %r" % lines[-3:])
            lines.append(line.rstrip(b"\n"))
        process.terminate()
        lines += process.stdout.read().splitlines()
        notice = [i for i, line in enumerate(lines) if line.endswith(b"log entries lost)")]
        self.assertEqual(len(notice), 1, lines[-5:])
        lost = int(lines[notice[0]][1:].split()[0])
        kept = [line for line in lines if line.startswith(b"snd_termnr,")]
        # Whole lines, in order, none cut or joined, and every entry written or counted.
        self.assertEqual(kept, [b"snd_termnr,%04d," % i + b"x" * 980 for i in range(len(kept))])
        # Waiting, two terminals connected, the requests: each one written or counted.
        self.assertEqual(len(lines) - 1 + lost, self.ENTRIES + 3)
        self.assertEqual(self.reports(process), [])

    def test_closed_pipe_is_reported_once(self):
        read_end, write_end = os.pipe()
        os.close(read_end)
        process = self.start(write_end)
        os.close(write_end)
        self.log_many_entries()
        reports = self.reports(process)
        self.assertEqual(len(reports), 1, reports)
        self.assertIn(b"Broken pipe", reports[0])

    def test_full_disk_is_reported_once(self):
        with open("/dev/full", "wb") as full:
            process = self.start(full)
        self.log_many_entries()
        reports = self.reports(process)
        self.assertEqual(len(reports), 1, reports)
        self.assertIn(b"No space left on device", reports[0])


@unittest.skipIf(WINDOW_MODE, "descriptor limits are set from outside on Linux")
class FailedAccept(ServerTestCase):
    def test_failed_accept_is_logged_and_the_next_connection_served(self):
        pid = self.server.process.pid
        limits = resource.prlimit(pid, resource.RLIMIT_NOFILE)
        open_fds = {int(name) for name in os.listdir("/proc/%d/fd" % pid)}
        lowest_free = min(set(range(len(open_fds) + 1)) - open_fds)
        resource.prlimit(pid, resource.RLIMIT_NOFILE, (lowest_free, limits[1]))  # no new descriptor
        refused = connect()
        self.server.expect_lines("Accept failed! Error code: 10024")
        refused.settimeout(10)
        try:
            self.assertEqual(refused.recv(10), b"")  # taken and closed, not left waiting
        except ConnectionResetError:
            pass
        refused.close()
        assert_no_reply_pending(self.conn)  # the terminal is still served
        resource.prlimit(pid, resource.RLIMIT_NOFILE, limits)
        self.assert_serving_a_new_terminal()


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND"])
