#!/usr/bin/env python3
"""Mutation testing: plants one small fault at a time in the code (outside tests/ and
bench/), rebuilds the linux preset incrementally and runs its tests, stopping at the
first failure; a mutant they all pass is built and tested again with the sanitizers
(linux-asan), as the test command does. A mutant is killed when a test fails (or times
out), survives when all pass, and is not viable when it does not build.

    python3 tools/mutate.py [--count N] [--seconds S] [--seed K] [--only FILE:LINE ...]

Operators, on one line each: a relational operator moved by one (< <= > >=), && and ||
swapped, a "+ 1" or "- 1" dropped or turned round, "+ 1" added to an index, a statement
of a call or an assignment removed, an integer constant moved by one. The sites are all
such places in app/, support/, visibility/, platform/ (the POSIX layer and the common
files) and tools/; the run takes them in an order shuffled with the seed, so the same
seed on the same code plants the same mutants, and code added elsewhere leaves the
order of the others as it was. Mutants that cannot change what the
program does are listed in tools/mutate-equivalent.txt with the reason, and skipped.

The work is done in a copy of the tree (under --work, by default a temporary folder),
built once and then rebuilt after each mutant: the checkout is never touched, and an
interrupted run leaves nothing behind in it. It is slow (a build and up to a whole test
run per mutant), so it is not part of the test command.
"""
import argparse
import filecmp
import os
import hashlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FOLDERS = ["app", "support", "visibility", "platform", "platform/linux", "tools/qxtool", "tools/nexolt-sim",
           "support/datetime"]
EQUIVALENT_FILE = os.path.join(ROOT, "tools", "mutate-equivalent.txt")
# Tests left out of mutation runs: the unit tests again under valgrind, and the packages.
DEFAULT_EXCLUDE = "unit_tests_under_valgrind|packages"

DECLARATION_WORDS = {"return", "break", "continue", "case", "default", "if", "for", "while", "else", "do",
                     "switch", "goto", "const", "constexpr", "static", "auto", "using", "namespace", "typedef",
                     "struct", "class", "enum", "template", "inline", "extern", "throw", "delete", "new"}


def masked(lines):
    """The lines with comments, string and character literals blanked (same lengths)."""
    out, in_block = [], False
    for line in lines:
        chars, i = list(line), 0
        while i < len(chars):
            if in_block:
                end = line.find("*/", i)
                stop = len(chars) if end < 0 else end + 2
                chars[i:stop] = " " * (stop - i)
                in_block, i = end < 0, stop
            elif line.startswith("//", i):
                chars[i:] = " " * (len(chars) - i)
                break
            elif line.startswith("/*", i):
                in_block = True
            elif chars[i] in "\"'":
                quote, j = chars[i], i + 1
                while j < len(chars) and chars[j] != quote:
                    j += 2 if chars[j] == "\\" else 1
                chars[i + 1:min(j, len(chars))] = " " * (min(j, len(chars)) - i - 1)
                i = j + 1
            else:
                i += 1
        out.append("".join(chars))
    return out


class Mutant:
    def __init__(self, path, number, original, mutated, operator):
        self.path, self.number, self.original, self.mutated, self.operator = path, number, original, mutated, operator

    occurrence = 1  # which of the same change in the same file, counted from its top

    def key(self):
        return "%s | %s | %s" % (self.path, self.original.strip(), self.mutated.strip())

    def site(self):
        """The key with its occurrence: 'PATH@N | ORIGINAL | MUTATED'."""
        return "%s@%d%s" % (self.path, self.occurrence, self.key()[len(self.path):])

    def describe(self):
        return "%s:%d: %s  =>  %s" % (self.path, self.number, self.original.strip(), self.mutated.strip())


