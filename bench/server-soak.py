#!/usr/bin/env python3
"""Soak of the terminal demo server: the clients of a busy and hostile network, played
against the real program on 127.0.0.1:3950, with the server's memory and descriptors
watched from outside. Run it in a network namespace of its own where one can be made:

    tests/e2e/private-net.sh python3 bench/server-soak.py [--quick] -- SERVER_COMMAND...

Phases, in order (counts with --quick in brackets):
  1. mixed requests on one connection, each answered:   1,000,000 (10,000)
  2. connect/close cycles without waiting, a third ending in a reset, a third
     half-closed, a third in the middle of a request:     100,000 (500)
  3. connections opened and held, then a good terminal that connects after them and
     books while the older ones close; it must be answered throughout: 500 (100)
  4. a stalled reader of standard output: 1,500 logged requests, each answered within
     1 s, then a new terminal answered within 1 s, then reading again
Reports RSS and open descriptors at the start, after 10 % of phase 2 and at the end, the
connect waits of phase 2 (p50/p99/max), and whether the last good terminal was answered
within 1 s. With the listen backlog of 1, a connect that finds the two places of the
accept queue taken has its SYN dropped and would wait for the system's retry after 1 s (a
bare accept loop shows the same); phase 2 tries such a connect again after 20 ms and
counts how often it had to. Exits 1 if descriptors grew (start = end +- 2), a request went unanswered
within its time, or the good terminal lost its connection.
"""
import argparse
import os
import socket
import struct
import subprocess
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
from server_harness import HOST, KEEP_ALIVE_REPLY, PORT, connect  # noqa: E402  (the process tests' own)

ADDRESS = (HOST, PORT)
TERMNR_REPLY = b'{"success":true,"error":"got termnr"}'
ABSENCE_REPLY_SIZE = 157
REPLY_WAIT = 1.0  # seconds a well-behaved terminal waits for an answer
CONNECT_RETRY = 0.02  # seconds before a cycle's connect is tried anew


def booking_reply(card):
    return (b'{"success":true,"error":"SALDO","name":"Hi ' + card +
            b' again","kumsal":"+0:15","kumsaloms":"Balance"}')


class Failure(Exception):
    pass


class Server:
    """The server process; its standard output is read by a thread that can stall."""

    def __init__(self, command):
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        self.reading = threading.Event()
        self.reading.set()
        self.lines = 0
        self.empty_entries = 0  # failed receives: a client reset before its data was read
        self.lost_notices = []
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.reading.wait()
            self.lines += 1
            self.empty_entries += line == b"\n"
            if line.rstrip().endswith(b"log entries lost)"):
                self.lost_notices.append(line.rstrip().decode("latin-1"))

    def snapshot(self):
        """(RSS in KiB, open descriptors) of the server process."""
        pid = self.process.pid
        with open("/proc/%d/status" % pid) as status:
            rss = next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))
        return rss, len(os.listdir("/proc/%d/fd" % pid))

    def stop(self):
        self.reading.set()
        self.process.terminate()
        try:
            return self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return self.process.wait()


def receive_exactly(conn, count, timeout=REPLY_WAIT):
    conn.settimeout(timeout)
    data = b""
    try:
        while len(data) < count:
            chunk = conn.recv(count - len(data))
            if not chunk:
                raise Failure("connection closed after %d of %d bytes" % (len(data), count))
            data += chunk
    except socket.timeout:
        raise Failure("no answer within %.1f s (%d of %d bytes)" % (timeout, len(data), count))
    return data


def ask(conn, request, reply_size):
    conn.sendall(request)
    return receive_exactly(conn, reply_size)


MIXED = [
    (b"get_alive,", KEEP_ALIVE_REPLY),
    (b"regi,1,2,F1,240115,0830,12345", booking_reply(b"12345")),
    (b"snd_termnr,7", TERMNR_REPLY),
    (b"get_alive,", KEEP_ALIVE_REPLY),
    (b"get_grund", None),
]


def phase_mixed(count):
    conn = connect()
    start = time.monotonic()
    for i in range(count):
        request, reply = MIXED[i % len(MIXED)]
        got = ask(conn, request, len(reply) if reply else ABSENCE_REPLY_SIZE)
        if reply and got != reply:
            raise Failure("request %d: unexpected reply %r" % (i, got[:80]))
    elapsed = time.monotonic() - start
    conn.close()
    return "%d mixed requests in %.1f s (%.0f per second)" % (count, elapsed, count / elapsed)


def percentile(sorted_values, fraction):
    return sorted_values[min(len(sorted_values) - 1, int(fraction * len(sorted_values)))]


def connect_retrying(stats):
    """A connection, trying again at once when one is not answered within CONNECT_RETRY:
    its SYN was dropped (the accept queue was full), and the system would try again only
    after a second."""
    deadline = time.monotonic() + 10
    while True:
        try:
            return socket.create_connection(ADDRESS, timeout=CONNECT_RETRY)
        except socket.timeout:
            stats["retried"] += 1
            if time.monotonic() > deadline:
                raise Failure("no connection within 10 s")


