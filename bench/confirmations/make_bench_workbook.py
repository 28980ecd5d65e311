#!/usr/bin/python3
"""Writes the benchmark's expense workbook: make_bench_workbook.py ROWS CASES SEED PATH.

Rows confirm payments on random positions of the generated database (one in ten unknown);
the data sheet comes first by name but is not the leftmost.
"""
import datetime
import random
import sys
import xlwt

rows, cases, seed, path = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rnd = random.Random(seed)
date_style = xlwt.easyxf(num_format_str="DD/MM/YYYY")
book = xlwt.Workbook()
book.add_sheet("Riepilogo").write(0, 0, "riepilogo")
sheet = book.add_sheet("Conferme")
for col, heading in enumerate(["Posizione", "Data", "Importo", "Note", "Altro", "Riferimento"]):
    sheet.write(0, col, heading)
start = datetime.date(2009, 6, 1)
for r in range(1, rows + 1):
    position = rnd.randint(1, cases) if rnd.random() >= 0.1 else cases + rnd.randint(1, 100000)
    sheet.write(r, 0, str(position))
    sheet.write(r, 1, start + datetime.timedelta(days=rnd.randint(0, 700)), date_style)
    sheet.write(r, 2, rnd.randint(100, 50000) / 100.0)
    kind = rnd.random()
    reference = "SP%06d" % r
    if kind < 0.1:
        reference = "611" + reference
    elif kind < 0.15:
        reference = "3A05" + reference
    elif kind < 0.2:
        reference = "9" + reference
    sheet.write(r, 5, reference)
book.save(path)
