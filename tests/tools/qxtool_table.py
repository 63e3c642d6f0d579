"""Runs qxtool (any launcher in front of it: Wine) over its table, one "qxtool -" per section:
    python3 qxtool_table.py CASES_FILE PROGRAM [LAUNCHER ARGS...]
Rows as docs/testing.md says; a result "\\!" must fail, "-NAME" in a section row removes NAME;
$BASE, $LINUX_BASE (as Linux names it), $TABLES (this folder), $WORK, $LINUX_WORK (the run's own).
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

here = os.path.dirname(os.path.abspath(__file__))
program = sys.argv[2:]
windows = program[-1].endswith(".exe")
dos = (lambda path: "Z:" + path) if windows else (lambda path: path)
base = os.path.normpath(os.path.join(here, "../../examples/installation"))
work = tempfile.mkdtemp(prefix="qxtool-table-")
names = {"$BASE": dos(base), "$LINUX_BASE": base, "$TABLES": dos(here), "$WORK": dos(work), "$LINUX_WORK": work}
plain = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r", "0": "\0"}


def expand(text):
    for name, value in names.items():
        text = text.replace(name, value)
    return re.sub(r"\{(\d+)\*([^}]+)\}", lambda m: m.group(2) * int(m.group(1)), text)


sections = []
for number, line in enumerate(open(sys.argv[1], encoding="latin-1").read().splitlines(), 1):
    if line.startswith("@") or not sections:
        env = dict(os.environ, **dict(expand(v).split("=", 1) for v in line.split("\t")[1:] if "=" in v))
        for name in (v[1:] for v in line.split("\t")[1:] if v.startswith("-")):
            env.pop(name, None)
        sections.append((env, [], line.startswith("@linux") and windows, []))
    if line.startswith("+\t"):
        sections[-1][3].append([expand(field) for field in line.split("\t")[1:]])
    elif line and not line.startswith(("#", "@")):
        command, expected = line.split("\t=>\t")
        sections[-1][1].append((number, expand(command), expand(expected).split("\t")))

failures = 0
for env, rows, skipped, files in sections:
    for path, content in files:
        os.makedirs(os.path.dirname(os.path.join(work, path)), exist_ok=True)
        with open(os.path.join(work, path), "wb") as out:
            out.write(re.sub(r"\\(x[0-9a-f]{2}|.)", lambda m: chr(int(m.group(1)[1:], 16)) if len(m.group(1)) == 3
                             else plain[m.group(1)], content).encode("latin-1"))
    if skipped or not rows:
        continue
    batch = "".join(command + "\n" for _, command, _ in rows).encode("latin-1")
    run = subprocess.run(program + ["-"], input=batch, env=env, capture_output=True, timeout=300)
    got = run.stdout.decode("latin-1").replace("\r", "").split("\n")[:-1]
    if len(got) != sum(len(expected) for _, _, expected in rows):
        print("FAIL: %d result lines from line %d on: %r %s" % (len(got), rows[0][0], got[:12], run.stderr[:300]))
        failures += 1
        continue
    for number, command, expected in rows:
        actual, got = "\t".join(got[:len(expected)]), got[len(expected):]
        expected = "\t".join(expected)
        if actual != expected and not (expected == "\\!" and actual.startswith("\\! ")):
            print("FAIL line %d: %s gave [%s], expected [%s]" % (number, command[:80], actual[:200], expected[:200]))
            failures += 1
    status = 2 if any(expected[0].startswith("\\!") for _, _, expected in rows) else 0
    if run.returncode != status:
        print("FAIL: section from line %d exited %d, expected %d" % (rows[0][0], run.returncode, status))
        failures += 1
shutil.rmtree(work)
print("qxtool table: %d rows in %d sections, %d failed" % (sum(len(s[1]) for s in sections), len(sections), failures))
sys.exit(1 if failures else 0)
