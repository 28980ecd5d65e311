#!/usr/bin/python3
"""Writes Vi Diru record files with every field at its columns.

    vidiru_file.py sample OUT     the demo workspace's sample (resources/samples/vidiru.txt)
    vidiru_file.py fixture OUT    the golden fixture of the import tests (tests/data/vidiru/golden.txt)

bench/vidiru/generate.py uses the record builders below for its large files.
Files are Windows-1252 with CR LF line ends.
"""

import sys


def put(fields, width=None):
    """fields: list of (start column, length, text); blanks elsewhere, texts cut to their length."""
    end = max(start + length - 1 for start, length, _ in fields)
    if width is not None:
        end = max(end, width)
    line = [" "] * end
    for start, length, text in fields:
        text = text[:length].ljust(length)
        line[start - 1:start - 1 + length] = text
    return "".join(line)


def amount(value, decimals=2, grouped=True):
    """An Italian amount text: 1.234,56 (grouped) or 1234,56, right-aligned in 13 columns."""
    negative = value < 0
    cents = round(abs(value) * 10 ** decimals)
    whole, frac = divmod(cents, 10 ** decimals)
    digits = str(whole)
    if grouped:
        groups = []
        while len(digits) > 3:
            groups.insert(0, digits[-3:])
            digits = digits[:-3]
        groups.insert(0, digits)
        digits = ".".join(groups)
    text = digits + ("," + str(frac).zfill(decimals) if decimals else "")
    return ("-" if negative else "") + text


def header(seq, numero, altrorif="", cod_cliente="", cliente="", cod_contratto="", contratto="", ragione="",
           piva="", nascita="", luogo="", nota="", indirizzo="", cap="", citta="", provincia="", recapito="",
           tel1="", tel2="", filler=""):
    return put([
        (1, 10, str(seq).zfill(10)), (11, 8, "IBGI0001"), (19, 10, numero), (29, 37, filler), (66, 32, altrorif),
        (98, 10, cod_cliente), (108, 35, cliente), (143, 45, filler), (188, 10, cod_contratto), (198, 35, contratto),
        (233, 50, ragione), (283, 16, piva), (299, 10, nascita), (309, 30, luogo), (339, 35, nota),
        (374, 50, indirizzo), (424, 8, cap), (432, 35, citta), (467, 2, provincia), (469, 50, recapito),
        (519, 12, tel1), (531, 12, tel2),
    ])


def note(seq, text):
    if not text:
        return put([(1, 10, str(seq).zfill(10)), (11, 8, "IBGI0004")])
    return put([(1, 10, str(seq).zfill(10)), (11, 8, "IBGI0004"), (19, len(text), text)])


def unused_amount(seq, value):
    return put([(1, 10, str(seq).zfill(10)), (11, 8, "IBGI0005"), (19, 13, value.rjust(13))])


def component(seq, description, value, filler="EUR "):
    return put([(1, 10, str(seq).zfill(10)), (11, 8, "IBGI0007"), (19, 35, description), (54, 4, filler),
                (58, 13, value.rjust(13))])


def total(seq, value):
    return put([(1, 10, str(seq).zfill(10)), (11, 8, "IBGI0008"), (19, 13, value.rjust(13))])


def instalment(seq, number, due, document, value, reference):
    return put([(1, 10, str(seq).zfill(10)), (11, 8, "IBGI0011"), (19, 2, number), (21, 10, due),
                (31, 35, document), (66, 13, value.rjust(13)), (79, 40, reference)])


def other(seq, code, text=""):
    return put([(1, 10, str(seq).zfill(10)), (11, 8, code), (19, 40, text)]).rstrip()


def write(path, lines):
    with open(path, "wb") as f:
        for line in lines:
            f.write(line.encode("cp1252") + b"\r\n")


