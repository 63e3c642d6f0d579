"""The real server as a process, on its own port 3950 (private-net.sh): the protocol,
connections, log output, a whole site (QX_TERMINALS, QX_TERMINAL_HOSTS, QX_LISTEN, QX_STATUS;
terminals "on other hosts" connect from 127.0.0.2 and up), the booking journal read back by
qxtool and its crash safety, and nexolt-sim against it.

    python3 server_test.py [unittest options] [CLASS...] -- SERVER_COMMAND... -- QXTOOL... -- SIM...
"""
import base64
import calendar
import concurrent.futures
import csv
import io
import json
import os
import pathlib
import re
import resource
import signal
import socket
import struct
import subprocess
import threading
import time
import unittest

from server_harness import (KEEP_ALIVE_REPLY, WINDOW_MODE, ServerCase, assert_no_reply_pending, connect,
                            make_server, protocol_cases, receive_exactly, reply_to, run_main, start_failures,
                            unescape)
from window_harness import start_window_system

SERVER_COMMAND, QXTOOL, SIM = [], [], []
TERMNR_REPLY = reply_to(b"snd_termnr,")
BOOKING_REPLY = reply_to(b"regi,1,2,F1,240115,830,12345")
LOCAL = "[127.0.0.1] Nexolt connected!"
RESET = struct.pack("ii", 1, 0)  # SO_LINGER: a close sends a reset


class Server(ServerCase):
    def setUp(self):
        super().setUp()
        self.start()
        self.conn = self.terminal()

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
        self.assertFalse(self.keep_alive_on())  # one terminal: no TCP keep-alive (QX_TERMINALS=2 has it)
        self.conn.sendall(b"x" * 65536 + b"b" * 476)
        self.server.expect_lines(*["x" * 1024] * 64 + ["b" * 476])
        self.conn.sendall(b"get_gr")  # a request cut by a stall is two
        self.server.expect_lines("get_gr")
        self.conn.sendall(b"und,")
        self.server.expect_lines("und,")
        assert_no_reply_pending(self.conn)

    def test_newest_connection_wins_late_resets_of_older_ones_act_on_nothing(self):
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
        live.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, RESET)  # the live one reset, one closed at once
        live.close()
        self.server.expect_lines("Nexolt closed connection!")
        connect().close()
        self.server.expect_lines("Nexolt connected!", "Nexolt closed connection!")
        assert_no_reply_pending(self.terminal())  # a new terminal is served

    @unittest.skipIf(WINDOW_MODE, "descriptor limits are set from outside on Linux")
    def test_failed_accept_is_logged_and_the_next_connection_served(self):
        pid = self.server.process.pid
        limits = resource.prlimit(pid, resource.RLIMIT_NOFILE)
        open_fds = {int(name) for name in os.listdir("/proc/%d/fd" % pid)}
        resource.prlimit(pid, resource.RLIMIT_NOFILE, (min(set(range(len(open_fds) + 1)) - open_fds), limits[1]))
        refused = connect()  # with no descriptor free
        self.server.expect_lines("Accept failed! Error code: 10024")
        self.assert_closed(refused)  # taken and closed, not left waiting
        assert_no_reply_pending(self.conn)  # the terminal is still served
        resource.prlimit(pid, resource.RLIMIT_NOFILE, limits)
        assert_no_reply_pending(self.terminal())  # a new terminal is served


