"""A whole site on one server (QX_TERMINALS, QX_TERMINAL_HOSTS, QX_LISTEN, QX_STATUS),
against the real server; terminals "on other hosts" connect from 127.0.0.2 and up.

    python3 site_test.py [unittest options] -- SERVER_COMMAND...
"""
import calendar
import json
import os
import resource
import socket
import subprocess
import threading
import time
import unittest

from server_harness import (KEEP_ALIVE_REPLY, WINDOW_MODE, ServerCase, assert_no_reply_pending, connect,
                            make_server, receive_exactly, reply_to, run_main, start_failures, unescape)
from window_harness import start_window_system

SERVER_COMMAND = []
TERMNR_REPLY = reply_to(b"snd_termnr,")
BOOKING_REPLY = reply_to(b"regi,1,2,F1,240115,830,12345")
LOCAL = "[127.0.0.1] Nexolt connected!"


class Site(ServerCase):
    def test_terminals_booking_at_once_each_on_its_own_connection(self):
        count = 20
        self.start(QX_TERMINALS=str(count), QX_BOOKINGS=os.path.join(self.dir, "bookings.jsonl"))
        conns = [self.terminal(None) for _ in range(count)]
        self.server.expect_entries([LOCAL] * count)
        for number, conn in enumerate(conns, 1):
            conn.sendall(b"snd_termnr,%d" % number)
            self.assertEqual(receive_exactly(conn, len(TERMNR_REPLY)), TERMNR_REPLY)
        self.server.expect_entries(["[T%d] snd_termnr,%d" % (n, n) for n in range(1, count + 1)])
        for number, conn in enumerate(conns, 1):  # all outstanding at once
            conn.sendall(b"regi,1,2,F1,240115,0830,%d" % (1000 + number))
        for number, conn in enumerate(conns, 1):
            reply = BOOKING_REPLY.replace(b"12345", b"%d" % (1000 + number))
            self.assertEqual(receive_exactly(conn, len(reply)), reply)
        self.server.expect_entries(["[T%d] Card: %d at 08:30 on 15-01-2024 (Fkey: F1)" % (n, 1000 + n)
                                    for n in range(1, count + 1)])
        for conn in conns:  # none closed by another
            assert_no_reply_pending(conn)
        with open(os.path.join(self.dir, "bookings.jsonl"), "rb") as f:
            origin = {(line["terminal"], line["peer"]) for line in map(json.loads, f)}
        self.assertEqual(origin, {(n, "127.0.0.1:%d" % conn.getsockname()[1]) for n, conn in enumerate(conns, 1)})
        self.assertEqual(self.server.stop(), 0)

    def test_the_connection_silent_longest_is_closed_for_a_new_one(self):
        self.start(QX_TERMINALS="2")
        first, second = self.terminal(LOCAL), self.terminal(LOCAL)
        if WINDOW_MODE:
            self.assertEqual(self.server.title(), "Nexolt communication demo (2 of 2 terminals connected)")
        first.sendall(b"get_alive,")  # heard from: the second is now silent longest
        self.assertEqual(receive_exactly(first, len(KEEP_ALIVE_REPLY)), KEEP_ALIVE_REPLY)
        third = self.terminal(None)
        self.server.expect_lines("[127.0.0.1] Closed: silent longest, to make room (QX_TERMINALS=2)",
                                 "[127.0.0.1] Nexolt connected!")
        self.assert_closed(second)
        for conn in (first, third):
            assert_no_reply_pending(conn)

    def test_refused_addresses_and_one_listening_address(self):
        self.start(QX_TERMINAL_HOSTS="127.0.0.2, 127.0.0.8/30", QX_LISTEN="127.0.0.9")
        for _ in range(2):
            refused = connect(host="127.0.0.9", source="127.0.0.3")
            refused.sendall(b"snd_termnr,99")  # never read: no entry, no reply
            self.assert_closed(refused)
        allowed = self.terminal(None, host="127.0.0.9", source="127.0.0.11")
        self.server.expect_lines("[127.0.0.3] Refused: not a terminal host (QX_TERMINAL_HOSTS)",
                                 "Nexolt connected!")  # one entry for both refusals
        allowed.sendall(b"snd_termnr,7")
        self.server.expect_lines("snd_termnr,7")  # one terminal: entries as ever
        self.assertEqual(receive_exactly(allowed, len(TERMNR_REPLY)), TERMNR_REPLY)
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", 3950), timeout=10)

    def test_the_status_file_is_valid_json_whenever_it_is_read(self):
        status = os.path.join(self.dir, "status.json")
        self.start(QX_TERMINALS="5", QX_STATUS=status)
        problems, done = [], threading.Event()

        def read():
            while not done.is_set():
                try:
                    with open(status, "rb") as f:
                        json.loads(f.read())
                except (ValueError, OSError) as error:
                    problems.append(error)

        reader = threading.Thread(target=read)
        reader.start()
        self.addCleanup(reader.join)
        self.addCleanup(done.set)
        for round_ in range(3):
            conns = [self.terminal(None) for _ in range(5)]
            self.server.expect_entries([LOCAL] * 5)
            conns[0].sendall(b"snd_termnr,%d" % round_)
            receive_exactly(conns[0], len(TERMNR_REPLY))
            self.server.expect_lines("[T%d] snd_termnr,%d" % (round_, round_))
            for conn in conns:
                conn.close()
            self.server.expect_entries(["[T%d] Nexolt closed connection!" % round_] +
                                       ["[127.0.0.1] Nexolt closed connection!"] * 4)
        last = self.terminal(LOCAL)
        last.sendall(b"snd_termnr,12")
        receive_exactly(last, len(TERMNR_REPLY))
        self.server.expect_lines("[T12] snd_termnr,12")
        deadline = time.monotonic() + 30
        while True:  # written within a second
            with open(status, "rb") as f:
                shown = json.loads(f.read())
            if (shown["terminals"] and shown["terminals"][0]["terminal"] == 12) or time.monotonic() > deadline:
                break
            time.sleep(0.05)
        self.assertEqual(problems, [])
        terminal = shown["terminals"][0]
        self.assertEqual((shown["connected"], terminal["bookings_today"], terminal["peer"]),
                         (1, 0, "127.0.0.1:%d" % last.getsockname()[1]))
        since = calendar.timegm(time.strptime(terminal["connected_since"], "%Y-%m-%dT%H:%M:%SZ"))
        self.assertLess(abs(since - time.time()), 600)


class BadValues(unittest.TestCase):
    def test_start_failures_table(self):
        """The rows "!" of protocol_cases.tsv: each start ends with status 1 and its message."""
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
        text = result.stderr.decode()
        self.assertTrue(text.startswith("Configuration Error: ") and text.endswith("\n"), text)
        return text[len("Configuration Error: "):-1]


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND"])
