"""The booking journal (QX_BOOKINGS) of the real server, read back by the real qxtool:
bookings of any bytes kept exactly and in order, no reply for a booking that cannot be
stored, a full or read-only file system and a server killed mid-load.

    python3 journal_test.py [unittest options] -- SERVER_COMMAND... -- QXTOOL_COMMAND...

The file-system cases need a mount namespace (unshare --mount) and run on Linux only.
"""
import base64
import json
import os
import shutil
import signal
import subprocess
import tempfile
import threading
import unittest

from server_harness import WINDOW_MODE, assert_no_reply_pending, connect, make_server, run_main, unescape

SERVER_COMMAND = []
QXTOOL = []

REPLY_END = b'"kumsaloms":"Balance"}'


def receive_reply(conn, timeout=10.0):
    conn.settimeout(timeout)
    data = b""
    while not data.endswith(REPLY_END):
        chunk = conn.recv(4096)
        if not chunk:
            raise AssertionError("connection closed after %r" % data)
        data += chunk
    return data


class JournalCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="qx-journal-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.path = os.path.join(self.dir, "bookings.jsonl")

    def start(self, journal, command=None):
        self.server = make_server(command or SERVER_COMMAND, env={"QX_BOOKINGS": journal})
        self.addCleanup(self.server.stop)
        self.server.wait_until_listening()
        self.conn = connect()
        self.addCleanup(self.conn.close)
        self.server.expect_lines("Nexolt connected!")

    def bookings(self, path, *options):
        result = subprocess.run(QXTOOL + ["bookings", path] + list(options), capture_output=True, timeout=60)
        return result.returncode, result.stdout.replace(b"\r\n", b"\n"), result.stderr.decode("latin-1")

    def assert_not_stored(self, card, why_start):
        """Sends a booking that cannot be stored: one log entry, and no reply."""
        self.conn.sendall(b"regi,1,2,F1,240115,0875," + card)
        entry = self.server.next_line()
        prefix = "Booking of card %s not stored (no reply): %s" % (card.decode(), why_start)
        self.assertTrue(entry.startswith(prefix), "%r does not start with %r" % (entry, prefix))
        assert_no_reply_pending(self.conn)  # keep-alives are still answered


