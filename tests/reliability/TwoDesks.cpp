// Inputs, expected rows and the side-by-side runs of the two-workstation tests.
#include "TwoDesks.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <memory>
#include <utility>
#include <vector>

namespace zb32::test {

namespace {

// A line of fixed columns from (first column, text) pairs, blanks between them.
QString placed(std::initializer_list<std::pair<int, QString>> fields)
{
    QString line;
    for (const auto& [start, text] : fields) {
        const qsizetype end = start - 1 + text.size();
        if (line.size() < end) {
            line.resize(end, QLatin1Char(' '));
        }
        line.replace(start - 1, text.size(), text);
    }
    return line;
}

// Hundredths in a field of `width` columns, zero-padded, a minus sign in front when negative.
QString amountField(qint64 cents, int width)
{
    return cents < 0 ? QStringLiteral("-") + QString::number(-cents).rightJustified(width - 1, QLatin1Char('0'))
                     : QString::number(cents).rightJustified(width, QLatin1Char('0'));
}

Currency hundredths(qint64 cents)
{
    return Currency::fromRaw(cents * (Currency::kScale / 100));
}

QString number8(int n)
{
    return QString::number(n).rightJustified(8, QLatin1Char('0'));
}

// The count a desk's progress query gives now; -1 when the database did not answer.
int savedRows(CaseDatabase& db, const Desk& desk)
{
    QSqlQuery* q = db.statement(desk.progressSql, nullptr);
    if (!q) {
        return -1;
    }
    q->bindValue(0, desk.progressValue);
    const int n = q->exec() && q->next() ? q->value(0).toInt() : -1;
    q->finish();
    return n;
}

} // namespace

QStringList Workload::preload(TestDatabase& tdb, int count)
{
    QStringList positions;
    QString error;
    if (!tdb.db().beginTransaction(&error)) {
        qFatal("preload: %s", qPrintable(error));
    }
    for (int i = 1; i <= count; ++i) {
        const QString position = QStringLiteral("3") + number8(i);
        tdb.insert(Schema::kCases,
            {
                { QStringLiteral("posizione"), position },
                { QStringLiteral("Tipo Mandato"), QStringLiteral("460") },
                { QStringLiteral("data affido"), QStringLiteral("01/01/2010") },
                { QStringLiteral("situazione affido"), QStringLiteral("1") },
                { QStringLiteral("codice esattore"), QStringLiteral("E7") },
                { QStringLiteral("lottoimportazione"), 9 },
                { QStringLiteral("importo rata"), QStringLiteral("200") },
                { QStringLiteral("importo interessi"), QStringLiteral("50") },
                { QStringLiteral("importo spese"), QStringLiteral("30") },
                { QStringLiteral("importo speserecupero"), QStringLiteral("10") },
                { QStringLiteral("importo totale"), QStringLiteral("290") },
            });
        Expected& c = m_cases[position];
        c.lotto = 9;
        positions << position;
    }
    if (!tdb.db().commit(&error)) {
        qFatal("preload: %s", qPrintable(error));
    }
    return positions;
}

Desk Workload::orbImport(int lotto, QChar prefix, int cases, bool check)
{
    const QString name = QStringLiteral("orb%1.txt").arg(lotto);
    QByteArray bytes;
    QHash<QString, Expected> checkedCases; // what a checked file must not leave behind
    QHash<QString, Linked> checkedInvoices;
    for (int i = 1; i <= cases; ++i) {
        const QString account = prefix + number8(i);
        Expected& c = (check ? checkedCases : m_cases)[account];
        c.lotto = lotto;
        c.imported = true;
        c.decoder = QStringLiteral("DEC") + account;
        // Two invoices, a third (a credit) on every third case; the total stays above zero.
        QStringList details;
        for (int k = 1; k <= (i % 3 == 0 ? 3 : 2); ++k) {
            const qint64 cents = k < 3 ? (i % 97 + 1) * 100 + k * 7 : -150;
            const QString invoice = QStringLiteral("F%1/%2").arg(account).arg(k);
            (check ? checkedInvoices : m_invoices).insert(invoice, { account, hundredths(cents) });
            c.overdue += hundredths(cents);
            details << placed({ { 1, QStringLiteral("01F01000001") }, { 12, account },
                { 35, QStringLiteral("BIM 1/2009") }, { 50, QStringLiteral("10012009") }, { 58, invoice },
                { 88, amountField(cents, 15) }, { 103, QStringLiteral("28022009") } });
        }
        const QStringList lines = QStringList {
            placed({ { 1, QStringLiteral("01A01000001") }, { 12, account }, { 27, QStringLiteral("ATTIVO") },
                { 39, QStringLiteral("DEBITORE ") + account }, { 79, QStringLiteral("VIA ROMA %1").arg(i) } }),
            placed({ { 1, QStringLiteral("01A02000001") }, { 12, account }, { 27, QStringLiteral("01022008") },
                { 137, c.decoder } }),
            placed({ { 1, QStringLiteral("01R01000001") }, { 12, account },
                { 27, amountField(c.overdue.raw() / 100, 15) }, { 42, QStringLiteral("01") } }),
        } + details;
        for (const QString& line : lines) {
            bytes += line.toLatin1() + "\r\n";
        }
    }
    m_ws.writeImportFile(name, bytes);
    return { QStringLiteral("orb %1").arg(lotto),
        { check ? QStringLiteral("check") : QStringLiteral("run"), QStringLiteral("orb"), QStringLiteral("--file"),
            name, QStringLiteral("--lotto"), QString::number(lotto), QStringLiteral("--mandato"), QStringLiteral("460"),
            QStringLiteral("--data-affido"), QStringLiteral("05/03/2010") },
        QStringLiteral("SELECT COUNT(*) FROM [tabella pratiche] WHERE lottoimportazione=?"), lotto, cases,
        check ? QStringLiteral("  pratiche: %1\n").arg(cases) : QStringLiteral("importazione conclusa") };
}

Desk Workload::collections(QChar tag, const QStringList& positions, int rounds)
{
    const QString name = QStringLiteral("incassi%1.txt").arg(tag);
    QByteArray bytes;
    for (int round = 1; round <= rounds; ++round) {
        for (int i = 0; i < positions.size(); ++i) {
            const QString& position = positions[i];
            const qint64 cents = (i % 89 + 1) * 10 + round;
            const QString invoice = tag + QString::number(round) + position.right(8);
            const QString line = QStringLiteral("ORB0001") + position.rightJustified(9, QLatin1Char('0')) + invoice
                + QStringLiteral("XXXX") + amountField(cents, 8) + QStringLiteral("YYYYYYYY05032010ZZZZZZ350RIF") + tag;
            bytes += line.toLatin1() + "\r\n";
            m_payments.insert(QStringLiteral("da file (Fatt.%1)").arg(invoice), { position, hundredths(cents) });
            m_cases[position].collected += hundredths(cents);
        }
    }
    m_ws.writeImportFile(name, bytes);
    return { QStringLiteral("incassi %1").arg(tag),
        { QStringLiteral("run"), QStringLiteral("incassi"), QStringLiteral("--file"), name, QStringLiteral("--mandato"),
            QStringLiteral("460") },
        QStringLiteral("SELECT COUNT(*) FROM [tabella pagamenti] WHERE causale LIKE ?"),
        QStringLiteral("da file (Fatt.%1%").arg(tag), static_cast<int>(positions.size()) * rounds,
        // Every payment is new: a payment after the assignment date is closed at once, so
        // none is ever waiting for a confirmation.
        QStringLiteral("importazione conclusa. Conferme di Pagamento effettuate: 0") };
}

QStringList Workload::check(TestDatabase& tdb, int* rows) const
{
    QStringList problems;
    int count = 0;
    auto problem = [&problems, &count](const QString& text) {
        ++count;
        if (problems.size() < 8) {
            problems << text;
        }
    };
    auto open = [](Recordset& rs, const QString& sql) {
        QString error;
        if (!rs.open(sql, {}, &error, Recordset::Mode::ForwardOnly)) {
            qFatal("%s: %s", qPrintable(sql), qPrintable(error));
        }
    };
    *rows = 0;

    QHash<qint64, QString> positionOf;
    QHash<QString, int> seen;
    Recordset cases(tdb.db(), Schema::kCases);
    open(cases,
        QStringLiteral("SELECT contatore, posizione, lottoimportazione, memoec, [RATE ARRETRATE], "
                       "[importo totale], [totale incassato] FROM [tabella pratiche]"));
    for (; !cases.eof(); cases.moveNext()) {
        ++*rows;
        const QString position = cases.text(QStringLiteral("posizione"));
        positionOf.insert(cases.key(), position);
        const auto it = m_cases.constFind(position);
        if (it == m_cases.constEnd()) {
            problem(QStringLiteral("a case no file asked for: %1").arg(position));
            continue;
        }
        if (++seen[position] > 1) {
            problem(QStringLiteral("case %1 saved %2 times").arg(position).arg(seen[position]));
        }
        const qint64 lotto = cases.value(QStringLiteral("lottoimportazione")).toLongLong();
        if (lotto != it->lotto) {
            problem(QStringLiteral("case %1 has batch %2, not %3").arg(position).arg(lotto).arg(it->lotto));
        }
        if (it->imported) {
            if (!cases.text(QStringLiteral("memoec")).contains(QStringLiteral("Decoder1 ") + it->decoder)) {
                problem(QStringLiteral("case %1 has another case's memo: %2")
                            .arg(position, cases.text(QStringLiteral("memoec")).left(200)));
            }
            if (cases.currency(QStringLiteral("importo totale")) != it->overdue
                || cases.value(QStringLiteral("RATE ARRETRATE")).toInt() != 1) {
                problem(QStringLiteral("case %1 owes %2, not %3")
                            .arg(position, cases.currency(QStringLiteral("importo totale")).toDecimalText(),
                                it->overdue.toDecimalText()));
            }
        }
        if (cases.currency(QStringLiteral("totale incassato")) != it->collected) {
            problem(QStringLiteral("case %1 has collected %2, its payments add up to %3")
                        .arg(position, cases.currency(QStringLiteral("totale incassato")).toDecimalText(),
                            it->collected.toDecimalText()));
        }
    }
    for (auto it = m_cases.constBegin(); it != m_cases.constEnd(); ++it) {
        if (!seen.contains(it.key())) {
            problem(QStringLiteral("case %1 is missing").arg(it.key()));
        }
    }

    // A row of a linked table: once, on the case of its line's position, with its line's amount.
    auto checkLinked = [&](const QString& table, const QString& sql, const QString& keyField,
                           const QString& amountField, const QHash<QString, Linked>& expected) {
        QHash<QString, int> found;
        Recordset rs(tdb.db(), table);
        open(rs, sql);
        for (; !rs.eof(); rs.moveNext()) {
            ++*rows;
            const QString key = rs.text(keyField).trimmed();
            const auto it = expected.constFind(key);
            if (it == expected.constEnd()) {
                problem(QStringLiteral("%1: a row no file asked for: %2").arg(table, key));
                continue;
            }
            if (++found[key] > 1) {
                problem(QStringLiteral("%1: %2 saved %3 times").arg(table, key).arg(found[key]));
            }
            const qint64 conta = rs.value(QStringLiteral("conta")).toLongLong();
            if (positionOf.value(conta) != it->position) {
                problem(QStringLiteral("%1: %2 belongs to case %3 but points at %4 (case %5)")
                            .arg(table, key, it->position)
                            .arg(conta)
                            .arg(positionOf.value(conta, QStringLiteral("none"))));
            }
            if (rs.currency(amountField) != it->amount) {
                problem(QStringLiteral("%1: %2 has %3, not %4")
                            .arg(table, key, rs.currency(amountField).toDecimalText(), it->amount.toDecimalText()));
            }
        }
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
            if (!found.contains(it.key())) {
                problem(QStringLiteral("%1: %2 is missing").arg(table, it.key()));
            }
        }
    };
    checkLinked(Schema::kInvoices, QStringLiteral("SELECT conta, [numero fattura], saldo FROM [tabella fatture]"),
        QStringLiteral("numero fattura"), QStringLiteral("saldo"), m_invoices);
    checkLinked(Schema::kPayments, QStringLiteral("SELECT conta, causale, totale FROM [tabella pagamenti]"),
        QStringLiteral("causale"), QStringLiteral("totale"), m_payments);

