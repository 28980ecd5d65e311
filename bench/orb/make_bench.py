#!/usr/bin/python3
"""Writes the input of the Orb import benchmark.

    make_bench.py FOLDER [CASES]

FOLDER/orb.txt   an Orb assignment file of CASES cases (default 100,000), each an "A01", an "A02",
                 an "R01" and three detail lines (Windows-1252, CR LF);
FOLDER/load.sql  the same cases and invoices as plain INSERT statements in one transaction, with
                 the values the import stores, for the raw load the import is measured against;
FOLDER/load.pg.sql  the same for PostgreSQL.
Names are written in lower case and double quotes, which SQLite and PostgreSQL both take; the
line ends inside the memo are spelt out, as the database clients drop a CR at the end of a line.
"""
import os
import sys

CRLF = "\r\n"

# Desk boxes of the benchmark run (the same are given to "zb32 run orb").
BATCH = {"data_affido": "05/03/2010", "scadenza": "05/04/2010", "intervento": "mo", "lotto": "1",
         "mandato": "460", "sit_aff": "1"}
BATCH_ISO = {"data_affido": "2010-03-05", "scadenza": "2010-04-05"}

CASE_FIELDS = ["contatore", "tipo mandato", "data affido", "scadenza mandato", "tipo intervento",
               "situazione affido", "lottoimportazione", "ragione sociale", "posizione", "indirizzo", "cap",
               "citta", "provincia", "telefono1", "telefono2", "p_iva", "memoec", "rate arretrate",
               "importo rata", "importo totale"]
INVOICE_FIELDS = ["conta", "numero fattura", "periodo", "data fattura", "data scadenza", "saldo"]


def place(fields):
    """A line from (start, text) pairs, blanks between them."""
    cells = []
    for start, text in fields:
        if len(cells) < start - 1:
            cells.extend(" " * (start - 1 - len(cells)))
        cells[start - 1:start - 1 + len(text)] = list(text)
    return "".join(cells)


def amount(cents, width):
    return ("-" + str(-cents).zfill(width - 1)) if cents < 0 else str(cents).zfill(width)


def plain(cents, sep):
    sign = "-" if cents < 0 else ""
    units, rest = divmod(abs(cents), 100)
    return sign + str(units) + ((sep + ("%02d" % rest).rstrip("0")) if rest else "")


def quote(text):
    return "'" + text.replace("'", "''") + "'"


def quote_lines(text, postgres):
    if postgres:
        return "E'" + text.replace("\\", "\\\\").replace("'", "''").replace("\r", "\\r").replace("\n", "\\n") + "'"
    return " || char(13, 10) || ".join(quote(part) for part in text.split(CRLF)[:-1]) + " || char(13, 10)"


def names(fields):
    return ", ".join('"%s"' % f for f in fields)