RELATIONAL = re.compile(r"(?<= )(<=|>=|<|>)(?= )")
LOGICAL = re.compile(r"(?<= )(&&|\|\|)(?= )")
PLUS_MINUS_ONE = re.compile(r" ([+-]) 1(?![\w.'])")
INDEX = re.compile(r"\[([A-Za-z_]\w*)\]")
DECLARED = re.compile(r"(^|[(,])\s*(const\s+|static\s+|constexpr\s+)*[A-Za-z_][\w:<>]*\s+[A-Za-z_]\w*$")
CONSTANT = re.compile(r"(?<![\w.'\[])(\d+)(?![\w.'\]])")
STATEMENT = re.compile(r"^\s*(\+\+|--|\*)?[A-Za-z_][\w:]*(\.|->|\[|\(|\s*[-+*/|&^]?=\s|\+\+|--)")
MOVED = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "&&": "||", "||": "&&"}


def mutants_of_line(path, number, line, mask):
    def at(start, end, text, operator):
        return Mutant(path, number, line, line[:start] + text + line[end:], operator)

    stripped = mask.strip()
    if not stripped or stripped.startswith("#") or "static_assert" in mask or "template" in mask:
        return []
    found = []
    for pattern, operator in ((RELATIONAL, "relational"), (LOGICAL, "logical")):
        for m in pattern.finditer(mask):
            found.append(at(m.start(), m.end(), MOVED[m.group(1)], operator))
    for m in PLUS_MINUS_ONE.finditer(mask):
        found.append(at(m.start(), m.end(), "", "drop %s 1" % m.group(1)))
        found.append(at(m.start(1), m.end(1), "-" if m.group(1) == "+" else "+", "turn %s 1" % m.group(1)))
    for m in INDEX.finditer(mask):
        if not DECLARED.search(mask[:m.start()]):  # a larger array is no fault
            found.append(at(m.start(1), m.end(1), m.group(1) + " + 1", "add + 1"))
    for m in CONSTANT.finditer(mask):
        value = int(m.group(1))
        found.append(at(m.start(), m.end(), str(value + 1), "constant + 1"))
        if value > 0:
            found.append(at(m.start(), m.end(), str(value - 1), "constant - 1"))
    first_word = re.match(r"\s*([A-Za-z_]\w*)", mask)
    balanced = mask.count("(") == mask.count(")") and "{" not in mask and "}" not in mask
    if (stripped.endswith(";") and balanced and STATEMENT.match(mask) and
            not (first_word and first_word.group(1) in DECLARATION_WORDS)):
        indent = line[:len(line) - len(line.lstrip())]
        found.append(Mutant(path, number, line, indent + ";", "remove statement"))
    return found


def all_mutants(source):
    mutants = []
    for folder in FOLDERS:
        directory = os.path.join(source, folder)
        for name in sorted(os.listdir(directory)):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(folder, name)
            with open(os.path.join(source, path), encoding="utf-8") as f:
                lines = f.read().split("\n")
            for number, (line, mask) in enumerate(zip(lines, masked(lines)), start=1):
                mutants.extend(mutants_of_line(path, number, line, mask))
    seen = {}
    for m in mutants:
        seen[m.key()] = m.occurrence = seen.get(m.key(), 0) + 1
    return mutants


def in_run_order(mutants, seed):
    """The mutants in the order of a hash of the seed and each mutant's text (its file,
    line and change, and which of the same it is), not of its place in a list: code
    added elsewhere does not move the mutants already there in the order."""
    seen = {}

    def rank(mutant):
        key = mutant.key()
        seen[key] = seen.get(key, 0) + 1
        return hashlib.sha256(("%d|%s|%d" % (seed, key, seen[key])).encode()).hexdigest()

    return sorted(mutants, key=rank)


