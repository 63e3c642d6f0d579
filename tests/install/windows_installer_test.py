"""The Windows installer under Wine, in a prefix of the test's own (QX_WINEPREFIX): install,
the server, installs over it while it runs, a booking, uninstall. In private-net.sh.
    windows_installer_test.py win32|win64 BUILD_DIR      (exit 77: no Wine or makensis)
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
from server_harness import KEEP_ALIVE_REPLY, connect, receive_exactly  # noqa: E402
from window_harness import Xvfb, kill_wine_processes  # noqa: E402

ARCH, BUILD = sys.argv[1], sys.argv[2]
WINE_RUN = ["bash", os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake", "wine-run.sh"), ARCH]
FOLDER = r"C:\Program Files\Nexolt demo"
MENU = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Nexolt demo"
JOURNAL = r"C:\ProgramData\Nexolt demo\bookings.jsonl"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nexolt demo"
RUN_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Run"
ENVIRONMENT_KEY = r"HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
failures = []
servers = []  # every server started, ended at the end


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def wine(*args):
    return subprocess.run(WINE_RUN + list(args), stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          errors="replace", timeout=300)


def read(path):
    return open(path, "rb").read() if os.path.exists(path) else b""


def unix_path(windows_path):
    return os.path.join(os.environ["QX_WINEPREFIX"], "drive_c", *windows_path[3:].split("\\"))


def registry(key):  # {name: data as reg prints it}; None when there is no such key
    result = wine("reg", "query", key)
    fields = (line.strip().split("    ") for line in result.stdout.splitlines())
    return {f[0]: f[2] for f in fields if len(f) == 3} if result.returncode == 0 else None


def options():
    return (registry(RUN_KEY) or {}).get("Nexolt demo"), (registry(ENVIRONMENT_KEY) or {}).get("QX_BOOKINGS")


def start_server():  # once it answers a keep-alive (so its window is there)
    log = open(os.path.join(os.environ["QX_WINEPREFIX"], "server-%d.log" % len(servers)), "w+")
    servers.append(subprocess.Popen(WINE_RUN + [unix_path(FOLDER + r"\bin\nexolt-demo.exe")],
                                    stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                    env=dict(os.environ, QX_WINEDEBUG="err+all,fixme-all")))  # Wine's errors too
    deadline = time.monotonic() + 120
    while servers[-1].poll() is None and time.monotonic() < deadline:  # not listening: say why
        try:
            with connect(timeout=1) as conn:
                conn.sendall(b"get_alive,")
                check(receive_exactly(conn, len(KEEP_ALIVE_REPLY)) == KEEP_ALIVE_REPLY, "keep-alive reply")
                return servers[-1]
        except OSError:
            pass
    log.seek(0)
    raise SystemExit("start %d: the server did not listen (exit status %s); its output:\n%s" % (
        len(servers), servers[-1].poll(), log.read()))


def wait_for(condition, what, timeout=60.0):
    deadline = time.monotonic() + timeout
    while not condition() and time.monotonic() < deadline:
        time.sleep(0.2)
    check(condition(), what)


def install(installer, version):
    menu = unix_path(MENU)
    check(wine(installer, "/S").returncode == 0, "silent install")
    for path in ("bin/qxtool.exe", "share/doc/qx/examples/installation/vst/pers.172", "Uninstall.exe"):
        check(os.path.isfile(os.path.join(unix_path(FOLDER), path)), "installed " + path)
    for link, target in (("Nexolt communication demo.lnk", "nexolt-demo.exe"), ("README.lnk", "README.md")):
        data = read(os.path.join(menu, link))
        check(target.encode("utf-16-le") in data or target.encode() in data, link + " names " + target)
    entry = registry(UNINSTALL_KEY) or {}
    expected = {"DisplayName": "Nexolt communication demo", "DisplayVersion": version, "Publisher": "The qx developers",
                "DisplayIcon": FOLDER + r"\bin\nexolt-demo.exe,0", "InstallLocation": FOLDER,
                "UninstallString": '"%s\\Uninstall.exe"' % FOLDER}
    check({name: entry.get(name) for name in expected} == expected, "uninstall entry %r" % entry)
    check(options() == (None, None), "no options by default")
    server = start_server()
    for switches in (["/RUNATLOGON=1", "/JOURNAL=1"], []):  # set, then kept by an upgrade
        check(wine(installer, "/S", *switches).returncode == 0, "install over it %s" % switches)
        check(server.wait(timeout=30) == 0, "the running server closed by the installer")
        check(options() == ('"%s\\bin\\nexolt-demo.exe"' % FOLDER, JOURNAL), "options %r" % (options(),))
        server = start_server()
    with connect() as conn:
        conn.sendall(b"regi,1,2,F1,240115,0830,4711")
        wait_for(lambda: b"4711" in read(unix_path(JOURNAL)), "the booking in " + JOURNAL)
    return server


def uninstall(server):
    check(wine(unix_path(FOLDER + r"\Uninstall.exe"), "/S").returncode == 0, "silent uninstall")
    wait_for(lambda: registry(UNINSTALL_KEY) is None, "the uninstall entry removed")
    check(server.wait(timeout=30) == 0, "the running server closed by the uninstaller")
    for folder in (FOLDER, MENU):
        check(not os.path.exists(unix_path(folder)), folder + " removed")
    check(options() == (None, None), "Run value and QX_BOOKINGS removed")
    check(os.path.isfile(unix_path(JOURNAL)), "the journal kept")


def main():
    check_wine = wine("--check")
    if not shutil.which("makensis") or check_wine.returncode != 0:
        print("skipped:", check_wine.stderr.strip() or "no makensis (Debian package nsis)")
        return 77
    version = re.search(r'kVersion\[\] = "(.*)"', open(os.path.join(BUILD, "generated/qx/version.h")).read())[1]
    work = tempfile.mkdtemp()
    # Made afresh from the template by wine-run.sh, which first ends the wineserver of an
    # earlier run (it serves another network namespace) and forgets that server's folder.
    stamp = os.path.join(os.environ["QX_WINEPREFIX"], ".qx-prefix-ready")
    if os.path.exists(stamp):
        os.remove(stamp)
    display = Xvfb()
    os.environ.update(QX_WINE_DISPLAY=display.display, WINEDLLOVERRIDES="winemenubuilder.exe=d")  # no host menus
    try:
        subprocess.run(["cpack", "-G", "NSIS", "--config", os.path.join(BUILD, "CPackConfig.cmake"), "-B", work],
                       check=True, stdout=subprocess.DEVNULL)
        installer = glob.glob(os.path.join(work, "*.exe"))
        check(installer == [os.path.join(work, "qx-%s-%s.exe" % (version, ARCH))], "installer %s" % installer)
        uninstall(install(installer[0], version))
    finally:
        for server in servers:
            if server.poll() is None:
                server.kill()
        kill_wine_processes()
        display.stop()
        shutil.rmtree(work)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
