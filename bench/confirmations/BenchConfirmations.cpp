// Records per second of the confirmation import on a generated database: the collections file
// (mode 0) and the expense workbook (mode 1), against one indexed lookup and one insert per
// record done directly on the database and, on PostgreSQL, two set-based references: the
// payments alone, and every write of the collections file on a copy of the database as generated.
//
//   bench_confirmations [--backend sqlite|postgresql] [--pg CONNSTRING] [--cases N]
//                       [--records N] [--rows N] [--seed N]
#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Platform.h"
#include "core/desk/Schema.h"
#include "core/imports/confirmations/CollectionLine.h"
#include "core/imports/confirmations/ConfirmationImport.h"
#include "core/jobs/Job.h"
#include "core/jobs/JobReporter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlError>
#include <QTemporaryDir>
#include <QTextStream>
#include <ctime>
#include <utility>

using namespace zb32;

namespace {

const QString kMandates = QStringLiteral("460,462,463,464,465,466,467");
constexpr int kCollectors = 50;

QTextStream& out()
{
    static QTextStream s(stdout);
    return s;
}

[[noreturn]] void die(const QString& why)
{
    out() << "bench_confirmations: " << why << Qt::endl;
    std::exit(1);
}

class QuietReporter : public JobReporter
{
public:
    void Addlist(const QString&) override { ++logLines; }
    void message(const QString& text) override { messages << text; }
    void error(const QString& text) override { errors << text; }
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 7), QTime(10, 0)); }

    int logLines = 0;
    QStringList messages;
    QStringList errors;
};

QSqlQuery prepare(CaseDatabase& db, const QString& sql)
{
    QSqlQuery q(db.database());
    if (!q.prepare(db.dialect().translate(sql))) {
        die(q.lastError().text());
    }
    return q;
}

void exec(QSqlQuery& q)
{
    if (!q.exec()) {
        die(q.lastError().text());
    }
}

void transaction(CaseDatabase& db, bool commit)
{
    QString why;
    if (commit ? !db.commit(&why) : !db.beginTransaction(&why)) {
        die(why);
    }
}

QString collector(int i)
{
    return QStringLiteral("E%1").arg(i % kCollectors, 2, 10, QLatin1Char('0'));
}