def read_equivalent(mutants):
    """The listed equivalent mutants, as a test on a mutant. An entry is 'PATH | ORIGINAL
    | MUTATED  # reason'; where the same change can be made on several lines of the file,
    it names which with PATH@N (the Nth from the top) or all with PATH@*, whose reason
    then holds for each. An entry that names no line, or a line that is not there, stops
    the run: a reason written for one line must not cover another by accident."""
    entries = []
    if os.path.exists(EQUIVALENT_FILE):
        with open(EQUIVALENT_FILE, encoding="utf-8") as f:
            entries = [line.split("  # ")[0].strip() for line in f if line.strip() and not line.startswith("#")]
    sites = {m.site() for m in mutants}
    counts = {}
    for m in mutants:
        counts[m.key()] = counts.get(m.key(), 0) + 1
    listed, problems = set(), []
    for entry in entries:
        path, _, rest = entry.partition(" | ")
        path, _, which = path.partition("@")
        key = path + " | " + rest
        if which == "*" or (not which and counts.get(key) == 1):
            listed.update("%s@%d | %s" % (path, n, rest) for n in range(1, counts.get(key, 0) + 1))
        elif not which:
            problems.append("%s: %d lines make this change; name one as %s@N or all as %s@*" % (
                entry, counts.get(key, 0), path, path))
        else:
            listed.add("%s@%s | %s" % (path, which, rest))
    problems += ["%s: no such mutant" % e for e in listed if e not in sites]
    if problems:
        raise SystemExit("tools/mutate-equivalent.txt:\n  " + "\n  ".join(sorted(problems)))
    return lambda mutant: mutant.site() in listed


def run(command, cwd, timeout=None):
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return -1


# The quick tests first: most mutants fail one of them, and a run stops at the first
# failure (ctest starts the longest tests first within one call).
QUICK_TESTS = "qxtool|scan_golden|command_lines|sample_installation|layers"


# A whole test run takes about 12 s on an idle machine; a mutant whose tests together
# take longer than this has made something hang, and counts as killed.
MUTANT_SECONDS = 150


def tests_pass(copy, exclude, preset="linux"):
    """Runs the unit tests, the quick process tests, then the others; False at the first
    failure. A test that hangs counts as failed (a unit test after 20 s, a quick one after
    30 s, the others after a minute: each several times what it takes on a loaded
    machine), and so do tests that together outlast MUTANT_SECONDS; what they started is
    ended with them."""
    base = ["ctest", "--preset", preset, "-j2", "--stop-on-failure", "--timeout"]
    stages = [["20", "-L", "unit", "-E", exclude], ["30", "-LE", "unit", "-R", QUICK_TESTS, "-E", exclude],
              ["60", "-LE", "unit", "-E", "%s|%s" % (exclude, QUICK_TESTS)]]
    deadline = time.monotonic() + MUTANT_SECONDS
    try:
        return all(run(base + stage, copy, max(deadline - time.monotonic(), 1)) == 0 for stage in stages)
    finally:
        subprocess.run(["pkill", "-KILL", "-f", os.path.join(copy, "build") + "/"], stdout=subprocess.DEVNULL)


def sync_tree(copy):
    """Brings the copy up to the checkout: files whose content differs are copied (the
    others keep their times, so the build stays incremental), files gone are removed."""
    skipped = {"build", ".git", "__pycache__"}
    wanted = set()
    for folder, folders, files in os.walk(ROOT):
        folders[:] = [f for f in folders if f not in skipped]
        for name in files:
            relative = os.path.relpath(os.path.join(folder, name), ROOT)
            wanted.add(relative)
            source, target = os.path.join(ROOT, relative), os.path.join(copy, relative)
            if not os.path.exists(target) or not filecmp.cmp(source, target, shallow=False):
                os.makedirs(os.path.dirname(target), exist_ok=True)
                shutil.copy2(source, target)
                os.utime(target)  # newer than what was built from the old content
    for folder, folders, files in os.walk(copy):
        folders[:] = [f for f in folders if f not in skipped]
        for name in files:
            path = os.path.join(folder, name)
            if os.path.relpath(path, copy) not in wanted:
                os.remove(path)


def prepare(work, presets):
    copy = os.path.join(work, "tree")
    sync_tree(copy)
    print("building the copy in %s ..." % copy, flush=True)
    # Without link-time optimisation (a mutant then costs one compile and the links, not a
    # whole-program optimisation of every program) and without the benchmarks, which no
    # test runs.
    for preset in presets:
        if (run(["cmake", "--preset", preset, "-DQX_LTO=OFF", "-DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON"], copy) != 0
                or run(["cmake", "--build", "--preset", preset], copy) != 0):
            raise SystemExit("the unmutated copy does not build for %s" % preset)
    return copy


