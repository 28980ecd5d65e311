#!/usr/bin/python3
"""Writes the expense-confirmation workbooks of the confirmation tests (Debian's python3-xlwt).

Run it from anywhere; the .xls files land beside it, and the demo workspace's sample workbook
in resources/samples. Columns of a data sheet: 1 position,
2 date, 3 amount, 6 reference; 4 and 5 are never read.
"""
import datetime
import os
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
DATE = xlwt.easyxf(num_format_str="DD/MM/YYYY")
HEADINGS = ["Posizione", "Data", "Importo", "Note", "Altro", "Riferimento"]


def data_sheet(book, name, rows):
    sheet = book.add_sheet(name)
    for col, heading in enumerate(HEADINGS):
        sheet.write(0, col, heading)
    for r, row in enumerate(rows, start=1):
        if row is None:
            continue  # a blank row inside the used range
        for col, value in zip((0, 1, 2, 5), row):
            if value is None:
                continue
            if isinstance(value, datetime.date):
                sheet.write(r, col, value, DATE)
            else:
                sheet.write(r, col, value)
        sheet.write(r, 3, "non letta")
    return sheet


def expenses():
    # The leftmost sheet is "Riepilogo", but "Conferme" comes first by name.
    book = xlwt.Workbook()
    summary = book.add_sheet("Riepilogo")
    summary.write(0, 0, "totale")
    summary.write(1, 0, "NOPE-RIEPILOGO")
    data_sheet(book, "Conferme", [
        ("12345/2003", datetime.date(2010, 3, 5), 60, "EXP-1"),      # row 2: split from interest
        (4711, "05/03/2010", "12,30", "611X"),                       # row 3: number position, text date and amount
        ("O'Neil 7", datetime.date(2010, 3, 5), 25.5, "3A05"),       # row 4: reversal
        ("D-9", datetime.date(2010, 3, 5), 80.4, "EXP-4"),           # row 5: confirms an open instalment
        None,                                                        # row 6: blank
        ("NOPE", datetime.date(2010, 3, 5), 10, "EXP-7"),            # row 7: no such case
        ("E-1", datetime.date(2010, 3, 5), 120, "9INV"),             # row 8: an invoice
        ("00042", datetime.date(2010, 3, 5), 10, "EXP-9"),           # row 9: positions stay text
    ])
    book.save(os.path.join(HERE, "spese.xls"))


def broken(name, third_row):
    book = xlwt.Workbook()
    data_sheet(book, "Foglio1", [
        ("A1", datetime.date(2010, 3, 5), 10, "R-1"),
        third_row,
        ("A1", datetime.date(2010, 3, 5), 30, "R-3"),
    ])
    book.save(os.path.join(HERE, name))


def headings_only():
    book = xlwt.Workbook()
    data_sheet(book, "Foglio1", [])
    book.save(os.path.join(HERE, "spese_vuoto.xls"))


def demo_sample():
    # Confirms an expense on the sample case of esempio.txt; the second position has no case.
    book = xlwt.Workbook()
    data_sheet(book, "Conferme", [
        ("1001", datetime.date(2026, 3, 15), 35.5, "SPESE LEGALI"),
        ("1002", datetime.date(2026, 3, 15), 12, "SPESE POSTALI"),
    ])
    book.save(os.path.join(HERE, "..", "..", "..", "resources", "samples", "spese.xls"))


if __name__ == "__main__":
    expenses()
    broken("spese_data_errata.xls", ("A1", "31/02/2010", 20, "R-2"))
    broken("spese_importo_errato.xls", ("A1", datetime.date(2010, 3, 5), "venti", "R-2"))
    broken("spese_senza_posizione.xls", (None, datetime.date(2010, 3, 5), 20, "R-2"))
    broken("spese_senza_importo.xls", ("A1", datetime.date(2010, 3, 5), None, "R-2"))
    # The largest amount the system handles, on top of the 10 already collected.
    broken("spese_oltre_il_massimo.xls", ("A1", datetime.date(2010, 3, 5), 920000000000000, "R-2"))
    headings_only()
    demo_sample()
