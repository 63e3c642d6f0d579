#!/usr/bin/env python3
"""Writes a sample installation of the host system: the directory tree (vst/, dta/,
tab/, var/, log/) and fixed-length data files whose records hold text fields at fixed
byte positions, each field ended by "~", the record starting with its head number
(0 marks an empty record).

    make-installation.py [--output DIR] [--records N]

Without options it writes the small installation committed in examples/installation;
--records N writes N records per sample file instead (for benchmarks).
"""
import argparse
import os

# vst/sample.166: one record per cost centre, 60 bytes.
SAMPLE_LENGTH = 60
SAMPLE_FIELDS = [(0, 6), (6, 10), (16, 30), (46, 7)]  # head number, code, name, valid until (YYMMDD)
# var/counter.dat: one record per counter, 20 bytes.
COUNTER_LENGTH = 20
COUNTER_FIELDS = [(0, 6), (6, 12)]  # head number, value

NAMES = ["Assembly", "Paint shop", "Warehouse", "Office", "Canteen", "Maintenance", "Shipping",
         "Quality", "Tool room", "Reception"]


def record(length, fields, values):
    """A record of `length` bytes: each value at its field's position, ended by "~",
    the rest of the field blank."""
    data = bytearray(b" " * length)
    for (position, size), value in zip(fields, values):
        text = value.encode("latin-1")[:size - 1] + b"~"
        data[position:position + len(text)] = text
    return bytes(data)


def sample_records(count):
    for number in range(1, count + 1):
        if number % 7 == 4:  # an unused record between used ones
            yield record(SAMPLE_LENGTH, SAMPLE_FIELDS, ["0", "", "", ""])
            continue
        name = NAMES[(number - 1) % len(NAMES)]
        valid = "991231" if number % 3 else "251231"
        yield record(SAMPLE_LENGTH, SAMPLE_FIELDS, ["%05d" % number, "CC%04d" % number, name, valid])


def counter_records(count):
    for number in range(1, count + 1):
        yield record(COUNTER_LENGTH, COUNTER_FIELDS, ["%05d" % number, str(number * 100)])


def write(path, records):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        for data in records:
            out.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=os.path.join(os.path.dirname(__file__), "..", "examples", "installation"))
    parser.add_argument("--records", type=int, default=12)
    args = parser.parse_args()
    write(os.path.join(args.output, "vst", "sample.166"), sample_records(args.records))
    write(os.path.join(args.output, "var", "counter.dat"), counter_records(min(args.records, 5)))
    for folder in ("dta", "tab", "log"):  # empty for now: kept in version control by a .keep
        os.makedirs(os.path.join(args.output, folder), exist_ok=True)
        open(os.path.join(args.output, folder, ".keep"), "w").close()


if __name__ == "__main__":
    main()
