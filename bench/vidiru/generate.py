#!/usr/bin/python3
"""Generates the Vi Diru benchmark input and the raw load of the same rows.

    generate.py CASES FILE.txt LOAD.sql

FILE.txt: CASES cases of ten lines each (a header, two notes, three components, a total and
three instalments), Windows-1252 with CR LF.
LOAD.sql: the rows the import leaves in the database for that file (one case and three
invoices per case, values as the import stores them on SQLite), in one transaction, for
`sqlite3 DB < LOAD.sql` on a database made by `zb32 initdb`.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
import vidiru_file as vf  # noqa: E402

BATCH = {"mandato": "460", "affido": "2026-12-07", "scadenza": "2027-01-07", "intervento": "mo", "lotto": 0,
         "situazione": "1"}
NOTES = ["Sollecito telefonico del 03/11/2026", "Promette pagamento entro fine mese"]
DUE = ["31/01/2027", "28/02/2027", "31/03/2027"]


def case(i):
    """The lines of case i and the values the import stores for it."""
    sorte = 100 + i % 1000 + (i % 100) / 100
    inter = 12.34
    spese = 5.00
    totale = round(sorte + inter + spese, 2)
    rata = round(totale / 3, 2)
    h = dict(numero=str(i).zfill(10), altrorif="CTR-%08d" % i, cod_cliente="C0046", cliente="Acque del Serio S.p.A.",
             cod_contratto="RT01", contratto="Fornitura idrica uso domestico", ragione="Debitore numero %d" % i,
             piva="RSSMRA%02dA01H501U" % (i % 100), nascita="12/03/1971", luogo="Milano", nota="Nota di testata",
             indirizzo="Via Roma %d" % (i % 200 + 1), cap="24121   ", citta="Bergamo", provincia="BG",
             tel1="035 221144")
    lines = [vf.header(i * 10, **h)]
    lines += [vf.note(i * 10 + 1 + k, text) for k, text in enumerate(NOTES)]
    lines += [vf.component(i * 10 + 3, "Sorte capitale", vf.amount(sorte)),
              vf.component(i * 10 + 4, "Interessi di mora", vf.amount(inter)),
              vf.component(i * 10 + 5, "Spese di sollecito", vf.amount(spese)),
              vf.total(i * 10 + 6, vf.amount(totale))]
    invoices = []
    for k in range(3):
        value = rata if k < 2 else round(totale - 2 * rata, 2)
        ref = "FT %d/%d" % (i, k + 1)
        lines.append(vf.instalment(i * 10 + 7 + k, "%02d" % (k + 1), DUE[k], "Fattura", vf.amount(value), ref))
        d, m, y = DUE[k].split("/")
        invoices.append({"conta": i, "numero fattura": ref, "periodo": "%02d" % (k + 1),
                         "data FATTURA": "%s-%s-%s" % (y, m, d), "data scadenza": "%s-%s-%s" % (y, m, d),
                         "saldo": value})
    row = {"contatore": i, "Tipo Mandato": BATCH["mandato"], "data Affido": BATCH["affido"],
           "scadenza mandato": BATCH["scadenza"], "Tipo Intervento": BATCH["intervento"],
           "Situazione Affido": BATCH["situazione"], "lottoimportazione": BATCH["lotto"], "posizione": str(i),
           "altroriferimento": h["altrorif"],
           "memoec": "Cliente %s\r\ncontratto %s %s" % (h["cliente"], h["cod_contratto"], h["contratto"]),
           "ragione sociale": h["ragione"], "P_iva": h["piva"], "data nascita": "1971-03-12", "luogo nascita": "Milano",
           "memo": "\r\n".join([h["nota"]] + NOTES), "Indirizzo": h["indirizzo"], "Cap": "24121", "Citta": "Bergamo",
           "Provincia": "BG", "telefono1": h["tel1"].ljust(12), "RATE ARRETRATE": 1, "importo rata": round(sorte, 2),
           "importo interessi": inter, "importo spese": spese, "importo totale": totale}
    return lines, row, invoices


def sql_value(v):
    if isinstance(v, str):
        # The sqlite3 shell reads its input by lines, so a line break inside a value is spelt out.
        return "(" + " || char(13, 10) || ".join("'" + part.replace("'", "''") + "'" for part in v.split("\r\n")) + ")"
    return repr(v)


def insert(table, row):
    names = ", ".join('"%s"' % k for k in row)
    return 'INSERT INTO "%s" (%s) VALUES (%s);\n' % (table, names, ", ".join(sql_value(v) for v in row.values()))


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    cases = int(argv[1])
    with open(argv[2], "wb") as txt, open(argv[3], "w", encoding="utf-8", newline="") as sql:
        sql.write("PRAGMA journal_mode=WAL;\nPRAGMA synchronous=NORMAL;\nBEGIN;\n")
        for i in range(1, cases + 1):
            lines, row, invoices = case(i)
            txt.write(b"".join(line.encode("cp1252") + b"\r\n" for line in lines))
            sql.write(insert("tabella pratiche", row))
            for inv in invoices:
                sql.write(insert("tabella fatture", inv))
        sql.write("COMMIT;\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
