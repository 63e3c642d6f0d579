"""The booking journal (QX_BOOKINGS) of the real server read back by the real qxtool, and
its crash safety: a server killed mid-load.

    python3 journal_test.py [unittest options] -- SERVER_COMMAND... -- QXTOOL_COMMAND...
"""
import base64
import csv
import io
import json
import os
import re
import signal
import subprocess
import threading
import unittest

from server_harness import WINDOW_MODE, ServerCase, receive_exactly, reply_to, run_main, unescape

SERVER_COMMAND = []
QXTOOL = []


def booking(card):
    return b"regi,1,2,F1,240115,0875," + card


def receive_reply(conn):
    conn.settimeout(10)
    data = b""
    while not data.endswith(b'"kumsaloms":"Balance"}'):
        chunk = conn.recv(4096)
        assert chunk, "connection closed after %r" % data
        data += chunk


class Journal(ServerCase):
    CARDS = [b"12345", b'a"b', b"x\r\ny", b"\xc3\xa9t\xc3\xa9", b"\xe9\xed\xa0\x80\xc0\x80\x7f", b"C" * 500]
    REQUESTS = [booking(card) for card in CARDS] + [b"regi," + bytes(range(1, 256))]  # every byte but NUL

    def setUp(self):
        super().setUp()
        self.path = os.path.join(self.dir, "bookings.jsonl")

    def bookings(self, path, *options):
        result = subprocess.run(QXTOOL + ["bookings", path] + list(options), capture_output=True, timeout=60)
        return result.returncode, result.stdout.replace(b"\r\n", b"\n"), result.stderr.decode("latin-1")

    def test_bookings_are_journaled_exactly_and_read_back_as_text_json_and_csv(self):
        self.start(QX_BOOKINGS=self.path)
        self.conn = self.terminal()
        for n, request in enumerate(self.REQUESTS):
            if n == 1:  # the terminal's number from the second booking on
                self.conn.sendall(b"snd_termnr,3")
                receive_exactly(self.conn, len(reply_to(b"snd_termnr,")))
            self.conn.sendall(request)
            receive_reply(self.conn)
        self.server.stop()
        # The lines as they are: any JSON reader gets the exact bytes, a field that is not
        # UTF-8 as base64 under its own key.
        code, out, err = self.bookings(self.path, "--json")
        with open(self.path, "rb") as journal:
            self.assertEqual((code, out), (0, journal.read()), err)
        lines = [json.loads(line) for line in out.splitlines()]
        self.assertEqual([base64.b64decode(line["request_base64"]) if "request_base64" in line
                          else line["request"].encode() for line in lines], self.REQUESTS)
        self.assertRegex(lines[0]["received"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")
        csv_path = os.path.join(self.dir, "bookings.csv")
        self.assertEqual(self.bookings(self.path, "--csv", csv_path), (0, b"", ""))
        with open(csv_path, "rb") as f:
            records = list(csv.reader(io.StringIO(f.read().decode("latin-1"), newline="")))
        peer = "127.0.0.1:%d" % self.conn.getsockname()[1]
        fields = [[card.decode("latin-1"), "F1", "240115", "0875"] for card in self.CARDS] + [[""] * 4]
        self.assertEqual(records, [["received", "terminal", "peer", "card", "fkey", "date", "time"]] +
                         [[line["received"], "3" if n else "", peer] + f for n, (line, f) in enumerate(zip(lines, fields))])

    def test_journal_lines_table(self):
        """The lines of journal_lines.tsv in one journal, and those that read alone, each
        time after them a last line cut short (no error alone)."""
        table = os.path.join(os.path.dirname(os.path.abspath(__file__)), "journal_lines.tsv")
        with open(table, encoding="latin-1") as rows:
            cases = [row.rstrip("\n").split("\t=>\t") for row in rows if not row.startswith("#")]
        for rows in (cases, [case for case in cases if not case[1].startswith("! ")]):
            with open(self.path, "wb") as journal:
                journal.write(b"".join(unescape(line) + b"\n" for line, _ in rows) + b'{"rec')
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
                    self.conn.sendall(booking(b"%d" % n))
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


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND", "QXTOOL"])