def verdict_of(copy, exclude, presets):
    """'not viable', 'killed' (by the tests of the first preset that fails) or 'SURVIVED'.
    A mutant goes on to the sanitizer build only when the plain one passes: most are
    killed there, and the sanitizers see what it cannot (a read past a buffer, a leak)."""
    for number, preset in enumerate(presets):
        if run(["cmake", "--build", "--preset", preset], copy) != 0:
            return "not viable" if number == 0 else "SURVIVED"
        if not tests_pass(copy, exclude, preset):
            return "killed" if number == 0 else "killed (%s)" % preset
    return "SURVIVED"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--count", type=int, default=150, help="viable mutants to run (default 150)")
    parser.add_argument("--seconds", type=float, default=None, help="stop starting mutants after this long")
    parser.add_argument("--seed", type=int, default=17)
    parser.add_argument("--work", default=None, help="folder for the copy (kept: a later run reuses its build)")
    parser.add_argument("--exclude", default=DEFAULT_EXCLUDE, help="tests to leave out (ctest -E)")
    parser.add_argument("--only", nargs="*", default=None, help="only the mutants of these PATH:LINE places")
    parser.add_argument("--list", action="store_true", help="list the mutants in run order and stop")
    parser.add_argument("--no-sanitizers", action="store_true",
                        help="judge by the linux preset alone (the test command also runs linux-asan)")
    args = parser.parse_args()

    mutants = all_mutants(ROOT)
    equivalent = read_equivalent(mutants)
    mutants = in_run_order(mutants, args.seed)
    if args.only is not None:
        places = set(args.only)
        mutants = [m for m in mutants if "%s:%d" % (m.path, m.number) in places]
    skipped = [m for m in mutants if equivalent(m)]
    mutants = [m for m in mutants if not equivalent(m)]
    if args.list:
        for m in mutants[:args.count]:
            print("%-18s %s" % (m.operator, m.describe()))
        return 0

    work = args.work or tempfile.mkdtemp(prefix="qx-mutate-")
    start = time.monotonic()
    presets = ["linux"] if args.no_sanitizers else ["linux", "linux-asan"]
    copy = prepare(work, presets)
    if not all(tests_pass(copy, args.exclude, preset) for preset in presets):
        raise SystemExit("the tests fail without a mutant: mend them first")
    killed, survived, not_viable = [], [], []
    try:
        for mutant in mutants:
            if len(killed) + len(survived) >= args.count:
                break
            if args.seconds is not None and time.monotonic() - start > args.seconds:
                print("time is up", flush=True)
                break
            began = time.monotonic()
            target = os.path.join(copy, mutant.path)
            with open(target, encoding="utf-8") as f:
                text = f.read()
            lines = text.split("\n")
            lines[mutant.number - 1] = mutant.mutated
            with open(target, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            try:
                verdict = verdict_of(copy, args.exclude, presets)
                {"n": not_viable, "S": survived, "k": killed}[verdict[0]].append(mutant)
            finally:
                with open(target, "w", encoding="utf-8") as f:
                    f.write(text)
            print("%3d %-10s %4.0f s  %-18s %s" % (len(killed) + len(survived), verdict, time.monotonic() - began,
                                                  mutant.operator, mutant.describe()), flush=True)
    finally:
        if args.work is None:
            shutil.rmtree(work, ignore_errors=True)
    tested = len(killed) + len(survived)
    print("\nseed %d: %d mutants run: %d killed, %d survived (%.1f %% killed); %d not viable; "
          "%d listed as equivalent and skipped; %.0f s" % (
              args.seed, tested, len(killed), len(survived), 100.0 * len(killed) / max(tested, 1),
              len(not_viable), len(skipped), time.monotonic() - start))
    for mutant in survived:
        print("survived: %s  (%s)" % (mutant.describe(), mutant.operator))
    return 0


if __name__ == "__main__":
    sys.exit(main())
