// Drawing the letters. Lengths are millimetres of the A4 page, turned into the writer's dots
// where they are drawn.
#include "render/LetterPdf.h"

#include "core/letters/LetterText.h"
#include "core/letters/PostelReader.h"

#include <QFontMetricsF>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

namespace zb32 {

namespace {

constexpr int kDpi = 600;
constexpr qreal mm(qreal v)
{
    return v * kDpi / 25.4;
}

// The page: margins, the envelope's window (an address window on the right, as the service's
// envelopes have it) and where the letter's text starts unless the template says otherwise.
constexpr qreal kPageWidth = 210;
constexpr qreal kLeft = 25;
constexpr qreal kRight = 20;
constexpr qreal kTop = 18;
constexpr qreal kBottom = 279;
constexpr qreal kTextWidth = kPageWidth - kLeft - kRight;
constexpr qreal kWindowLeft = 110;
constexpr qreal kWindowTop = 50;
constexpr qreal kWindowWidth = 85;
constexpr qreal kTextTop = 92;

// Payment slips: three to a page.
constexpr int kSlipsPerPage = 3;
constexpr qreal kSlipLeft = 12;
constexpr qreal kSlipWidth = 186;
constexpr qreal kSlipHeight = 84;
constexpr qreal kSlipPitch = 89;
constexpr qreal kSlipTop = 24;
constexpr qreal kReceiptWidth = 62;

const QColor kGrey(0x66, 0x66, 0x66);
const QColor kRule(0xb0, 0xb0, 0xb0);

QFont font(const QStringList& families, QFont::StyleHint hint, qreal points, bool bold)
{
    QFont f;
    f.setFamilies(families);
    f.setStyleHint(hint);
    f.setPointSizeF(points);
    f.setBold(bold);
    // No ligatures: a search for "effettuato" in the PDF must find it, and Qt shapes without
    // them only once letters are spaced.
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.05); // dots of 1/600 inch: nothing to see
    return f;
}

QFont sans(qreal points, bool bold = false)
{
    return font({ QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial") },
        QFont::SansSerif, points, bold);
}

QFont mono(qreal points)
{
    return font(
        { QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"), QStringLiteral("Courier New") },
        QFont::Monospace, points, false);
}

// A font with its measures on the writer; widths of words are kept, since every letter repeats
// the template's.
class MeasuredFont
{
public:
    MeasuredFont(const QFont& f, QPaintDevice* device)
        : font(f)
        , metrics(f, device)
    { }
    qreal width(const QString& text)
    {
        auto it = m_widths.constFind(text);
        if (it != m_widths.constEnd()) {
            return *it;
        }
        const qreal w = metrics.horizontalAdvance(text);
        if (m_widths.size() < 20000) {
            m_widths.insert(text, w);
        }
        return w;
    }

    QFont font;
    QFontMetricsF metrics;

private:
    QHash<QString, qreal> m_widths;
};

// A word of a justified paragraph: its pieces, plain and strong.
struct Word
{
    QList<LetterRun> pieces;
    qreal width = 0;
};

// The writer, set up before anything measures text on it: the measures depend on its resolution.
class A4Writer : public QPdfWriter
{
public:
    A4Writer(QIODevice* device, const QString& title)
        : QPdfWriter(device)
    {
        setResolution(kDpi);
        setPageSize(QPageSize(QPageSize::A4));
        setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
        setTitle(title);
        setCreator(QStringLiteral("zb32"));
    }
};

} // namespace

class LetterPdf::Painter
{
public:
    Painter(QIODevice* device, const QString& title)
        : m_writer(device, title)
        , m_body(sans(10), &m_writer)
        , m_strong(sans(10, true), &m_writer)
        , m_small(sans(7.5), &m_writer)
        , m_label(sans(6), &m_writer)
        , m_value(sans(8.5), &m_writer)
        , m_valueStrong(sans(9, true), &m_writer)
        , m_heading(sans(12, true), &m_writer)
        , m_code(mono(9), &m_writer)
    {
        m_lineHeight = m_body.metrics.height() * 1.02;
    }

    void setTemplate(const QStringList& lines, const QStringList& contact)
    {
        m_template = lines;
        m_contact = contact;
        m_signature = letterSignature(lines);
        m_columns = 60;
        for (const QString& line : lines) {
            if (!line.startsWith(QLatin1Char('!'))) {
                m_columns = qMax(m_columns, static_cast<int>(line.size()));
            }
        }
    }

    void letter(const PostelLetter& l)
    {
        m_letter = &l;
        newPage();
        drawHeader();
        drawAddress(l);
        const QList<LetterLine> lines = fillLetter(m_template, l);
        m_y = mm(kTextTop);
        bool justify = false;
        QList<Word> paragraph;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const LetterLine& line = lines[i];
            switch (line.kind) {
            case LetterLine::Kind::Commands:
                drawParagraph(paragraph, true);
                justify = false;
                for (const QString& command : line.commands) {
                    justify = apply(command) || justify;
                }
                break;
            case LetterLine::Kind::Amount: {
                drawParagraph(paragraph, justify);
                qsizetype end = i;
                while (end < lines.size() && lines[end].kind == LetterLine::Kind::Amount) {
                    ++end;
                }
                drawAmounts(lines.mid(i, end - i));
                i = end - 1;
                break;
            }
            case LetterLine::Kind::Text:
                if (line.text().trimmed().isEmpty()) {
                    drawParagraph(paragraph, justify);
                    m_y += m_lineHeight;
                } else if (justify) {
                    addWords(line, &paragraph);
                    const QString text = line.text().trimmed();
                    if (text.endsWith(QLatin1Char('.')) || text.endsWith(QLatin1Char(':'))) {
                        drawParagraph(paragraph, true);
                    }
                } else {
                    drawPlainLine(line);
                }
                break;
            }
        }
        drawParagraph(paragraph, justify);
        drawSlips(l);
        m_letter = nullptr;
    }

    bool finish(QString* error)
    {
        if (!m_begun) {
            *error = QStringLiteral("nessuna lettera da disegnare");
            return false;
        }
        if (!m_painter.end()) {
            *error = QStringLiteral("il PDF non è stato scritto");
            return false;
        }
        return true;
    }

    int pages() const { return m_pages; }

private:
    qreal left() const { return mm(kLeft); }
    qreal textWidth() const { return mm(kTextWidth); }

    void newPage()
    {
        if (!m_begun) {
            m_begun = m_painter.begin(&m_writer);
        } else {
            m_writer.newPage();
        }
        ++m_pages;
        if (m_letter) {
            // The preview's own mark, in the bottom margin: which letter of the file this is.
            m_painter.setFont(m_small.font);
            m_painter.setPen(kRule);
            m_painter.drawText(QPointF(left(), mm(290)),
                QStringLiteral("anteprima - lettera %1, riga %2 del file").arg(m_letter->number).arg(m_letter->line));
            m_painter.setPen(Qt::black);
        }
    }

    // A page-composition command; true for justification. Spacing counts lines, a negative one
    // going back up, never above the top margin nor below the bottom one.
    bool apply(const QString& command)
    {
        const QString word = command.section(QLatin1Char(' '), 0, 0).toUpper();
        bool ok = false;
        const int n = command.section(QLatin1Char(' '), 1, 1).toInt(&ok);
        if (word == QLatin1String("JUS")) {
            return true;
        }
        if (word == QLatin1String("NEW")) {
            newPage();
            m_y = mm(kTop);
        } else if (word == QLatin1String("SPA") && ok) {
            m_y = qBound(mm(kTop), m_y + n * m_lineHeight, mm(kBottom) - m_lineHeight);
        }
        return false;
    }

    void room(qreal height)
    {
        if (m_y + height > mm(kBottom)) {
            newPage();
            m_y = mm(kTop);
        }
    }

    qreal baseline(MeasuredFont& f) const { return m_y + f.metrics.ascent(); }

    void drawRuns(const QList<LetterRun>& runs, qreal x, qreal y)
    {
        for (const LetterRun& run : runs) {
            MeasuredFont& f = run.strong ? m_strong : m_body;
            m_painter.setFont(f.font);
            m_painter.drawText(QPointF(x, y), run.text);
            x += f.width(run.text);
        }
    }

    void drawHeader()
    {
        m_painter.setPen(Qt::black);
        m_painter.setFont(m_heading.font);
        m_y = mm(kTop);
        m_painter.drawText(QPointF(left(), baseline(m_heading)), m_signature);
        QString contact = m_contact.join(QStringLiteral(" · "));
        if (m_contact.size() == 4) {
            contact = QStringLiteral("Referente %1 · tel. %2 · %3 · %4")
                          .arg(m_contact[0], m_contact[1], m_contact[2], m_contact[3]);
        }
        m_painter.setFont(m_small.font);
        m_painter.setPen(kGrey);
        m_painter.drawText(
            QPointF(left(), m_y + m_heading.metrics.height() + m_small.metrics.ascent() + mm(0.5)), contact);
        m_painter.setPen(kRule);
        const qreal rule = m_y + m_heading.metrics.height() + m_small.metrics.height() + mm(2);
        m_painter.drawLine(QPointF(left(), rule), QPointF(left() + textWidth(), rule));
        m_painter.setPen(Qt::black);
    }

    void drawAddress(const PostelLetter& l)
    {
        const qreal x = mm(kWindowLeft);
        qreal y = mm(kWindowTop);
        m_painter.setFont(m_label.font);
        m_painter.setPen(kGrey);
        m_painter.drawText(QPointF(x, y + m_label.metrics.ascent()), m_signature);
        m_painter.setPen(Qt::black);
        y += m_label.metrics.height() + mm(2);
        // A line wider than the window goes on below, as the service would print it: nothing of
        // the address is left out.
        const QStringList lines = l.addressLines();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            MeasuredFont& f = i == 0 ? m_strong : m_body;
            m_painter.setFont(f.font);
            for (const QString& part : wrapped(lines[i], f, mm(kWindowWidth))) {
                m_painter.drawText(QPointF(x, y + f.metrics.ascent()), part);
                y += m_lineHeight;
            }
        }
    }

