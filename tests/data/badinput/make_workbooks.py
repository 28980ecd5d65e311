#!/usr/bin/python3
"""Writes the workbooks of the bad-input and injection tests (Debian's python3-xlwt).

Run it from anywhere; the .xls files land beside it. Columns of a data sheet: 1 position,
2 date, 3 amount, 6 reference; 4 and 5 are never read.
"""
import datetime
import os
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
DATE = xlwt.easyxf(num_format_str="DD/MM/YYYY")
HEADINGS = ["Posizione", "Data", "Importo", "Note", "Altro", "Riferimento"]
DAY = datetime.date(2010, 3, 5)

# The rows every broken workbook starts with; riga_errata_prima.xls holds only these.
GOOD = [
    ("A1", DAY, 10, "R-1"),
    ("B2", DAY, 20.5, "R-2"),
]
AFTER = ("A1", DAY, 30, "R-5")


def data_sheet(book, name, rows):
    sheet = book.add_sheet(name)
    for col, heading in enumerate(HEADINGS):
        sheet.write(0, col, heading)
    for r, row in enumerate(rows, start=1):
        for col, value in zip((0, 1, 2, 5), row):
            if value is None:
                continue
            if isinstance(value, datetime.date):
                sheet.write(r, col, value, DATE)
            else:
                sheet.write(r, col, value)
    return sheet


def save(book, name):
    book.save(os.path.join(HERE, name))


def sheet_without_cells():
    book = xlwt.Workbook()
    book.add_sheet("Foglio1")
    save(book, "foglio_vuoto.xls")


def blank_rows():
    # Headings, then rows whose cells hold only blanks.
    book = xlwt.Workbook()
    sheet = data_sheet(book, "Foglio1", [])
    for r in range(1, 4):
        for col in (0, 1, 2, 5):
            sheet.write(r, col, " " * r)
    save(book, "righe_vuote.xls")


def broken(name, bad_row):
    book = xlwt.Workbook()
    data_sheet(book, "Foglio1", GOOD + [bad_row, AFTER])
    save(book, name)


def good_rows_only():
    book = xlwt.Workbook()
    data_sheet(book, "Foglio1", GOOD)
    save(book, "riga_errata_prima.xls")


# Texts that would change a statement if they were ever joined into one.
INJECTED_POSITIONS = [
    "O'Neil",
    "x' OR '1'='1",
    "1; DELETE FROM Aliquote; --",
    "50%",
    "5_0",
    "a\\b /* c */",
    "%",
    "_",
]
INJECTED_REFERENCES = [
    "'); DROP TABLE x; --",
    "riga -- commento",
    "/* aperto",
    "back\\slash\\'",
    "100% _sconto_",
    "\"doppi\" ; ;",
    "$1 ? :p @x",
    "fine */ '",
]


def injection():
    # The sheet's name is read too: it must not matter what it holds.
    book = xlwt.Workbook()
    rows = [(p, DAY, 10 + i, INJECTED_REFERENCES[i]) for i, p in enumerate(INJECTED_POSITIONS)]
    data_sheet(book, "Spese'; DROP --", rows)
    save(book, "iniezione.xls")


if __name__ == "__main__":
    sheet_without_cells()
    blank_rows()
    good_rows_only()
    broken("riga_data_errata.xls", ("B2", "31/02/2010", 15, "R-3"))
    broken("riga_data_testo.xls", ("B2", "'; DROP TABLE x; --", 15, "R-3"))
    broken("riga_importo_errato.xls", ("B2", DAY, "quindici", "R-3"))
    broken("riga_senza_posizione.xls", (None, DAY, 15, "R-3"))
    broken("riga_senza_importo.xls", ("B2", DAY, None, "R-3"))
    injection()