def sample_lines():
    """A handful of cases with every record kind, as a partner's batch looks."""
    n = iter(range(1, 1000))
    lines = [other(next(n), "IBGI0000", "LOTTO 2026/48 VI DIRU")]
    lines += [
        header(next(n), "0000104711", "CTR-2019-000471", "C0046", "Acque del Serio S.p.A.", "RT01",
               "Fornitura idrica uso domestico", "Bellini Marco", "BLLMRC71C12F205Z", "12/03/1971", "Milano",
               "Cliente moroso dal 2024", "Via Roma 12", "24121   ", "Bergamo", "BG", "", "035 221144", ""),
        note(next(n), "Sollecitato telefonicamente il 03/11/2026"),
        note(next(n), "Promette pagamento entro fine mese"),
        unused_amount(next(n), amount(1520.40)),
        component(next(n), "Sorte capitale fatture scadute", amount(1280.00)),
        component(next(n), "Interessi di mora", amount(96.15)),
        component(next(n), "Spese di sollecito", amount(12.50)),
        component(next(n), "Spese legali", amount(131.75)),
        total(next(n), amount(1520.40)),
        instalment(next(n), "01", "31/07/2026", "Fattura", amount(640.00), "FT 2026/000731"),
        instalment(next(n), "02", "31/08/2026", "Fattura", amount(640.00), "FT 2026/000812"),
        other(next(n), "IBGI0010", "fine pratica"),
        header(next(n), "0000104712", "CTR-2021-001988", "C0046", "Acque del Serio S.p.A.", "RT02",
               "Fornitura idrica uso commerciale", "Caffè della Piazza S.n.c.", "01234560167", "00/00/0000", "",
               "", "Piazza Vecchia 3", "24129   ", "Bergamo Città Alta", "BG", "Presso studio Rota, via Tasso 8",
               "035 400400", "347 1234567"),
        component(next(n), "Sorte", amount(3412.90)),
        component(next(n), "Inter", amount(208.33)),
        total(next(n), amount(3621.23)),
        instalment(next(n), "01", "15/06/2026", "Fattura", amount(1706.45), "FT 2026/000655"),
        instalment(next(n), "02", "15/07/2026", "Fattura", amount(1706.45), "FT 2026/000702"),
        instalment(next(n), "03", "15/08/2026", "Nota di credito", amount(-1.50), "NC 2026/000019"),
        header(next(n), "0000104713", "CTR-2018-000220", "C0112", "Gas Orobico S.r.l.", "GS01",
               "Fornitura gas naturale", "Forlì Annamaria", "FRLNMR58E41H501K", "01/05/1958", "Roma", "",
               "Via dei Mille 41/B", "24128   ", "Bergamo", "BG", "", "", ""),
        note(next(n), "Nuovo indirizzo comunicato dal cliente"),
        component(next(n), "Sorte", amount(89.99)),
        component(next(n), "Oneri di riscossione", amount(5.00)),
        total(next(n), amount(94.99)),
        instalment(next(n), "01", "30/09/2026", "Bolletta", amount(94.99), "BL 2026/118840"),
        header(next(n), "0000104714", "CTR-2020-003310", "C0112", "Gas Orobico S.r.l.", "GS01",
               "Fornitura gas naturale", "Officine Brembo di Pesenti & C.", "02233440165", "", "",
               "Sede operativa chiusa", "Via Bergamo 102", "24036   ", "Ponte San Pietro", "BG", "",
               "035 611922", ""),
        component(next(n), "Sorte", amount(12750.00)),
        component(next(n), "Inter", amount(1133.10)),
        component(next(n), "Spese di procedura", amount(250.00)),
        total(next(n), amount(14133.10)),
        instalment(next(n), "01", "31/03/2026", "Fattura", amount(4250.00), "FT 2026/000301"),
        instalment(next(n), "02", "30/04/2026", "Fattura", amount(4250.00), "FT 2026/000402"),
        instalment(next(n), "03", "31/05/2026", "Fattura", amount(4250.00), "FT 2026/000533"),
        other(next(n), "IBGI0099", "totale lotto 4 pratiche"),
    ]
    return lines


def fixture_lines():
    """The golden fixture of the import tests: every field, condition and record kind."""
    return [
        other(1, "IBGI0000", "testata lotto"),
        # A full header; the town is longer than 30 columns, the postcode field has 8.
        header(2, "  00471100", "RIF-CLIENTE-000000000000000000001", "C0001", "  Cliente Uno S.p.A.  ", "K-01",
               "Contratto di fornitura", "  Società Alfa di Bianchi & C.  ", " 01234560167 ", "29/02/1980",
               " Forlì ", " prima nota ", " Via Lunga 1 ", "2412199X", "San Giovanni in Croce Lombardia Est", "cr",
               "  presso terzi  ", " 0372 111222", "333 4445566 ", filler="IGNORATO"),
        note(3, "  seconda nota  "),
        note(4, ""),
        note(5, "terza"),
        component(6, "Sorte capitale", amount(1234.56)),
        component(7, "Inter", "12,5"),
        component(8, "SORTE in maiuscolo", amount(100.00)),
        component(9, "sorte minuscola", "-0,50"),
        component(10, "Spese", "1234"),
        unused_amount(11, amount(999.99)),
        total(12, amount(1345.81)),
        # Totals the import must not take: a lower-case code, a code one column late.
        put([(1, 10, "0000000012"), (11, 8, "ibgi0008"), (19, 13, "99,99".rjust(13))]),
        put([(1, 10, "0000000012"), (12, 8, "IBGI0008"), (20, 13, "88,88".rjust(13))]),
        instalment(13, "01", "31/01/2027", "Fattura", amount(617.28), "  FT-1  "),
        instalment(14, "2 ", "31/02/2027", "Fattura", "  -617,28  ", "FT-2"),
        "0000000015IBGI0011XXXXXXXXXXX",
        "0000000016IBGI0007 corta",
        other(17, "ibgi0001", "minuscolo"),
        other(18, "IBGI0002", "altro"),
        other(19, "IBGI0006", "altro"),
        "",
        # A header with every optional field blank and an invalid birth date.
        header(20, "ABC", nascita="00/00/0000"),
        component(21, "Sorte", amount(10.00)),
        component(22, "Sorte", amount(20.00)),
        component(23, "Inter", amount(1.00)),
        component(24, "Inter", amount(2.00)),
        total(25, amount(5.00)),
        total(26, amount(6.00)),
        # A header cut short after the address: what lies beyond reads as empty text.
        header(27, "12 34", ragione="Tronca", indirizzo="Via Corta 2").rstrip(),
        note(28, "nota sola"),
        instalment(29, "01", "00/00/0000", "Fattura", amount(3), "FT-3"),
    ]


def main(argv):
    if len(argv) != 3 or argv[1] not in ("sample", "fixture"):
        sys.stderr.write(__doc__)
        return 2
    write(argv[2], sample_lines() if argv[1] == "sample" else fixture_lines())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
