#!/usr/bin/python3
"""Writes one expense workbook in every format the desk reads, for the workbook tests.

The same sheets, rows and values as .xls (BIFF8, through python3-xlwt, with the formula results
a spreadsheet program saves patched in), .xls in the older BIFF5 records (1904 date system),
.xlsx (1900 and 1904 date systems) and .ods, the last two written here as zip packages of XML.
Also a few hostile or protected packages. Run it with Debian's /usr/bin/python3.
"""
import datetime
import io
import os
import struct
import zipfile

import xlwt
from xlwt import CompoundDoc

HERE = os.path.dirname(os.path.abspath(__file__))
DATA_SHEET = " Conferme d'agosto è $"  # first by name: the blank sorts before "Riepilogo"
HEADINGS = ["Posizione", "Data", "Importo", "Note", "Altro", "Riferimento"]
DAY = datetime.date(2026, 3, 15)

# Each data row: (kind, value, shown) per column A B C D F; kind says how it is stored:
# "s" text, "n" number, "d" date, "t" date and time, "b" boolean, "f…" a formula whose saved
# result is of that kind.
ROWS = [
    [("s", "700001"), ("d", DAY), ("n", 60.5), ("s", "nota"), ("s", "RIF-1")],
    # Every cell a formula.
    [("fs", "700002", '"7000"&"02"'), ("fd", DAY + datetime.timedelta(days=1), "DATE(2026;3;16)"),
     ("fn", 1234.56, "1000+234.56"), ("fb", True, "1=1"), ("fs", "F-2", '"F-"&"2"')],
    [("n", 700003), ("t", datetime.datetime(2026, 3, 17, 10, 30)), ("fn", 100 / 3, "100/3"),
     ("b", False), ("s", "F-3")],
    # Text date and amount; a reference built by a formula: an invoice.
    [("s", "700004"), ("s", "18/03/2026"), ("s", "12,30"), ("s", "x"), ("fs", "9001", '"9"&"001"')],
]
COLUMNS = [0, 1, 2, 3, 5]


def serial(value, date1904):
    base = datetime.datetime(1904, 1, 1) if date1904 else datetime.datetime(1899, 12, 30)
    if isinstance(value, datetime.date) and not isinstance(value, datetime.datetime):
        value = datetime.datetime(value.year, value.month, value.day)
    delta = value - base
    return delta.days + delta.seconds / 86400


def kind_of(cell):
    return cell[0][1:] if cell[0].startswith("f") else cell[0]


# ---- .xls, BIFF8 ---------------------------------------------------------------------------

def records(stream):
    at = 0
    while at + 4 <= len(stream):
        rid, size = struct.unpack_from("<HH", stream, at)
        yield rid, stream[at + 4:at + 4 + size]
        at += 4 + size


def join(recs):
    return b"".join(struct.pack("<HH", rid, len(data)) + data for rid, data in recs)


def fix_sheet_offsets(recs):
    """Points every sheet entry at its sheet's BOF again after records were inserted."""
    out = list(recs)
    offsets, at, globals_done = [], 0, False
    for rid, data in out:
        if rid == 0x0809 and globals_done:
            offsets.append(at)
        if rid == 0x000A:
            globals_done = True
        at += 4 + len(data)
    k = 0
    for i, (rid, data) in enumerate(out):
        if rid == 0x0085:
            out[i] = (rid, struct.pack("<I", offsets[k]) + data[4:])
            k += 1
    return out


def formula_result(cell, date1904):
    kind, value = kind_of(cell), cell[1]
    if kind == "s":
        return b"\x00" + b"\x00" * 5 + b"\xff\xff", value
    if kind == "b":
        return b"\x01\x00" + bytes([1 if value else 0]) + b"\x00" * 3 + b"\xff\xff", None
    if kind in ("d", "t"):
        return struct.pack("<d", serial(value, date1904)), None
    return struct.pack("<d", value), None


