// The register of import runs.
#include "core/jobs/ImportRegister.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Currency.h"
#include "core/desk/Formats.h"
#include "core/desk/JsonText.h"
#include "core/desk/Platform.h"
#include "core/desk/Schema.h"
#include "core/desk/SqlDialect.h"
#include "core/desk/SqliteStatements.h"
#include "core/jobs/BatchData.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <algorithm>
#include <utility>

namespace zb32 {

namespace {

// Registers of this process with a run open: a run left "in corso" by this very process is
// over unless one of them holds it.
QAtomicInt s_openRuns;

QString userName()
{
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}

const char* const kBoxFields[]
    = { "data affido", "scadenza", "intervento", "lotto", "nome file", "mandato", "sit aff" };

} // namespace

QString ImportRegister::stamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime ImportRegister::fromStamp(const QString& text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QJsonValue ImportRegister::fieldValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        return QJsonValue::Null;
    }
    if (value.metaType() == QMetaType::fromType<Currency>()) {
        return value.value<Currency>().toDecimalText();
    }
    switch (value.metaType().id()) {
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return value.toLongLong();
    case QMetaType::Double:
        return value.toDouble();
    default:
        return value.toString();
    }
}

void ImportRegister::appendFieldValue(QByteArray* out, const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        out->append("null");
        return;
    }
    if (value.metaType() == QMetaType::fromType<Currency>()) {
        appendJsonText(out, static_cast<const Currency*>(value.constData())->toDecimalText());
        return;
    }
    switch (value.metaType().id()) {
    case QMetaType::QDate: {
        char text[12] = { '"' };
        if (writeIsoDate(*static_cast<const QDate*>(value.constData()), text + 1)) {
            text[11] = '"';
            out->append(text, sizeof text);
            return;
        }
        break;
    }
    case QMetaType::Bool:
        out->append(value.toBool() ? "true" : "false");
        return;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        out->append(QByteArray::number(value.toLongLong()));
        return;
    case QMetaType::QString:
        appendJsonText(out, *static_cast<const QString*>(value.constData()));
        return;
    default:
        break;
    }
    appendJsonValue(out, fieldValue(value));
}

QString ImportRegister::stateText(State state)
{
    switch (state) {
    case State::Running:
        return QStringLiteral("in corso");
    case State::Completed:
        return QStringLiteral("conclusa");
    case State::Stopped:
        return QStringLiteral("interrotta");
    case State::ConnectionLost:
        return QStringLiteral("connessione persa");
    case State::Undone:
        return QStringLiteral("annullata");
    }
    return {};
}

QString ImportRegister::modeText(Mode mode)
{
    switch (mode) {
    case Mode::New:
        return QStringLiteral("nuova");
    case Mode::Again:
        return QStringLiteral("di nuovo");
    case Mode::Resume:
        return QStringLiteral("ripresa");
    }
    return {};
}

ImportRegister::ImportRegister(CaseDatabase& db)
    : m_db(db)
    , m_runs(db, Schema::kImportRuns)
{ }

ImportRegister::~ImportRegister()
{
    setOpen(false);
}

void ImportRegister::setOpen(bool open)
{
    if (open != m_open) {
        m_open = open;
        open ? s_openRuns.ref() : s_openRuns.deref();
    }
}

bool ImportRegister::markStale(const QDateTime& now, QString* error)
{
    Recordset running(m_db, Schema::kImportRuns);
    if (!running.open(QStringLiteral("select * from [tabella importazioni] where stato = ?"),
            { stateText(State::Running) }, error)) {
        return false;
    }
    const QString host = QSysInfo::machineHostName();
    const qint64 self = QCoreApplication::applicationPid();
    for (; !running.eof(); running.moveNext()) {
        const qint64 pid = running.value(QStringLiteral("processo")).toLongLong();
        QDateTime last = fromStamp(running.text(QStringLiteral("ultimo salvataggio")));
        if (!last.isValid()) {
            last = fromStamp(running.text(QStringLiteral("inizio")));
        }
        QString why;
        if (running.text(QStringLiteral("postazione")).compare(host, Qt::CaseInsensitive) == 0
            && ((pid == self && s_openRuns.loadRelaxed() == 0) || (pid != self && !processAlive(pid)))) {
            why = QStringLiteral("il programma si è chiuso durante l'importazione");
        } else if (last.isValid() && last.secsTo(now) > kStaleAfterSecs) {
            why = QStringLiteral("nessun salvataggio dalle %1: la postazione non risponde più")
                      .arg(last.toString(QStringLiteral("HH:mm")));
        } else {
            continue;
        }
        const QString message = QStringLiteral("%1; ultima riga salvata: %2")
                                    .arg(why, running.text(QStringLiteral("ultima riga salvata")));
        if (!running.setValue(QStringLiteral("stato"), stateText(State::Stopped), error)
            || !running.setValue(QStringLiteral("fine"), stamp(now), error)
            || !running.setValue(QStringLiteral("messaggio"), message, error) || !running.update(error)) {
            return false;
        }
    }
    return true;
}