def main():
    folder = sys.argv[1]
    cases = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    os.makedirs(folder, exist_ok=True)
    case_insert = 'INSERT INTO "tabella pratiche" (%s) VALUES ' % names(CASE_FIELDS)
    invoice_insert = 'INSERT INTO "tabella fatture" (%s) VALUES ' % names(INVOICE_FIELDS)
    with open(os.path.join(folder, "orb.txt"), "wb") as orb, \
            open(os.path.join(folder, "load.sql"), "w", encoding="utf-8", newline="\n") as sql, \
            open(os.path.join(folder, "load.pg.sql"), "w", encoding="utf-8", newline="\n") as pg:
        sql.write("BEGIN;\n")
        pg.write("BEGIN;\n")
        for n in range(1, cases + 1):
            account = "%015d" % n
            name = "DEBITORE %07d D'ESEMPIO" % n
            address = "VIA DEI MILLE %d" % (n % 300 + 1)
            cap = "%05d" % (n % 90000 + 10000)
            town = "COMUNE %d" % (n % 8000)
            prov = "RM"
            piva = "PVA%013d" % n
            tel1 = ("06 %08d" % n).ljust(14)
            tel2 = ("333 %07d" % (n % 10000000)).ljust(14)
            status = "ATTIVO"
            company = "ORB TELEVISIONE SPA"
            deposit = (n % 7) * 1000
            expiry = "31/12/2011"
            contract = "01022008"
            dec1, dec2, smc1, smc2 = ("DEC%012d" % n, "DEC%012d" % (n + 1), "SMC%012d" % n, "SMC%012d" % (n + 1))
            details = [(n % 5000) * 10 + 99, 2500 + n % 100, -(n % 3) * 100]
            total = sum(details)
            band = "%02d" % (n % 5 + 1)

            a01 = place([(1, "01A01000001"), (12, account), (27, status.ljust(12)), (39, name.ljust(40)),
                         (79, address.ljust(40)), (119, cap), (124, town.ljust(40)), (164, prov), (166, piva),
                         (182, tel1), (196, tel2), (210, company.ljust(30)), (240, amount(deposit, 8)),
                         (248, expiry.ljust(12))])
            a02 = place([(1, "01A02000001"), (12, account), (27, contract), (35, "X" * 20), (137, dec1),
                         (152, dec2), (167, smc1), (182, smc2)])
            r01 = place([(1, "01R01000001"), (12, account), (27, amount(total, 15)), (42, band)])
            lines = [a01, a02, r01]
            invoices = []
            for k, cents in enumerate(details, 1):
                month = (n + k) % 12 + 1
                number = "FT%06d/%d" % (n % 1000000, k)
                period = "BIM %d/2009" % (month // 2 + 1)
                day = "%02d%02d2009" % (10 + k, month)
                due = "28%02d2009" % month
                lines.append(place([(1, "01F01000001"), (12, account), (27, "01012009"), (35, period.ljust(15)),
                                    (50, day), (58, number.ljust(15)), (73, amount(abs(cents), 15)),
                                    (88, amount(cents, 15)), (103, due)]))
                invoices.append((number.ljust(15), period.ljust(15), "2009-%02d-%02d" % (month, 10 + k),
                                 "2009-%02d-28" % month, plain(cents, ".")))
            orb.write("".join(line.strip(" ") + CRLF for line in lines).encode("cp1252"))

            memo = ("Stato Debitore " + status.ljust(12) + CRLF + "Company " + company + CRLF
                    + "Deposito Cauzionale " + plain(deposit, ",") + CRLF
                    + "Scadenza Abbonamento " + expiry + CRLF
                    + "Data Contratto " + contract + CRLF + "Decoder1 " + dec1 + CRLF + "Decoder2 " + dec2 + CRLF
                    + "SMC1 " + smc1 + CRLF + "SMC2 " + smc2 + CRLF
                    + CRLF + "Importo Totale Affidato per debitore " + plain(total, ",") + CRLF
                    + "Indicazione Fascia di importo Affidato " + band + CRLF)
            values = [str(n), quote(BATCH["mandato"]), quote(BATCH_ISO["data_affido"]), quote(BATCH_ISO["scadenza"]),
                      quote(BATCH["intervento"]), quote(BATCH["sit_aff"]), BATCH["lotto"], quote(name), quote(account),
                      quote(address), quote(cap), quote(town.ljust(40)), quote(prov), quote(tel1), quote(tel2),
                      quote(piva), None, "1", plain(total, "."), plain(total, ".")]
            for out, postgres in ((sql, False), (pg, True)):
                values[16] = quote_lines(memo, postgres)
                out.write(case_insert + "(" + ", ".join(values) + ");\n")
                for number, period, day, due, saldo in invoices:
                    out.write(invoice_insert + "(%d, %s, %s, %s, %s, %s);\n"
                              % (n, quote(number), quote(period), quote(day), quote(due), saldo))
        sql.write("COMMIT;\n")
        pg.write("COMMIT;\n")


if __name__ == "__main__":
    main()
