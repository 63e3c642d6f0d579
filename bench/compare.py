#!/usr/bin/env python3
"""The whole programs against bare C references, in one run, alternately, each pinned to
the same CPU, with medians and spread of several rounds:

  scan     qxtool scan vst/pers.172 of a generated installation (QX_AFD=10, QX_PEE=W1),
           output to a file, page cache warm   vs  ref_pread_scan (one pread a record)
                                               and ref_block_scan (1 MiB blocks, one pass
                                               over each record's bytes, no rules)
  booking  booking round trips on one connection, nexolt-demo logging to a file
                                                vs  ref_poll_server (answers, logs nothing)
  alive    keep-alive round trips, the same pair
  journal  booking round trips of nexolt-demo alone, without a journal, with its journal
           (QX_BOOKINGS) on tmpfs (/dev/shm) and on the disk (--disk-dir): requests per
           second, each made durable before it is answered

The ratio is reference time / program time (1.0: as fast as the reference), taken in
each round from the two runs made back to back and reported as the median of the rounds'
ratios with their spread (the machine's speed drifts between rounds; a pair run back to
back sees the same machine), and also as the ratio of the two medians. For the servers it
also gives p50/p99 latency and the server's CPU time per request (from /proc).
The servers listen on port 3950: run it in a network namespace of its own,

    tests/e2e/private-net.sh python3 bench/compare.py [--build build/linux] [--rounds 7]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SCAN_ENV = {"QX_AFD": "10", "QX_PEE": "W1"}


def pinned(cpu, command):
    return ["taskset", "-c", str(cpu)] + command if shutil.which("taskset") else command


def timed(command, env=None, stdout=subprocess.DEVNULL):
    start = time.perf_counter()
    subprocess.run(command, env=env, stdout=stdout, check=True)
    return time.perf_counter() - start


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def summary(values):
    return "median %.3f, spread %.3f-%.3f" % (statistics.median(values), min(values), max(values))


def ratios(references, programs):
    """The rounds' ratios reference/program: their median and spread."""
    values = [r / p for r, p in zip(references, programs)]
    return "ratio %.2f (rounds %.2f-%.2f; ratio of medians %.2f)" % (
        statistics.median(values), min(values), max(values), statistics.median(references) / statistics.median(programs))


def scan_pair(args, work):
    base = os.path.join(work, "installation")
    subprocess.run([sys.executable, os.path.join(args.source, "tools", "make-installation.py"), "--output", base,
                    "--persons", str(args.persons)], check=True, stdout=subprocess.DEVNULL)
    data = os.path.join(base, "vst", "pers.172")
    with open(data, "rb") as f:  # page cache warm
        while f.read(1 << 20):
            pass
    env = dict(os.environ, QXBASE=base, HOME=os.path.join(base, "home"), **SCAN_ENV)
    reference = pinned(args.cpu, [os.path.join(args.build, "bench", "ref_pread_scan"), data, "1430"])
    block_reference = pinned(args.cpu, [os.path.join(args.build, "bench", "ref_block_scan"), data, "1430"])
    program = pinned(args.cpu, [os.path.join(args.build, "tools", "qxtool", "qxtool"), "scan", "vst/pers.172",
                                "1430"])
    ref_times, block_times, times = [], [], []
    with open(os.path.join(work, "scan.out"), "wb") as out:
        for _ in range(args.rounds):
            ref_times.append(timed(reference))
            block_times.append(timed(block_reference))
            out.seek(0)
            out.truncate()
            times.append(timed(program, env=env, stdout=out))
    print("scan of %d persons: qxtool %s s; ref_pread_scan %s s, %s; ref_block_scan %s s, %s" % (
        args.persons, summary(times), summary(ref_times), ratios(ref_times, times), summary(block_times),
        ratios(block_times, times)), flush=True)


LOAD = re.compile(rb"requests in ([0-9.]+) s: ([0-9]+) requests/s; latency us p50 ([0-9]+) p90 [0-9]+ "
                  rb"p99 ([0-9]+) max [0-9]+")