    static QStringList wrapped(const QString& text, MeasuredFont& f, qreal width)
    {
        QStringList out;
        QString line;
        for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (!line.isEmpty() && f.metrics.horizontalAdvance(longer) > width) {
                out << line;
                line = word;
            } else {
                line = longer;
            }
        }
        out << line;
        return out;
    }

    void addWords(const LetterLine& line, QList<Word>* words)
    {
        Word current;
        auto close = [&] {
            if (!current.pieces.isEmpty()) {
                for (const LetterRun& p : std::as_const(current.pieces)) {
                    current.width += (p.strong ? m_strong : m_body).width(p.text);
                }
                words->append(current);
                current = Word();
            }
        };
        for (const LetterRun& run : line.runs) {
            qsizetype from = 0;
            for (qsizetype i = 0; i <= run.text.size(); ++i) {
                if (i < run.text.size() && run.text[i] != QLatin1Char(' ')) {
                    continue;
                }
                if (i > from) {
                    const QString piece = run.text.mid(from, i - from);
                    if (!current.pieces.isEmpty() && current.pieces.last().strong == run.strong) {
                        current.pieces.last().text += piece;
                    } else {
                        current.pieces.append({ piece, run.strong });
                    }
                }
                if (i < run.text.size()) {
                    close();
                }
                from = i + 1;
            }
        }
        close();
    }

    // Lines filled word by word to the text width; justified ones spread their words to both
    // margins, except each paragraph's last line.
    void drawParagraph(QList<Word>& words, bool justify, qreal indent = 0)
    {
        const qreal space = m_body.width(QStringLiteral(" "));
        const qreal width = textWidth() - indent;
        qsizetype first = 0;
        while (first < words.size()) {
            qsizetype end = first + 1;
            qreal used = words[first].width;
            while (end < words.size() && used + space + words[end].width <= width) {
                used += space + words[end].width;
                ++end;
            }
            const bool last = end == words.size();
            const qsizetype gaps = end - first - 1;
            const qreal gap = justify && !last && gaps > 0 ? space + (width - used) / gaps : space;
            room(m_lineHeight);
            qreal x = left() + indent;
            for (qsizetype i = first; i < end; ++i) {
                drawRuns(words[i].pieces, x, baseline(m_body));
                x += words[i].width + gap;
            }
            m_y += m_lineHeight;
            first = end;
        }
        words.clear();
    }

    // A line as the template has it: its leading blanks are columns of the widest line, its
    // inner blanks kept; a line wider than the page is wrapped.
    void drawPlainLine(const LetterLine& line)
    {
        const qreal indent = textWidth() * line.indent / m_columns;
        qreal width = 0;
        for (const LetterRun& run : line.runs) {
            width += (run.strong ? m_strong : m_body).width(run.text);
        }
        if (indent + width > textWidth()) {
            QList<Word> words;
            addWords(line, &words);
            drawParagraph(words, false, indent);
            return;
        }
        room(m_lineHeight);
        drawRuns(line.runs, left() + indent, baseline(m_body));
        m_y += m_lineHeight;
    }

    // The amounts table: a row per line with an amount, the last one (the total) strong when
    // there are several. A row of an invoice the letter lacks is left out.
    void drawAmounts(const QList<LetterLine>& lines)
    {
        QList<LetterLine> rows;
        for (const LetterLine& l : lines) {
            if (l.filled) {
                rows.append(l);
            }
        }
        if (rows.isEmpty()) {
            return;
        }
        const qreal rowHeight = m_lineHeight * 1.4;
        m_y += m_lineHeight * 0.4;
        room(rowHeight * rows.size());
        const qreal x0 = left() + mm(8);
        const qreal x1 = left() + textWidth() - mm(8);
        m_painter.setPen(QPen(kRule, mm(0.2)));
        m_painter.drawLine(QPointF(x0, m_y), QPointF(x1, m_y));
        for (qsizetype r = 0; r < rows.size(); ++r) {
            const bool total = rows.size() > 1 && r == rows.size() - 1;
            if (total) {
                m_painter.fillRect(QRectF(x0, m_y, x1 - x0, rowHeight), QColor(0xf0, 0xf0, 0xf0));
                m_painter.setPen(QPen(Qt::black, mm(0.3)));
                m_painter.drawLine(QPointF(x0, m_y), QPointF(x1, m_y));
            }
            const qreal y = m_y + (rowHeight - m_body.metrics.height()) / 2 + m_body.metrics.ascent();
            m_painter.setPen(Qt::black);
            QList<LetterRun> label = rows[r].runs;
            if (total) {
                for (LetterRun& run : label) {
                    run.strong = true;
                }
            }
            drawRuns(label, x0 + mm(2), y);
            MeasuredFont& f = total ? m_strong : m_body;
            const QString amount = QStringLiteral("€ ") + rows[r].amount;
            m_painter.setFont(f.font);
            m_painter.drawText(QPointF(x1 - mm(2) - f.width(amount), y), amount);
            m_y += rowHeight;
            m_painter.setPen(QPen(kRule, mm(0.2)));
            m_painter.drawLine(QPointF(x0, m_y), QPointF(x1, m_y));
        }
        m_painter.setPen(Qt::black);
        m_y += m_lineHeight * 0.4;
    }

    void drawSlips(const PostelLetter& l)
    {
        for (qsizetype k = 0; k < l.slips.size(); ++k) {
            const int place = static_cast<int>(k % kSlipsPerPage);
            if (place == 0) {
                newPage();
                m_painter.setFont(m_small.font);
                m_painter.setPen(kGrey);
                m_painter.drawText(QPointF(mm(kSlipLeft), mm(kSlipTop - 6)),
                    QStringLiteral("Bollettini di conto corrente postale per %1").arg(l.addressLines().first()));
                m_painter.setPen(Qt::black);
            }
            drawSlip(
                l.slips[k], QRectF(mm(kSlipLeft), mm(kSlipTop + place * kSlipPitch), mm(kSlipWidth), mm(kSlipHeight)));
        }
    }

    // A labelled field: the label small above, the value in a box.
    void field(const QString& label, const QStringList& value, const QRectF& box, bool strong = false)
    {
        m_painter.setFont(m_label.font);
        m_painter.setPen(kGrey);
        m_painter.drawText(QPointF(box.left(), box.top() - mm(0.8)), label);
        m_painter.setPen(QPen(kRule, mm(0.2)));
        m_painter.drawRect(box);
        MeasuredFont& f = strong ? m_valueStrong : m_value;
        m_painter.setFont(f.font);
        m_painter.setPen(Qt::black);
        qreal y = box.top() + mm(1) + f.metrics.ascent();
        for (const QString& line : value) {
            if (y > box.bottom()) {
                break;
            }
            m_painter.drawText(
                QPointF(box.left() + mm(1.2), y), f.metrics.elidedText(line, Qt::ElideRight, box.width() - mm(2.4)));
            y += f.metrics.height();
        }
    }

    void drawSlip(const PostelSlip& s, const QRectF& r)
    {
        m_painter.setPen(QPen(Qt::black, mm(0.3)));
        m_painter.drawRect(r);
        const qreal cut = r.left() + mm(kReceiptWidth);
        m_painter.setPen(QPen(kGrey, mm(0.25), Qt::DashLine));
        m_painter.drawLine(QPointF(cut, r.top()), QPointF(cut, r.bottom()));

        const QString amount = s.amount.trimmed();
        const QStringList debtor { s.nome, s.indirizzo, s.citta };
        const QString account = s.account.isEmpty() ? QStringLiteral("-") : s.account;
        const QStringList reason { QStringLiteral("fattura n. ") + s.fattura };
        QStringList details;
        if (!s.periodo.isEmpty()) {
            details << QStringLiteral("periodo ") + s.periodo;
        }
        if (!s.scadenza.isEmpty()) {
            details << QStringLiteral("scadenza ") + s.scadenza;
        }
        if (!s.riferimento.isEmpty()) {
            details << QStringLiteral("rif. ") + s.riferimento;
        }

        // The receipt.
        const qreal rx = r.left() + mm(3);
        const qreal rw = mm(kReceiptWidth - 6);
        m_painter.setFont(m_valueStrong.font);
        m_painter.drawText(QPointF(rx, r.top() + mm(5)), QStringLiteral("CONTI CORRENTI POSTALI"));
        m_painter.setFont(m_label.font);
        m_painter.drawText(QPointF(rx, r.top() + mm(8)), QStringLiteral("Ricevuta di versamento"));
        qreal y = r.top() + mm(13);
        field(QStringLiteral("sul C/C n."), { account }, QRectF(rx, y, rw * 0.5 - mm(1), mm(6)), true);
        field(QStringLiteral("di Euro"), { amount }, QRectF(rx + rw * 0.5 + mm(1), y, rw * 0.5 - mm(1), mm(6)), true);
        y += mm(10);
        field(QStringLiteral("intestato a"), { m_signature }, QRectF(rx, y, rw, mm(6)));
        y += mm(10);
        field(QStringLiteral("causale"), reason + details, QRectF(rx, y, rw, mm(16)));
        y += mm(20);
        field(QStringLiteral("eseguito da"), debtor, QRectF(rx, y, rw, mm(14)));

        // The slip.
        const qreal sx = cut + mm(4);
        const qreal sw = r.right() - mm(4) - sx;
        m_painter.setFont(m_valueStrong.font);
        m_painter.drawText(QPointF(sx, r.top() + mm(5)), QStringLiteral("CONTI CORRENTI POSTALI"));
        m_painter.setFont(m_label.font);
        m_painter.drawText(QPointF(sx, r.top() + mm(8)), QStringLiteral("Bollettino di versamento"));
        y = r.top() + mm(13);
        field(QStringLiteral("sul C/C n."), { account }, QRectF(sx, y, sw * 0.45, mm(6)), true);
        field(QStringLiteral("di Euro"), { amount }, QRectF(sx + sw * 0.55, y, sw * 0.45, mm(6)), true);
        y += mm(10);
        field(QStringLiteral("intestato a"), { m_signature }, QRectF(sx, y, sw, mm(6)));
        y += mm(10);
        field(QStringLiteral("causale"), reason + QStringList { details.join(QStringLiteral(" - ")) },
            QRectF(sx, y, sw, mm(10)));
        y += mm(14);
        field(QStringLiteral("eseguito da"), debtor, QRectF(sx, y, sw, mm(14)));

        // The payment code, as the file gives it for the reading machines.
        m_painter.setFont(m_code.font);
        m_painter.setPen(Qt::black);
        m_painter.drawText(QPointF(sx + sw - m_code.width(s.code), r.bottom() - mm(3)), s.code);
    }

    A4Writer m_writer;
    QPainter m_painter;
    bool m_begun = false;
    int m_pages = 0;
    MeasuredFont m_body;
    MeasuredFont m_strong;
    MeasuredFont m_small;
    MeasuredFont m_label;
    MeasuredFont m_value;
    MeasuredFont m_valueStrong;
    MeasuredFont m_heading;
    MeasuredFont m_code;
    qreal m_lineHeight = 0;
    qreal m_y = 0;
    QStringList m_template;
    QStringList m_contact;
    QString m_signature;
    int m_columns = 60;
    const PostelLetter* m_letter = nullptr;
};

LetterPdf::LetterPdf(QIODevice* device, const QString& title)
    : m_painter(std::make_unique<Painter>(device, title))
{ }

LetterPdf::~LetterPdf() = default;

void LetterPdf::setTemplate(const QStringList& templateLines, const QStringList& contact)
{
    m_painter->setTemplate(templateLines, contact);
}

void LetterPdf::addLetter(const PostelLetter& letter)
{
    m_painter->letter(letter);
}

bool LetterPdf::finish(QString* error)
{
    return m_painter->finish(error);
}

int LetterPdf::pages() const
{
    return m_painter->pages();
}

} // namespace zb32
