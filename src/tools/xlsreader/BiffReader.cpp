// Reading the BIFF records. Every read is bounded by its record: a short or damaged record reads
// as zeros and is reported, never past the data.
#include "BiffReader.h"

#include "CompoundFile.h"
#include "core/desk/Cp1252.h"

#include <QHash>
#include <QtEndian>
#include <cstring>

namespace zb32::sheets {

namespace {

enum Record : quint16 {
    kFormula = 0x0006,
    kEof = 0x000A,
    kFilePass = 0x002F,
    kDateMode = 0x0022,
    kContinue = 0x003C,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kXf = 0x00E0,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kFormula3 = 0x0206,
    kString = 0x0207,
    kRk = 0x027E,
    kFormula4 = 0x0406,
    kFormat = 0x041E,
    kBof2 = 0x0009,
    kBof3 = 0x0209,
    kBof4 = 0x0409,
    kBof = 0x0809,
};

double toDouble(const char* littleEndian)
{
    const quint64 bits = qFromLittleEndian<quint64>(littleEndian);
    double d = 0;
    std::memcpy(&d, &bits, 8);
    return d;
}

// One record with the CONTINUE records after it: the data, and where each continuation starts.
struct BiffRecord
{
    quint16 id = 0;
    QByteArray data;
    QList<qsizetype> breaks;
};

class RecordStream
{
public:
    explicit RecordStream(const QByteArray& stream, qsizetype at = 0)
        : m_stream(stream)
        , m_at(at)
    { }
    bool atEnd() const { return m_at + 4 > m_stream.size(); }
    bool next(BiffRecord* r)
    {
        if (!header(&r->id, &r->data)) {
            return false;
        }
        r->breaks.clear();
        quint16 id = 0;
        QByteArray more;
        qsizetype save = m_at;
        while (header(&id, &more) && id == kContinue) {
            r->breaks.append(r->data.size());
            r->data.append(more);
            save = m_at;
        }
        m_at = save;
        return true;
    }

private:
    bool header(quint16* id, QByteArray* data)
    {
        if (atEnd()) {
            return false;
        }
        *id = qFromLittleEndian<quint16>(m_stream.constData() + m_at);
        const quint16 length = qFromLittleEndian<quint16>(m_stream.constData() + m_at + 2);
        const qsizetype take = qMin<qsizetype>(length, m_stream.size() - m_at - 4);
        *data = m_stream.mid(m_at + 4, take);
        m_at += 4 + take;
        return true;
    }

    const QByteArray& m_stream;
    qsizetype m_at;
};

// Reads the fields of one record; a read past its end gives zeros and marks the record short.
class Fields
{
public:
    explicit Fields(const BiffRecord& r)
        : m_r(r)
    { }
    bool shortRead() const { return m_short; }
    qsizetype left() const { return m_r.data.size() - m_at; }
    quint8 u8() { return static_cast<quint8>(take(1)[0]); }
    quint16 u16() { return qFromLittleEndian<quint16>(take(2).constData()); }
    quint32 u32() { return qFromLittleEndian<quint32>(take(4).constData()); }
    double f64() { return toDouble(take(8).constData()); }
    void skip(qint64 n)
    {
        if (n > left()) {
            m_short = true;
            m_at = m_r.data.size();
        } else if (n > 0) {
            m_at += n;
        }
    }
    // `count` characters, 16-bit or 8-bit (the low byte of 16-bit, Latin-1); a continuation
    // boundary inside them starts with a fresh option byte that says which.
    QString chars(qint64 count, bool wide)
    {
        QString s;
        while (count > 0 && !m_short) {
            const qsizetype stop = nextBreak();
            const qsizetype width = wide ? 2 : 1;
            const qint64 here = qMin<qint64>(count, (stop - m_at) / width);
            if (here <= 0) {
                if (m_at >= m_r.data.size()) {
                    m_short = true;
                    break;
                }
                if (m_at == stop) {
                    wide = (u8() & 1) != 0;
                    continue;
                }
                // An odd byte before a break: the record is damaged.
                m_short = true;
                break;
            }
            const QByteArray b = take(here * width);
            if (wide) {
                for (qint64 i = 0; i < here; ++i) {
                    s += QChar(qFromLittleEndian<quint16>(b.constData() + 2 * i));
                }
            } else {
                s += QString::fromLatin1(b);
            }
            count -= here;
        }
        return s;
    }
    // BIFF8 text: a 16-bit (or 8-bit) character count, option flags, rich-text and phonetic data.
    QString unicodeString(bool shortCount)
    {
        const quint16 count = shortCount ? u8() : u16();
        const quint8 flags = u8();
        const quint16 runs = (flags & 0x08) ? u16() : 0;
        const quint32 extra = (flags & 0x04) ? u32() : 0;
        const QString s = chars(count, (flags & 0x01) != 0);
        skip(qint64(runs) * 4 + extra);
        return s;
    }
    QByteArray bytes(qint64 n)
    {
        if (n > left()) {
            m_short = true;
            n = left();
        }
        return take(n);
    }

private:
    qsizetype nextBreak() const
    {
        for (qsizetype b : m_r.breaks) {
            if (b >= m_at) {
                return b;
            }
        }
        return m_r.data.size();
    }
    QByteArray take(qint64 n)
    {
        if (n > left()) {
            m_short = true;
            m_at = m_r.data.size();
            return QByteArray(n, '\0');
        }
        const QByteArray b = m_r.data.mid(m_at, n);
        m_at += n;
        return b;
    }

