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

# vst/syspar.170: the system parameter record (record 1), 1462 bytes.
SYSPAR_LENGTH = 1462
SYSPAR_FIELDS = [(0, 2), (144, 2), (916, 6), (954, 16)]  # recnr, landcode, aantpers, clientcod
# tab/taal.tab: the language table, 30-byte records for languages 1 to 9.
TALEN_LENGTH = 30
TALEN_FIELDS = [(0, 2), (2, 22), (24, 4), (28, 2)]  # volgnr, omschr, suffix, yes
LANGUAGES = [("1", "Nederlands", "ned", "J"), ("2", "Deutsch", "deu", "J"), ("3", "English", "eng", "Y")]
# Message catalogues: 80-byte records, text in bytes 0-77 (padded with blanks), code in 78-79.
MESSAGE_LENGTH = 80
WEEKDAYS = {
    "msg": ["maandag", "dinsdag", "woensdag", "donderdag", "vrijdag", "zaterdag", "zondag"],
    "deu": ["Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag", "Sonntag"],
    "eng": ["Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"],
}
MONTHS = {
    "msg": ["januari", "februari", "maart", "april", "mei", "juni", "juli", "augustus", "september",
            "oktober", "november", "december"],
    "deu": ["Januar", "Februar", "M\u00e4rz", "April", "Mai", "Juni", "Juli", "August", "September",
            "Oktober", "November", "Dezember"],
    "eng": ["January", "February", "March", "April", "May", "June", "July", "August", "September",
            "October", "November", "December"],
}
HELP = {  # tab/hulp.*: a text catalogue, one message per line
    "tab": ["Druk op F1 voor hulp", "Kaart niet bekend", "Boeking opgeslagen"],
    "deu": ["F1 druecken fuer Hilfe", "Karte unbekannt", "Buchung gespeichert"],
    "eng": ["Press F1 for help", "Card not known", "Booking saved"],
}

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


def message(text, code):
    """One record of a record catalogue: the text padded with blanks, the code at its end."""
    return text.encode("cp1252").ljust(MESSAGE_LENGTH - 2)[:MESSAGE_LENGTH - 2] + code.encode()


def catalogue_records(suffix):
    for number in range(1, 124):
        if 104 <= number <= 115:
            yield message(MONTHS[suffix][number - 104], "01")
        elif 117 <= number <= 123:
            yield message(WEEKDAYS[suffix][number - 117], "01")
        else:
            yield message("message %d" % number, "00")


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
    write(os.path.join(args.output, "vst", "syspar.170"),
          [record(SYSPAR_LENGTH, SYSPAR_FIELDS, ["1", "1", "%05d" % args.records, "DEMO"])])
    write(os.path.join(args.output, "tab", "taal.tab"),
          [record(TALEN_LENGTH, TALEN_FIELDS, list(language)) for language in LANGUAGES])
    for suffix in ("msg", "deu", "eng"):
        write(os.path.join(args.output, "dta", "gen." + suffix), catalogue_records(suffix))
    for suffix, lines in HELP.items():
        with open(os.path.join(args.output, "tab", "hulp." + suffix), "w", newline="\r\n") as out:
            out.write("\n".join(lines) + "\n")
    for folder in ("log",):  # empty for now: kept in version control by a .keep
        os.makedirs(os.path.join(args.output, folder), exist_ok=True)
        open(os.path.join(args.output, folder, ".keep"), "w").close()


if __name__ == "__main__":
    main()