@unittest.skipIf(WINDOW_MODE, "the Windows program logs to its window")
class StandardOutput(unittest.TestCase):  # no log output stops the server: not a stalled reader, a closed pipe
    ENTRIES = 1500  # of about 1000 bytes: more than the 1 MiB kept back and the pipe

    def start(self, stdout):
        process = subprocess.Popen(SERVER_COMMAND, stdin=subprocess.DEVNULL, stdout=stdout, stderr=subprocess.PIPE)
        self.addCleanup(lambda: (process.poll() is None and process.kill(), process.wait(), process.stderr.close()))
        return process

    def log_many_entries(self):  # each answered within 1 s; then a new terminal within 1 s
        conn = connect()
        self.addCleanup(conn.close)
        for i in range(self.ENTRIES):
            conn.sendall(b"snd_termnr,%04d," % i + b"x" * 980)
            self.assertEqual(receive_exactly(conn, len(TERMNR_REPLY), timeout=1), TERMNR_REPLY)
        late = connect()
        self.addCleanup(late.close)
        late.sendall(b"get_alive,")
        self.assertEqual(receive_exactly(late, len(KEEP_ALIVE_REPLY), timeout=1), KEEP_ALIVE_REPLY)

    def reports(self, process):  # stops the server by Ctrl-C; its reports of failed log output
        process.send_signal(signal.SIGINT)
        self.assertEqual(process.wait(timeout=20), 0)
        return [line for line in process.stderr.read().splitlines() if line.startswith(b"Log output:")]

    def test_stalled_reader_then_reading_again(self):
        process = self.start(subprocess.PIPE)
        self.addCleanup(process.stdout.close)
        self.log_many_entries()  # nobody reads meanwhile
        lines = []
        while len(lines) < 100:  # reading again, a little; what is kept back is written when the run ends
            line = process.stdout.readline()
            self.assertTrue(line, "output ended early: %r" % lines[-3:])
            lines.append(line.rstrip(b"\n"))
        process.terminate()
        lines += process.stdout.read().splitlines()
        notice, = [line for line in lines if line.endswith(b"log entries lost)")]  # one notice
        lost = int(notice[1:].split()[0])
        kept = [line for line in lines if line.startswith(b"snd_termnr,")]
        # Whole lines, in order, none cut or joined, and every entry written or counted:
        # waiting, two terminals connected, the requests.
        self.assertEqual(kept, [b"snd_termnr,%04d," % i + b"x" * 980 for i in range(len(kept))])
        self.assertGreater(sum(map(len, kept)), 1 << 20)  # the MiB kept back, and what the pipe held
        self.assertEqual(len(lines) - 1 + lost, self.ENTRIES + 3)
        self.assertEqual(self.reports(process), [])

    def test_a_closed_output_is_reported_once(self):
        read_end, write_end = os.pipe()
        os.close(read_end)
        process = self.start(write_end)
        self.log_many_entries()
        reports = self.reports(process)
        self.assertTrue(os.get_blocking(write_end))  # its flags as they were before the run
        os.close(write_end)
        self.assertEqual(len(reports), 1, reports)
        self.assertIn(b"Broken pipe", reports[0])


