#!/usr/bin/env python3
"""A whole site against nexolt-demo: many terminals, each booking once a second, and many
idle connections, with the server's cost watched from outside (/proc). Bounded: every
run stops by itself after its seconds, and all traffic goes to loopback. The server
listens on port 3950: run it in a network namespace of its own,

    tests/e2e/private-net.sh python3 bench/site-load.py [--build build/linux] [RUN...]

Runs (default: all, in this order; with --rounds N, one and site N times, one after the
other, and the median of the rounds' CPU ratios):
  one    one terminal making the site's bookings (TERMINALS x RATE a second), journal on tmpfs:
         the server's CPU per booking without many connections
  site   TERMINALS terminals booking RATE times a second each, journal on tmpfs (/dev/shm)
  disk   the same with the journal on the disk (--disk-dir): every reply comes after its
         line is durable; flushes a second from the status file's journal_writes (QX_STATUS
         is set for this run alone: with a thousand terminals the file costs some CPU)
  idle   IDLE connections that send nothing, and one terminal booking among them
  learn  a journal of LINES bookings on tmpfs: the time from the server's start to its
         first reply (it learns the bookings before it serves), and its RSS then

For each: bookings sent and answered, latency p50/p99/max (send to whole reply, measured
by this client), the server's CPU time per booking, its RSS (now and peak) and open
descriptors at the end. The client and the server are pinned to different CPUs; the
server's log and status file are on tmpfs.
"""
import argparse
import heapq
import json
import os
import resource
import selectors
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

PORT = 3950
REPLY_END = b'"kumsaloms":"Balance"}'


def pinned(cpu, command):
    return ["taskset", "-c", str(cpu)] + command if shutil.which("taskset") and cpu >= 0 else command


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def memory_kib(pid):
    values = {}
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            key, _, rest = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                values[key] = int(rest.split()[0])
    return values["VmRSS"], values["VmHWM"]


def descriptors(pid):
    return len(os.listdir("/proc/%d/fd" % pid))


class Server:
    """nexolt-demo with its log in a file, waited for until it answers."""

    def __init__(self, args, work, terminals, journal=None, status=False):
        env = dict(os.environ, QX_TERMINALS=str(terminals))
        if journal is not None:
            env["QX_BOOKINGS"] = journal
        self.status = os.path.join(work, "status.json") if status else None
        if status:
            env["QX_STATUS"] = self.status
        self.log = open(os.path.join(work, "server.log"), "wb")
        self.process = subprocess.Popen(pinned(args.server_cpu, [os.path.join(args.build, "app", "nexolt-demo")]),
                                        stdout=self.log, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL, env=env)
        deadline = time.monotonic() + 10
        while True:
            try:
                socket.create_connection(("127.0.0.1", PORT), timeout=1).close()
                return
            except OSError:
                if time.monotonic() > deadline or self.process.poll() is not None:
                    raise SystemExit("the server did not start (see %s)" % self.log.name)
                time.sleep(0.02)

    def journal_writes(self):
        if self.status is None:
            return 0
        with open(self.status, "rb") as f:
            return json.load(f)["journal_writes"]

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=30)
        self.log.close()


class Terminal:
    """One terminal's connection: books when due, one booking outstanding at a time."""

    def __init__(self, number):
        self.number = number
        self.sock = socket.create_connection(("127.0.0.1", PORT), timeout=10)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.sock.setblocking(False)
        self.sent_at = None
        self.data = b""
        self.count = 0


def book_for(seconds, terminals, rate, latencies):
    """Each terminal books `rate` times a second, spread evenly, for `seconds`. Returns
    (sent, answered); the latencies of the answered ones go to `latencies`."""
    selector = selectors.DefaultSelector()
    for t in terminals:
        selector.register(t.sock, selectors.EVENT_READ, t)
    start = time.monotonic() + 0.1
    period = 1.0 / rate
    due = [(start + period * i / len(terminals), i) for i in range(len(terminals))]
    heapq.heapify(due)
    end = start + seconds
    sent = answered = 0
    while due or any(t.sent_at is not None for t in terminals):
        now = time.monotonic()
        while due and due[0][0] <= now:
            at, i = heapq.heappop(due)
            t = terminals[i]
            if t.sent_at is None:  # one outstanding booking at a time, as a terminal does
                t.sent_at = time.monotonic()
                t.sock.send(b"regi,1,2,F1,240115,0830,%d-%d" % (t.number, t.count))
                t.count += 1
                sent += 1
            if at + period < end:
                heapq.heappush(due, (at + period, i))
        if now > end + 5:
            break  # replies that did not come within 5 s are counted as not answered
        timeout = max(0.0, due[0][0] - time.monotonic()) if due else 0.05
        for key, _ in selector.select(min(timeout, 0.05)):
            t = key.data
            chunk = t.sock.recv(4096)
            if not chunk:
                raise SystemExit("the server closed terminal %d" % t.number)
            t.data += chunk
            if t.data.endswith(REPLY_END) and t.sent_at is not None:
                latencies.append(time.monotonic() - t.sent_at)
                t.sent_at = None
                t.data = b""
                answered += 1
    selector.close()
    return sent, answered


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p))] if ordered else float("nan")


def report(name, server, sent, answered, latencies, cpu, extra=""):
    """Prints one run's line; returns its CPU time per booking in microseconds."""
    rss, peak = memory_kib(server.process.pid)
    print("%-5s bookings %d sent, %d answered; latency ms p50 %.2f p99 %.2f max %.2f; server CPU %.1f us/booking; "
          "RSS %d KiB (peak %d); descriptors %d%s" % (
              name, sent, answered, 1e3 * percentile(latencies, 0.5), 1e3 * percentile(latencies, 0.99),
              1e3 * max(latencies or [float("nan")]), cpu / max(answered, 1) * 1e6, rss, peak,
              descriptors(server.process.pid), extra), flush=True)
    return cpu / max(answered, 1) * 1e6