class Journal(JournalCase):
    REQUESTS = [
        b"regi,1,2,F1,240115,0875,12345",
        b"regi," + bytes(range(1, 256)),  # every byte but NUL, which ends a request
        b"regi,1,2,F\xe9,\xc3\xa9\xe2\x82\xac,\xc0\x80\xed\xa0\x80\xf4\x90\x80\x80,\xe2\x82,\x80\xff",
        b"registration,1,2," + b"K" * 400 + b",,," + b"C" * 500,  # fields longer than the log keeps
    ]

    def test_any_bytes_are_journaled_exactly_and_in_order(self):
        self.start(self.path)
        for request in self.REQUESTS:
            self.conn.sendall(request)
            receive_reply(self.conn)
        self.server.stop()
        code, out, err = self.bookings(self.path)
        self.assertEqual((code, err), (0, ""))
        rows = [line.decode("latin-1").split("\t") for line in out.splitlines()]
        self.assertEqual([unescape(row[5]) for row in rows], self.REQUESTS)
        self.assertEqual([unescape(row[1]) for row in rows[:1]], [b"12345"])
        self.assertRegex(rows[0][0], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")
        self.assertEqual(unescape(rows[3][1]), b"C" * 500)  # whole, as received
        # The lines as they are: any JSON reader gets the exact bytes, a field that is not
        # UTF-8 as base64 under its own key.
        code, out, err = self.bookings(self.path, "--json")
        self.assertEqual(code, 0, err)
        with open(self.path, "rb") as journal:
            self.assertEqual(out, journal.read())

        def field(line, key):
            value = json.loads(line)
            return base64.b64decode(value[key + "_base64"]) if key + "_base64" in value else value[key].encode()
        self.assertEqual([field(line, "request") for line in out.splitlines()], self.REQUESTS)
        self.assertEqual(field(out.splitlines()[2], "fkey"), b"F\xe9")

    def test_a_faulty_journal_is_reported_line_by_line(self):
        line = b'{"received":"t","card":"7","fkey":"","date":"","time":"","request":"regi,,,,,,7"}\n'
        with open(self.path, "wb") as journal:
            journal.write(line + b"not json\n" + line + line[:30])
        code, out, err = self.bookings(self.path)
        self.assertEqual(code, 1)
        self.assertEqual(out, b"t\t7\t\t\t\tregi,,,,,,7\n" * 2)
        self.assertIn("line 2: not a journal line: not a JSON object", err)
        self.assertIn("line 4: incomplete last line", err)
        with open(self.path, "wb") as journal:
            journal.write(line + line[:30])
        self.assertEqual(self.bookings(self.path)[0], 0)  # a cut last line alone is no error
        code, _, err = self.bookings(os.path.join(self.dir, "missing"))
        self.assertEqual(code, 1)
        self.assertIn("cannot open", err)


@unittest.skipIf(WINDOW_MODE, "signals and mount namespaces: Linux only")
class Faults(JournalCase):
    MOUNT = ('mount -t tmpfs -o size=256k tmpfs "$1" && mkdir "$1/ro" && touch "$1/ro/bookings.jsonl" && '
             'mount --bind "$1/ro" "$1/ro" && mount -o remount,bind,ro "$1/ro" && shift && exec "$@"')

    def start_on_tmpfs(self, journal_in_mount):
        """The server in a mount namespace of its own, with a small tmpfs at self.dir
        (seen from here through /proc/PID/root) whose folder "ro" is read-only and holds an
        empty ro/bookings.jsonl (as root, the one way to have a file that cannot be written)."""
        if subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode != 0:
            self.skipTest("no mount namespace can be made here")
        self.start(os.path.join(self.dir, journal_in_mount),
                   ["unshare", "--mount", "--propagation", "private", "sh", "-c", self.MOUNT, "sh", self.dir]
                   + SERVER_COMMAND)
        return "/proc/%d/root%s" % (self.server.process.pid, self.dir)

    def test_full_file_system_then_space_again(self):
        mount = self.start_on_tmpfs("bookings.jsonl")
        self.conn.sendall(b"regi,1,2,F1,240115,0875,1")
        receive_reply(self.conn)
        self.server.expect_lines("Card: 1 at 09:15 on 15-01-2024 (Fkey: F1)")
        filler = os.open(os.path.join(mount, "filler"), os.O_WRONLY | os.O_CREAT, 0o600)
        try:
            while os.write(filler, b"\0" * 4096) > 0:
                pass
        except OSError:
            pass
        os.close(filler)
        card = b"\x01" * 600  # a line longer than what is left in the journal's last page
        for _ in range(2):
            self.conn.sendall(b"regi,1,2,F1,240115,0875," + card)
            entry = self.server.next_line()
            self.assertTrue(entry.startswith("Booking of card "), entry)
            self.assertTrue(entry.endswith("No space left on device"), entry)
            assert_no_reply_pending(self.conn)
        os.unlink(os.path.join(mount, "filler"))
        self.conn.sendall(b"regi,1,2,F1,240115,0875,3")
        receive_reply(self.conn)
        code, out, err = self.bookings(os.path.join(mount, "bookings.jsonl"))
        self.assertEqual((code, err), (0, ""))
        self.assertEqual([row.split(b"\t")[1] for row in out.splitlines()], [b"1", b"3"])

    def test_read_only_folder_and_file(self):
        for journal in ("ro/bookings.jsonl", "ro/new.jsonl"):
            with self.subTest(journal=journal):
                mount = self.start_on_tmpfs(journal)
                try:
                    self.assert_not_stored(b"42", "cannot open ")
                    self.assertTrue(self.server.seen[-1].endswith("Read-only file system"), self.server.seen[-1])
                    self.assertEqual(sorted(os.listdir(os.path.join(mount, "ro"))), ["bookings.jsonl"])
                finally:
                    self.server.stop()

    def test_killed_mid_load_loses_no_answered_booking(self):
        self.start(self.path)
        answered = []

        def book():
            try:
                for n in range(100000):
                    self.conn.sendall(b"regi,1,2,F1,240115,0875,%d" % n)
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
        self.assertEqual(code, 0, err)
        cards = [int(row.split(b"\t")[1]) for row in out.splitlines()]
        self.assertEqual(cards, list(range(len(cards))))  # in order, none twice
        self.assertGreaterEqual(len(cards), len(answered))  # every answered one, perhaps one more
        self.assertLessEqual(len(cards), len(answered) + 1)
        self.assertGreaterEqual(len(answered), 200)


if __name__ == "__main__":
    run_main(globals(), ["SERVER_COMMAND", "QXTOOL"])
