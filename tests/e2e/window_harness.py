"""The Windows program under Wine, seen through its window by window-probe.exe (one process
kept running, its command line in QX_WINDOW_PROBE, words separated by "|")."""
import fcntl
import os
import select
import subprocess
import time
from collections import Counter

from server_harness import unescape

BOX_ENTRIES = 14  # the log box shows the last 14 entries (entries without CR or LF)


class Xvfb:
    """A virtual X display on a number from :20 on, held with a lock file while it runs. Xvfb's own
    choice (-displayfd alone) gave tests in network namespaces of their own, which do not see each
    other's abstract sockets, the same number, and the later one's socket file took the earlier's clients."""

    def __init__(self):
        self.process = None
        for number in range(20, 520):  # a socket file: another X server's, or one left behind
            if not os.path.exists("/tmp/.X11-unix/X%d" % number) and self._lock("/tmp/qx-xvfb-%d.lock" % number):
                break
        else:
            raise AssertionError("no free X display number")
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(["Xvfb", ":%d" % number, "-displayfd", str(write_end), "-screen", "0",
                                         "1024x768x24", "-nolisten", "tcp"], pass_fds=(write_end,),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:  # the number, once it listens
            ready = pipe.readline().strip() if select.select([pipe], [], [], 30)[0] else b""
        if ready != str(number).encode():
            self.stop()
            raise AssertionError("Xvfb did not start on :%d" % number)
        self.display = ":%d" % number

    def _lock(self, path):
        self.lock = open(path, "w")
        try:
            fcntl.flock(self.lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return True
        except OSError:
            self.lock.close()
            return False

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            self.process.wait(timeout=10)
        self.lock.close()  # the number is free again


class Probe:
    def __init__(self):
        self.process = subprocess.Popen(os.environ["QX_WINDOW_PROBE"].split("|"), stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, encoding="latin-1", bufsize=1)

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        answer = self.process.stdout.readline()
        assert answer, "window-probe ended"
        return answer.rstrip("\n")


_display = _probe = None  # of the run


def kill_wine_processes():
    if "QX_WINEPREFIX" in os.environ:
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=os.environ["QX_WINEPREFIX"]), check=False)


def start_window_system():
    """The probe, started once with Xvfb (QX_WINE_DISPLAY) after an earlier run's wineserver."""
    global _display, _probe
    if _display is None:
        kill_wine_processes()
        _display = Xvfb()
        os.environ["QX_WINE_DISPLAY"] = _display.display
        _probe = Probe()
    return _probe


def stop_window_system():
    global _display, _probe
    if _probe is not None:
        _probe.process.communicate(timeout=30)  # its end of input ends it
    kill_wine_processes()
    if _display is not None:
        _display.stop()
    _display = _probe = None


class WindowServer:
    """The Windows program; its log box shows the end of the expected log (trimmed as the event log is)."""

    def __init__(self, command, env=None):
        self.probe = start_window_system()
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=dict(os.environ, **(env or {})))
        self.log = b""    # the entries expected so far, as the box shows them (CR and LF escaped)
        self.shown = b""  # what the box showed when it last matched

    def box_text(self):
        answer = self.probe.ask("log")  # "none" while there is no main window
        return b"" if answer == "none" else unescape(answer)

    def wait_for_box(self, done, expected, timeout):
        deadline = time.monotonic() + timeout
        while not done(shown := self.box_text()):
            assert time.monotonic() < deadline, "log box ends %r, expected %r" % (shown[-300:], expected[-300:])
            time.sleep(0.01)
        self.shown = shown
        return shown

    def expect_lines(self, *expected, timeout=30.0):
        """The box shows the end of the log, `expected` (as much of it as fits) last."""
        new = b"".join(unescape(line).replace(b"\r", b"\\r").replace(b"\n", b"\\n") + b"\r\n" for line in expected)
        self.log += new
        self.wait_for_box(lambda s: s and self.log.endswith(s) and (s.endswith(new) or new.endswith(s)), self.log, timeout)

    def expect_entries(self, entries, timeout=30.0):
        """The box ends with entries of `entries` (any order; as many as the box keeps)."""
        wanted = Counter(unescape(e) for e in entries)
        count = min(len(entries), BOX_ENTRIES)

        def done(shown):
            last = shown.split(b"\r\n")[:-1][-count:]
            return len(last) == count and not Counter(last) - wanted
        self.log = self.wait_for_box(done, b"%r" % wanted, timeout)  # in the box's order

    def title(self):
        return unescape(self.probe.ask("title")).decode("latin-1")

    def next_line(self, timeout=30.0):
        """The entry the box shows next (for entries whose text is not known before)."""
        shown = self.wait_for_box(lambda s: s != self.shown and s.endswith(b"\r\n"), b"a new entry", timeout)
        entry = shown[:-2].rsplit(b"\r\n", 1)[-1]
        self.log += entry + b"\r\n"
        assert self.log.endswith(shown), "log box ends %r, expected one entry more than %r" % (shown[-300:], self.log[-300:])
        return entry.decode("latin-1")

    def wait_until_listening(self, timeout=60.0):
        self.expect_lines("Waiting for Nexolt to connect...", timeout=timeout)  # no window yet: an empty box

    def wait_exit(self, timeout=60.0):
        return self.process.wait(timeout=timeout)

    def stop(self, timeout=60.0):
        if self.process.poll() is None:
            self.probe.ask("close")
        try:
            return self.process.wait(timeout=timeout)
        finally:
            self.process.kill()
            self.process.wait()
