#!/usr/bin/python3
"""Writes the Orb assignment fixtures of the import tests and the desk's sample file.

Every fixture is a folder with input.txt (Windows-1252, CR LF), batch.txt (the desk's boxes
and run options) and expected.txt: the rows the import must leave in the case database and
what it must report. The expected side is worked out here from the records the lines were
made of, following the import's rules, never by running the import.

Run it again after changing a fixture: /usr/bin/python3 tests/data/orb/make_samples.py
"""
import datetime
import os
import shutil
from decimal import Decimal

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
SAMPLE = os.path.join(ROOT, "resources", "samples", "esempio.txt")

CRLF = "\r\n"

# Columns (1-based start, length) of every field, by record.
ACCOUNT = (12, 15)
A01 = {
    "status": (27, 12), "name": (39, 40), "address": (79, 40), "cap": (119, 5),
    "town": (124, 40), "prov": (164, 2), "piva": (166, 16), "tel1": (182, 14),
    "tel2": (196, 14), "company": (210, 30), "deposit": (240, 8), "expiry": (248, 12),
}
A02 = {"date": (27, 8), "dec1": (137, 15), "dec2": (152, 15), "smc1": (167, 15), "smc2": (182, 15)}
R01 = {"total": (27, 15), "band": (42, 2)}
DETAIL = {"spare": (27, 8), "period": (35, 15), "date": (50, 8), "number": (58, 15),
          "original": (73, 15), "amount": (88, 15), "due": (103, 8)}


DEFAULT_BATCH = {0: "05/03/2010", 1: "05/04/2010", 2: "mo", 3: "12", 5: "460", 6: "1"}


def amount_field(cents, width):
    """Hundredths as the creditor writes them: zero padded, a minus sign in front."""
    if cents < 0:
        return "-" + str(-cents).zfill(width - 1)
    return str(cents).zfill(width)


def plain(cents):
    """An amount as plain text with a decimal comma: 12345 -> 123,45, 10000 -> 100."""
    text = format(Decimal(cents) / 100, "f")
    if "." in text:
        text = text.rstrip("0").rstrip(".")
    return text.replace(".", ",")


def decimal_text(cents):
    return plain(cents).replace(",", ".")


class Line:
    """One line of the file: a record code, the account number and fields by name.

    A field set to None is left out, and the line ends before it when nothing follows.
    """

    def __init__(self, code, account, layout, fields, indent="", trail="", head="01", spare="000001"):
        self.code = code
        self.account = account
        self.layout = layout
        self.fields = fields
        self.indent = indent
        self.trail = trail
        self.head = head
        self.spare = spare
        self.cents = {}

    def render(self):
        cells = {}

        def put(start, length, text):
            text = text[:length].ljust(length)
            for i, ch in enumerate(text):
                cells[start - 1 + i] = ch

        put(1, 2, self.head)
        put(3, 3, self.code)
        put(6, 6, self.spare)
        if self.account is not None:
            put(*ACCOUNT, self.account)
        for name, (start, length) in self.layout.items():
            value = self.fields.get(name)
            if value is None:
                continue
            put(start, length, value)
        width = max(cells) + 1
        body = "".join(cells.get(i, " ") for i in range(width))
        return self.indent + body + self.trail

    def stripped(self):
        return self.render().strip(" ")

    def column(self, start, length):
        return self.stripped()[start - 1:start - 1 + length]


def a01(account, name, address="VIA ROMA 1", cap="00100", town="ROMA", prov="RM", piva="RSSMRA70A01H501U",
        tel1="06 5550101", tel2="333 5550101", status="ATTIVO", company="ORB TV SRL", deposit=0,
        expiry="31/12/2010", **kw):
    fields = {"status": status, "name": name, "address": address, "cap": cap, "town": town, "prov": prov,
              "piva": piva, "tel1": tel1, "tel2": tel2, "company": company,
              "deposit": None if deposit is None else amount_field(deposit, 8), "expiry": expiry}
    line = Line("A01", account, A01, fields, **kw)
    line.cents = {"deposit": deposit or 0}
    return line