def write_xls(path):
    book = xlwt.Workbook()
    date = xlwt.easyxf(num_format_str="DD/MM/YYYY")
    stamp = xlwt.easyxf(num_format_str="DD/MM/YYYY hh:mm")
    summary = book.add_sheet("Riepilogo")
    summary.write(0, 0, "totale")
    summary.write(1, 0, "NON-UNA-CONFERMA")
    sheet = book.add_sheet(DATA_SHEET)
    for c, h in enumerate(HEADINGS):
        sheet.write(0, c, h)
    results = {}
    for r, row in enumerate(ROWS, start=1):
        for col, cell in zip(COLUMNS, row):
            kind = kind_of(cell)
            style = date if kind == "d" else stamp if kind == "t" else xlwt.Style.default_style
            if cell[0].startswith("f"):
                sheet.write(r, col, xlwt.Formula(cell[2].replace(";", ",")), style)
                results[(r, col)] = formula_result(cell, False)
            elif kind in ("d", "t"):
                sheet.write(r, col, cell[1], style)
            else:
                sheet.write(r, col, cell[1])
    out = []
    for rid, data in records(book.get_biff_data()):
        if rid == 0x0006:
            row, col = struct.unpack_from("<HH", data)
            result, text = results[(row, col)]
            out.append((rid, data[:6] + result + data[14:]))
            if text is not None:
                out.append((0x0207, struct.pack("<HB", len(text), 0) + text.encode("latin-1")))
        else:
            out.append((rid, data))
    CompoundDoc.XlsDoc().save(path, join(fix_sheet_offsets(out)))


# ---- .xls, BIFF5 (Excel 5.0/95 records), 1904 dates -------------------------------------------

def b5_text(text, wide=False):
    raw = text.encode("cp1252")
    return (struct.pack("<H", len(raw)) if wide else struct.pack("<B", len(raw))) + raw


def write_biff5(path):
    def bof(kind):
        return (0x0809, struct.pack("<HHHH", 0x0500, kind, 0x0DBB, 0x07CC))

    def xf(fmt):
        return (0x00E0, struct.pack("<HH", 0, fmt) + b"\x00" * 12)

    def sheet(cells):
        body = [bof(0x0010)] + cells + [(0x000A, b"")]
        return body

    def label(r, c, text):
        return (0x0204, struct.pack("<HHH", r, c, 0) + b5_text(text, wide=True))

    data_cells = [label(0, c, h) for c, h in enumerate(HEADINGS)]
    for r, row in enumerate(ROWS, start=1):
        for col, cell in zip(COLUMNS, row):
            kind, value = kind_of(cell), cell[1]
            xfi = 1 if kind == "d" else 2 if kind == "t" else 0
            if cell[0].startswith("f"):
                result, text = formula_result(cell, True)
                rpn = b"\x17" + bytes([0])  # an empty string token: only the saved result is read
                data_cells.append((0x0006, struct.pack("<HHH", r, col, xfi) + result
                                   + struct.pack("<HIH", 0, 0, len(rpn)) + rpn))
                if text is not None:
                    data_cells.append((0x0207, b5_text(text, wide=True)))
            elif kind == "s":
                data_cells.append(label(r, col, value))
            elif kind == "b":
                data_cells.append((0x0205, struct.pack("<HHHBB", r, col, 0, 1 if value else 0, 0)))
            elif kind == "n" and float(value).is_integer():
                # An integer RK value: the number shifted left by two, bit 1 set.
                data_cells.append((0x027E, struct.pack("<HHHi", r, col, 0, (int(value) << 2) | 2)))
            else:
                number = serial(value, True) if kind in ("d", "t") else value
                data_cells.append((0x0203, struct.pack("<HHHd", r, col, xfi, number)))
    summary = sheet([label(0, 0, "totale"), label(1, 0, "NON-UNA-CONFERMA")])
    data = sheet(data_cells)
    glob = [bof(0x0005), (0x0042, struct.pack("<H", 1252)), (0x0022, struct.pack("<H", 1)),
            (0x041E, struct.pack("<H", 164) + b5_text("DD/MM/YYYY")),
            (0x041E, struct.pack("<H", 165) + b5_text('DD/MM/YYYY" alle "hh:mm')),
            xf(0), xf(164), xf(165),
            (0x0085, struct.pack("<IBB", 0, 0, 0) + b5_text("Riepilogo")),
            (0x0085, struct.pack("<IBB", 0, 0, 0) + b5_text(DATA_SHEET)),
            (0x000A, b"")]
    stream = join(fix_sheet_offsets(glob + summary + data))
    # Under 4096 bytes: the stream lives in the container's mini stream, as a small file's does.
    assert len(stream) < 4096
    with open(path, "wb") as f:
        f.write(small_compound_file("Book", stream))