// 100,000 cases over eight mandate types (461 is not in the desk's list), an open instalment on
// every fourth, and VEC rates of every collector and of the agency.
void generateDatabase(CaseDatabase& db, int cases)
{
    const QStringList types = QStringLiteral("460,461,462,463,464,465,466,467").split(QLatin1Char(','));
    QSqlQuery c = prepare(db,
        QStringLiteral(
            "INSERT INTO [tabella pratiche] (posizione, [Tipo Mandato], [data Affido], [Situazione Affido], "
            "[codice esattore], [importo rata], [importo interessi], [importo spese], [importo speserecupero], "
            "[importo totale]) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    QSqlQuery p = prepare(db,
        QStringLiteral("INSERT INTO [tabella pagamenti] (conta, data, causale, totale, capitale) "
                       "VALUES (?, ?, ?, ?, ?)"));
    const bool sqlite = db.dialect().kind() == SqlDialect::Kind::SQLite;
    const auto date = [&](const QDate& d) { return sqlite ? QVariant(d.toString(Qt::ISODate)) : QVariant(d); };
    const auto amount = [&](int cents) {
        return sqlite ? QVariant(cents / 100.0) : QVariant(QString::number(cents / 100.0, 'f', 2));
    };
    transaction(db, false);
    for (int i = 1; i <= cases; ++i) {
        c.bindValue(0, QString::number(i));
        c.bindValue(1, types[i % types.size()]);
        c.bindValue(2, date(QDate(2009, 1, 1).addDays(i % 730)));
        c.bindValue(3, QStringLiteral("1"));
        c.bindValue(4, i % 10 == 0 ? QVariant(QMetaType::fromType<QString>()) : QVariant(collector(i)));
        const int rata = 10000 + (i % 500) * 100;
        c.bindValue(5, amount(rata));
        c.bindValue(6, amount(i % 7 == 0 ? 0 : 2500));
        c.bindValue(7, amount(1500));
        c.bindValue(8, amount(500));
        c.bindValue(9, amount(rata + 4500));
        exec(c);
        if (i % 4 == 0) {
            p.bindValue(0, i); // keys follow the insertion order on a fresh database
            p.bindValue(1, date(QDate(2010, 1, 1)));
            p.bindValue(2, QStringLiteral("rata"));
            p.bindValue(3, amount(1000 + (i % 300) * 100));
            p.bindValue(4, amount(1000 + (i % 300) * 100));
            exec(p);
        }
        if (i % 5000 == 0) {
            transaction(db, true);
            transaction(db, false);
        }
    }
    QSqlQuery r = prepare(db,
        QStringLiteral("INSERT INTO Aliquote (COD_AGENT, [codice cliente], modalita, AL1, AL2, "
                       "AL3, AL4, [AL FISSA]) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
    QStringList agents { QStringLiteral("999"), QStringLiteral("80") };
    for (int i = 0; i < kCollectors; ++i) {
        agents << collector(i);
    }
    for (const QString& agent : agents) {
        for (const QString& client : { kMandates, QStringLiteral("460") }) {
            for (const QString& mode : { QStringLiteral("VEC"), QStringLiteral("VN") }) {
                const QVariantList values { agent, client, mode, 10.0, 8.0, 6.0, 4.0, 2.5 };
                for (int k = 0; k < values.size(); ++k) {
                    r.bindValue(k, values[k]);
                }
                exec(r);
            }
        }
    }
    transaction(db, true);
}

// Collections records: 60% payments (some confirming the open instalment exactly), 15% invoices,
// 5% each outcome 37 and 36, 5% an unknown code; one position in ten has no case.
QByteArray generateCollections(int records, int cases, quint32 seed)
{
    QRandomGenerator rnd(seed);
    QByteArray bytes;
    bytes.reserve(records * 86);
    for (int n = 1; n <= records; ++n) {
        const bool unknown = rnd.bounded(10) == 0;
        const int position = unknown ? cases + 1 + rnd.bounded(100000) : 1 + rnd.bounded(cases);
        const int pick = rnd.bounded(100);
        QString code = QStringLiteral("350");
        if (pick >= 60 && pick < 75) {
            code = QStringLiteral("362");
        } else if (pick < 80 && pick >= 75) {
            code = QStringLiteral("37");
        } else if (pick < 85 && pick >= 80) {
            code = QStringLiteral("36");
        } else if (pick >= 85 && pick < 90) {
            code = QStringLiteral("351");
        }
        int cents = 100 + rnd.bounded(50000);
        if (code == QLatin1String("350") && position % 4 == 0 && rnd.bounded(3) == 0) {
            cents = 1000 + (position % 300) * 100; // the open instalment
        }
        QString reference = QStringLiteral("RIF%1").arg(n, 8, 10, QLatin1Char('0'));
        const int r = rnd.bounded(20);
        if (r == 0) {
            reference.prepend(QStringLiteral("611"));
        } else if (r == 1) {
            reference = QStringLiteral("3A05") + reference;
        } else if (r == 2) {
            reference.prepend(QLatin1Char('9'));
        }
        const QDate date = QDate(2009, 6, 1).addDays(rnd.bounded(700));
        const QString line = QStringLiteral("ORB%1").arg(n % 10000, 4, 10, QLatin1Char('0'))
            + QStringLiteral("%1").arg(position, 9, 10, QLatin1Char('0'))
            + QStringLiteral("F%1").arg(n, 9, 10, QLatin1Char('0')) + QStringLiteral("    ")
            + QStringLiteral("%1").arg(cents, 8, 10, QLatin1Char('0')) + QString(8, QLatin1Char('0'))
            + date.toString(QStringLiteral("ddMMyyyy")) + QString(6, QLatin1Char(' ')) + code.leftJustified(3)
            + reference.left(20);
        bytes += line.toLatin1() + "\r\n";
    }
    return bytes;
}

// The reference: one indexed lookup and one insert per record, prepared once, bound per record,
// committed every 500 records.
double rawRate(CaseDatabase& db, const QByteArray& bytes)
{
    QSqlQuery find = prepare(db,
        QStringLiteral("Select contatore from [tabella pratiche] where [Tipo Mandato]=? "
                       "AND posizione=?"));
    QSqlQuery add
        = prepare(db, QStringLiteral("INSERT INTO [tabella pagamenti] (conta, causale, totale) VALUES (?, ?, ?)"));
    const QList<QByteArray> lines = bytes.split('\n');
    QElapsedTimer t;
    t.start();
    transaction(db, false);
    int n = 0;
    for (const QByteArray& raw : lines) {
        if (raw.trimmed().isEmpty()) {
            continue;
        }
        const QString line = QString::fromLatin1(raw);
        find.bindValue(0, QStringLiteral("460"));
        find.bindValue(1, QString::number(line.mid(7, 9).toInt()));
        exec(find);
        if (find.next()) {
            add.bindValue(0, find.value(0));
            add.bindValue(1, QStringLiteral("raw"));
            add.bindValue(2, line.mid(30, 8).toInt() / 100.0);
            exec(add);
        }
        find.finish();
        if (++n % 500 == 0) {
            transaction(db, true);
            transaction(db, false);
        }
    }
    transaction(db, true);
    return n / (t.nsecsElapsed() / 1e9);
}

// The records of a collections file as COPY rows (position, code, amount, date, reference,
// invoice), each after its number in the file's order when `numbered`; `records` counts them.
QByteArray copyRows(const QByteArray& bytes, bool numbered, int* records)
{
    const QDate today(2026, 12, 7);
    QByteArray rows;
    for (const QByteArray& raw : bytes.split('\n')) {
        const CollectionLine line = decodeCollectionLine(QString::fromLatin1(raw), today);
        if (line.empty || line.truncated()) {
            continue;
        }
        ++*records;
        if (numbered) {
            rows.append(QByteArray::number(*records)).append('\t');
        }
        const ConfirmationRecord& r = line.record;
        bool first = true;
        for (const QVariant& v : { QVariant(r.position), QVariant(r.code), QVariant(r.amount.toDecimalText()),
                 QVariant(r.date), QVariant(r.reference), QVariant(r.invoiceNumber) }) {
            if (!std::exchange(first, false)) {
                rows.append('\t');
            }
            SqlDialect::copyValue(&rows, v);
        }
        rows.append('\n');
    }
    return rows;
}

// The set-based reference (PostgreSQL): the records loaded with COPY into a temporary table, then
// one INSERT ... SELECT of a payment for every payment record whose case is found (the lowest key
// of the position among the desk's mandate types) and one UPDATE ... FROM adding them up in the
// cases' collected totals, in one transaction. Records per second, the decoding of the lines counted.
double setBasedRate(CaseDatabase& db, const QByteArray& bytes)
{
    QElapsedTimer t;
    t.start();
    int n = 0;
    const QByteArray rows = copyRows(bytes, false, &n);
    QSqlDatabase sql = db.database();
    transaction(db, false);
    QString why;
    const QString cases = QStringLiteral(
        "(SELECT r.*, c.contatore, c.\"codice esattore\" FROM zb32_ref r JOIN LATERAL (SELECT p.contatore, "
        "p.\"codice esattore\" FROM \"tabella pratiche\" p WHERE p.posizione = r.posizione AND p.\"tipo mandato\" = "
        "ANY(string_to_array('%1', ',')) ORDER BY p.contatore LIMIT 1) c ON true WHERE r.codice = '350')")
                              .arg(kMandates);
    if (!db.exec(QStringLiteral("CREATE TEMP TABLE zb32_ref (posizione text, codice text, importo numeric, data date, "
                                "riferimento text, fattura text) ON COMMIT DROP"),
            &why)
        || !db.dialect().copyIn(sql, QStringLiteral("zb32_ref"),
            { QStringLiteral("posizione"), QStringLiteral("codice"), QStringLiteral("importo"), QStringLiteral("data"),
                QStringLiteral("riferimento"), QStringLiteral("fattura") },
            rows, &why)
        || !db.exec(QStringLiteral("INSERT INTO \"tabella pagamenti\" (conta, data, datascarico, causale, totale, "
                                   "capitale, codesattore, modo) SELECT contatore, DATE '2026-12-07', data, 'da file "
                                   "(Fatt.' || fattura || ')', importo, importo, coalesce(\"codice esattore\", '80'), "
                                   "'VN' FROM %1 AS f")
                        .arg(cases),
            &why)
        || !db.exec(QStringLiteral("UPDATE \"tabella pratiche\" AS p SET \"totale incassato\" = "
                                   "coalesce(p.\"totale incassato\", 0) + s.total, assignment_id = '76' FROM (SELECT "
                                   "contatore, sum(importo) AS total FROM %1 AS f GROUP BY contatore) AS s WHERE "
                                   "p.contatore = s.contatore")
                        .arg(cases),
            &why)) {
        die(why);
    }
    transaction(db, true);
    return n / (t.nsecsElapsed() / 1e9);
}

// What a set-based run wrote, for comparison with the import's counters.
struct SetBasedRun
{
    int records = 0;
    double seconds = 0;
    int payments = 0; // new payments inserted
    int invoices = 0; // invoices inserted
    int matched = 0; // open instalments a record takes
    int confirmed = 0; // open instalments confirmed (the UPDATE's rows)
    int confirmedPosted = 0; // new payments the run posts open and a later record confirms
    int cases = 0; // cases updated
};

// Runs one statement of the full reference; the rows it wrote.
int execCounted(CaseDatabase& db, const QString& sql)
{
    QSqlQuery q(db.database());
    if (!q.exec(sql)) {
        die(q.lastError().text());
    }
    return q.numRowsAffected();
}

// The full set-based reference (PostgreSQL), on a database as it was before the import: the
// writes of the collections file, set-based, in one transaction.
// - The records are loaded with COPY, their line order kept, and each one's case is resolved once
//   (the lowest key of the position among the desk's mandate types) with the fields of the case
//   the postings read.
// - Confirmations: a payment record (not a reversal, not a "9" reference) confirms the first open
//   instalment of its case that its amount confirms, an instalment taken by the first such
//   record; a record left without one confirms an earlier new payment of its case that the run
//   posts open ("VN"). This is close to the import's, not the same: a record whose instalment an
//   earlier one took posts a new payment here, where the import would try the case's next open
//   instalment; and the second kind is matched in one pass (a record that loses the payment it
//   matched to an earlier record neither tries the next one nor counts as a payment left open).
// - Each record's moment in its case is worked out with window functions in line order: the
//   instalment due as the earlier invoices lowered it, the total collected so far, whether this
//   payment pays the case off, whether the collector was taken off the case by an earlier
//   outcome 37 or payoff (the collector then is the agency's "80"). From that, one UPDATE ... FROM
//   confirms the instalments, one INSERT ... SELECT each adds the new payments (split over the
//   dues, "VEC" rates of the collector and the agency) and the invoices, and one UPDATE ... FROM
//   changes every case once with all its records' changes (collected total, lowered amounts,
//   situation, assignment, collector moved, modified mark).
// - Left out: the import's register rows (its bookkeeping to undo and resume a run) and the
//   range checks of the amounts.
// Timed from the decoding of the lines on, as the other references.
SetBasedRun fullSetBasedRun(CaseDatabase& db, const QByteArray& bytes)
{
    QElapsedTimer t;
    t.start();
    SetBasedRun run;
    const QByteArray rows = copyRows(bytes, true, &run.records);
    QSqlDatabase sql = db.database();
    transaction(db, false);
    QString why;
    if (!db.exec(QStringLiteral("CREATE TEMP TABLE zb32_full (riga integer, posizione text, codice text, importo "
                                "numeric, data date, riferimento text, fattura text) ON COMMIT DROP"),
            &why)
        || !db.dialect().copyIn(sql, QStringLiteral("zb32_full"),
            { QStringLiteral("riga"), QStringLiteral("posizione"), QStringLiteral("codice"), QStringLiteral("importo"),
                QStringLiteral("data"), QStringLiteral("riferimento"), QStringLiteral("fattura") },
            rows, &why)) {
        die(why);
    }
    // Kinds: P payment, F invoice (code 362, or a payment with a "9" reference), 37 and 36
    // outcomes. A reversal ("3" and a digit fourth, or "3" and shorter) posts its amount negated.
    execCounted(db,
        QStringLiteral(R"sql(
CREATE TEMP TABLE zb32_rec ON COMMIT DROP AS
SELECT r.riga, r.importo, r.data, r.riferimento, r.fattura, k.tipo, k.storno,
       CASE WHEN k.storno THEN -r.importo ELSE r.importo END AS importo_p, c.*
FROM zb32_full r
CROSS JOIN LATERAL (SELECT CASE WHEN r.codice = '362' OR (r.codice = '350' AND r.riferimento LIKE '9%')
                                THEN 'F' WHEN r.codice = '350' THEN 'P' ELSE r.codice END AS tipo,
                           r.codice = '350' AND r.riferimento NOT LIKE '9%'
                               AND r.riferimento ~ '^3(.{0,2}$|..[0-9])' AS storno) k
JOIN LATERAL (SELECT p.contatore AS conta, p."data affido" AS affido, p."codice esattore" AS esattore,
                     p."importo rata" AS rata, p."importo interessi" AS interessi, p."importo spese" AS spese,
                     p."importo speserecupero" AS recupero, p."totale incassato" AS incassato
              FROM "tabella pratiche" p
              WHERE p.posizione = r.posizione AND p."tipo mandato" = ANY(string_to_array('%1', ','))
              ORDER BY p.contatore LIMIT 1) c ON true
WHERE r.codice IN ('350', '362', '37', '36'))sql")
            .arg(kMandates));
    // The planner has no figures of a temporary table without it (the self-join below would be
    // a nested loop).
    execCounted(db, QStringLiteral("ANALYZE zb32_rec"));
    // Each instalment to the first record that takes it, each record to its first instalment.
    run.matched = execCounted(db, QStringLiteral(R"sql(
CREATE TEMP TABLE zb32_conf ON COMMIT DROP AS
SELECT DISTINCT ON (m.id) m.riga, m.id, NULL::integer AS bersaglio
FROM (SELECT DISTINCT ON (r.riga) r.riga, i.id
      FROM zb32_rec r
      JOIN "tabella pagamenti" i ON i.conta = r.conta AND i.dataricevuta IS NULL
                                AND r.importo > i.totale - 1 AND r.importo < i.totale + 1
      WHERE r.tipo = 'P' AND NOT r.storno
      ORDER BY r.riga, i.id) m
ORDER BY m.id, m.riga)sql"));
    execCounted(db, QStringLiteral("ANALYZE zb32_conf"));
    // Then a record left without one to the first earlier new payment of its case posted open.
    run.confirmedPosted = execCounted(db, QStringLiteral(R"sql(
INSERT INTO zb32_conf (riga, bersaglio)
WITH m AS (
    SELECT DISTINCT ON (x.bersaglio) x.riga, x.bersaglio
    FROM (SELECT DISTINCT ON (c.riga) c.riga, o.riga AS bersaglio
          FROM zb32_rec c
          JOIN zb32_rec o ON o.conta = c.conta AND o.riga < c.riga
                         AND c.importo > o.importo_p - 1 AND c.importo < o.importo_p + 1
          WHERE c.tipo = 'P' AND NOT c.storno AND o.tipo = 'P' AND NOT (o.affido IS NOT NULL AND o.data >= o.affido)
            AND NOT EXISTS (SELECT 1 FROM zb32_conf g WHERE g.riga = c.riga)
            AND NOT EXISTS (SELECT 1 FROM zb32_conf g WHERE g.riga = o.riga)
          ORDER BY c.riga, o.riga) x
    ORDER BY x.bersaglio, x.riga)
SELECT riga, bersaglio FROM m WHERE bersaglio NOT IN (SELECT riga FROM m))sql"));
    execCounted(db, QStringLiteral(R"sql(
CREATE TEMP TABLE zb32_state ON COMMIT DROP AS
SELECT m.*,
       CASE WHEN coalesce(bool_or(m.tipo = '37' OR m.saldata) OVER (PARTITION BY m.conta ORDER BY m.riga
                              ROWS BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING), false)
            THEN '80' ELSE coalesce(nullif(m.esattore, ''), '80') END AS esattore_ora
FROM (SELECT e.*, e.registrato AND e.rata_ora IS NOT NULL AND e.incassato_ora > e.rata_ora - 1 AS saldata
      FROM (SELECT r.*, c.id AS conferma, b.riga IS NOT NULL AS chiusa,
                   r.tipo = 'P' AND c.riga IS NULL AS registrato,
                   r.rata - coalesce(sum(r.importo) FILTER (WHERE r.tipo = 'F') OVER (PARTITION BY r.conta
                       ORDER BY r.riga ROWS BETWEEN UNBOUNDED PRECEDING AND 1 PRECEDING), 0) AS rata_ora,
                   coalesce(r.incassato, 0) + coalesce(sum(r.importo_p) FILTER (WHERE r.tipo = 'P' AND c.riga IS NULL)
                       OVER (PARTITION BY r.conta ORDER BY r.riga ROWS UNBOUNDED PRECEDING), 0) AS incassato_ora
            FROM zb32_rec r
            LEFT JOIN zb32_conf c ON c.riga = r.riga
            LEFT JOIN zb32_conf b ON b.bersaglio = r.riga) e) m)sql"));
    run.confirmed = execCounted(db, QStringLiteral(R"sql(
UPDATE "tabella pagamenti" AS p
SET dataricevuta = DATE '2026-12-08', codesattore = coalesce(p.codesattore, s.esattore_ora)
FROM zb32_state s
WHERE s.conferma IS NOT NULL AND p.id = s.conferma)sql"));
    // The split as the import's: capital (not for a "611" reference), interest, expenses and
    // recovery costs each up to its due, a remainder above zero to capital. A new payment
    // confirmed by a later record goes in confirmed.
    run.payments = execCounted(db,
        QStringLiteral(R"sql(
WITH al AS (
    SELECT DISTINCT ON (cod_agent) cod_agent, al1, al2, al3, al4, "al fissa" AS fissa
    FROM aliquote
    WHERE "codice cliente" = '%1' AND modalita = 'VEC' AND cod_agent IS NOT NULL
    ORDER BY cod_agent, id)
INSERT INTO "tabella pagamenti" (conta, data, datascarico, dataricevuta, causale, totale, capitale, interesse, spese,
                                 speserecupero, codesattore, modo, al_e_1, al_e_2, al_e_3, al_e_4, al_e_5,
                                 al_a_1, al_a_2, al_a_3, al_a_4, al_a_5)
SELECT s.conta, DATE '2026-12-07', s.data,
       CASE WHEN k.vec THEN CASE WHEN k.r611 THEN DATE '2026-12-08' ELSE DATE '2026-12-07' END
            WHEN s.chiusa THEN DATE '2026-12-08' END,
       'da file (Fatt.' || s.fattura || ')', s.importo_p, s1.c + greatest(s4.r, 0), s2.c, s3.c, s4.c,
       s.esattore_ora, CASE WHEN k.vec THEN 'VEC' ELSE 'VN' END,
       CASE WHEN k.vec THEN e.al1 ELSE 0 END, CASE WHEN k.vec THEN e.al2 ELSE 0 END,
       CASE WHEN k.vec THEN e.al3 ELSE 0 END, CASE WHEN k.vec THEN e.al4 ELSE 0 END,
       CASE WHEN k.vec THEN e.fissa ELSE 0 END,
       CASE WHEN k.vec THEN a.al1 ELSE 0 END, CASE WHEN k.vec THEN a.al2 ELSE 0 END,
       CASE WHEN k.vec THEN a.al3 ELSE 0 END, CASE WHEN k.vec THEN a.al4 ELSE 0 END,
       CASE WHEN k.vec THEN a.fissa ELSE 0 END
FROM zb32_state s
CROSS JOIN LATERAL (SELECT s.affido IS NOT NULL AND s.data >= s.affido AS vec,
                           s.riferimento LIKE '611%' AS r611) k
CROSS JOIN LATERAL (SELECT x.c, s.importo_p - x.c AS r
                    FROM (SELECT CASE WHEN k.r611 OR s.importo_p = 0 THEN 0
                                      ELSE least(coalesce(s.rata_ora, 0), s.importo_p) END AS c) x) s1
CROSS JOIN LATERAL (SELECT x.c, s1.r - x.c AS r
                    FROM (SELECT CASE WHEN s1.r = 0 THEN 0 ELSE least(coalesce(s.interessi, 0), s1.r) END AS c) x) s2
CROSS JOIN LATERAL (SELECT x.c, s2.r - x.c AS r
                    FROM (SELECT CASE WHEN s2.r = 0 THEN 0 ELSE least(coalesce(s.spese, 0), s2.r) END AS c) x) s3
CROSS JOIN LATERAL (SELECT x.c, s3.r - x.c AS r
                    FROM (SELECT CASE WHEN s3.r = 0 THEN 0 ELSE least(coalesce(s.recupero, 0), s3.r) END AS c) x) s4
LEFT JOIN al e ON e.cod_agent = s.esattore_ora
LEFT JOIN al a ON a.cod_agent = '999'
WHERE s.registrato
ORDER BY s.riga)sql")
            .arg(kMandates));
    run.invoices = execCounted(db, QStringLiteral(R"sql(
INSERT INTO "tabella fatture" (conta, "numero fattura", periodo, "data fattura", "data scadenza", saldo)
SELECT conta, fattura, riferimento, data, data, -importo FROM zb32_state WHERE tipo = 'F' ORDER BY riga)sql"));
    // A case's situation and assignment are its last record's that sets them; a case only
    // confirmed stays as it is.
    run.cases = execCounted(db, QStringLiteral(R"sql(
UPDATE "tabella pratiche" AS p
SET "totale incassato" = CASE WHEN a.registrati THEN coalesce(p."totale incassato", 0) + a.incassi
                              ELSE p."totale incassato" END,
    "importo rata" = p."importo rata" - a.fatture,
    "importo totale" = p."importo totale" - a.fatture,
    "situazione affido" = coalesce(a.situazione, p."situazione affido"),
    assignment_id = coalesce(a.assignment, p.assignment_id),
    "codice esattore2" = CASE WHEN a.revoca AND p."codice esattore" IS NOT NULL THEN p."codice esattore"
                              ELSE p."codice esattore2" END,
    "codice esattore" = CASE WHEN a.revoca THEN NULL ELSE p."codice esattore" END,
    datamodificadaesattori = CASE WHEN a.modifica THEN '07/12/2026' ELSE p.datamodificadaesattori END,
    modificadaesattori = CASE WHEN a.modifica THEN 1 ELSE p.modificadaesattori END
FROM (SELECT conta, bool_or(registrato) AS registrati,
             coalesce(sum(importo_p) FILTER (WHERE registrato), 0) AS incassi,
             coalesce(sum(importo) FILTER (WHERE tipo = 'F'), 0) AS fatture,
             (array_agg(CASE tipo WHEN '37' THEN '50' WHEN '36' THEN 'RIA' ELSE '48' END ORDER BY riga DESC)
                  FILTER (WHERE tipo IN ('37', '36') OR saldata))[1] AS situazione,
             (array_agg(CASE WHEN saldata THEN '78' ELSE '76' END ORDER BY riga DESC)
                  FILTER (WHERE registrato))[1] AS assignment,
             bool_or(tipo = '37' OR saldata) AS revoca,
             bool_or(tipo <> 'P') AS modifica
      FROM zb32_state
      GROUP BY conta
      HAVING bool_or(registrato OR tipo <> 'P')) a
WHERE p.contatore = a.conta)sql"));
    transaction(db, true);
    run.seconds = t.nsecsElapsed() / 1e9;
    if (run.confirmed != run.matched) {
        die(QStringLiteral("the full reference confirmed %1 instalments of the %2 it matched")
                .arg(run.confirmed)
                .arg(run.matched));
    }
    return run;
}

// What the collections file left in the cases, payments and invoices, as counts and checksums
// that do not depend on the keys the rows were given (outside the timings).
QString writtenState(CaseDatabase& db)
{
    QSqlQuery q(db.database());
    if (!q.exec(QStringLiteral(
            "SELECT (SELECT count(*) FROM \"tabella pratiche\" WHERE assignment_id IS NOT NULL OR "
            "modificadaesattori = 1), (SELECT left(md5(string_agg(t::text, ',' ORDER BY contatore)), 8) FROM "
            "(SELECT contatore, \"totale incassato\", \"importo rata\", \"importo totale\", \"situazione affido\", "
            "assignment_id, \"codice esattore\", \"codice esattore2\", datamodificadaesattori, modificadaesattori "
            "FROM \"tabella pratiche\") t), (SELECT count(*) FROM \"tabella pagamenti\" WHERE causale = 'rata' AND "
            "dataricevuta IS NOT NULL), (SELECT count(*) FROM \"tabella pagamenti\"), (SELECT "
            "left(md5(string_agg(t::text, ',' ORDER BY t::text)), 8) FROM (SELECT conta, data, datascarico, "
            "dataricevuta, causale, totale, capitale, interesse, spese, speserecupero, codesattore, modo, al_e_1, "
            "al_e_2, al_e_3, al_e_4, al_e_5, al_a_1, al_a_2, al_a_3, al_a_4, al_a_5 FROM \"tabella pagamenti\") "
            "t), (SELECT count(*) FROM \"tabella fatture\"), (SELECT left(md5(string_agg(t::text, ',' ORDER BY "
            "t::text)), 8) FROM (SELECT conta, \"numero fattura\", periodo, \"data fattura\", \"data scadenza\", "
            "saldo FROM \"tabella fatture\") t)"))
        || !q.next()) {
        die(q.lastError().text());
    }
    return QStringLiteral("%1 cases changed (%2), %3 generated instalments confirmed, %4 payment rows in all "
                          "(%5), %6 invoice rows (%7)")
        .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
            q.value(4).toString(), q.value(5).toString(), q.value(6).toString());
}

struct Timing
{
    int records;
    double seconds; // wall clock
    double cpuSeconds; // this process only: the machine is shared, so wall time drifts with others' load
    QString closing;
};

double cpuNow()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

Timing runJob(int mode, const QString& file, int records)
{
    BatchData batch = BatchData::defaults(QDate(2026, 12, 7));
    batch.Text1[4] = file;
    batch.Text1[5] = kMandates;
    batch.chkRevocaCop = true;
    QuietReporter report;
    CaseDatabase db;
    JobContext ctx { db, batch, report };
    QString why;
    if (!db.ApriDB(&why)) {
        die(why); // opened before the clock starts
    }
    QElapsedTimer t;
    t.start();
    const double cpu = cpuNow();
    const JobResult r = ImportaPag(ctx, mode);
    const double seconds = t.nsecsElapsed() / 1e9;
    const double cpuSeconds = cpuNow() - cpu;
    if (r.status != JobStatus::Completed) {
        die(QStringLiteral("the run stopped: %1").arg(report.errors.join(QLatin1Char(' '))));
    }
    return { records, seconds, cpuSeconds,
        report.messages.value(0) + QStringLiteral(" (non trovate: %1)").arg(report.logLines) };
}

QString optionValue(const QStringList& args, const QString& name, const QString& fallback)
{
    const qsizetype i = args.indexOf(name);
    return (i >= 0 && i + 1 < args.size()) ? args[i + 1] : fallback;
}

} // namespace

int main(int argc, char** argv)
{
    // As the desk itself runs (see there).
    zb32::restartWithAvx2StringFunctions(argv);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString backend = optionValue(args, QStringLiteral("--backend"), QStringLiteral("sqlite"));
    const int cases = optionValue(args, QStringLiteral("--cases"), QStringLiteral("100000")).toInt();
    const int records = optionValue(args, QStringLiteral("--records"), QStringLiteral("100000")).toInt();
    const int rows = optionValue(args, QStringLiteral("--rows"), QStringLiteral("20000")).toInt();
    const quint32 seed = optionValue(args, QStringLiteral("--seed"), QStringLiteral("7")).toUInt();

    QTemporaryDir dir;
    const QString z = dir.path() + QStringLiteral("/Z");
    QDir().mkpath(z + QStringLiteral("/work/kx32/dati"));
    QDir().mkpath(z + QStringLiteral("/work/kx32/import"));
    qputenv("ZB32_DRIVE_Z", QFile::encodeName(z));
    if (qEnvironmentVariableIsEmpty("ZB32_XLS_READER")) {
        qputenv("ZB32_XLS_READER", QByteArrayLiteral(ZB32_BENCH_XLS_READER));
    }

    QString connString;
    QString server;
    // The server's connection string naming another database.
    const auto onDatabase = [&server](const QString& name) {
        QStringList items;
        for (const QString& item : server.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            if (!item.trimmed().startsWith(QLatin1String("Database="), Qt::CaseInsensitive)) {
                items << item;
            }
        }
        return items.join(QLatin1Char(';')) + QStringLiteral(";Database=") + name;
    };
    if (backend == QLatin1String("sqlite")) {
        connString = QStringLiteral("Provider=SQLite;Data Source=%1/work/kx32/dati/bench.db").arg(z);
    } else if (backend == QLatin1String("postgresql")) {
        server = optionValue(args, QStringLiteral("--pg"), qEnvironmentVariable("ZB32_BENCH_PG"));
        if (server.isEmpty()) {
            die(QStringLiteral("--pg CONNSTRING (or ZB32_BENCH_PG) names the PostgreSQL server"));
        }
        CaseDatabase admin;
        QString why;
        if (!admin.open(server, &why)
            || !admin.exec(QStringLiteral("DROP DATABASE IF EXISTS zb32_bench WITH (FORCE)"), &why)
            || !admin.exec(QStringLiteral("CREATE DATABASE zb32_bench"), &why)) {
            die(why);
        }
        connString = onDatabase(QStringLiteral("zb32_bench"));
    } else {
        die(QStringLiteral("unknown backend %1").arg(backend));
    }
    QFile ini(z + QStringLiteral("/work/kx32/dati/kx32.ini"));
    if (!ini.open(QIODevice::WriteOnly)) {
        die(ini.errorString());
    }
    ini.write("[datiserver]\r\nconnstring=" + connString.toUtf8() + "\r\n");
    ini.close();

    QElapsedTimer t;
    t.start();
    {
        CaseDatabase db;
        QString why;
        if (!db.open(connString, &why, true) || !Schema::create(db, &why)) {
            die(why);
        }
        generateDatabase(db, cases);
        if (db.dialect().kind() == SqlDialect::Kind::PostgreSQL) {
            db.exec(QStringLiteral("ANALYZE"), nullptr);
        }
    } // closed: a template database takes no other connection while it is copied
    const bool postgres = backend == QLatin1String("postgresql");
    const QString refConnString = onDatabase(QStringLiteral("zb32_bench_ref"));
    // The database as the import finds it, for the full set-based reference.
    const auto adminExec = [&server](const QString& sql) {
        CaseDatabase admin;
        QString why;
        if (!admin.open(server, &why) || !admin.exec(sql, &why)) {
            die(why);
        }
    };
    if (postgres) {
        adminExec(QStringLiteral("DROP DATABASE IF EXISTS zb32_bench_ref WITH (FORCE)"));
        adminExec(QStringLiteral("CREATE DATABASE zb32_bench_ref TEMPLATE zb32_bench"));
    }
    const QByteArray collections = generateCollections(records, cases, seed);
    QFile f(z + QStringLiteral("/work/kx32/import/incassi.txt"));
    if (!f.open(QIODevice::WriteOnly) || f.write(collections) != collections.size()) {
        die(f.errorString());
    }
    f.close();
    const QString book = z + QStringLiteral("/work/kx32/import/spese.xls");
    if (QProcess::execute(QStringLiteral("/usr/bin/python3"),
            { QStringLiteral(ZB32_BENCH_WORKBOOK_SCRIPT), QString::number(rows), QString::number(cases),
                QString::number(seed), book })
        != 0) {
        die(QStringLiteral("the workbook was not made (python3-xlwt missing?)"));
    }
    out() << backend << ": " << cases << " cases generated in " << QString::number(t.elapsed() / 1000.0, 'f', 1) << " s"
          << Qt::endl;

    const auto report = [](const char* what, const Timing& run) {
        out() << what << run.records << ": " << QString::number(run.seconds, 'f', 2) << " s, "
              << qRound(run.records / run.seconds) << " per second (" << QString::number(run.cpuSeconds, 'f', 2)
              << " s of CPU, " << qRound(run.records / run.cpuSeconds) << " per CPU second) — " << run.closing
              << Qt::endl;
    };
    const Timing collected = runJob(0, QStringLiteral("incassi.txt"), records);
    report("collections file, records ", collected);
    QString importState;
    if (postgres) {
        CaseDatabase db;
        QString why;
        if (!db.open(connString, &why)) {
            die(why);
        }
        importState = writtenState(db); // before the workbook adds its own
    }
    report("expense workbook, rows ", runJob(1, QStringLiteral("spese.xls"), rows));

    if (postgres) {
        SetBasedRun full;
        QString refState;
        {
            CaseDatabase ref;
            QString why;
            if (!ref.open(refConnString, &why)) {
                die(why);
            }
            full = fullSetBasedRun(ref, collections);
            refState = writtenState(ref);
        }
        adminExec(QStringLiteral("DROP DATABASE zb32_bench_ref"));
        const double fullSeconds = full.seconds;
        out() << "full set-based reference (every write of the import, set-based): "
              << qRound(full.records / fullSeconds) << " records/s (" << QString::number(fullSeconds, 'f', 2) << " s); "
              << full.payments << " payments and " << full.invoices << " invoices inserted, "
              << full.confirmed + full.confirmedPosted << " instalments confirmed (" << full.confirmed
              << " found open, " << full.confirmedPosted << " new payments the run posted open), " << full.cases
              << " cases updated" << Qt::endl;
        out() << "  import wrote:    " << importState << Qt::endl;
        out() << "  reference wrote: " << refState << Qt::endl;
        CaseDatabase db;
        QString why;
        if (!db.open(connString, &why)) {
            die(why);
        }
        const double setBased = setBasedRate(db, collections);
        out() << "set-based reference (COPY, INSERT ... SELECT, UPDATE ... FROM): " << qRound(setBased) << " records/s"
              << Qt::endl;
        out() << "import time / reference time (collections file): "
              << QString::number(collected.seconds / fullSeconds, 'f', 2) << " x the full reference, "
              << QString::number(collected.seconds * setBased / collected.records, 'f', 2) << " x the payments-only one"
              << Qt::endl;
    }
    CaseDatabase db;
    QString why;
    if (!db.open(connString, &why)) {
        die(why);
    }
    out() << "raw lookup + insert per record: " << qRound(rawRate(db, collections)) << " records/s" << Qt::endl;
    return 0;
}