    if (count > problems.size()) {
        problems << QStringLiteral("... %1 problems in all").arg(count);
    }
    return problems;
}

Overlap runTogether(TestDatabase& tdb, const QList<Desk>& desks, QList<DeskOutcome>* outcomes)
{
    std::vector<std::unique_ptr<QProcess>> processes;
    for (const Desk& desk : desks) {
        auto p = std::make_unique<QProcess>();
        p->setProgram(qEnvironmentVariable("ZB32_BINARY"));
        p->setArguments(desk.args);
        p->start();
        processes.push_back(std::move(p));
    }
    Overlap overlap;
    QElapsedTimer clock;
    clock.start();
    qint64 lastContended = -1;
    for (;;) {
        QProcess* running = nullptr;
        bool allRunning = true;
        for (const auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                running = p.get();
            } else {
                allRunning = false;
            }
        }
        if (!running || clock.elapsed() > 120000) {
            break;
        }
        bool anyPartial = false;
        bool allPartial = true;
        QStringList counts;
        for (const Desk& desk : desks) {
            const int n = savedRows(tdb.db(), desk);
            const bool partial = n > 0 && n < desk.rows;
            anyPartial = anyPartial || partial;
            allPartial = allPartial && partial;
            counts << QStringLiteral("%1/%2").arg(n).arg(desk.rows);
        }
        const qint64 now = clock.elapsed();
        if (allRunning && anyPartial) {
            if (lastContended >= 0) {
                overlap.contendedMs += now - lastContended;
            }
            lastContended = now;
        } else {
            lastContended = -1;
        }
        overlap.bothWriting = overlap.bothWriting || (allRunning && allPartial);
        if (overlap.samples++ % 10 == 0) {
            overlap.trace += QStringLiteral(" %1ms:%2").arg(now).arg(counts.join(QLatin1Char(',')));
        }
        running->waitForFinished(20);
    }
    outcomes->clear();
    for (const auto& p : processes) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished();
        }
        if (p->error() == QProcess::FailedToStart) {
            outcomes->append({ -1, {}, p->errorString() });
            continue;
        }
        outcomes->append({ p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1,
            QString::fromUtf8(p->readAllStandardOutput()), QString::fromUtf8(p->readAllStandardError()) });
    }
    return overlap;
}

} // namespace zb32::test