def small_compound_file(name, stream):
    """A compound file (512-byte sectors) whose one stream lives in the mini stream."""
    end, free, none = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF
    mini = stream + b"\x00" * (-len(stream) % 64)
    mini_sectors = len(mini) // 64
    data_sectors = (len(mini) + 511) // 512
    fat = [0xFFFFFFFD, end, end] + [3 + i + 1 for i in range(data_sectors - 1)] + [end]
    fat += [free] * (128 - len(fat))
    minifat = [i + 1 for i in range(mini_sectors - 1)] + [end]
    minifat += [free] * (128 - len(minifat))

    def entry(ename, kind, child, start, size):
        raw = (ename + "\x00").encode("utf-16-le") if ename else b""
        return (raw + b"\x00" * (64 - len(raw)) + struct.pack("<HBB", len(raw), kind, 1)
                + struct.pack("<III", none, none, child) + b"\x00" * 36 + struct.pack("<IQ", start, size))

    directory = (entry("Root Entry", 5, 1, 3, len(mini)) + entry(name, 2, none, 0, len(stream))
                 + entry("", 0, none, 0, 0) * 2)
    header = (b"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + b"\x00" * 16
              + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\x00" * 6
              + struct.pack("<IIIIIIIII", 0, 1, 1, 0, 4096, 2, 1, end, 0)
              + struct.pack("<I", 0) + struct.pack("<I", free) * 108)
    body = (struct.pack("<128I", *fat) + directory + struct.pack("<128I", *minifat)
            + mini + b"\x00" * (-len(mini) % 512))
    return header + body


def write_long_strings(path):
    """Shared strings long enough to run over continuation records, some of them 16-bit."""
    book = xlwt.Workbook()
    sheet = book.add_sheet("Testi")
    for i in range(LONG_STRING_COUNT):
        sheet.write(i, 0, long_string(i))
    book.save(path)


LONG_STRING_COUNT = 400


def long_string(i):
    # The test rebuilds the same texts.
    piece = "àbc€ş" if i % 3 == 0 else "abcde"
    return "%04d:" % i + piece * (i % 7 * 40 + (600 if i % 50 == 0 else 0))


# ---- .xlsx -------------------------------------------------------------------------------------

