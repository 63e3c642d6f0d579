"""A whole site on one server (QX_TERMINALS, QX_TERMINAL_HOSTS, QX_LISTEN, QX_STATUS) and
its journal exported as CSV, against the real server and qxtool:

    python3 site_test.py [unittest options] -- SERVER_COMMAND... -- QXTOOL_COMMAND...

Loopback has every address of 127.0.0.0/8: terminals "on other hosts" connect from
127.0.0.2 and up.
"""
import csv
import json
import os
import resource
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest

from server_harness import (KEEP_ALIVE_REPLY, WINDOW_MODE, assert_no_reply_pending, connect, make_server,
                            receive_exactly, reply_to, run_main)
from window_harness import start_window_system, unescape

SERVER_COMMAND = []
QXTOOL = []

TERMNR_REPLY = reply_to(b"snd_termnr,")
BOOKING_REPLY = reply_to(b"regi,1,2,F1,240115,830,12345")


def booking(card, time=b"0830"):
    return b"regi,1,2,F1,240115," + time + b"," + card


def booking_reply(card):
    return BOOKING_REPLY.replace(b"12345", card)


def card_line(card, prefix="", mark=""):
    return prefix + "Card: %s at 08:30 on 15-01-2024 (Fkey: F1)%s" % (card, mark)


class SiteCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qx-site-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.journal = os.path.join(self.dir, "bookings.jsonl")

    def start(self, **env):
        self.server = make_server(SERVER_COMMAND, env=env)
        self.addCleanup(self.server.stop)
        self.server.wait_until_listening()
        return self.server

    def terminal(self, source=None, entry="[127.0.0.1] Nexolt connected!"):
        conn = connect(source=source)
        self.addCleanup(conn.close)
        if entry is not None:
            self.server.expect_lines(entry)
        return conn

    def journal_lines(self):
        with open(self.journal, "rb") as f:
            return [json.loads(line) for line in f]


class Terminals(SiteCase):
    def test_terminals_booking_at_once_each_on_its_own_connection(self):
        for count in (20,):
            with self.subTest(terminals=count):
                os.makedirs(self.dir, exist_ok=True)
                self.start(QX_TERMINALS=str(count), QX_BOOKINGS=self.journal)
                conns = [self.terminal(entry=None) for _ in range(count)]
                self.server.expect_entries(["[127.0.0.1] Nexolt connected!"] * count)
                for number, conn in enumerate(conns, 1):
                    conn.sendall(b"snd_termnr,%d" % number)
                    self.assertEqual(receive_exactly(conn, len(TERMNR_REPLY)), TERMNR_REPLY)
                self.server.expect_entries(["[T%d] snd_termnr,%d" % (n, n) for n in range(1, count + 1)])
                for number, conn in enumerate(conns, 1):  # all outstanding at once
                    conn.sendall(booking(b"%d" % (1000 + number)))
                for number, conn in enumerate(conns, 1):
                    reply = booking_reply(b"%d" % (1000 + number))
                    self.assertEqual(receive_exactly(conn, len(reply)), reply)
                self.server.expect_entries([card_line(1000 + n, "[T%d] " % n) for n in range(1, count + 1)])
                for conn in conns:  # none closed by another
                    assert_no_reply_pending(conn)
                origin = {(line["terminal"], line["peer"]) for line in self.journal_lines()}
                self.assertEqual(origin, {(n, "127.0.0.1:%d" % conn.getsockname()[1])
                                          for n, conn in enumerate(conns, 1)})
                self.assertEqual(self.server.stop(), 0)
                shutil.rmtree(self.dir)

    def test_the_connection_silent_longest_is_closed_for_a_new_one(self):
        self.start(QX_TERMINALS="2")
        first, second = self.terminal(), self.terminal()
        if WINDOW_MODE:
            self.assertEqual(self.server.title(), "Nexolt communication demo (2 of 2 terminals connected)")
        first.sendall(b"get_alive,")  # heard from: the second is now silent longest
        self.assertEqual(receive_exactly(first, len(KEEP_ALIVE_REPLY)), KEEP_ALIVE_REPLY)
        third = self.terminal(entry=None)
        self.server.expect_lines("[127.0.0.1] Closed: silent longest, to make room (QX_TERMINALS=2)",
                                 "[127.0.0.1] Nexolt connected!")
        second.settimeout(10)
        self.assertEqual(second.recv(10), b"")
        for conn in (first, third):
            assert_no_reply_pending(conn)

    def test_a_refused_address_is_closed_unread_and_logged_once(self):
        self.start(QX_TERMINAL_HOSTS="127.0.0.2, 127.0.0.8/30")
        for _ in range(2):
            refused = connect(source="127.0.0.3")
            refused.sendall(b"snd_termnr,99")  # never read: no entry, no reply
            refused.settimeout(10)
            try:
                self.assertEqual(refused.recv(100), b"")
            except ConnectionResetError:
                pass
            refused.close()
        allowed = self.terminal(source="127.0.0.9", entry=None)
        self.server.expect_lines("[127.0.0.3] Refused: not a terminal host (QX_TERMINAL_HOSTS)",
                                 "Nexolt connected!")  # one entry for both refusals
        allowed.sendall(b"snd_termnr,7")
        self.server.expect_lines("snd_termnr,7")  # one terminal: entries as ever
        self.assertEqual(receive_exactly(allowed, len(TERMNR_REPLY)), TERMNR_REPLY)

    def test_listen_binds_one_address(self):
        self.start(QX_LISTEN="127.0.0.2")
        conn = connect(host="127.0.0.2")
        self.addCleanup(conn.close)
        self.server.expect_lines("Nexolt connected!")
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.1", 3950), timeout=10)
        assert_no_reply_pending(conn)