bool ImportRegister::latestRun(const QString& job, const QByteArray& sha256, Earlier* earlier, QString* error)
{
    *earlier = {};
    Recordset runs(m_db, Schema::kImportRuns);
    if (!runs.open(QStringLiteral("select top 1 * from [tabella importazioni] where lavoro = ? and sha256 = ? "
                                  "order by id desc"),
            { job, QString::fromLatin1(sha256) }, error, Recordset::Mode::ForwardOnly)) {
        return false;
    }
    if (runs.eof()) {
        return true;
    }
    earlier->run = runs.key();
    const QString state = runs.text(QStringLiteral("stato"));
    for (const State s : { State::Running, State::Completed, State::Stopped, State::ConnectionLost, State::Undone }) {
        if (state == stateText(s)) {
            earlier->state = s;
        }
    }
    earlier->start = fromStamp(runs.text(QStringLiteral("inizio")));
    earlier->workstation = runs.text(QStringLiteral("postazione"));
    for (const char* box : kBoxFields) {
        earlier->boxes << runs.text(QString::fromLatin1(box));
    }
    earlier->lastLineSaved = runs.value(QStringLiteral("ultima riga salvata")).toLongLong();
    earlier->clienti = runs.value(QStringLiteral("clienti")).toLongLong();
    earlier->fatture = runs.value(QStringLiteral("fatture")).toLongLong();
    // A resumed run saved only its part of the file: the runs it continues saved the rest.
    QString mode = runs.text(QStringLiteral("modo"));
    qint64 previous = runs.value(QStringLiteral("corsa precedente")).toLongLong();
    for (int hops = 0; mode == modeText(Mode::Resume) && previous > 0 && hops < 1000; ++hops) {
        Recordset before(m_db, Schema::kImportRuns);
        if (!before.open(QStringLiteral("select * from [tabella importazioni] where id = ?"), { previous }, error,
                Recordset::Mode::ForwardOnly)) {
            return false;
        }
        if (before.eof()) {
            break;
        }
        earlier->clienti += before.value(QStringLiteral("clienti")).toLongLong();
        earlier->fatture += before.value(QStringLiteral("fatture")).toLongLong();
        mode = before.text(QStringLiteral("modo"));
        previous = before.value(QStringLiteral("corsa precedente")).toLongLong();
    }
    return true;
}

bool ImportRegister::lookUp(
    const QString& job, const QByteArray& sha256, const QDateTime& now, Earlier* earlier, QString* error)
{
    // The runs left behind are marked in a transaction of their own, which takes turns with
    // the other desks' register writes.
    if (!Schema::createRegister(m_db, error) || !m_db.beginTransaction(error, true)) {
        return false;
    }
    if (!markStale(now, error) || !latestRun(job, sha256, earlier, error) || !m_db.commit(error)) {
        m_db.rollback();
        return false;
    }
    return true;
}