class Site(ServerCase):
    def test_terminals_booking_at_once_each_on_its_own_connection_and_the_status_file(self):
        count, status = 20, os.path.join(self.dir, "status.json")
        self.start(QX_TERMINALS=str(count), QX_BOOKINGS=os.path.join(self.dir, "bookings.jsonl"), QX_STATUS=status)
        done = threading.Event()
        self.addCleanup(done.set)

        def last_shown():  # read again and again while it is rewritten, until all booked and one closed
            while not done.is_set():
                shown = json.loads(pathlib.Path(status).read_bytes())
                if shown["connected"] == count - 1 and all(t["bookings_today"] for t in shown["terminals"]):
                    return shown
        reader = concurrent.futures.ThreadPoolExecutor(1).submit(last_shown)
        conns = [self.terminal(None) for _ in range(count)]
        self.server.expect_entries([LOCAL] * count)
        reported = lambda n: "snd_termnr," + ("%09d0" % n if n % 2 else str(n))  # odd: nine digits, the tenth not
        for number, conn in enumerate(conns, 1):
            conn.sendall(reported(number).encode())
            self.assertEqual(receive_exactly(conn, len(TERMNR_REPLY)), TERMNR_REPLY)
        self.server.expect_entries(["[T%d] %s" % (n, reported(n)) for n in range(1, count + 1)])
        for number, conn in enumerate(conns, 1):  # all outstanding at once
            conn.sendall(b"regi,1,2,F1,240115,0830,%d" % (1000 + number))
        for number, conn in enumerate(conns, 1):
            reply = BOOKING_REPLY.replace(b"12345", b"%d" % (1000 + number))
            self.assertEqual(receive_exactly(conn, len(reply)), reply)
        self.server.expect_entries(["[T%d] Card: %d at 08:30 on 15-01-2024 (Fkey: F1)" % (n, 1000 + n)
                                    for n in range(1, count + 1)])
        for conn in conns:  # none closed by another
            assert_no_reply_pending(conn)
        terminals = {(n, "127.0.0.1:%d" % conn.getsockname()[1]) for n, conn in enumerate(conns, 1)}
        conns[-1].close()  # the first, in slot 0, stays shown
        self.server.expect_lines("[T%d] Nexolt closed connection!" % count)
        journal = pathlib.Path(self.dir, "bookings.jsonl").read_bytes().splitlines()
        self.assertEqual({(line["terminal"], line["peer"]) for line in map(json.loads, journal)}, terminals)
        shown = reader.result(timeout=30)  # written within a second
        if not WINDOW_MODE:  # made readable and writable for all, less the umask
            umask = int(re.search(r"Umask:\s*(\d+)", pathlib.Path("/proc/self/status").read_text()).group(1), 8)
            self.assertEqual(os.stat(status).st_mode & 0o7777, 0o666 & ~umask)
        self.assertEqual({(t["terminal"], t["peer"], t["bookings_today"]) for t in shown["terminals"]},
                         {(n, peer, 1) for n, peer in terminals if n < count})
        since = calendar.timegm(time.strptime(shown["terminals"][0]["connected_since"], "%Y-%m-%dT%H:%M:%SZ"))
        self.assertLess(abs(since - time.time()), 600)
        self.assertEqual(self.server.stop(), 0)

    def test_the_connection_silent_longest_is_closed_for_a_new_one(self):
        self.start(QX_TERMINALS="3")
        first, gone = self.terminal(LOCAL), self.terminal(LOCAL)
        gone.close()  # its place is taken by the second, the third gets one of its own
        self.server.expect_lines("[127.0.0.1] Nexolt closed connection!")
        second, third = self.terminal(LOCAL), self.terminal(LOCAL)
        if WINDOW_MODE:
            self.assertEqual(self.server.title(), "Nexolt communication demo (3 of 3 terminals connected)")
        for conn in (second, first):  # heard from, one in the middle first: the third is now silent longest
            conn.sendall(b"get_alive,")
            self.assertEqual(receive_exactly(conn, len(KEEP_ALIVE_REPLY)), KEEP_ALIVE_REPLY)
        fourth = self.terminal(None)
        self.server.expect_lines("[127.0.0.1] Closed: silent longest, to make room (QX_TERMINALS=3)",
                                 "[127.0.0.1] Nexolt connected!")
        self.assert_closed(third)
        for conn in (first, second, fourth):
            assert_no_reply_pending(conn)

    @unittest.skipIf(WINDOW_MODE, "a POSIX TZ: Linux only")
    def test_bookings_today_start_again_at_local_midnight(self):
        midnight = int(time.time()) + 5  # in a zone in summer time (an hour east of its standard offset)
        east = -midnight % 86400 - 3600
        day = time.gmtime(midnight + east + 3600).tm_yday - 1  # the new day, 0 on January 1: summer time around it
        zone = "XXX%s%d:%02d:%02dYYY,%d/0,%d/0" % ("+-"[east >= 0], abs(east) // 3600, abs(east) // 60 % 60,
                                                  abs(east) % 60, (day - 9) % 365, (day + 9) % 365)
        status = pathlib.Path(self.dir, "status.json")
        self.start(TZ=zone, QX_TERMINALS="2", QX_STATUS=str(status))
        conn = self.terminal(LOCAL)
        seen = []  # the versions read: written when something changed and at midnight, never else

        def shown():
            seen.append(status.read_bytes())
            return [(t["bookings_today"], not t["last_request"]) for t in json.loads(seen[-1])["terminals"]]
        for booked, count, early in ((True, 1, True), (False, 0, False), (True, 1, False)):  # the middle: unchanged
            conn.sendall(BOOKING + b"1" if booked else b"")
            deadline = time.time() + 10
            while shown() != [(count, False)] and time.time() < deadline:
                threading.Event().wait(0.05)
            self.assertEqual((shown(), early and time.time() >= midnight), ([(count, False)], False))
        self.assertEqual((len({re.sub(rb'"written":"[^"]*"', b"", v) for v in seen}), self.keep_alive_on()),
                         (len(set(seen)), True))  # none rewritten unchanged; two terminals: TCP keep-alive

    def test_refused_addresses_and_one_listening_address(self):
        self.start(QX_TERMINAL_HOSTS="127.0.0.2, 127.0.0.8/30", QX_LISTEN="127.0.0.9", QX_TERMINALS="1")
        for source in ("127.1.2.3", "127.1.2.3", "127.1.2.4"):
            refused = connect(host="127.0.0.9", source=source)
            refused.sendall(b"snd_termnr,99")  # never read: no entry, no reply
            self.assert_closed(refused)
        allowed = self.terminal(None, host="127.0.0.9", source="127.0.0.11")
        self.server.expect_lines(*["[127.1.2.%d] Refused: not a terminal host (QX_TERMINAL_HOSTS)" % n for n in (3, 4)],
                                 "Nexolt connected!")  # one entry for both refusals of .3, one for .4
        allowed.sendall(b"snd_termnr,7")
        self.server.expect_lines("snd_termnr,7")  # one terminal: entries as ever
        self.assertEqual(receive_exactly(allowed, len(TERMNR_REPLY)), TERMNR_REPLY)
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", 3950), timeout=10)


