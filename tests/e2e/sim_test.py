"""nexolt-sim against the real server: one-shot commands, scripts, load runs, and the
exit status of a missing reply.

    python3 sim_test.py [unittest options] -- SIM_COMMAND... -- SERVER_COMMAND...
"""
import os
import subprocess
import sys
import tempfile
import unittest

from server_harness import WINDOW_MODE, make_server, reply_to, run_main

SIM = []
SERVER_COMMAND = []
BOOKING_REPLY = reply_to(b"regi,1,2,F1,240115,830,12345").decode("latin-1")


class Simulator(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = make_server(SERVER_COMMAND)
        cls.server.wait_until_listening()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def sim(self, *args):
        result = subprocess.run(SIM + list(args), capture_output=True, timeout=60)
        return result.returncode, result.stdout.decode("latin-1").replace("\r\n", "\n"), result.stderr.decode()

    def test_one_shot_commands_print_the_reply(self):
        cases = [(["alive"], reply_to(b"get_alive,")), (["termnr", "7"], reply_to(b"snd_termnr,")),
                 (["grund"], reply_to(b"get_grund,")), (["book", "12345", "F1", "240115", "0830"], BOOKING_REPLY)]
        for args, reply in cases:
            code, out, err = self.sim(*args)
            self.assertEqual((code, out), (0, (reply if isinstance(reply, str) else reply.decode()) + "\n"), err)

    def test_missing_reply_is_a_failure(self):
        code, out, err = self.sim("--timeout", "300", "raw", "hello\\r\\n")
        self.assertEqual(code, 1)
        self.assertEqual(out, "")
        self.assertIn("no reply within 300 ms", err)

    def test_usage_errors(self):
        for args in (["bogus"], ["book"], ["load", "alive", "0"], ["--port", "0", "alive"], ["--port", "65536", "alive"],
                     ["load", "alive", "100000001"]):
            code, _, err = self.sim(*args)
            self.assertEqual(code, 2, args)
            self.assertTrue(err, args)
        code, _, err = self.sim("--port", "65535", "--timeout", "200", "alive")  # the last port: no one there
        self.assertEqual(code, 1, err)
        self.assertIn("cannot connect to 127.0.0.1:65535", err)

    def test_script_runs_on_one_connection(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as script:
            script.write('# a shift start\nalive\npause 1\nbook "12 34" F2 240115 0700\ntermnr 9\n')
        self.addCleanup(os.unlink, script.name)
        code, out, err = self.sim("script", script.name)
        self.assertEqual(code, 0, err)
        self.assertEqual(out.splitlines()[1], BOOKING_REPLY.replace("12345", "12 34"))
        self.assertEqual(len(out.splitlines()), 3)

    def test_load_sends_exactly_n_requests_and_reports_rate_and_latencies(self):
        code, out, err = self.sim("load", "termnr", "7")
        self.assertEqual(code, 0, err)
        self.assertRegex(out, r"^7 termnr requests in [0-9.]+ s: [0-9]+ requests/s; "
                              r"latency us p50 [0-9]+ p90 [0-9]+ p99 [0-9]+ max [0-9]+\n$")
        if WINDOW_MODE:
            return  # the count below reads the Linux program's log
        self.sim("--timeout", "100", "raw", "marker")  # unanswered; its entry ends the count
        lines = []
        while (line := self.server.next_line()) != "marker":
            lines.append(line)
        self.assertEqual(lines.count("snd_termnr,1"), 7)


if __name__ == "__main__":
    run_main(globals(), ["SIM", "SERVER_COMMAND"])
