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

# vst/pers.172: one personnel record per person, 1430 bytes (the fields end at byte 1422).
PERSON_LENGTH = 1430
PERSON_FIELDS = [(0, 6), (6, 30), (36, 11), (47, 11), (192, 9), (206, 4), (211, 11), (304, 11), (343, 11),
                 (392, 7), (399, 7), (415, 7), (422, 7), (429, 5), (434, 5), (498, 11), (1411, 11)]
# badnum, name, salnum, afdkod, edatp, uitzend, funktie, wplekkod, login, pers_tb, ma_grp, ma_kreis,
# orgbadnum, pers_bereich, abrkreis, teamkod, orgunkod
DEPARTMENTS = ["10", "20", "30", "40"]
WORKPLACES = ["W1", "W2", "W3", "W4", "W5", "W6"]
FUNCTIONS = ["ASSEMBLER", "PAINTER", "DRIVER", "CLERK", "FOREMAN"]
UNITS = ["U1", "U2", "U3", "U4"]
# Master files: record length and the fields used by the visibility rules.
MASTERS = {
    "klok.166": (140, [(0, 6), (6, 30), (124, 3), (127, 3), (130, 3), (133, 3)]),
    "accgrp.bes": (80, [(0, 6), (6, 30), (61, 3), (64, 3), (67, 3), (70, 3)]),
    "shftgrp.161": (90, [(0, 6), (6, 30), (70, 11)]),
    "afd.166": (90, [(0, 5), (5, 11), (16, 30), (79, 5)]),
    "wplek.166": (50, [(0, 5), (5, 11), (16, 30)]),
    "team.bes": (50, [(0, 5), (5, 11), (16, 30)]),
}
OUMFIL_LENGTH = 180

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


def person_records(count):
    for p in range(1, count + 1):
        if p % 50 == 0:  # a few unused records
            yield record(PERSON_LENGTH, PERSON_FIELDS, ["0"] + [""] * 16)
            continue
        edatp = "%02d%02d01" % ((p * 7) % 26, 1 + p % 12)  # packed dates YYMM01, years 00 to 25
        yield record(PERSON_LENGTH, PERSON_FIELDS, [
            "%05d" % p, "Person %d" % p, "S%06d" % p, DEPARTMENTS[p % 4], edatp, str(p % 2),
            FUNCTIONS[p % 5], WORKPLACES[p % 6], "user%d" % p, "TB%d" % (p % 3), "G%d" % (p % 3),
            str(30 + p % 6), str(p % 7), "PB%d" % (p % 2), "A%d" % (p % 3), str(1 + p % 8), UNITS[p % 4]])


def master_records(name):
    length, fields = MASTERS[name]
    if name == "klok.166":
        return [record(length, fields, ["%05d" % n, "Clock %d" % n, "%02d" % n, "%02d" % (n + 4), "00", "00"])
                for n in range(1, 9)]
    if name == "accgrp.bes":
        return [record(length, fields, ["%05d" % n, "Access group %d" % n, str(n), str(n + 1), "0", "0"])
                for n in range(1, 7)]
    if name == "shftgrp.161":
        return [record(length, fields, ["%05d" % n, "Shift group %d" % n, WORKPLACES[n % 6] if n % 4 else ""])
                for n in range(1, 9)]
    if name == "afd.166":
        return [record(length, fields, ["%04d" % n, code, "Department " + code, "A%d" % (n % 3)])
                for n, code in enumerate(DEPARTMENTS, 1)]
    if name == "wplek.166":
        return [record(length, fields, ["%04d" % n, code, "Workplace " + code]) for n, code in enumerate(WORKPLACES, 1)]
    return [record(length, fields, ["%04d" % n, str(n), "Team %d" % n]) for n in range(1, 9)]


def oumfil_records(count):
    """Organisational-unit flags for the home directory: flag[0] set for every third person."""
    for p in range(1, count + 1):
        flags = ["1" if p % 3 == 0 else "0"] + ["0"] * 10
        yield record(OUMFIL_LENGTH, [(0, 6)] + [(6 + 2 * k, 2) for k in range(11)], ["%05d" % p] + flags)


def write(path, records):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        for data in records:
            out.write(data)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", default=os.path.join(os.path.dirname(__file__), "..", "examples", "installation"))
    parser.add_argument("--records", type=int, default=12)
    parser.add_argument("--persons", type=int, default=300)
    args = parser.parse_args()
    write(os.path.join(args.output, "vst", "sample.166"), sample_records(args.records))
    write(os.path.join(args.output, "var", "counter.dat"), counter_records(min(args.records, 5)))
    write(os.path.join(args.output, "vst", "syspar.170"),
          [record(SYSPAR_LENGTH, SYSPAR_FIELDS, ["1", "1", "%05d" % min(args.persons, 99999), "DEMO"])])
    write(os.path.join(args.output, "vst", "pers.172"), person_records(args.persons))
    for name in MASTERS:
        write(os.path.join(args.output, "vst", name), master_records(name))
    with open(os.path.join(args.output, "vst", "plst0007.bes"), "w", newline="\n") as out:
        out.write("".join("%d\n" % p for p in range(3, min(args.persons, 300), 25)))
    write(os.path.join(args.output, "home", "oumfil.bes"), oumfil_records(args.persons))
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