    const BiffRecord& m_r;
    qsizetype m_at = 0;
    bool m_short = false;
};

struct SheetEntry
{
    QString name;
    quint32 offset = 0;
};

class BiffWorkbook
{
public:
    BiffWorkbook(const QByteArray& stream, WorkbookData* out, ReadFailure* failure)
        : m_stream(stream)
        , m_out(out)
        , m_failure(failure)
    { }

    bool read()
    {
        RecordStream records(m_stream);
        BiffRecord r;
        if (!records.next(&r)) {
            return fail(QStringLiteral("il flusso dei dati è vuoto"));
        }
        if (r.id == kBof2 || r.id == kBof3 || r.id == kBof4) {
            *m_failure = { ReadFailure::Kind::TooOld, {} };
            return false;
        }
        if (r.id != kBof) {
            return fail(QStringLiteral("il flusso dei dati non comincia con un'intestazione"));
        }
        Fields bof(r);
        m_biff8 = bof.u16() != 0x0500;
        const quint16 kind = bof.u16();
        if (kind == 0x0010) {
            // A worksheet on its own: the stream is its one sheet.
            WorkbookSheet sheet;
            sheet.name = QStringLiteral("Foglio1");
            if (!readSheet(0, &sheet)) {
                return false;
            }
            m_out->sheets.append(std::move(sheet));
            return true;
        }
        if (!readGlobals(records)) {
            return false;
        }
        for (const SheetEntry& e : std::as_const(m_entries)) {
            WorkbookSheet sheet;
            sheet.name = e.name;
            if (e.offset >= quint32(m_stream.size()) || !readSheet(e.offset, &sheet)) {
                return m_failure->detail.isEmpty() ? fail(QStringLiteral("il foglio %1 non si trova").arg(e.name))
                                                   : false;
            }
            m_out->sheets.append(std::move(sheet));
        }
        return true;
    }

private:
    bool fail(const QString& why)
    {
        *m_failure = damaged(why);
        return false;
    }

    QString byteText(const QByteArray& b) const
    {
        // BIFF5 keeps 8-bit text in the workbook's code page; Windows-1252 for the Western ones.
        return m_codePage == 1200 ? QString::fromLatin1(b) : Cp1252::decode(b);
    }

    QString shortText(Fields& f)
    {
        if (m_biff8) {
            return f.unicodeString(true);
        }
        return byteText(f.bytes(f.u8()));
    }

    QString longText(Fields& f)
    {
        if (m_biff8) {
            return f.unicodeString(false);
        }
        return byteText(f.bytes(f.u16()));
    }