def booking_run(args, work, name, count, rate, journal_folder, status=False):
    journal = None
    if journal_folder is not None:
        journal = tempfile.NamedTemporaryFile(dir=journal_folder, prefix="qx-site-", delete=False).name
    server = Server(args, work, count, journal, status)
    try:
        terminals = [Terminal(i) for i in range(count)]
        before, writes = cpu_seconds(server.process.pid), server.journal_writes()
        latencies = []
        sent, answered = book_for(args.seconds, terminals, rate, latencies)
        cpu = cpu_seconds(server.process.pid) - before
        extra = ""
        if status:
            time.sleep(1.1)  # the status file is written at most once a second
            extra = "; %.0f flushes a second" % ((server.journal_writes() - writes) / args.seconds)
        return report(name, server, sent, answered, latencies, cpu, extra)
        for t in terminals:
            t.sock.close()
    finally:
        server.stop()
        if journal is not None:
            os.unlink(journal)


def idle_run(args, work):
    server = Server(args, work, args.idle + 1)
    try:
        idle = []
        for _ in range(args.idle):
            conn = socket.create_connection(("127.0.0.1", PORT), timeout=10)
            idle.append(conn)
        live = [Terminal(0)]
        before = cpu_seconds(server.process.pid)
        latencies = []
        sent, answered = book_for(min(args.seconds, 10), live, 10, latencies)
        report("idle", server, sent, answered, latencies, cpu_seconds(server.process.pid) - before,
               "; with %d idle connections" % args.idle)
        for conn in idle:
            conn.close()
    finally:
        server.stop()


def learn_run(args, work):
    journal = tempfile.NamedTemporaryFile(dir="/dev/shm", prefix="qx-site-", delete=False).name
    try:
        with open(journal, "wb") as f:
            for n in range(args.lines):
                f.write(b'{"received":"2026-12-07T12:18:32.125+01:00","card":"%d","fkey":"F1","date":"240115",'
                        b'"time":"0830","request":"regi,1,2,F1,240115,0830,%d","peer":"10.1.2.7:51234",'
                        b'"terminal":12}\n' % (n, n))
        start = time.monotonic()
        server = Server(args, work, 1, journal)
        try:
            conn = socket.create_connection(("127.0.0.1", PORT), timeout=60)
            conn.sendall(b"get_alive,")
            conn.recv(100)
            ready = time.monotonic() - start
            rss, peak = memory_kib(server.process.pid)
            print("learn %d journal lines (%d MB): first reply %.2f s after the start; RSS %d KiB (peak %d)" % (
                args.lines, os.path.getsize(journal) >> 20, ready, rss, peak), flush=True)
            conn.close()
        finally:
            server.stop()
    finally:
        os.unlink(journal)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--build", default=os.path.join(os.path.dirname(here), "build", "linux"))
    parser.add_argument("--terminals", type=int, default=1000)
    parser.add_argument("--rate", type=float, default=1.0, help="bookings a second of each terminal")
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--idle", type=int, default=10000)
    parser.add_argument("--lines", type=int, default=1000000, help="journal lines of the learn run")
    parser.add_argument("--rounds", type=int, default=1, help="rounds of the one and site runs, one after the other")
    parser.add_argument("--disk-dir", default="/var/tmp", help="a folder on the disk, for the disk run")
    parser.add_argument("--server-cpu", type=int, default=1)
    parser.add_argument("--client-cpu", type=int, default=0)
    parser.add_argument("runs", nargs="*", default=["one", "site", "disk", "idle", "learn"])
    args = parser.parse_args()
    if args.client_cpu >= 0 and hasattr(os, "sched_setaffinity"):
        os.sched_setaffinity(0, {args.client_cpu})
    hard = resource.getrlimit(resource.RLIMIT_NOFILE)[1]
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, max(args.idle, args.terminals) + 256), hard))
    print("machine: %s, %d CPUs; %d terminals x %.1f bookings a second for %.0f s; %d idle" % (
        os.uname().nodename, os.cpu_count(), args.terminals, args.rate, args.seconds, args.idle), flush=True)
    # The server's log and status file on tmpfs: on the journal's disk their writes would
    # join every flush (an ext4 commit writes the data of the files it holds).
    with tempfile.TemporaryDirectory(prefix="qx-site-load-", dir="/dev/shm") as work:
        cpu = {"one": [], "site": []}
        for run in args.runs:
            if run == "one":
                for _ in range(args.rounds):  # alternately with site, when both are asked for
                    cpu["one"].append(booking_run(args, work, "one", 1, args.terminals * args.rate, "/dev/shm"))
                    if "site" in args.runs:
                        cpu["site"].append(booking_run(args, work, "site", args.terminals, args.rate, "/dev/shm"))
            elif run == "site":
                if not cpu["site"]:
                    cpu["site"].append(booking_run(args, work, "site", args.terminals, args.rate, "/dev/shm"))
            elif run == "disk":
                booking_run(args, work, "disk", args.terminals, args.rate, args.disk_dir, status=True)
            elif run == "idle":
                idle_run(args, work)
            elif run == "learn":
                learn_run(args, work)
            else:
                parser.error("unknown run %r" % run)
        if cpu["one"] and cpu["site"] and len(cpu["one"]) == len(cpu["site"]):
            ratios = [site / one for one, site in zip(cpu["one"], cpu["site"])]
            print("CPU per booking, site / one: %.2f (rounds %.2f-%.2f)" % (
                statistics.median(ratios), min(ratios), max(ratios)), flush=True)


if __name__ == "__main__":
    sys.exit(main())