def esc(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def col_name(c):
    return "ABCDEFGHIJ"[c]


def write_xlsx(path, date1904=False, mutate=None):
    strings = HEADINGS + ["totale", "NON-UNA-CONFERMA"]
    index = {s: i for i, s in enumerate(strings)}

    def sheet_xml(rows):
        out = ['<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
               '<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
               '<dimension ref="A1:F9"/><sheetData>']
        for r, row in enumerate(rows):
            out.append('<row r="%d" spans="1:6">' % (r + 1))
            for col, cell in row:
                kind, value = kind_of(cell), cell[1]
                ref = ' r="%s%d"' % (col_name(col), r + 1)
                if r == 1 and col == 2:
                    ref = ""  # a cell without its reference follows the one before it
                f = "<f>%s</f>" % esc(cell[2].replace(";", ",")) if cell[0].startswith("f") else ""
                if kind == "s" and f:
                    out.append('<c%s t="str">%s<v>%s</v></c>' % (ref, f, esc(value)))
                elif kind == "s" and value in index:
                    out.append('<c%s t="s"><v>%d</v></c>' % (ref, index[value]))
                elif kind == "s":
                    out.append('<c%s t="inlineStr"><is><r><t>%s</t></r><r><t>%s</t></r></is></c>'
                               % (ref, esc(value[:2]), esc(value[2:])))
                elif kind == "b":
                    out.append('<c%s t="b">%s<v>%d</v></c>' % (ref, f, 1 if value else 0))
                elif kind in ("d", "t"):
                    out.append('<c%s s="%d">%s<v>%r</v></c>' % (ref, 1 if kind == "d" else 2, f, serial(value, date1904)))
                else:
                    out.append('<c%s s="3">%s<v>%r</v></c>' % (ref, f, value))
            out.append("</row>")
        out.append("</sheetData></worksheet>")
        return "".join(out)

    data_rows = [[(c, ("s", h)) for c, h in enumerate(HEADINGS)]]
    data_rows += [list(zip(COLUMNS, row)) for row in ROWS]
    summary_rows = [[(0, ("s", "totale"))], [(0, ("s", "NON-UNA-CONFERMA"))]]
    parts = {
        "[Content_Types].xml": '<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
        '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
        '<Default Extension="xml" ContentType="application/xml"/>'
        '<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/></Types>',
        "_rels/.rels": '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>',
        "xl/workbook.xml": '<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
        'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><workbookPr date1904="%s"/><sheets>'
        '<sheet name="Riepilogo" sheetId="1" r:id="rId1"/><sheet name="%s" sheetId="2" r:id="rId2"/>'
        '<sheet name="Grafico" sheetId="3" r:id="rId5"/></sheets></workbook>' % ("1" if date1904 else "false", esc(DATA_SHEET)),
        "xl/_rels/workbook.xml.rels": '<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        '<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet1.xml"/>'
        '<Relationship Id="rId2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="/xl/worksheets/sheet2.xml"/>'
        '<Relationship Id="rId3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>'
        '<Relationship Id="rId4" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>'
        '<Relationship Id="rId5" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/chartsheet" Target="chartsheets/sheet1.xml"/>'
        '</Relationships>',
        "xl/styles.xml": '<?xml version="1.0" encoding="UTF-8"?><styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
        '<numFmts count="2"><numFmt numFmtId="164" formatCode="[$-410]dd/mm/yyyy"/><numFmt numFmtId="165" formatCode="dd/mm/yyyy\\ hh:mm"/></numFmts>'
        '<cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs>'
        '<cellXfs count="4"><xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="4"/></cellXfs></styleSheet>',
        "xl/sharedStrings.xml": '<?xml version="1.0" encoding="UTF-8"?><sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">'
        + "".join("<si><t>%s</t><rPh sb=\"0\" eb=\"1\"><t>fonetica</t></rPh></si>" % esc(s) for s in strings) + "</sst>",
        "xl/worksheets/sheet1.xml": sheet_xml(summary_rows),
        "xl/worksheets/sheet2.xml": sheet_xml(data_rows),
    }
    if mutate:
        mutate(parts)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts.items():
            z.writestr(name, text.encode("utf-8") if isinstance(text, str) else text)


# ---- .ods --------------------------------------------------------------------------------------

ODS_NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
          'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
          'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
          'xmlns:calcext="urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"')


def ods_cell(cell):
    kind, value = kind_of(cell), cell[1]
    f = ' table:formula="of:=%s"' % esc(cell[2]) if cell[0].startswith("f") else ""
    if kind == "s":
        shown = esc(value).replace("-", "-<text:span>", 1) + ("</text:span>" if "-" in value else "")
        string = ' office:string-value="%s"' % esc(value) if f else ""
        return ('<table:table-cell%s office:value-type="string"%s><text:p>%s</text:p>'
                '<office:annotation><text:p>commento</text:p></office:annotation></table:table-cell>'
                % (f, string, shown))
    if kind == "b":
        return ('<table:table-cell%s office:value-type="boolean" office:boolean-value="%s"><text:p>%s</text:p></table:table-cell>'
                % (f, "true" if value else "false", "VERO" if value else "FALSO"))
    if kind == "d":
        return ('<table:table-cell%s office:value-type="date" office:date-value="%s"><text:p>%s</text:p></table:table-cell>'
                % (f, value.isoformat(), value.strftime("%d/%m/%Y")))
    if kind == "t":
        return ('<table:table-cell%s office:value-type="date" office:date-value="%s"><text:p>x</text:p></table:table-cell>'
                % (f, value.isoformat()))
    return ('<table:table-cell%s office:value-type="float" office:value="%r"><text:p>%s</text:p></table:table-cell>'
            % (f, value, value))