    bool readGlobals(RecordStream& records)
    {
        BiffRecord r;
        while (records.next(&r)) {
            Fields f(r);
            switch (r.id) {
            case kEof:
                return true;
            case kFilePass:
                *m_failure = { ReadFailure::Kind::Encrypted, {} };
                return false;
            case kDateMode:
                m_date1904 = f.u16() == 1;
                break;
            case kCodePage:
                m_codePage = f.u16();
                break;
            case kFormat: {
                const quint16 id = f.u16();
                const QString code = m_biff8 ? f.unicodeString(false) : byteText(f.bytes(f.u8()));
                m_formats.insert(id, formatCodeKind(code));
                break;
            }
            case kXf: {
                f.u16();
                m_xfFormats.append(f.u16());
                break;
            }
            case kBoundSheet: {
                SheetEntry e;
                e.offset = f.u32();
                f.u8();
                const quint8 type = f.u8();
                e.name = shortText(f);
                if (f.shortRead()) {
                    return fail(QStringLiteral("l'elenco dei fogli è danneggiato"));
                }
                // Worksheets only: chart, macro and module sheets hold no cells.
                if (type == 0) {
                    if (m_entries.size() >= Limits::kMaxSheets) {
                        *m_failure = tooLarge(QStringLiteral("più di %1 fogli").arg(Limits::kMaxSheets));
                        return false;
                    }
                    m_entries.append(e);
                }
                break;
            }
            case kSst:
                readSst(r);
                break;
            default:
                break;
            }
        }
        // No end record: the stream is cut short, but what it has is read.
        return true;
    }

    void readSst(const BiffRecord& r)
    {
        Fields f(r);
        f.u32();
        const quint32 unique = f.u32();
        m_sst.clear();
        for (quint32 i = 0; i < unique && f.left() > 0 && !f.shortRead(); ++i) {
            m_sst.append(f.unicodeString(false));
        }
    }

    FormatKind xfKind(quint16 xf) const
    {
        if (xf >= m_xfFormats.size()) {
            return FormatKind::Number;
        }
        const quint16 id = m_xfFormats[xf];
        return m_formats.contains(id) ? m_formats.value(id) : builtInFormatKind(id);
    }

    QVariant number(double value, quint16 xf) const { return serialValue(value, xfKind(xf), m_date1904); }

    QVariant rk(quint32 rk, quint16 xf) const
    {
        double value = 0;
        if (rk & 0x02) {
            value = double(qint32(rk) >> 2);
        } else {
            const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
            std::memcpy(&value, &bits, 8);
        }
        return number((rk & 0x01) ? value / 100 : value, xf);
    }

    static QString errorText(quint8 code)
    {
        switch (code) {
        case 0x00:
            return QStringLiteral("#NULL!");
        case 0x07:
            return QStringLiteral("#DIV/0!");
        case 0x0F:
            return QStringLiteral("#VALUE!");
        case 0x17:
            return QStringLiteral("#REF!");
        case 0x1D:
            return QStringLiteral("#NAME?");
        case 0x24:
            return QStringLiteral("#NUM!");
        default:
            return QStringLiteral("#N/A");
        }
    }

