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
import unittest

from server_harness import (KEEP_ALIVE_REPLY, WINDOW_MODE, assert_no_reply_pending,
                            connect, make_server, protocol_cases, receive_exactly, reply_to, run_main)

SERVER_COMMAND = []
TERMNR_REPLY = reply_to(b"snd_termnr,")


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
    def test_protocol_table(self):
        for request, entry, reply in protocol_cases():
            with self.subTest(request=request[:80]):
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
        live.sendall(b"snd_termnr,4711")
        self.server.expect_lines("snd_termnr,4711")
        self.assertEqual(receive_exactly(live, len(TERMNR_REPLY)), TERMNR_REPLY)
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