class BadValues(unittest.TestCase):
    def test_start_failures_table(self):  # each start ends with status 1 and its message
        for env, limit, message in start_failures():
            if WINDOW_MODE and limit is not None:
                continue  # Windows has no limit of open files to raise
            with self.subTest(env=env):
                self.assertIn(message, self.failed_start(env, limit))

    def failed_start(self, env, limit):
        if WINDOW_MODE:
            probe = start_window_system()
            server = make_server(SERVER_COMMAND, env)
            text = probe.ask("box Configuration Error 60000")
            probe.ask("dismiss Configuration Error")
            self.assertEqual(server.wait_exit(), 1)
            return unescape(text).decode("latin-1")
        limits = (lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (limit, limit))) if limit else None
        result = subprocess.run(SERVER_COMMAND, env=dict(os.environ, **env), capture_output=True, timeout=60,
                                preexec_fn=limits)
        self.assertEqual((result.returncode, result.stdout), (1, b""))
        self.assertRegex(result.stderr.decode(), r"\AConfiguration Error: .*\n\Z")
        return result.stderr.decode()[len("Configuration Error: "):-1]


BOOKING = b"regi,1,2,F1,240115,0875,"  # and the card


def receive_reply(conn):
    conn.settimeout(10)
    data = b""
    while not data.endswith(b'"kumsaloms":"Balance"}'):
        chunk = conn.recv(4096)
        assert chunk, "connection closed after %r" % data
        data += chunk