    bool readSheet(qsizetype offset, WorkbookSheet* sheet)
    {
        SheetBuilder cells(sheet, &m_cellsLeft);
        RecordStream records(m_stream, offset);
        BiffRecord r;
        if (!records.next(&r) || (r.id != kBof && r.id != kBof4 && r.id != kBof3 && r.id != kBof2)) {
            return false;
        }
        // A formula whose text result follows in a STRING record.
        qint64 pendingRow = -1;
        qint64 pendingColumn = -1;
        int depth = 0;
        while (records.next(&r)) {
            Fields f(r);
            if (r.id == kBof) {
                // An embedded chart's records, until its own end.
                ++depth;
                continue;
            }
            if (r.id == kEof) {
                if (depth-- == 0) {
                    return true;
                }
                continue;
            }
            if (depth > 0) {
                continue;
            }
            QVariant value;
            qint64 row = -1;
            qint64 column = -1;
            switch (r.id) {
            case kNumber: {
                row = f.u16();
                column = f.u16();
                const quint16 xf = f.u16();
                value = number(f.f64(), xf);
                break;
            }
            case kRk: {
                row = f.u16();
                column = f.u16();
                const quint16 xf = f.u16();
                value = rk(f.u32(), xf);
                break;
            }
            case kMulRk: {
                row = f.u16();
                const quint16 first = f.u16();
                const qsizetype count = (f.left() - 2) / 6;
                for (qsizetype i = 0; i < count; ++i) {
                    const quint16 xf = f.u16();
                    const quint32 raw = f.u32();
                    if (!cells.set(row, first + i, rk(raw, xf), m_failure)) {
                        return false;
                    }
                }
                continue;
            }
            case kLabelSst: {
                row = f.u16();
                column = f.u16();
                f.u16();
                const quint32 index = f.u32();
                if (f.shortRead() || index >= quint32(m_sst.size())) {
                    return fail(QStringLiteral("un testo del foglio %1 rimanda a una tabella dei testi che non lo ha")
                                    .arg(sheet->name));
                }
                value = m_sst[index];
                break;
            }
            case kLabel:
            case kRString:
                row = f.u16();
                column = f.u16();
                f.u16();
                value = longText(f);
                break;
            case kBoolErr: {
                row = f.u16();
                column = f.u16();
                f.u16();
                const quint8 v = f.u8();
                value = f.u8() ? QVariant(errorText(v)) : QVariant(v != 0);
                break;
            }
            case kFormula:
            case kFormula3:
            case kFormula4: {
                row = f.u16();
                column = f.u16();
                const quint16 xf = f.u16();
                const QByteArray result = f.bytes(8);
                if (f.shortRead()) {
                    break;
                }
                const auto b = [&](int i) { return static_cast<quint8>(result[i]); };
                if (b(6) != 0xFF || b(7) != 0xFF) {
                    value = number(toDouble(result.constData()), xf);
                } else if (b(0) == 0) {
                    pendingRow = row;
                    pendingColumn = column;
                    continue;
                } else if (b(0) == 1) {
                    value = b(2) != 0;
                } else if (b(0) == 2) {
                    value = errorText(b(2));
                }
                break;
            }
            case kString:
                if (pendingRow < 0) {
                    continue;
                }
                row = pendingRow;
                column = pendingColumn;
                pendingRow = -1;
                value = longText(f);
                break;
            default:
                continue;
            }
            if (f.shortRead()) {
                return fail(
                    QStringLiteral("una cella del foglio %1 è danneggiata (riga %2)").arg(sheet->name).arg(row + 1));
            }
            if (!cells.set(row, column, value, m_failure)) {
                return false;
            }
        }
        // No end record: a stream cut short keeps the cells it has.
        return true;
    }

    const QByteArray& m_stream;
    WorkbookData* m_out;
    ReadFailure* m_failure;
    bool m_biff8 = true;
    bool m_date1904 = false;
    quint16 m_codePage = 1252;
    QHash<quint16, FormatKind> m_formats;
    QList<quint16> m_xfFormats;
    QList<SheetEntry> m_entries;
    QStringList m_sst;
    qint64 m_cellsLeft = Limits::kMaxCells;
};

} // namespace

bool readBiffStream(const QByteArray& stream, WorkbookData* out, ReadFailure* failure)
{
    BiffWorkbook book(stream, out, failure);
    return book.read();
}

bool readXls(const QByteArray& bytes, WorkbookData* out, ReadFailure* failure)
{
    CompoundFile file;
    if (!file.open(bytes, failure)) {
        return false;
    }
    // A workbook saved with a password to open in the newer formats: its package is encrypted.
    if (file.hasStream(QStringLiteral("EncryptedPackage")) || file.hasStream(QStringLiteral("EncryptionInfo"))) {
        *failure = { ReadFailure::Kind::Encrypted, {} };
        return false;
    }
    QByteArray stream;
    const QString name
        = file.hasStream(QStringLiteral("Workbook")) ? QStringLiteral("Workbook") : QStringLiteral("Book");
    if (!file.hasStream(name)) {
        *failure = { ReadFailure::Kind::NotAWorkbook, {} };
        return false;
    }
    if (!file.readStream(name, &stream, failure)) {
        return false;
    }
    return readBiffStream(stream, out, failure);
}

} // namespace zb32::sheets