class Journal(SiteCase):
    def test_csv_export_reads_back_as_the_journal(self):
        self.start(QX_BOOKINGS=self.journal)
        conn = self.terminal(entry="Nexolt connected!")
        conn.sendall(b"snd_termnr,3")
        receive_exactly(conn, len(TERMNR_REPLY))
        cards = [b"7", b'a"b', b"x\r\ny", b"\xc3\xa9t\xc3\xa9"]
        for card in cards:
            conn.sendall(booking(card))
            receive_exactly(conn, len(booking_reply(card.replace(b'"', b'\\"').replace(b"\r", b"\\u000d")
                                                    .replace(b"\n", b"\\u000a"))))
        self.server.stop()
        out = os.path.join(self.dir, "bookings.csv")
        result = subprocess.run(QXTOOL + ["bookings", "--csv", out, self.journal], capture_output=True, timeout=60)
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        with open(out, newline="", encoding="utf-8") as f:
            rows = list(csv.reader(f))
        self.assertEqual(rows[0], ["received", "terminal", "peer", "card", "fkey", "date", "time"])
        self.assertEqual(rows[1:], [[line["received"], str(line["terminal"]), line["peer"], line["card"], line["fkey"],
                                     line["date"], line["time"]] for line in self.journal_lines()])
        self.assertEqual([row[3].encode() for row in rows[1:]], cards)


class Status(SiteCase):
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
        try:
            for round_ in range(3):
                conns = [self.terminal(entry=None) for _ in range(5)]
                self.server.expect_entries(["[127.0.0.1] Nexolt connected!"] * 5)
                conns[0].sendall(b"snd_termnr,%d" % round_)
                receive_exactly(conns[0], len(TERMNR_REPLY))
                self.server.expect_lines("[T%d] snd_termnr,%d" % (round_, round_))
                for conn in conns:
                    conn.close()
                self.server.expect_entries(["[T%d] Nexolt closed connection!" % round_] +
                                           ["[127.0.0.1] Nexolt closed connection!"] * 4)
            last = self.terminal()
            last.sendall(b"snd_termnr,12")
            receive_exactly(last, len(TERMNR_REPLY))
            self.server.expect_lines("[T12] snd_termnr,12")
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline:  # written within a second
                with open(status, "rb") as f:
                    shown = json.loads(f.read())
                if shown["terminals"] and shown["terminals"][0]["terminal"] == 12:
                    break
                time.sleep(0.05)
        finally:
            done.set()
            reader.join()
        self.assertEqual(problems, [])
        self.assertEqual(shown["connected"], 1)
        self.assertEqual(shown["terminals"][0]["peer"], "127.0.0.1:%d" % last.getsockname()[1])
        self.assertEqual(shown["terminals"][0]["bookings_today"], 0)


class BadValues(unittest.TestCase):
    """A bad value stops the start with a clear message; none lets more hosts in."""

    CASES = [  # variables, what the message says, a descriptor limit for the run (Linux)
        ({"QX_TERMINALS": "0"}, "QX_TERMINALS must be a number of terminals from 1 to 100000, not '0'", None),
        ({"QX_TERMINALS": "2x"}, "not '2x'", None),
        ({"QX_TERMINALS": "1000"}, "QX_TERMINALS=1000 needs 1064 open files, and the system allows 256", 256),
        ({"QX_TERMINAL_HOSTS": "10.1.2.0/24,10.1.2.300"}, "QX_TERMINAL_HOSTS: '10.1.2.300' is not an IPv4", None),
        ({"QX_TERMINAL_HOSTS": "10.1.2.0/33"}, "QX_TERMINAL_HOSTS: '10.1.2.0/33' is not", None),
        ({"QX_TERMINAL_HOSTS": ""}, "QX_TERMINAL_HOSTS is set but empty", None),
        ({"QX_LISTEN": "localhost"}, "QX_LISTEN: 'localhost' is not an IPv4 address", None),
        ({"QX_STATUS": "/no/such/folder/status.json"}, "QX_STATUS: the status file /no/such/folder/status.json "
                                                       "cannot be written", None),
    ]

    def test_each_bad_value_gives_its_message_and_status_1(self):
        for env, message, limit in self.CASES:
            if WINDOW_MODE and limit is not None:
                continue  # Windows has no limit of open files to raise
            with self.subTest(env=env):
                text = self.failed_start(env, limit)
                self.assertIn(message, text)

    def failed_start(self, env, limit):
        """Starts the server with `env` (and at most `limit` descriptors): it must end with
        status 1; the text of its start-up box."""
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
    run_main(globals(), ["SERVER_COMMAND", "QXTOOL"])