def ods_table(name, rows, header=True):
    out = ['<table:table table:name="%s"><table:table-column table:number-columns-repeated="6"/>' % esc(name)]
    for r, row in enumerate(rows):
        if r == 0 and header:
            out.append("<table:table-header-rows>")
        out.append("<table:table-row>")
        at = 0
        for col, cell in row:
            if col > at:
                out.append('<table:table-cell table:number-columns-repeated="%d"/>' % (col - at))
            out.append(ods_cell(cell))
            at = col + 1
        out.append('<table:table-cell table:number-columns-repeated="16378"/></table:table-row>')
        if r == 0 and header:
            out.append("</table:table-header-rows>")
    # The rest of the grid, empty but formatted, as a spreadsheet program saves it.
    out.append('<table:table-row table:number-rows-repeated="1048570">'
               '<table:table-cell table:number-columns-repeated="16384"/></table:table-row></table:table>')
    return "".join(out)


def write_ods(path, content=None, manifest_extra=""):
    data_rows = [[(c, ("s", h)) for c, h in enumerate(HEADINGS)]]
    data_rows += [list(zip(COLUMNS, row)) for row in ROWS]
    summary_rows = [[(0, ("s", "totale"))], [(0, ("s", "NON-UNA-CONFERMA"))]]
    if content is None:
        content = ('<?xml version="1.0" encoding="UTF-8"?><office:document-content %s><office:body><office:spreadsheet>'
                   '%s%s</office:spreadsheet></office:body></office:document-content>'
                   % (ODS_NS, ods_table("Riepilogo", summary_rows, header=False), ods_table(DATA_SHEET, data_rows)))
    manifest = ('<?xml version="1.0" encoding="UTF-8"?><manifest:manifest xmlns:manifest="urn:oasis:names:tc:opendocument:xmlns:manifest:1.0">'
                '<manifest:file-entry manifest:full-path="/" manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
                '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml">%s</manifest:file-entry>'
                '</manifest:manifest>' % manifest_extra)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(zipfile.ZipInfo("mimetype"), "application/vnd.oasis.opendocument.spreadsheet")
        z.writestr("content.xml", content)
        z.writestr("META-INF/manifest.xml", manifest)


def hostile():
    # A sheet part that inflates past the limit (about 300 MiB of blanks, a few hundred KiB zipped).
    def bomb(parts):
        parts["xl/worksheets/sheet2.xml"] = parts["xl/worksheets/sheet2.xml"].replace(
            "<sheetData>", "<sheetData>" + " " * (300 << 20), 1)
    write_xlsx(os.path.join(HERE, "ostile_bomba.xlsx"), mutate=bomb)
    # One row, repeated a million times, with sixteen cells that hold a value.
    rows = ('<table:table table:name="Foglio1"><table:table-row table:number-rows-repeated="1000000">'
            '<table:table-cell table:number-columns-repeated="16" office:value-type="float" office:value="1"/>'
            '</table:table-row></table:table>')
    write_ods(os.path.join(HERE, "ostile_ripetute.ods"),
              content='<?xml version="1.0"?><office:document-content %s><office:body><office:spreadsheet>%s'
                      '</office:spreadsheet></office:body></office:document-content>' % (ODS_NS, rows))
    # An .xlsx saved with a password to open: a compound file holding the encrypted package.
    buf = io.BytesIO()
    CompoundDoc.XlsDoc().save(buf, b"\x00" * 4096)
    raw = buf.getvalue()
    at = raw.index("Workbook\x00".encode("utf-16-le"))
    name = "EncryptedPackage\x00".encode("utf-16-le")
    raw = raw[:at] + name + b"\x00" * (64 - len(name)) + struct.pack("<H", len(name)) + raw[at + 66:]
    with open(os.path.join(HERE, "password.xlsx"), "wb") as f:
        f.write(raw)
    write_ods(os.path.join(HERE, "password.ods"),
              manifest_extra='<manifest:encryption-data manifest:checksum-type="SHA1" manifest:checksum="x"/>')


if __name__ == "__main__":
    write_xls(os.path.join(HERE, "formati.xls"))
    write_biff5(os.path.join(HERE, "formati_biff5.xls"))
    write_long_strings(os.path.join(HERE, "testi_lunghi.xls"))
    write_xlsx(os.path.join(HERE, "formati.xlsx"))
    write_xlsx(os.path.join(HERE, "formati_1904.xlsx"), date1904=True)
    write_ods(os.path.join(HERE, "formati.ods"))
    hostile()
