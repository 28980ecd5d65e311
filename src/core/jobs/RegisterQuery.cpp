// Reading the register of import runs.
#include "core/jobs/RegisterQuery.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"

#include <QIODevice>
#include <limits>

namespace zb32 {

namespace RegisterQuery {

namespace {

const char* const kBoxFields[]
    = { "data affido", "scadenza", "intervento", "lotto", "nome file", "mandato", "sit aff" };

QString dayStamp(const QDate& day)
{
    return day.isValid() ? day.toString(Qt::ISODate) + QStringLiteral(" 00:00:00") : QString();
}

QString csvCell(QString text)
{
    text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"'))) {
        text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
    }
    return text;
}

} // namespace

bool page(CaseDatabase& db, const RegisterFilter& filter, qint64 beforeId, int limit, QList<RegisterRow>* rows,
    QString* error)
{
    rows->clear();
    // The first page makes sure of the register's tables (a database that never had a run).
    if (beforeId <= 0 && !Schema::createRegister(db, error)) {
        return false;
    }
    const QString from = dayStamp(filter.from);
    const QString to = dayStamp(filter.to.isValid() ? filter.to.addDays(1) : QDate());
    // The limit is a number of the program, never a text typed in.
    const QString sql = QStringLiteral("select top %1 * from [tabella importazioni] where id < ? and (? = '' or "
                                       "lavoro = ?) and (? = '' or inizio >= ?) and (? = '' or inizio < ?) order by "
                                       "id desc")
                            .arg(limit);
    Recordset rs(db, Schema::kImportRuns);
    if (!rs.open(sql,
            { beforeId > 0 ? beforeId : std::numeric_limits<qint64>::max(), filter.job, filter.job, from, from, to,
                to },
            error, Recordset::Mode::ForwardOnly)) {
        return false;
    }
    while (!rs.eof()) {
        RegisterRow r;
        r.id = rs.key();
        r.start = rs.text(QStringLiteral("inizio"));
        r.job = rs.text(QStringLiteral("lavoro"));
        r.file = rs.text(QStringLiteral("nome file"));
        r.workstation = rs.text(QStringLiteral("postazione"));
        r.user = rs.text(QStringLiteral("utente"));
        r.state = rs.text(QStringLiteral("stato"));
        r.mode = rs.text(QStringLiteral("modo"));
        r.linesRead = rs.value(QStringLiteral("righe lette")).toLongLong();
        r.lastLineSaved = rs.value(QStringLiteral("ultima riga salvata")).toLongLong();
        r.clienti = rs.value(QStringLiteral("clienti")).toLongLong();
        r.fatture = rs.value(QStringLiteral("fatture")).toLongLong();
        r.letters = rs.value(QStringLiteral("lettere")).toLongLong();
        r.letterRun = !rs.isNull(QStringLiteral("lettere"));
        r.message = rs.text(QStringLiteral("messaggio"));
        r.undone = rs.text(QStringLiteral("annullamento"));
        for (const char* box : kBoxFields) {
            r.boxes << rs.text(QString::fromLatin1(box));
        }
        rows->append(r);
        if (!rs.moveNext(error)) {
            return false;
        }
    }
    return true;
}

QStringList csvHeadings()
{
    return { QStringLiteral("corsa"), QStringLiteral("inizio"), QStringLiteral("lavoro"), QStringLiteral("nome file"),
        QStringLiteral("lotto"), QStringLiteral("postazione"), QStringLiteral("utente"), QStringLiteral("stato"),
        QStringLiteral("modo"), QStringLiteral("righe lette"), QStringLiteral("ultima riga salvata"),
        QStringLiteral("clienti"), QStringLiteral("fatture"), QStringLiteral("lettere"), QStringLiteral("messaggio"),
        QStringLiteral("annullamento") };
}

QString csvLine(const RegisterRow& r)
{
    const QStringList cells = { QString::number(r.id), r.start, r.job, r.file, r.boxes.value(3), r.workstation, r.user,
        r.state, r.mode, QString::number(r.linesRead), QString::number(r.lastLineSaved), QString::number(r.clienti),
        QString::number(r.fatture), QString::number(r.letters), r.message, r.undone };
    QStringList out;
    for (const QString& c : cells) {
        out << csvCell(c);
    }
    return out.join(QLatin1Char(';'));
}

bool exportCsv(CaseDatabase& db, const RegisterFilter& filter, QIODevice* out, qint64* written, QString* error)
{
    *written = 0;
    constexpr int kPage = 1000;
    auto put = [&](const QString& line) {
        const QByteArray bytes = (line + QStringLiteral("\r\n")).toUtf8();
        if (out->write(bytes) != bytes.size()) {
            *error = out->errorString();
            return false;
        }
        return true;
    };
    if (!put(csvHeadings().join(QLatin1Char(';')))) {
        return false;
    }
    qint64 before = 0;
    for (;;) {
        QList<RegisterRow> rows;
        if (!page(db, filter, before, kPage, &rows, error)) {
            return false;
        }
        for (const RegisterRow& r : rows) {
            if (!put(csvLine(r))) {
                return false;
            }
        }
        *written += rows.size();
        if (rows.size() < kPage) {
            return true;
        }
        before = rows.last().id;
    }
}

} // namespace RegisterQuery

} // namespace zb32