def server_round(args, server_command, kind, log, env=None):
    server = subprocess.Popen(pinned(args.cpu, server_command), stdout=log, stderr=subprocess.DEVNULL,
                              stdin=subprocess.DEVNULL, env=env)
    sim = pinned(args.client_cpu, [os.path.join(args.build, "tools", "nexolt-sim", "nexolt-sim")])
    try:
        deadline = time.monotonic() + 10
        while subprocess.run(sim + ["--timeout", "200", "alive"], stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL).returncode != 0:
            if time.monotonic() > deadline:
                raise SystemExit("server did not answer: %s" % server_command)
        before = cpu_seconds(server.pid)
        out = subprocess.run(sim + ["load", kind, str(args.requests)], stdout=subprocess.PIPE, check=True).stdout
        used = cpu_seconds(server.pid) - before
    finally:
        server.terminate()
        server.wait()
    match = LOAD.search(out)
    return float(match.group(1)), int(match.group(3)), int(match.group(4)), used / args.requests * 1e6


def server_pair(args, work, kind):
    demo = [os.path.join(args.build, "app", "nexolt-demo")]
    reference = [os.path.join(args.build, "bench", "ref_poll_server")]
    results = {"demo": [], "ref": []}
    for _ in range(args.rounds):
        for name, command in (("ref", reference), ("demo", demo)):
            with open(os.path.join(work, name + ".log"), "wb") as log:
                results[name].append(server_round(args, command, kind, log))

    def column(name, i):
        return [r[i] for r in results[name]]

    print("%s round trips (%d): nexolt-demo %s s, p50 %d us, p99 %d us, CPU %.1f us/request; "
          "ref_poll_server %s s, p50 %d us, p99 %d us, CPU %.1f us/request; %s; CPU %s" % (
              kind, args.requests, summary(column("demo", 0)), statistics.median(column("demo", 1)),
              statistics.median(column("demo", 2)), statistics.median(column("demo", 3)),
              summary(column("ref", 0)), statistics.median(column("ref", 1)), statistics.median(column("ref", 2)),
              statistics.median(column("ref", 3)), ratios(column("ref", 0), column("demo", 0)),
              ratios(column("demo", 3), column("ref", 3))), flush=True)


def journal_runs(args, work):
    demo = [os.path.join(args.build, "app", "nexolt-demo")]
    places = [("no journal", None), ("journal on tmpfs", "/dev/shm"), ("journal on disk", args.disk_dir)]
    rates = {name: [] for name, _ in places}
    for _ in range(args.rounds):
        for name, folder in places:
            env = dict(os.environ)
            journal = None
            if folder is not None:
                journal = tempfile.NamedTemporaryFile(dir=folder, prefix="qx-journal-", delete=False).name
                env["QX_BOOKINGS"] = journal
            try:
                with open(os.path.join(work, "journal.log"), "wb") as log:
                    seconds = server_round(args, demo, "book", log, env)[0]
                rates[name].append(args.requests / seconds)
            finally:
                if journal is not None:
                    os.unlink(journal)
    print("booking round trips per second (%d a round, medians, spread): %s" % (args.requests, "; ".join(
        "%s %.0f (%.0f-%.0f)" % (name, statistics.median(r), min(r), max(r)) for name, r in rates.items())),
        flush=True)
    tmpfs = [j / n for j, n in zip(rates["journal on tmpfs"], rates["no journal"])]
    print("journal on tmpfs / no journal: %.2f (rounds %.2f-%.2f)" % (statistics.median(tmpfs), min(tmpfs), max(tmpfs)),
          flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--source", default=os.path.dirname(here))
    parser.add_argument("--build", default=os.path.join(os.path.dirname(here), "build", "linux"))
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--persons", type=int, default=1_000_000)
    parser.add_argument("--requests", type=int, default=50_000)
    parser.add_argument("--cpu", type=int, default=1, help="the CPU both programs of a pair run on")
    parser.add_argument("--client-cpu", type=int, default=1,
                        help="the CPU of the load client (by default the servers' own: on this kind of "
                             "machine a wake-up across CPUs costs more than the request)")
    parser.add_argument("--disk-dir", default="/var/tmp", help="a folder on the disk, for the journal pair")
    parser.add_argument("pairs", nargs="*", default=["scan", "book", "alive"],
                        help="scan, book, alive, journal")
    args = parser.parse_args()
    print("machine: %s, %d CPUs; %d rounds each" % (os.uname().nodename, os.cpu_count(), args.rounds), flush=True)
    with tempfile.TemporaryDirectory(prefix="qx-compare-") as work:
        for pair in args.pairs:
            if pair == "scan":
                scan_pair(args, work)
            elif pair == "journal":
                journal_runs(args, work)
            else:
                server_pair(args, work, pair)


if __name__ == "__main__":
    main()