bool ImportRegister::begin(
    const Run& run, const BatchData& batch, const QDateTime& now, qint64 expected, Earlier* latest, QString* error)
{
    // Looking again and writing the row in one turn: two desks starting the same file at
    // once cannot both go on.
    if (!m_runs.openForAppend(error) || !m_db.beginTransaction(error, true)) {
        return false;
    }
    if (!latestRun(run.job, run.sha256, latest, error)) {
        m_db.rollback();
        return false;
    }
    if (expected >= 0 && latest->run != expected) {
        m_db.rollback();
        error->clear();
        return false;
    }
    if (!m_runs.addNew(error)) {
        m_db.rollback();
        return false;
    }
    const std::pair<const char*, QVariant> fields[] = {
        { "lavoro", run.job },
        { "nome file", batch.Text1[4] },
        { "dimensione", double(run.size) },
        { "sha256", QString::fromLatin1(run.sha256) },
        { "data affido", batch.Text1[0] },
        { "scadenza", batch.Text1[1] },
        { "intervento", batch.Text1[2] },
        { "lotto", batch.Text1[3] },
        { "mandato", batch.Text1[5] },
        { "sit aff", batch.Text1[6] },
        { "postazione", QSysInfo::machineHostName() },
        { "utente", userName() },
        { "processo", QCoreApplication::applicationPid() },
        { "inizio", stamp(now) },
        { "stato", stateText(State::Running) },
        { "modo", modeText(run.mode) },
        { "corsa precedente", run.previous > 0 ? QVariant(run.previous) : QVariant() },
    };
    for (const auto& [name, value] : fields) {
        if (!m_runs.setValue(QString::fromLatin1(name), value, error)) {
            m_runs.cancelUpdate();
            m_db.rollback();
            return false;
        }
    }
    Counts counts;
    counts.lastLineSaved = run.resumeAfter;
    if (!setCounts(counts, now, error) || !m_runs.update(error) || !m_db.commit(error)) {
        m_runs.cancelUpdate();
        m_db.rollback();
        return false;
    }
    setOpen(true);
    return true;
}

bool ImportRegister::setCounts(const Counts& counts, const QDateTime& now, QString* error)
{
    return m_runs.setValue(QStringLiteral("righe lette"), counts.linesRead, error)
        && m_runs.setValue(QStringLiteral("ultima riga salvata"), counts.lastLineSaved, error)
        && m_runs.setValue(QStringLiteral("clienti"), counts.clienti, error)
        && m_runs.setValue(QStringLiteral("fatture"), counts.fatture, error)
        && m_runs.setValue(QStringLiteral("ultimo salvataggio"), stamp(now), error);
}

bool ImportRegister::unfinishedImport(
    qint64 lotto, const QDateTime& now, Earlier* found, QString* fileName, QString* error)
{
    *found = {};
    bool present = false;
    for (const QString& t : m_db.tableNames()) {
        present = present || t.compare(Schema::kImportRuns, Qt::CaseInsensitive) == 0;
    }
    if (!present) {
        return true;
    }
    // Runs left behind by a process that is gone are marked where the database can be written;
    // a database open for reading only is read as it is.
    QString ignored;
    if (m_db.beginTransaction(&ignored, true)) {
        markStale(now, &ignored) && m_db.commit(&ignored) ? void() : m_db.rollback();
    }
    Recordset runs(m_db, Schema::kImportRuns);
    if (!runs.open(QStringLiteral("select * from [tabella importazioni] where stato <> ? and (lavoro = ? or lavoro "
                                  "= ?) order by id desc"),
            { stateText(State::Completed), QStringLiteral("orb"), QStringLiteral("vidiru") }, error)) {
        return false;
    }
    for (; !runs.eof(); runs.moveNext()) {
        if (leadingInteger(runs.text(QStringLiteral("lotto")), OutOfRange::Saturate) != lotto) {
            continue;
        }
        Earlier latest;
        if (!latestRun(
                runs.text(QStringLiteral("lavoro")), runs.text(QStringLiteral("sha256")).toLatin1(), &latest, error)) {
            return false;
        }
        if (latest.run > 0 && latest.state != State::Completed && latest.state != State::Undone) {
            *found = latest;
            *fileName = runs.text(QStringLiteral("nome file"));
            return true;
        }
    }
    return true;
}

bool ImportRegister::recordLetters(const Run& run, const BatchData& batch, qint64 letters, State state,
    const QString& message, const QDateTime& now, QString* error)
{
    Earlier ignored;
    if (!Schema::createRegister(m_db, error) || !begin(run, batch, now, -1, &ignored, error)) {
        // begin() writes only for the run it expects; -1 asks for no check of earlier runs.
        return false;
    }
    // The count goes with the run's end.
    const bool counted = m_runs.setValue(QStringLiteral("lettere"), letters, error);
    end(state, {}, message, now);
    return counted;
}

