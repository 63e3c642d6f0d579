"""nexolt-sim against the real server: commands, scripts and load runs, as the replies it
prints, its exit status and the requests the server logs.

    python3 sim_test.py [unittest options] -- SIM_COMMAND... -- SERVER_COMMAND...
"""
import os
import re
import subprocess

from server_harness import WINDOW_MODE, ServerCase, reply_to, run_main

SIM = []
SERVER_COMMAND = []
BOOKING_REPLY = reply_to(b"regi,1,2,F1,240115,830,12345").decode()
CONNECTED, CLOSED = "Nexolt connected!", "Nexolt closed connection!"


class Simulator(ServerCase):
    def setUp(self):
        super().setUp()
        self.start()

    def sim(self, *args):
        result = subprocess.run(SIM + list(args), capture_output=True, timeout=60)
        return result.returncode, result.stdout.decode("latin-1").replace("\r\n", "\n"), result.stderr.decode()

    def test_commands(self):
        cases = [  # arguments, exit status, output, a part of its errors, the entries logged
            (["alive"], 0, reply_to(b"get_alive,").decode(), "", []),
            (["termnr", "7"], 0, reply_to(b"snd_termnr,").decode(), "", ["snd_termnr,7"]),
            (["termnr"], 0, reply_to(b"snd_termnr,").decode(), "", ["snd_termnr,1"]),
            (["grund"], 0, reply_to(b"get_grund,").decode(), "", ["get_grund,"]),
            (["book", "12345", "F2", "240115", "0830"], 0, BOOKING_REPLY, "",
             ["Card: 12345 at 08:30 on 15-01-2024 (Fkey: F2)"]),
            (["--timeout", "300", "raw", "hello\\x21"], 1, "", "no reply within 300 ms", ["hello!"]),
        ]
        for args, status, out, err_part, entries in cases:
            with self.subTest(args=args):
                code, got, err = self.sim(*args)
                self.assertEqual((code, got), (status, out + "\n" if out else ""), err)
                self.assertIn(err_part, err)
                self.server.expect_lines(CONNECTED, *entries, CLOSED)

    def test_bookings_at_the_clocks_date_and_time(self):
        for args, entry in ((["book", "7"], r"Card: 7 at \d\d:\d\d on \d\d-\d\d-\d{4} \(Fkey: F1\)"),
                            (["book", "8", "F4"], r"Card: 8 at \d\d:\d\d on \d\d-\d\d-\d{4} \(Fkey: F4\)"),
                            (["book", "9", "F3", "240115"], r"Card: 9 at \d\d:\d\d on 15-01-2024 \(Fkey: F3\)")):
            code, out, err = self.sim(*args)
            self.assertEqual((code, out), (0, BOOKING_REPLY.replace("12345", args[1]) + "\n"), err)
            if not WINDOW_MODE:  # (the window's log model takes known entries only)
                self.server.expect_lines(CONNECTED)
                self.assertRegex(self.server.next_line(), "^%s$" % entry)
                self.server.expect_lines(CLOSED)

    def test_usage_errors_and_no_server(self):
        for args in (["bogus"], ["book"], ["book", "1", "F1", "240115", "0830", "x"], ["load", "alive", "0"],
                     ["--port", "0", "alive"], ["--port", "65536", "alive"], ["load", "alive", "100000001"]):
            code, _, err = self.sim(*args)
            self.assertEqual(code, 2, args)
            self.assertTrue(err.startswith("nexolt-sim: "), (args, err))
        code, _, err = self.sim("--port", "65535", "--timeout", "200", "alive")  # the last port: no one there
        self.assertEqual(code, 1, err)
        self.assertIn("cannot connect to 127.0.0.1:65535", err)

    def test_script_runs_on_one_connection(self):
        script = os.path.join(self.dir, "script.txt")
        with open(script, "w") as f:
            f.write('# a shift start\nalive\npause 1\nbook "12 34" F2 240115 0700\ntermnr 9\n')
        code, out, err = self.sim("script", script)
        self.assertEqual(code, 0, err)
        self.assertEqual(out.splitlines(), [reply_to(b"get_alive,").decode(), BOOKING_REPLY.replace("12345", "12 34"),
                                            reply_to(b"snd_termnr,").decode()])
        self.server.expect_lines(CONNECTED, "Card: 12 34 at 07:00 on 15-01-2024 (Fkey: F2)", "snd_termnr,9", CLOSED)

    def test_load_sends_exactly_n_requests_and_reports_rate_and_latencies(self):
        code, out, err = self.sim("load", "termnr", "7")
        self.assertEqual(code, 0, err)
        self.assertTrue(re.fullmatch(r"7 termnr requests in [0-9.]+ s: [0-9]+ requests/s; "
                                     r"latency us p50 [0-9]+ p90 [0-9]+ p99 [0-9]+ max [0-9]+\n", out), out)
        self.server.expect_lines(CONNECTED, *["snd_termnr,1"] * 7, CLOSED)


if __name__ == "__main__":
    run_main(globals(), ["SIM", "SERVER_COMMAND"])
