"""nexolt-sim against the real server: its output, exit status and errors, and the requests
the server logs.

    python3 sim_test.py [unittest options] -- SIM_COMMAND... -- SERVER_COMMAND...
"""
import os
import re
import subprocess

from server_harness import WINDOW_MODE, ServerCase, reply_to, run_main

SIM = []
SERVER_COMMAND = []
ALIVE, TERMNR, GRUND = (re.escape(reply_to(r).decode()) + "\n" for r in (b"get_alive,", b"snd_termnr,", b"get_grund,"))
BOOKED = re.escape(reply_to(b"regi,1,2,F1,240115,830,12345").decode()).replace("12345", "%s") + "\n"
NOW = "HH:MM on DD-MM-YYYY"  # in an entry: the clock's time and date (not checked in the window)
USAGE = (2, "", "^nexolt-sim: ", None)
# Arguments (SCRIPT: a script file), exit status, output and errors (patterns), the entries
# logged between "connected" and "closed" (None: no connection).
CASES = [
    ("alive", 0, ALIVE, "^$", []),
    ("termnr 7", 0, TERMNR, "^$", ["snd_termnr,7"]),
    ("termnr", 0, TERMNR, "^$", ["snd_termnr,1"]),
    ("grund", 0, GRUND, "^$", ["get_grund,"]),
    ("book 12345 F2 240115 0830", 0, BOOKED % "12345", "^$", ["Card: 12345 at 08:30 on 15-01-2024 (Fkey: F2)"]),
    ("--timeout 300 raw hello\\x21", 1, "", "no reply within 300 ms", ["hello!"]),
    ("script SCRIPT", 0, ALIVE + BOOKED % "12 34" + TERMNR, "^$",
     ["Card: 12 34 at 07:00 on 15-01-2024 (Fkey: F2)", "snd_termnr,9"]),
    ("load termnr 7", 0, r"7 termnr requests in [0-9.]+ s: [0-9]+ requests/s; "
     r"latency us p50 [0-9]+ p90 [0-9]+ p99 [0-9]+ max [0-9]+\n", "^$", ["snd_termnr,1"] * 7),
    ("bogus",) + USAGE, ("book",) + USAGE, ("book 1 F1 240115 0830 x",) + USAGE, ("load alive 0",) + USAGE,
    ("--port 0 alive",) + USAGE, ("--port 65536 alive",) + USAGE, ("load alive 100000001",) + USAGE,
    ("--port 65535 --timeout 200 alive", 1, "", "cannot connect to 127.0.0.1:65535", None),  # the last port: no one
    ("book 7", 0, BOOKED % "7", "^$", ["Card: 7 at %s (Fkey: F1)" % NOW]),
    ("book 8 F4", 0, BOOKED % "8", "^$", ["Card: 8 at %s (Fkey: F4)" % NOW]),
    ("book 9 F3 240115", 0, BOOKED % "9", "^$", ["Card: 9 at HH:MM on 15-01-2024 (Fkey: F3)"]),
]


class Simulator(ServerCase):
    def test_commands_table(self):
        self.start()
        script = os.path.join(self.dir, "script.txt")
        with open(script, "w") as f:
            f.write('# a shift start\nalive\npause 1\nbook "12 34" F2 240115 0700\ntermnr 9\n')
        for args, status, out, err, entries in CASES:
            with self.subTest(args=args):
                result = subprocess.run(SIM + args.replace("SCRIPT", script).split(), capture_output=True, timeout=60)
                self.assertEqual(result.returncode, status, result.stderr)
                self.assertRegex(result.stdout.decode("latin-1").replace("\r\n", "\n"), r"\A%s\Z" % out)
                self.assertRegex(result.stderr.decode(), err)
                if entries is None or (WINDOW_MODE and "HH:MM" in entries[0]):
                    continue  # (the window's log model takes known entries only)
                expected = ["Nexolt connected!"] + entries + ["Nexolt closed connection!"]
                if WINDOW_MODE:
                    self.server.expect_lines(*expected)
                for entry in [] if WINDOW_MODE else expected:
                    self.assertRegex(self.server.next_line(), r"\A%s\Z" % re.escape(entry).replace("HH:MM", r"\d\d:\d\d")
                                     .replace(re.escape("DD-MM-YYYY"), r"\d\d-\d\d-\d{4}"))


if __name__ == "__main__":
    run_main(globals(), ["SIM", "SERVER_COMMAND"])