def a02(account, date="01022008", dec1="DEC0000000001", dec2="", smc1="SMC0000000001", smc2="", **kw):
    return Line("A02", account, A02, {"date": date, "dec1": dec1, "dec2": dec2, "smc1": smc1, "smc2": smc2}, **kw)


def r01(account, total, band="02", **kw):
    line = Line("R01", account, R01, {"total": amount_field(total, 15), "band": band}, **kw)
    line.cents = {"total": total}
    return line


def det(account, number, amount, date="15012009", due="15022009", period="GEN-FEB 2009", code="F01", **kw):
    fields = {"spare": "01012009", "period": period, "date": date, "number": number,
              "original": amount_field(abs(amount) * 2, 15), "amount": amount_field(amount, 15), "due": due}
    line = Line(code, account, DETAIL, fields, **kw)
    line.cents = {"amount": amount}
    return line


class Raw:
    """A line given as it stands (blank lines, headers)."""

    def __init__(self, text):
        self.text = text
        self.code = text.strip(" ")[2:5]

    def render(self):
        return self.text

    def stripped(self):
        return self.text.strip(" ")

    def column(self, start, length):
        return self.stripped()[start - 1:start - 1 + length]


def orb_date(field):
    if len(field) != 8 or not field.isdigit():
        return None
    try:
        return datetime.date(int(field[4:]), int(field[2:4]), int(field[:2]))
    except ValueError:
        return None


def box_date(text):
    try:
        return datetime.datetime.strptime(text, "%d/%m/%Y").date()
    except ValueError:
        return None


class Stop(Exception):
    pass


