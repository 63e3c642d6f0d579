"""The Windows program under Wine, seen through its window: the log is read from the log
box by window-probe.exe (one helper process kept running), and compared with a model
of what the box must show. Used by the same protocol suite as the Linux program.

Environment: QX_WINDOW_PROBE is the probe's command line, its words separated by "|";
QX_WINE_DISPLAY is set here to an Xvfb of the run.
"""
import os
import select
import subprocess
import time

from server_harness import unescape

LOG_CAPACITY = 10000   # bytes of the event log, terminator included
TRIM_LINE_FEEDS = 15   # the log keeps what follows the 15th line feed from the end


class LogModel:
    """What the log box must show: the event log with the server's room and trimming
    rules (on its bytes, line feeds inside entries counted), each entry shown on one line
    with the CR and LF inside it escaped."""

    def __init__(self):
        self.entries = []  # the log's entries, oldest first, each ending CR LF (the first may be cut)

    def raw(self):
        return b"".join(self.entries)

    def drop(self, count):
        """Drops the first `count` bytes of the log."""
        while count > 0 and self.entries:
            if count >= len(self.entries[0]):
                count -= len(self.entries.pop(0))
            else:
                self.entries[0] = self.entries[0][count:]
                count = 0

    def add(self, entry):
        added = entry + b"\r\n"
        if len(added) >= LOG_CAPACITY:
            added = added[:LOG_CAPACITY - 3] + b"\r\n"
        while self.entries and len(self.raw()) + len(added) >= LOG_CAPACITY:
            text = self.raw()
            self.drop(text.find(b"\n") + 1 if b"\n" in text else len(text))
        self.entries.append(added)
        text, count = self.raw(), 0
        for p in range(len(text), 0, -1):
            if p < len(text) and text[p] == 0x0A:
                count += 1
                if count == TRIM_LINE_FEEDS:
                    self.drop(p + 1)
                    break

    @property
    def text(self):
        return b"".join(e[:-2].replace(b"\r", b"\\r").replace(b"\n", b"\\n") + b"\r\n" for e in self.entries)


class Xvfb:
    """A virtual X display for the run; stops with the process. Xvfb picks a free display
    number itself (-displayfd) and writes it when it is ready, so runs side by side never
    race for one."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                                         "-nolisten", "tcp"], pass_fds=(write_end,),
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end, "rb") as pipe:
            ready, _, _ = select.select([pipe], [], [], 30)
            number = pipe.readline().strip() if ready else b""
        if not number.isdigit():
            self.process.kill()
            self.process.wait()
            raise AssertionError("Xvfb did not start")
        self.display = ":" + number.decode()

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class Probe:
    """window-probe.exe, kept running: one command line in, one answer line out."""

    def __init__(self):
        command = os.environ["QX_WINDOW_PROBE"].split("|")
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)

    def ask(self, line):
        self.process.stdin.write(line.encode("latin-1") + b"\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline()
        if not answer:
            raise AssertionError("window-probe ended")
        return answer.decode("latin-1").rstrip("\r\n")

    def stop(self):
        try:
            self.process.stdin.close()
        except OSError:
            pass
        self.process.wait(timeout=30)


_display = None
_probe = None


def kill_wine_processes():
    """Ends every Wine process of the run's prefix, its wineserver included."""
    if "QX_WINEPREFIX" in os.environ:
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=os.environ["QX_WINEPREFIX"]),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)


def start_window_system():
    """Starts Xvfb and the probe once for the whole run. A wineserver left by an earlier
    run would serve this one from that run's network namespace: it is ended first."""
    global _display, _probe
    if _display is None:
        kill_wine_processes()
        _display = Xvfb()
        os.environ["QX_WINE_DISPLAY"] = _display.display
        _probe = Probe()
    return _probe


def stop_window_system():
    """Stops the probe, every Wine process of the run's prefix, and Xvfb."""
    global _display, _probe
    if _probe is not None:
        _probe.stop()
        _probe = None
    kill_wine_processes()
    if _display is not None:
        _display.stop()
        _display = None


class WindowServer:
    """The Windows program; its log is checked against the model through the probe."""

    def __init__(self, command, env=None):
        self.probe = start_window_system()
        full_env = dict(os.environ)
        full_env.update(env or {})
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL, env=full_env)
        self.model = LogModel()
        self.stderr = b""

    def box_text(self):
        answer = self.probe.ask("log")
        return None if answer == "none" else unescape(answer)

    def expect_lines(self, *expected, timeout=30.0):
        for line in expected:
            self.model.add(unescape(line))
        deadline = time.monotonic() + timeout
        while True:
            shown = self.box_text()
            if shown == self.model.text:
                return
            if time.monotonic() > deadline:
                raise AssertionError("log box ends %r, expected it to end %r" %
                                     (shown[-300:] if shown else shown, self.model.text[-300:]))
            time.sleep(0.01)

    def expect_entries(self, entries, timeout=30.0):
        """The box ends with entries of `entries` (any order; as many as the box keeps)."""
        wanted = sorted(unescape(e) for e in entries)
        deadline = time.monotonic() + timeout
        while True:
            shown = self.box_text() or b""
            last = shown.split(b"\r\n")[:-1][-min(len(wanted), TRIM_LINE_FEEDS - 1):]
            if all(last.count(e) <= wanted.count(e) for e in last) and len(last) == min(len(wanted), TRIM_LINE_FEEDS - 1):
                # The model takes the box's order (entries of a site hold no CR or LF).
                self.model.entries = [line + b"\r\n" for line in shown.split(b"\r\n")[:-1]]
                return
            if time.monotonic() > deadline:
                raise AssertionError("log box ends %r, expected entries of %r" % (shown[-300:], wanted))
            time.sleep(0.01)

    def title(self):
        return unescape(self.probe.ask("title")).decode("latin-1")

    def next_line(self, timeout=30.0):
        """The entry the box shows next (for entries whose text is not known before)."""
        deadline = time.monotonic() + timeout
        while True:
            shown = self.box_text()
            if shown is not None and shown != self.model.text and shown.endswith(b"\r\n"):
                entry = shown[:-2].rsplit(b"\r\n", 1)[-1]
                self.model.add(entry)
                if shown != self.model.text:
                    raise AssertionError("log box ends %r, expected one entry more than %r" %
                                         (shown[-300:], self.model.text[-300:]))
                return entry.decode("latin-1")
            if time.monotonic() > deadline:
                raise AssertionError("no new entry in the log box within %.0f s" % timeout)
            time.sleep(0.01)

    def wait_until_listening(self, timeout=60.0):
        if self.probe.ask("find %d" % int(timeout * 1000)) != "ok":
            raise AssertionError("the main window did not appear")
        self.expect_lines("Waiting for Nexolt to connect...")

    def wait_exit(self, timeout=60.0):
        return self.process.wait(timeout=timeout)

    def stop(self, timeout=60.0):
        """Closes the window (WM_CLOSE) and returns the exit code."""
        if self.process.poll() is None:
            self.probe.ask("close")
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise AssertionError("program did not end after WM_CLOSE")