namespace {
const QString kInsertRecords = QStringLiteral("insert into [tabella importazioni record] (importazione, tabella, "
                                              "chiave, [valori precedenti], [valori scritti], [chiave fine]) values ");
} // namespace

void ImportRegister::rowsOf(const QList<Record>& records, QList<Record>* rows, QList<Record>* changed)
{
    // The records a group created stand in rows of consecutive keys, table by table: a group
    // hands out its keys in blocks, so a few rows stand for hundreds of records and the
    // register costs little beside the records themselves. Then the changes, in the order they
    // were made (a record created and changed in one group is created first).
    QStringList tables;
    QHash<QString, QList<qint64>> created;
    for (const Record& r : records) {
        if (!r.before.isEmpty()) {
            changed->append(r);
            continue;
        }
        auto it = created.find(r.table);
        if (it == created.end()) {
            tables.append(r.table);
            it = created.insert(r.table, {});
        }
        it->append(r.key);
    }
    for (const QString& table : std::as_const(tables)) {
        QList<qint64>& keys = created[table];
        std::sort(keys.begin(), keys.end());
        keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
        for (qsizetype i = 0; i < keys.size();) {
            qsizetype end = i + 1;
            while (end < keys.size() && keys[end] == keys[end - 1] + 1) {
                ++end;
            }
            Record range;
            range.table = table;
            range.key = keys[i];
            range.lastKey = keys[end - 1];
            rows->append(range);
            i = end;
        }
    }
}

bool ImportRegister::savedGroup(const QList<Record>& records, const Counts& counts, const QDateTime& now,
    SqlDialect::Statement* withCommit, QString* error, bool allWithCommit)
{
    if (withCommit && !m_db.dialect().sendsWithCommit()) {
        withCommit = nullptr;
    }
    const auto updateRun = [&](const QString& leading, const QVariantList& values) {
        return withCommit ? m_runs.updateLater(withCommit, error, leading, values)
                          : m_runs.update(error, leading, values);
    };
    if (!m_open) {
        return true;
    }
    QList<Record> rows;
    QList<Record> changed;
    rowsOf(records, &rows, &changed);
    // PostgreSQL takes a few record rows as a WITH clause of the run row's UPDATE: a group
    // commit of the case imports (a row or two a table) then costs the register one round trip.
    constexpr qsizetype kLeadingRows = 8;
    if (!setCounts(counts, now, error)) {
        m_runs.cancelUpdate();
        return false;
    }
    if (m_db.dialect().kind() != SqlDialect::Kind::PostgreSQL || rows.isEmpty()
        || (rows.size() > kLeadingRows && !allWithCommit) || !changed.isEmpty() || !m_runs.hasPendingChanges()) {
        if (!insertRows(rows, changed, error) || !updateRun({}, {})) {
            m_runs.cancelUpdate();
            return false;
        }
        return true;
    }
    QString leading = QStringLiteral("with [registro record] as (") + kInsertRecords;
    QVariantList values;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Record& r = rows[i];
        leading += (i ? QStringLiteral(", ") : QString()) + QStringLiteral("(?, ?, ?, NULL, NULL, ?)");
        values << runId() << r.table << r.key << std::max(r.key, r.lastKey);
    }
    leading += QLatin1Char(')');
    if (!updateRun(leading, values)) {
        m_runs.cancelUpdate();
        return false;
    }
    return true;
}