def phase_cycles(server, count, report):
    waits = []
    stats = {"retried": 0}
    linger = struct.pack("ii", 1, 0)
    for i in range(count):
        if i == count // 10:
            report("after 10 % of the cycles", server.snapshot())
        start = time.monotonic()
        conn = connect_retrying(stats)
        waits.append(time.monotonic() - start)
        kind = i % 3
        if kind == 0:
            conn.sendall(b"get_alive,")
            conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, linger)  # close sends a reset
        elif kind == 1:
            conn.sendall(b"snd_termnr,1")
            conn.shutdown(socket.SHUT_WR)  # half-closed, then closed
        else:
            conn.sendall(b"regi,1,2,F1,2401")  # in the middle of a request
        conn.close()
    waits.sort()
    return "%d cycles; connect waits p50 %.2f ms, p99 %.2f ms, max %.2f ms; %d connects (%.1f %%) " \
           "tried again after %d ms without an answer" % (
               count, percentile(waits, 0.5) * 1e3, percentile(waits, 0.99) * 1e3, waits[-1] * 1e3,
               stats["retried"], 100.0 * stats["retried"] / count, CONNECT_RETRY * 1e3)


def phase_held(count):
    stats = {"retried": 0}
    older = [connect_retrying(stats) for _ in range(count)]
    live = connect_retrying(stats)
    # Wait until the server has taken the live connection over (its answer proves it).
    ask(live, b"get_alive,", len(KEEP_ALIVE_REPLY))
    worst = 0.0
    for i, conn in enumerate(older):
        conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        conn.close()
        if i % 10 == 0:
            card = b"%d" % (1000 + i)
            start = time.monotonic()
            ask(live, b"regi,1,2,F1,240115,0830," + card, len(booking_reply(card)))
            worst = max(worst, time.monotonic() - start)
    start = time.monotonic()
    ask(live, b"get_alive,", len(KEEP_ALIVE_REPLY))
    last = time.monotonic() - start
    live.close()
    return "%d older connections closed; the live terminal answered throughout (slowest %.1f ms, " \
           "last %.1f ms)" % (count, worst * 1e3, last * 1e3)


def phase_stalled_output(server, count):
    server.reading.clear()
    conn = connect()
    for i in range(count):
        ask(conn, b"snd_termnr,%04d," % i + b"x" * 980, len(TERMNR_REPLY))
    conn.close()
    late = connect()
    start = time.monotonic()
    ask(late, b"get_alive,", len(KEEP_ALIVE_REPLY))
    waited = time.monotonic() - start
    late.close()
    server.reading.set()
    return "%d logged requests answered with standard output stalled; a new terminal answered in " \
           "%.1f ms" % (count, waited * 1e3)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--quick", action="store_true", help="a run of seconds, for the test suite")
    parser.add_argument("command", nargs="+", help="the server command line, after --")
    args = parser.parse_args()
    counts = dict(mixed=10_000, cycles=500, held=100) if args.quick else \
        dict(mixed=1_000_000, cycles=100_000, held=500)

    server = Server(args.command)
    failures = []

    def report(label, snapshot):
        print("%-28s RSS %6d KiB, %4d descriptors" % (label, snapshot[0], snapshot[1]), flush=True)

    try:
        connect().close()  # the listener is up
        start = server.snapshot()
        report("start", start)
        for name, run in (("mixed", lambda: phase_mixed(counts["mixed"])),
                          ("cycles", lambda: phase_cycles(server, counts["cycles"], report)),
                          ("held", lambda: phase_held(counts["held"])),
                          ("stalled output", lambda: phase_stalled_output(server, 1500))):
            try:
                print("%-15s %s" % (name + ":", run()), flush=True)
            except (Failure, OSError) as failure:
                failures.append("%s: %s" % (name, failure))
                print("%-15s FAILED: %s" % (name + ":", failure), flush=True)
        # The last connection's close is the server's to handle: poll until it is.
        deadline = time.monotonic() + 10
        end = server.snapshot()
        while abs(end[1] - start[1]) > 2 and time.monotonic() < deadline:
            time.sleep(0.05)
            end = server.snapshot()
        report("end", end)
        if abs(end[1] - start[1]) > 2:
            failures.append("descriptors %d at the start, %d at the end" % (start[1], end[1]))
        if server.process.poll() is not None:
            failures.append("the server ended during the soak (status %d)" % server.process.returncode)
    finally:
        status = server.stop()
    print("log: %d lines, %d empty entries (receives that failed after a reset)" % (
        server.lines, server.empty_entries))
    if server.lost_notices:
        print("log output while stalled: %s" % "; ".join(server.lost_notices))
    if status != 0:
        failures.append("exit status %d after SIGTERM" % status)
    for failure in failures:
        print("FAILED: " + failure)
    print("soak: %s" % ("ok" if not failures else "%d failure(s)" % len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
