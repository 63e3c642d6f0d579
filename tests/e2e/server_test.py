"""The protocol, connections and log output of the real server, on its own port 3950
(private-net.sh).

    python3 server_test.py [unittest options] -- SERVER_COMMAND...
"""
import os
import resource
import socket
import struct
import subprocess
import unittest

from server_harness import (KEEP_ALIVE_REPLY, WINDOW_MODE, ServerCase, assert_no_reply_pending, connect,
                            protocol_cases, receive_exactly, reply_to, run_main)

SERVER_COMMAND = []
TERMNR_REPLY = reply_to(b"snd_termnr,")
RESET = struct.pack("ii", 1, 0)  # SO_LINGER: a close sends a reset


class Server(ServerCase):
    def setUp(self):
        super().setUp()
        self.start()
        self.conn = self.terminal()

    def assert_serving_a_new_terminal(self):
        conn = self.terminal()
        conn.sendall(b"get_alive,")
        self.assertEqual(receive_exactly(conn, len(KEEP_ALIVE_REPLY)), KEEP_ALIVE_REPLY)

    def test_protocol_table(self):
        for request, entry, reply in protocol_cases():
            with self.subTest(request=request[:80]):
                self.conn.sendall(request)
                if reply is not None:
                    self.assertEqual(receive_exactly(self.conn, len(reply)), reply)
                if entry is None:
                    self.conn.sendall(b"marker")  # the next entry is the marker
                self.server.expect_lines("marker" if entry is None else entry)
                assert_no_reply_pending(self.conn)

    def test_one_receive_is_one_request_of_at_most_1024_bytes(self):
        self.conn.sendall(b"x" * 65536 + b"b" * 476)
        self.server.expect_lines(*["x" * 1024] * 64 + ["b" * 476])
        self.conn.sendall(b"get_gr")  # a request cut by a stall is two
        self.server.expect_lines("get_gr")
        self.conn.sendall(b"und,")
        self.server.expect_lines("und,")
        assert_no_reply_pending(self.conn)

    def test_newest_connection_wins_and_late_resets_of_older_ones_act_on_nothing(self):
        older = [self.conn] + [self.terminal() for _ in range(int(os.environ.get("QX_E2E_HELD", "100")))]
        live = self.terminal()  # "Nexolt connected!" alone: the take-over
        self.assert_closed(older[0])  # the server closed the older connection
        for conn in older[1:]:
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, RESET)
            conn.close()
        live.sendall(b"snd_termnr,4711")
        self.server.expect_lines("snd_termnr,4711")  # no close, no empty entry before it
        self.assertEqual(receive_exactly(live, len(TERMNR_REPLY)), TERMNR_REPLY)
        assert_no_reply_pending(live)

    def test_reset_and_immediate_close(self):
        self.conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, RESET)
        self.conn.close()
        self.server.expect_lines("Nexolt closed connection!")
        connect().close()
        self.server.expect_lines("Nexolt connected!", "Nexolt closed connection!")
        self.assert_serving_a_new_terminal()

    @unittest.skipIf(WINDOW_MODE, "descriptor limits are set from outside on Linux")
    def test_failed_accept_is_logged_and_the_next_connection_served(self):
        pid = self.server.process.pid
        limits = resource.prlimit(pid, resource.RLIMIT_NOFILE)
        open_fds = {int(name) for name in os.listdir("/proc/%d/fd" % pid)}
        lowest_free = min(set(range(len(open_fds) + 1)) - open_fds)
        resource.prlimit(pid, resource.RLIMIT_NOFILE, (lowest_free, limits[1]))  # no new descriptor
        refused = connect()
        self.server.expect_lines("Accept failed! Error code: 10024")
        refused.settimeout(10)
        self.assert_closed(refused)  # taken and closed, not left waiting
        assert_no_reply_pending(self.conn)  # the terminal is still served
        resource.prlimit(pid, resource.RLIMIT_NOFILE, limits)
        self.assert_serving_a_new_terminal()


@unittest.skipIf(WINDOW_MODE, "the Windows program logs to its window")
class StandardOutput(unittest.TestCase):
    """No log output stops the server: not a stalled reader, a closed pipe or a full disk."""

    ENTRIES = 1500  # of about 1000 bytes: more than the 1 MiB kept back and the pipe

    def start(self, stdout):
        process = subprocess.Popen(SERVER_COMMAND, stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE)
        self.addCleanup(lambda: (process.poll() is None and process.kill(), process.wait(), process.stderr.close()))
        return process

    def log_many_entries(self):
        """ENTRIES logged requests, each answered within 1 s; then a new terminal within 1 s."""
        conn = connect()
        self.addCleanup(conn.close)
        for i in range(self.ENTRIES):
            conn.sendall(b"snd_termnr,%04d," % i + b"x" * 980)
            self.assertEqual(receive_exactly(conn, len(TERMNR_REPLY), timeout=1), TERMNR_REPLY)
        late = connect()
        self.addCleanup(late.close)
        late.sendall(b"get_alive,")
        self.assertEqual(receive_exactly(late, len(KEEP_ALIVE_REPLY), timeout=1), KEEP_ALIVE_REPLY)

    def reports(self, process):
        """Stops the server; its reports of failed log output."""
        process.terminate()
        self.assertEqual(process.wait(timeout=20), 0)
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
        # Whole lines, in order, none cut or joined, and every entry written or counted:
        # waiting, two terminals connected, the requests.
        self.assertEqual(kept, [b"snd_termnr,%04d," % i + b"x" * 980 for i in range(len(kept))])
        self.assertEqual(len(lines) - 1 + lost, self.ENTRIES + 3)
        self.assertEqual(self.reports(process), [])

    def test_failed_output_is_reported_once(self):
        read_end, write_end = os.pipe()
        os.close(read_end)
        for output, reason in ((write_end, b"Broken pipe"), (os.open("/dev/full", os.O_WRONLY), b"No space left")):
            with self.subTest(reason=reason):
                process = self.start(output)
                os.close(output)
                self.log_many_entries()
                reports = self.reports(process)
                self.assertEqual(len(reports), 1, reports)
                self.assertIn(reason, reports[0])


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND"])
