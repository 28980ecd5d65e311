#!/usr/bin/python3
"""Writes the .xls fixtures of the workbook tests (run with Debian's python3-xlwt)."""
import datetime
import os
import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))


def save(book, name):
    book.save(os.path.join(HERE, name))


def sheet_order():
    # The leftmost sheet is "Foglio1", but "Dati" comes first by name.
    book = xlwt.Workbook()
    left = book.add_sheet("Foglio1")
    left.write(0, 0, "vuoto")
    data = book.add_sheet("Dati")
    date_style = xlwt.easyxf(num_format_str="DD/MM/YYYY")
    for col, heading in enumerate(["Posizione", "Data", "Importo", "x", "y", "Riferimento"]):
        data.write(0, col, heading)
    data.write(1, 0, "12345/2003")
    data.write(1, 1, datetime.date(2010, 3, 5), date_style)
    data.write(1, 2, 60.5)
    data.write(1, 5, "611ABC")
    data.write(2, 0, 4711)
    data.write(2, 1, "05/03/2010")
    data.write(2, 2, "12,30")
    save(book, "sheet_order.xls")


if __name__ == "__main__":
    sheet_order()