bool ImportRegister::insertRows(const QList<Record>& rows, const QList<Record>& changed, QString* error)
{
    const SqlDialect& d = m_db.dialect();
    // Beyond a few rows the server's own bulk load takes them all at once.
    constexpr qsizetype kCopiedFrom = 16;
    if (d.copiesRows() && rows.size() + changed.size() >= kCopiedFrom) {
        const QVariant run = runId();
        SqlDialect::CopyText data;
        const auto add = [&data](const std::initializer_list<QVariant>& values) {
            bool first = true;
            for (const QVariant& v : values) {
                if (!std::exchange(first, false)) {
                    data.append('\t');
                }
                SqlDialect::copyValue(&data, v);
            }
            data.append('\n');
        };
        for (const Record& r : rows) {
            add({ run, r.table, r.key, QVariant(), QVariant(), std::max(r.key, r.lastKey) });
        }
        for (const Record& r : changed) {
            add({ run, r.table, r.key, QString::fromUtf8(r.before), QString::fromUtf8(r.after), QVariant() });
        }
        QStringList columns;
        for (const char* c :
            { "importazione", "tabella", "chiave", "valori precedenti", "valori scritti", "chiave fine" }) {
            columns << d.quoteName(QLatin1String(c));
        }
        QSqlDatabase db = m_db.database();
        return d.copyIn(db, Schema::kImportRecords, columns, data.take(), error);
    }
    // A statement takes a power of two of rows, so a handful of prepared statements serve
    // every group (each size is prepared once a session).
    constexpr qsizetype kRowsPerStatement = 256;
    const auto send = [&](const QList<Record>& list, bool withValues) {
        for (qsizetype first = 0; first < list.size();) {
            qsizetype rowsNow = 1;
            while (rowsNow * 2 <= std::min(kRowsPerStatement, list.size() - first)) {
                rowsNow *= 2;
            }
            if (!insertRecords(list.mid(first, rowsNow), withValues, error)) {
                return false;
            }
            first += rowsNow;
        }
        return true;
    };
    return send(rows, false) && send(changed, true);
}

bool ImportRegister::insertRecords(const QList<Record>& records, bool withValues, QString* error)
{
    const QString tuple
        = withValues ? QStringLiteral("(?, ?, ?, ?, ?, NULL)") : QStringLiteral("(?, ?, ?, NULL, NULL, ?)");
    QString sql = kInsertRecords;
    for (qsizetype i = 0; i < records.size(); ++i) {
        sql += i ? QStringLiteral(", ") + tuple : tuple;
    }
    const qint64 run = runId();
    if (SqliteStatements* own = m_db.sqliteStatements()) {
        // SQLite's own statement: the JSON values go as the UTF-8 they are. As any statement,
        // it comes after what the lines before it wrote.
        if (!m_db.sendHeldWrites(error)) {
            return false;
        }
        sqlite3_stmt* s = own->prepared(m_db.dialect().translate(sql), error);
        if (!s) {
            return false;
        }
        int pos = 0;
        for (const Record& r : records) {
            SqliteStatements::bindInteger(s, pos++, run);
            own->bindKept(s, pos++, r.table);
            SqliteStatements::bindInteger(s, pos++, r.key);
            if (withValues) {
                SqliteStatements::bindUtf8(s, pos++, r.before);
                SqliteStatements::bindUtf8(s, pos++, r.after);
            } else {
                SqliteStatements::bindInteger(s, pos++, std::max(r.key, r.lastKey));
            }
        }
        return own->run(s, error);
    }
    QSqlQuery* q = m_db.statement(sql, error);
    if (!q) {
        return false;
    }
    int pos = 0;
    for (const Record& r : records) {
        q->bindValue(pos++, run);
        q->bindValue(pos++, r.table);
        q->bindValue(pos++, r.key);
        if (withValues) {
            q->bindValue(pos++, QString::fromUtf8(r.before));
            q->bindValue(pos++, QString::fromUtf8(r.after));
        } else {
            q->bindValue(pos++, std::max(r.key, r.lastKey));
        }
    }
    const bool done = q->exec();
    if (!done) {
        *error = q->lastError().text();
    }
    q->finish();
    return done;
}

void ImportRegister::end(State state, const Counts& counts, const QString& message, const QDateTime& now)
{
    if (!m_open) {
        return;
    }
    setOpen(false);
    QString ignored;
    if (m_db.inTransaction() || !m_db.beginTransaction(&ignored)) {
        m_runs.close();
        return;
    }
    if (!setCounts(counts, now, &ignored) || !m_runs.setValue(QStringLiteral("stato"), stateText(state), &ignored)
        || !m_runs.setValue(QStringLiteral("fine"), stamp(now), &ignored)
        || !m_runs.setValue(QStringLiteral("messaggio"), message, &ignored) || !m_runs.update(&ignored)
        || !m_db.commit(&ignored)) {
        m_runs.cancelUpdate();
        m_db.rollback();
    }
    m_runs.close();
}

} // namespace zb32