class Expectation:
    """Follows the import's rules over the lines and records what the database must hold."""

    def __init__(self, name, lines, batch, refuse, endings):
        self.name = name
        self.lines = lines
        self.batch = batch
        self.refuse = refuse
        self.endings = endings
        self.cases = []      # saved cases, in the order the database keys them
        self.invoices = []
        self.report = {}

    def run(self):
        self.current = None  # {"fields": ..., "saved": bool, "ordinal": int}
        self.memo = ""
        self.overdue = 0
        self.clienti = self.fatture = 0
        report = self.report
        report.pop("error", None)
        report.pop("error.mentions", None)
        report.pop("message", None)
        progress = []
        data = encode_lines(self.lines, self.endings)
        position = 0
        try:
            for number, line in enumerate(self.lines, 1):
                position += len(line.render().encode("cp1252")) + len(self.endings[number - 1])
                if line.stripped() == "":
                    break
                progress.append(position // 128 * 128)
                self.handle(number, line)
            else:
                number = len(self.lines)
            self.close(number, final=True)
            report["message"] = "importazione conclusa"
            report["status"] = "completed"
        except Stop:
            report["status"] = "failed"
        report["progress.maximum"] = str(len(data) + 128)
        report["progress"] = ",".join(str(p) for p in progress)
        if self.clienti:
            report["clienti"] = str(self.clienti)
        if self.fatture:
            report["fatture"] = str(self.fatture)

    def fail(self, number, mentions):
        self.report["error"] = "Importazione interrotta. File %s, riga %d: " % (self.name, number)
        self.report["error.mentions"] = mentions
        # What the lines before gave stays: the current case too, closed with its saved invoices.
        try:
            self.close(number, final=True)
        except Stop:
            pass
        raise Stop()

    def save(self, number):
        case = self.current
        if case["saved"] and not case["dirty"]:
            return
        if self.refuse and self.refuse[0] == "case" and case["fields"]["ragione sociale"].startswith(self.refuse[1]):
            self.current = None
            if "error" not in self.report:
                self.fail(number, "rifiut")
            raise Stop()
        if not case["saved"]:
            self.cases.append(case["fields"])
            case["ordinal"] = len(self.cases)
        case["saved"] = True
        case["dirty"] = False

    def close(self, number, final):
        case = self.current
        if case is None:
            return
        if self.overdue != 0:
            case["fields"]["rate arretrate"] = "1"
            case["fields"]["importo rata"] = decimal_text(self.overdue)
            case["fields"]["importo totale"] = decimal_text(self.overdue)
            case["dirty"] = True
        self.save(number)
        self.current = None

    def handle(self, number, line):
        code = line.code
        if code == "A01":
            self.close(number, final=False)
            self.overdue = 0
            b = self.batch
            if box_date(b[0]) is None:
                self.fail(number, "data Affido")
            if box_date(b[1]) is None:
                self.fail(number, "scadenza mandato")
            if not b[3].strip().lstrip("-").isdigit():
                self.fail(number, "lottoimportazione")
            col = line.column
            fields = {
                "tipo mandato": b[5], "data affido": box_date(b[0]).isoformat(),
                "scadenza mandato": box_date(b[1]).isoformat(), "tipo intervento": b[2],
                "situazione affido": b[6], "lottoimportazione": str(int(b[3])),
                "ragione sociale": col(39, 40).strip(" "), "posizione": col(*ACCOUNT).strip(" "),
                "indirizzo": col(79, 40).strip(" "), "cap": col(119, 5), "citta": col(124, 40),
                "provincia": col(164, 2), "telefono1": col(182, 14), "telefono2": col(196, 14),
                "p_iva": col(166, 16),
            }
            self.current = {"fields": fields, "saved": False, "dirty": True}
            self.memo = ("Stato Debitore " + col(27, 12) + CRLF + "Company " + col(210, 30).strip(" ") + CRLF
                         + "Deposito Cauzionale " + plain(line.cents.get("deposit", 0)) + CRLF
                         + "Scadenza Abbonamento " + col(248, 12) + CRLF)
            self.clienti += 1
        elif code in ("A02", "R01"):
            if self.current is None:
                self.fail(number, code)
            fields = self.current["fields"]
            if code == "A02":
                col = line.column
                memo = self.memo + ("Data Contratto " + col(27, 8) + CRLF + "Decoder1 " + col(137, 15) + CRLF
                                    + "Decoder2 " + col(152, 15) + CRLF + "SMC1 " + col(167, 15) + CRLF
                                    + "SMC2 " + col(182, 15) + CRLF)
                value = memo
            else:
                memo = ("Importo Totale Affidato per debitore " + plain(line.cents.get("total", 0)) + CRLF
                        + "Indicazione Fascia di importo Affidato " + line.column(42, 2) + CRLF)
                value = fields.get("memoec", "") + CRLF + memo
            before = fields.get("memoec")
            fields["memoec"] = value
            self.current["dirty"] = True
            try:
                self.save(number)
            except Stop:
                if before is None:
                    fields.pop("memoec")
                else:
                    fields["memoec"] = before
                raise
            self.memo = memo
        else:
            if self.current is None:
                self.fail(number, "A01")
            invoice_date = orb_date(line.column(50, 8))
            if invoice_date is None:
                self.fail(number, "data fattura")
            due = orb_date(line.column(103, 8))
            if due is None:
                self.fail(number, "data scadenza")
            self.save(number)
            number_field = line.column(58, 15)
            if self.refuse and self.refuse[0] == "invoice" and number_field.startswith(self.refuse[1]):
                self.fail(number, "rifiut")
            amount = line.cents["amount"]
            self.invoices.append({
                "conta": "@%d" % self.current["ordinal"], "numero fattura": number_field,
                "periodo": line.column(35, 15), "data fattura": invoice_date.isoformat(),
                "data scadenza": due.isoformat(), "saldo": decimal_text(amount),
            })
            self.overdue += amount
            self.fatture += 1


def encode_lines(lines, endings):
    return b"".join(line.render().encode("cp1252") + ending.encode("ascii") for line, ending in zip(lines, endings))


def escape(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def dump(cases, invoices, report):
    out = []
    for title, rows in (("tabella pratiche", cases), ("tabella fatture", invoices)):
        out.append("[%s]" % title)
        for ordinal, row in enumerate(rows, 1):
            out.append("row %d" % ordinal)
            for key in sorted(row):
                if row[key] is not None:
                    out.append("%s=%s" % (key, escape(row[key])))
    out.append("[report]")
    for key in sorted(report):
        out.append("%s=%s" % (key, escape(report[key])))
    return "\n".join(out) + "\n"


def write_fixture(name, lines, batch=None, runs=1, refuse=None, endings=None):
    folder = os.path.join(HERE, name)
    os.makedirs(folder, exist_ok=True)
    boxes = dict(DEFAULT_BATCH)
    boxes.update(batch or {})
    file_name = name + ".txt"
    boxes[4] = file_name
    if endings is None:
        endings = [CRLF] * len(lines)
    data = encode_lines(lines, endings)
    with open(os.path.join(folder, "input.txt"), "wb") as f:
        f.write(data)
    with open(os.path.join(folder, "batch.txt"), "w", encoding="utf-8", newline="\n") as f:
        for index in sorted(boxes):
            f.write("%d=%s\n" % (index, boxes[index]))
        f.write("runs=%d\n" % runs)
        if refuse:
            f.write("refuse=%s:%s\n" % refuse)
    expectation = Expectation(file_name, lines, boxes, refuse, endings)
    for _ in range(runs):
        expectation.run()
    with open(os.path.join(folder, "expected.txt"), "w", encoding="utf-8", newline="\n") as f:
        f.write(dump(expectation.cases, expectation.invoices, expectation.report))
    return data


# The fixtures ------------------------------------------------------------------------------


def three_cases():
    """Three cases, seven invoices: the usual order, a zero-sum case and a negative one."""
    return [
        a01("100200300400500", "ROSSI MARIO", town="ROMA", deposit=12345, company="  ORB TV  "),
        a02("100200300400500", dec1="DEC1000000000AB", dec2="DEC2000000000CD", smc1="SMC1000000000EF",
            smc2="SMC2000000000GH"),
        r01("100200300400500", 15000, band="03"),
        det("100200300400500", "FT/2009/0001", 10000),
        det("100200300400500", "FT/2009/0002", 5000, date="31122009", due="31012010", period="DIC 2009"),
        a01("000000000000777", "BIANCHI SRL", address="CORSO ITALIA 10", cap="20121", town="MILANO",
            prov="MI", piva="01234567890", deposit=10000, status="SOSPESO", expiry="30/06/2011"),
        a02("000000000000777", date="15032007"),
        r01("000000000000777", 0, band="01"),
        det("000000000000777", "FT-77-1", 2500),
        det("000000000000777", "FT-77-2", -2500),
        a01("ABC-9", "VERDI ANNA", town="NAPOLI", prov="NA", deposit=0, expiry=""),
        a02("ABC-9"),
        r01("ABC-9", 99),
        det("ABC-9", "NC-1", -1234),
        det("ABC-9", "NC-2", 200),
        det("ABC-9", "NC-3", 1),
    ]


def fixtures():
    usual = three_cases()
    write_fixture("tre_pratiche", usual)
    write_fixture("due_volte", three_cases(), runs=2)

    # The same records with blanks around some lines: the columns count after stripping them.
    indented = three_cases()
    for i, line in enumerate(indented):
        line.indent = " " * (i % 4)
        line.trail = " " * (i % 3) * 5
    write_fixture("righe_rientrate", indented)

    gap = three_cases()
    gap.insert(10, Raw("   "))
    write_fixture("riga_vuota", gap)

    write_fixture("file_vuoto", [])
    write_fixture("prima_riga_vuota", [Raw("")] + three_cases())

    # A header line of some other kind is a detail line: it has no case before it.
    write_fixture("intestazione", [Raw("00HDR000000ORB ASSEGNAZIONE 20100305")] + three_cases())
    write_fixture("a02_prima_di_a01", [a02("1")] + three_cases())
    write_fixture("r01_prima_di_a01", [r01("1", 500)] + three_cases())
    # Lower-case codes are not case codes.
    write_fixture("codice_minuscolo", [Line("a01", "1", A01, {"name": "X"})] + three_cases())

    # A case with nothing after its "A01", as the last case of the file and before another.
    write_fixture("solo_a01", [
        a01("1", "PRIMA SOLO"),
        a01("2", "SECONDA", deposit=500),
        a02("2"),
        det("2", "F2", 700),
        a01("3", "ULTIMA SOLO", deposit=1),
    ])

    # Invoices before the case's "A02"/"R01": the case is saved first and keeps its link.
    write_fixture("dettagli_prima", [
        a01("55", "NERI LUCA"),
        det("55", "PRIMA-1", 4200),
        det("55", "PRIMA-2", 800),
        r01("55", 5000),
        a02("55"),
        a01("56", "GIALLI PIA"),
        r01("56", 100),
        r01("56", 200, band="09"),
    ])

    # A detail date that is no date stops the run: the lines before it stay, the current case
    # is saved with the invoice that came before.
    write_fixture("data_non_valida", [
        a01("1", "UNO"),
        a02("1"),
        det("1", "F1", 1000),
        a01("2", "DUE"),
        det("2", "F2", 2000),
        det("2", "F3", 3000, date="31022009"),
        det("2", "F4", 4000),
    ])
    write_fixture("data_corta", [
        a01("1", "UNO"),
        det("1", "F1", 1000, due="1502209"),
    ])
    write_fixture("data_vuota", [
        a01("1", "UNO"),
        r01("1", 100),
        det("1", "F1", 1000, due=None),
    ])

    # Desk boxes the database cannot take.
    write_fixture("lotto_non_numerico", three_cases(), batch={3: "12a"})
    write_fixture("data_affido_non_valida", three_cases(), batch={0: "31/02/2010"})

    # The database refuses an invoice, then a case: the lines before stay, nothing of the line.
    refused_invoice = three_cases()
    refused_invoice[14] = det("ABC-9", "RIFIUTA-2", 200)
    write_fixture("fattura_rifiutata", refused_invoice, refuse=("invoice", "RIFIUTA"))
    refused_case = three_cases()
    refused_case[5] = a01("000000000000777", "RIFIUTA SRL")
    write_fixture("pratica_rifiutata", refused_case, refuse=("case", "RIFIUTA"))

    # Quotes, accented letters, packed fields with no blank between them, a short "A01".
    write_fixture("testi", [
        a01("12'34'56", "D'ANGELO & FIGLI \"SNC\"", address="VIA DELL'ORSO 3", town="FORLÌ",
            prov="FC", company="L'AZIENDA", status="ATTIVO'"),
        a02("12'34'56"),
        det("12'34'56", "N'1", 100, period="L'ANNO"),
        a01("X" * 15, "N" * 40, address="A" * 40, cap="12345", town="T" * 40, prov="PP", piva="P" * 16,
            tel1="1" * 14, tel2="2" * 14, status="S" * 12, company="C" * 30, deposit=99999999,
            expiry="E" * 12),
        r01("X" * 15, 999999999999999, band="ZZ"),
        a01("CORTA", "SOLO IL NOME", address=None, cap=None, town=None, prov=None, piva=None, tel1=None,
            tel2=None, company=None, deposit=None, expiry=None),
        a02("CORTA", dec1=None, dec2=None, smc1=None, smc2=None),
        Line("R01", "CORTA", R01, {}),
    ])

    # Lines that end at a bare CR, and a file whose last line has no ending.
    endings_lines = three_cases()
    endings = ["\r"] * len(endings_lines)
    endings[-1] = ""
    write_fixture("fine_riga_cr", endings_lines, endings=endings)


# The desk's sample file ----------------------------------------------------------------------


def sample():
    people = [
        ("ORB0000000001", "ROSSI MARIO", "VIA ROMA 12", "00184", "ROMA", "RM", "RSSMRA61C12H501Z"),
        ("ORB0000000002", "BIANCHI LAURA", "CORSO BUENOS AIRES 7", "20124", "MILANO", "MI", "BNCLRA75E41F205K"),
        ("ORB0000000003", "ESPOSITO GENNARO", "VIA TOLEDO 210", "80134", "NAPOLI", "NA", "SPSGNR58T10F839P"),
        ("ORB0000000004", "FERRARI & FIGLI SNC", "VIA EMILIA EST 55", "41121", "MODENA", "MO", "02345678901"),
        ("ORB0000000005", "D'AMICO GIUSEPPINA", "PIAZZA DUOMO 1", "95124", "CATANIA", "CT", "DMCGPP80A41C351T"),
        ("ORB0000000006", "COLOMBO PAOLO", "VIA GARIBALDI 3", "10122", "TORINO", "TO", "CLMPLA66H01L219W"),
        ("ORB0000000007", "RICCI ELENA", "VIA DEL CORSO 88", "50122", "FIRENZE", "FI", "RCCLNE90M50D612Q"),
        ("ORB0000000008", "MARINO SALVATORE", "VIA LIBERTÀ 140", "90143", "PALERMO", "PA", "MRNSVT52S20G273B"),
        ("ORB0000000009", "GRECO ANTONIETTA", "VIA SPARANO 5", "70121", "BARI", "BA", "GRCNNT71D55A662V"),
        ("ORB0000000010", "BRUNO SERVIZI SRL", "VIA XX SETTEMBRE 9", "16121", "GENOVA", "GE", "03456789012"),
        ("ORB0000000011", "GALLO FEDERICO", "STRADA MAGGIORE 21", "40125", "BOLOGNA", "BO", "GLLFDR84B05A944H"),
        ("ORB0000000012", "CONTI NICCOLÒ", "RIVA DEGLI SCHIAVONI 4", "30122", "VENEZIA", "VE", "CNTNCL79L18L736X"),
    ]
    lines = []
    for n, (account, name, address, cap, town, prov, piva) in enumerate(people, 1):
        deposit = 5000 if n % 3 == 0 else 0
        lines.append(a01(account, name, address=address, cap=cap, town=town, prov=prov, piva=piva,
                         tel1="0%d 555%04d" % (n % 9 + 1, n), tel2="3%02d 555%04d" % (n + 20, n),
                         status="ATTIVO" if n % 4 else "CESSATO", company="ORB TELEVISIONE SPA",
                         deposit=deposit, expiry="%02d/%02d/2010" % (n % 28 + 1, n % 12 + 1)))
        lines.append(a02(account, date="%02d%02d2007" % (n + 1, n % 12 + 1), dec1="DEC%012d" % n,
                         dec2="DEC%012d" % (n + 500) if n % 2 else "", smc1="SMC%012d" % n,
                         smc2="SMC%012d" % (n + 500) if n % 2 else ""))
        if n == 5:
            amounts = [4590, -4590]          # settled: the sum is zero
        elif n == 9:
            amounts = [2000, -6550]          # a credit note larger than the invoice
        else:
            amounts = [1200 * n + 99, 3050 + n * 17, 899 * (n % 3)][: 1 + n % 3]
        lines.append(r01(account, sum(amounts), band="%02d" % (1 + n % 4)))
        for k, cents in enumerate(amounts, 1):
            month = (n + k) % 12 + 1
            lines.append(det(account, "2009/%05d/%d" % (n * 10, k), cents, date="10%02d2009" % month,
                             due="28%02d2009" % month, period="BIM %d/2009" % (month // 2 + 1)))
    return lines


def main():
    for entry in os.listdir(HERE):
        if os.path.isdir(os.path.join(HERE, entry)) and entry != "__pycache__":
            shutil.rmtree(os.path.join(HERE, entry))
    fixtures()
    data = write_fixture("esempio", sample())
    with open(SAMPLE, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