class Journal(ServerCase):
    CARDS = [b"12345", b'a"b', b"x\r\ny", b"\xc3\xa9t\xc3\xa9", b"\xe9\xed\xa0\x80\xc0\x80\x7f", b"C" * 500]
    REQUESTS = [BOOKING + card for card in CARDS] + [b"regi," + bytes(range(1, 256))]  # every byte but NUL

    path = property(lambda self: os.path.join(self.dir, "bookings.jsonl"))

    def bookings(self, path, *options):
        result = subprocess.run(QXTOOL + ["bookings", path] + list(options), capture_output=True, timeout=60)
        return result.returncode, result.stdout.replace(b"\r\n", b"\n"), result.stderr.decode("latin-1")

    def test_bookings_are_journaled_exactly_and_read_back_as_json_and_csv(self):
        self.addCleanup(os.umask, os.umask(0))  # the server's: none, so a new journal gets its mode whole
        self.start(QX_BOOKINGS=self.path)
        self.conn = self.terminal()
        for n, request in enumerate(self.REQUESTS):
            if n == 1:  # the terminal's number from the second booking on
                self.conn.sendall(b"snd_termnr,3")
                receive_exactly(self.conn, len(TERMNR_REPLY))
            self.conn.sendall(request)
            receive_reply(self.conn)
        self.server.stop()
        if not WINDOW_MODE:
            self.assertEqual(os.stat(self.path).st_mode & 0o7777, 0o660)
        # The lines as they are: any JSON reader gets the exact bytes, a field that is not
        # UTF-8 as base64 under its own key.
        code, out, err = self.bookings(self.path, "--json")
        self.assertEqual((code, out), (0, pathlib.Path(self.path).read_bytes()), err)
        lines = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([base64.b64decode(line["request_base64"]) if "request_base64" in line
                          else line["request"].encode() for line in lines], self.REQUESTS)
        self.assertRegex(lines[0]["received"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")
        plain = b'{"received":"t","card":"7","fkey":"F","date":"d","time":"h","request":"regi,,,F,d,h,7"'
        with open(self.path, "ab") as journal:  # a key given again counts last; a line may lack peer and terminal
            journal.write(plain + b',"peer":"p","terminal":12,"terminal":34}\n' + plain + b'}\n')
        csv_path = os.path.join(self.dir, "bookings.csv")
        self.assertEqual(self.bookings(self.path, "--csv", csv_path), (0, b"", ""))
        records = list(csv.reader(io.StringIO(pathlib.Path(csv_path).read_bytes().decode("latin-1"), newline="")))
        peer = "127.0.0.1:%d" % self.conn.getsockname()[1]
        fields = [[card.decode("latin-1"), "F1", "240115", "0875"] for card in self.CARDS] + [[""] * 4]
        self.assertEqual(records, [["received", "terminal", "peer", "card", "fkey", "date", "time"]] +
                         [[line["received"], "3" if n else "", peer] + f for n, (line, f) in enumerate(zip(lines, fields))] +
                         [["t", "34", "p", "7", "F", "d", "h"], ["t", "", "", "7", "F", "d", "h"]])

    # The lines of journal_lines.tsv in one journal, and those that read alone, each time
    # after them a last line cut short (no error alone).
    def test_journal_lines_table(self):
        table = pathlib.Path(os.path.dirname(os.path.abspath(__file__)), "journal_lines.tsv").read_text("latin-1")
        cases = [row.split("\t=>\t") for row in table.splitlines() if not row.startswith("#")]
        for rows in (cases, [case for case in cases if not case[1].startswith("! ")]):
            pathlib.Path(self.path).write_bytes(b"".join(unescape(line) + b"\n" for line, _ in rows) + b'{"rec')
            code, out, err = self.bookings(self.path)
            problems = ["line %d: not a journal line: %s" % (n, result[2:])
                        for n, (_, result) in enumerate(rows, 1) if result.startswith("! ")]
            self.assertEqual((code, err.replace("qxtool: %s: " % self.path, "").splitlines()),
                             (1 if problems else 0, problems + ["line %d: incomplete last line (cut short, never "
                                                                 "answered)" % (len(rows) + 1)]))
            self.assertEqual(re.sub(rb"[\x80-\xff]", lambda m: b"\\x%02x" % m.group()[0], out).decode().splitlines(),
                             [result for _, result in rows if not result.startswith("! ")])

    @unittest.skipIf(WINDOW_MODE, "signals: Linux only")
    def test_killed_mid_load_loses_no_answered_booking(self):
        self.start(QX_BOOKINGS=self.path)
        self.conn = self.terminal()
        answered = []

        def book():
            try:
                for n in range(100000):
                    self.conn.sendall(BOOKING + b"%d" % n)
                    receive_reply(self.conn)
                    answered.append(n)
            except (OSError, AssertionError):
                pass  # the server is gone

        client = threading.Thread(target=book)
        client.start()
        while len(answered) < 200 and client.is_alive():
            threading.Event().wait(0.01)
        os.kill(self.server.process.pid, signal.SIGKILL)
        client.join(30)
        code, out, err = self.bookings(self.path)
        self.assertEqual((code, err), (0, ""))
        cards = [int(row.split(b"\t")[1]) for row in out.splitlines()]
        self.assertEqual(cards, list(range(len(cards))))  # in order, none twice
        self.assertIn(len(cards) - len(answered), (0, 1))  # every answered one, perhaps one more
        self.assertGreaterEqual(len(answered), 200)



ALIVE, TERMNR, GRUND = (re.escape(reply_to(r).decode()) + "\n" for r in (b"get_alive,", b"snd_termnr,", b"get_grund,"))
BOOKED = re.escape(BOOKING_REPLY.decode()).replace("12345", "%s") + "\n"
NOW = "HH:MM on DD-MM-YYYY"  # in an entry: the clock's time and date (not checked in the window)
USAGE = (2, "", "^nexolt-sim: ", None)
LOADED = r"%d %s requests in [0-9.]+ s: [0-9]+ requests/s; latency us p50 [0-9]+ p90 [0-9]+ p99 [0-9]+ max [0-9]+\n"
# Arguments (SCRIPT: a script file), exit status, output and errors (patterns), the entries
# logged between "connected" and "closed" (None: no connection).
CASES = [
    ("alive", 0, ALIVE, "^$", []),
    ("termnr 7", 0, TERMNR, "^$", ["snd_termnr,7"]),
    ("termnr", 0, TERMNR, "^$", ["snd_termnr,1"]),
    ("grund", 0, GRUND, "^$", ["get_grund,"]),
    ("book 12345 F2 240115 0830", 0, BOOKED % "12345", "^$", ["Card: 12345 at 08:30 on 15-01-2024 (Fkey: F2)"]),
    ("--timeout 300 raw hello\\x21", 1, "", "no reply within 300 ms", ["hello!"]),
    ("script SCRIPT", 2, ALIVE + BOOKED % "12 34" + TERMNR * 3,
     r"cannot run 'pause' with 1 argument\(s\); see nexolt-sim --help\r?\nnexolt-sim: stopped at line 9 of .+\n\Z",
     ["Card: 12 34 at 07:00 on 15-01-2024 (Fkey: F2)", "snd_termnr,9", "snd_termnr,5", "snd_termnr,"]),
    ("load termnr 7", 0, LOADED % (7, "termnr"), "^$", ["snd_termnr,1"] * 7),
    ("load termnr 1", 0, LOADED % (1, "termnr"), "^$", ["snd_termnr,1"]),  # the fewest requests; cards from 1
    ("load",) + USAGE, ("termnr 1 2",) + USAGE, ("--timeout 0 alive", 2, "", "bad value '0' for --timeout;", None),
    ("--port", 2, "", "--port needs a value;", None), ("--timeout 200", 2, "", "no command;", None),
    ("--- alive", 2, "", "unknown option ---;", None),
    ("alive 1", 2, "", r"cannot run 'alive' with 1 argument\(s\);", None),
    ("--port 1 --timeout 1 alive", 1, "", r"cannot connect to 127\.0\.0\.1:1\r?\n", None),  # the least port and timeout
    ("--host 127.0.0.2 --port 1 load alive 100000000", 1, "", r"cannot connect to 127\.0\.0\.2:1\r?\n", None),  # most
    ("raw hello\\x21", 1, "", "no reply within 2000 ms", ["hello!"]),  # the default timeout
    ("bogus",) + USAGE, ("book",) + USAGE, ("book 1 F1 240115 0830 x",) + USAGE, ("load alive 0",) + USAGE,
    ("--port 0 alive",) + USAGE, ("--port 65536 alive",) + USAGE, ("load alive 100000001",) + USAGE,
    ("--port 65535 --timeout 200 alive", 1, "", "cannot connect to 127.0.0.1:65535", None),  # the last port: no one
    ("book 7", 0, BOOKED % "7", "^$", ["Card: 7 at %s (Fkey: F1)" % NOW]),
    ("book 8 F4", 0, BOOKED % "8", "^$", ["Card: 8 at %s (Fkey: F4)" % NOW]),
    ("book 9 F3 240115", 0, BOOKED % "9", "^$", ["Card: 9 at HH:MM on 15-01-2024 (Fkey: F3)"]),
    # last: the window's log model takes no entry of the current time, so what follows would not match
    ("load book 2", 0, LOADED % (2, "book"), "^$", ["Card: %d at %s (Fkey: F1)" % (n, NOW) for n in (1, 2)]),
]


class Simulator(ServerCase):
    def test_commands_table(self):
        self.start()
        script = pathlib.Path(self.dir, "script.txt")
        script.write_text('# a shift start\nalive\npause 1\nbook "12 34" F2 240115 0700\ntermnr 9\npause 0\ntermnr\t5\n'
                          'termnr ""\npause 3600001\nalive\n')  # the first pause too long: a usage error
        for args, status, out, err, entries in CASES:
            with self.subTest(args=args):
                result = subprocess.run(SIM + args.replace("SCRIPT", str(script)).split(), capture_output=True, timeout=60)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertRegex(result.stdout.decode("latin-1").replace("\r\n", "\n"), r"\A%s\Z" % out)
                self.assertRegex(result.stderr.decode(), err)
                if entries is None or (WINDOW_MODE and "HH:MM" in "".join(entries)):
                    continue  # (the window's log model takes known entries only)
                expected = ["Nexolt connected!"] + entries + ["Nexolt closed connection!"]
                if WINDOW_MODE:
                    self.server.expect_lines(*expected)
                for entry in [] if WINDOW_MODE else expected:
                    self.assertRegex(self.server.next_line(), r"\A%s\Z" % re.escape(entry).replace("HH:MM", r"\d\d:\d\d")
                                     .replace(re.escape("DD-MM-YYYY"), r"\d\d-\d\d-\d{4}"))



if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND", "QXTOOL", "SIM"])
