// Taking an import run back.
#include "core/jobs/RunUndo.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/FieldCodec.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/desk/SqlDialect.h"
#include "core/jobs/ImportRegister.h"
#include "core/jobs/JobReporter.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <algorithm>

namespace zb32 {

namespace {

// Keys bound into one statement: well under every driver's limit of parameters.
constexpr qsizetype kKeysPerStatement = 500;

struct RunInfo
{
    qint64 id = 0;
    QString job;
    QString file;
    QString state;
    QString mode;
    QString start;
    QString undone;
    QByteArray sha256;
    qint64 previous = 0;
    bool letterRun = false; // a letter run: it counts letters, never records
};

// A field a run changed on a record: its value before the first change, and what the last wrote.
struct FieldChange
{
    QString field;
    QJsonValue before;
    QJsonValue after;
};

struct ChangedRecord
{
    qint64 key = 0;
    QList<FieldChange> fields;
};

// What the undo does to one table.
struct TablePlan
{
    const TableDef* def = nullptr;
    QList<qint64> created; // in the order of creation
    QSet<qint64> createdSet;
    QList<ChangedRecord> changed; // in the order of their first change
    QHash<qint64, qsizetype> changedIndex;
};

QString marks(qsizetype count)
{
    QStringList m;
    m.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        m << QStringLiteral("?");
    }
    return m.join(QStringLiteral(", "));
}

bool execute(QSqlQuery* q, QString* error)
{
    if (!q->exec()) {
        *error = SqlDialect::describe(q->lastError());
        q->finish();
        return false;
    }
    return true;
}

// A value kept by the register, back in the field's type.
QVariant typedValue(FieldType type, const QJsonValue& value)
{
    if (value.isNull() || value.isUndefined()) {
        return {};
    }
    switch (type) {
    case FieldType::Currency:
        return value.isDouble() ? QVariant::fromValue(Currency::fromDouble(value.toDouble()))
                                : QVariant::fromValue(Currency::fromDecimalText(value.toString()));
    case FieldType::Date:
        return QDate::fromString(value.toString(), Qt::ISODate);
    case FieldType::Key:
    case FieldType::Integer:
        return value.isDouble() ? qlonglong(value.toInteger()) : value.toVariant().toLongLong();
    case FieldType::Double:
        return value.isDouble() ? value.toDouble() : value.toVariant().toDouble();
    case FieldType::Text:
    case FieldType::Memo:
        break;
    }
    return value.isString() ? value.toString() : value.toVariant().toString();
}

bool sameValue(const QJsonValue& a, const QJsonValue& b)
{
    if (a.isDouble() && b.isDouble()) {
        return a.toDouble() == b.toDouble();
    }
    return a == b;
}

// A value as a clerk reads it: amounts with a decimal comma, dates dd/MM/yyyy.
QString shown(FieldType type, const QJsonValue& value)
{
    const QVariant typed = typedValue(type, value);
    return typed.isValid() ? QStringLiteral("\"%1\"").arg(FieldCodec::text(typed)) : QStringLiteral("vuoto");
}

class Undo
{
public:
    enum class Step { Go, Refused, Failed };

    Undo(CaseDatabase& db, JobReporter* report, RunUndo::Outcome* outcome, QString* error)
        : m_db(db)
        , m_report(report)
        , m_outcome(outcome)
        , m_error(error)
    {
        for (const QString& name : { Schema::kPayments, Schema::kInvoices, Schema::kCases, Schema::kRates }) {
            m_plans.append({ Schema::table(name), {}, {}, {}, {} });
        }
    }

    Step run(qint64 runId, const QDateTime& now);
    // After a refusal for created records that are gone, rolled back: names the first of them.
    void explainMissing();

private:
    Step refuse(const QString& text)
    {
        m_outcome->message = text;
        return Step::Refused;
    }
    Step fail(const QString& error)
    {
        *m_error = error;
        return Step::Failed;
    }
    // Why the undo of the target does not go on: the run and file named.
    Step refuseRecord(const QString& why)
    {
        return refuse(QStringLiteral("L'importazione %1 del file %2 non è stata annullata, nulla è cambiato: %3.")
                          .arg(m_target.id)
                          .arg(m_target.file, why));
    }
    bool readRun(qint64 id, RunInfo* info, bool* found);
    bool collectGroup(QList<RunInfo>* group);
    TablePlan* plan(const QString& table);
    Step loadRecords(qint64 run);
    Step checkLaterRuns();
    Step checkDependents();
    Step restoreChanged();
    Step deleteCreated();
    bool markUndone(const QDateTime& now);
    QString describe(const TableDef& table, qint64 key);
    QString describeRun(qint64 id);
    void progress(qint64 step)
    {
        m_done += step;
        if (m_report) {
            m_report->setProgress(m_done);
        }
    }

    CaseDatabase& m_db;
    JobReporter* m_report;
    RunUndo::Outcome* m_outcome;
    QString* m_error;
    RunInfo m_target;
    QList<RunInfo> m_group;
    QList<TablePlan> m_plans; // in the order their records are deleted
    qint64 m_done = 0;
    const TablePlan* m_missing = nullptr;
    qsizetype m_missingFirst = 0;
    qsizetype m_missingCount = 0;
};

void Undo::explainMissing()
{
    if (!m_missing) {
        return;
    }
    const TablePlan& p = *m_missing;
    QString ignored;
    QSqlQuery* q = m_db.statement(
        QStringLiteral("select [%1] from [%2] where [%1] in (%3)").arg(p.def->key, p.def->name, marks(m_missingCount)),
        &ignored);
    if (!q) {
        return;
    }
    for (qsizetype i = 0; i < m_missingCount; ++i) {
        q->bindValue(int(i), p.created[m_missingFirst + i]);
    }
    if (!execute(q, &ignored)) {
        return;
    }
    QSet<qint64> present;
    while (q->next()) {
        present.insert(q->value(0).toLongLong());
    }
    q->finish();
    for (qsizetype i = 0; i < m_missingCount; ++i) {
        const qint64 key = p.created[m_missingFirst + i];
        if (!present.contains(key)) {
            refuseRecord(QStringLiteral("%1, record creato dall'importazione, non c'è più").arg(describe(*p.def, key)));
            return;
        }
    }
}

bool Undo::readRun(qint64 id, RunInfo* info, bool* found)
{
    Recordset rs(m_db, Schema::kImportRuns);
    if (!rs.open(QStringLiteral("select * from [tabella importazioni] where id = ?"), { id }, m_error,
            Recordset::Mode::ForwardOnly)) {
        return false;
    }
    *found = !rs.eof();
    if (*found) {
        info->id = id;
        info->job = rs.text(QStringLiteral("lavoro"));
        info->file = rs.text(QStringLiteral("nome file"));
        info->state = rs.text(QStringLiteral("stato"));
        info->mode = rs.text(QStringLiteral("modo"));
        info->start = rs.text(QStringLiteral("inizio"));
        info->undone = rs.text(QStringLiteral("annullamento"));
        info->sha256 = rs.text(QStringLiteral("sha256")).toLatin1();
        info->previous = rs.value(QStringLiteral("corsa precedente")).toLongLong();
        info->letterRun = !rs.isNull(QStringLiteral("lettere"));
    }
    return true;
}

// The run and those it is one import with: the runs it resumes, back to the first, and the
// runs that resume it.
bool Undo::collectGroup(QList<RunInfo>* group)
{
    const QString resume = ImportRegister::modeText(ImportRegister::Mode::Resume);
    QSet<qint64> seen { m_target.id };
    *group = { m_target };
    for (RunInfo cur = m_target; cur.mode == resume && cur.previous > 0 && !seen.contains(cur.previous);) {
        RunInfo before;
        bool found = false;
        if (!readRun(cur.previous, &before, &found)) {
            return false;
        }
        if (!found) {
            break;
        }
        seen.insert(before.id);
        group->prepend(before);
        cur = before;
    }
    QList<qint64> pending { m_target.id };
    while (!pending.isEmpty()) {
        const qint64 id = pending.takeFirst();
        QSqlQuery* q = m_db.statement(
            QStringLiteral(
                "select id from [tabella importazioni] where [corsa precedente] = ? and modo = ? order by id"),
            m_error);
        if (!q) {
            return false;
        }
        q->bindValue(0, id);
        q->bindValue(1, resume);
        if (!execute(q, m_error)) {
            return false;
        }
        QList<qint64> next;
        while (q->next()) {
            next << q->value(0).toLongLong();
        }
        q->finish();
        for (const qint64 n : next) {
            RunInfo after;
            bool found = false;
            if (seen.contains(n) || !readRun(n, &after, &found)) {
                if (!seen.contains(n)) {
                    return false;
                }
                continue;
            }
            seen.insert(n);
            group->append(after);
            pending << n;
        }
    }
    std::sort(group->begin(), group->end(), [](const RunInfo& a, const RunInfo& b) { return a.id < b.id; });
    return true;
}

TablePlan* Undo::plan(const QString& table)
{
    for (TablePlan& p : m_plans) {
        if (p.def && p.def->name.compare(table, Qt::CaseInsensitive) == 0) {
            return &p;
        }
    }
    return nullptr;
}

Undo::Step Undo::loadRecords(qint64 run)
{
    QSqlQuery* q = m_db.statement(QStringLiteral("select tabella, chiave, [valori precedenti], [valori scritti], "
                                                 "[chiave fine] from [tabella importazioni record] where "
                                                 "importazione = ? order by id"),
        m_error);
    if (!q) {
        return Step::Failed;
    }
    q->bindValue(0, run);
    if (!execute(q, m_error)) {
        return Step::Failed;
    }
    while (q->next()) {
        const QString table = q->value(0).toString();
        const qint64 key = q->value(1).toLongLong();
        const QString before = q->value(2).toString();
        TablePlan* p = plan(table);
        if (!p) {
            q->finish();
            return refuseRecord(
                QStringLiteral("il registro nomina la tabella %1, che l'annullamento non tratta").arg(table));
        }
        if (q->value(2).isNull() || before.isEmpty()) {
            // A row of created records stands for the keys key..[chiave fine].
            for (qint64 k = key, last = std::max(key, q->value(4).toLongLong()); k <= last; ++k) {
                if (!p->createdSet.contains(k)) {
                    p->createdSet.insert(k);
                    p->created.append(k);
                }
            }
            continue;
        }
        if (p->createdSet.contains(key)) {
            continue; // changed after its creation: it goes as a whole
        }
        const QJsonObject was = QJsonDocument::fromJson(before.toUtf8()).object();
        const QJsonObject wrote = QJsonDocument::fromJson(q->value(3).toString().toUtf8()).object();
        auto found = p->changedIndex.constFind(key);
        if (found == p->changedIndex.constEnd()) {
            found = p->changedIndex.insert(key, p->changed.size());
            p->changed.append(ChangedRecord { key, {} });
        }
        ChangedRecord& record = p->changed[*found];
        for (auto it = was.constBegin(); it != was.constEnd(); ++it) {
            auto field = std::find_if(record.fields.begin(), record.fields.end(),
                [&](const FieldChange& c) { return c.field.compare(it.key(), Qt::CaseInsensitive) == 0; });
            if (field == record.fields.end()) {
                record.fields.append({ it.key(), it.value(), wrote.value(it.key()) });
            } else {
                field->after = wrote.value(it.key());
            }
        }
    }
    q->finish();
    return Step::Go;
}

QString Undo::describeRun(qint64 id)
{
    RunInfo info;
    bool found = false;
    if (!readRun(id, &info, &found) || !found) {
        return QStringLiteral("dall'importazione %1").arg(id);
    }
    const QDateTime start = ImportRegister::fromStamp(info.start);
    return QStringLiteral("dall'importazione %1 (%2 del file %3, il %4)")
        .arg(id)
        .arg(info.job, info.file, start.toString(QStringLiteral("dd/MM/yyyy HH:mm")));
}

QString Undo::describe(const TableDef& table, qint64 key)
{
    Recordset rs(m_db, table.name);
    QString ignored;
    const bool found = rs.open(QStringLiteral("select * from [%1] where [%2] = ?").arg(table.name, table.key), { key },
                           &ignored, Recordset::Mode::ForwardOnly)
        && !rs.eof();
    if (table.name == Schema::kCases) {
        return found ? QStringLiteral("la pratica %1 (posizione %2)").arg(key).arg(rs.text(QStringLiteral("posizione")))
                     : QStringLiteral("la pratica %1").arg(key);
    }
    if (table.name == Schema::kInvoices) {
        return found ? QStringLiteral("la fattura %1 (numero %2) della pratica %3")
                           .arg(key)
                           .arg(rs.text(QStringLiteral("numero fattura")), rs.text(QStringLiteral("conta")))
                     : QStringLiteral("la fattura %1").arg(key);
    }
    if (table.name == Schema::kPayments) {
        return found ? QStringLiteral("il pagamento %1 del %2 della pratica %3")
                           .arg(key)
                           .arg(rs.text(QStringLiteral("data")), rs.text(QStringLiteral("conta")))
                     : QStringLiteral("il pagamento %1").arg(key);
    }
    return QStringLiteral("il record %1 della tabella %2").arg(key).arg(table.name);
}

// Records the group wrote that a later run wrote too: taking them back would undo that run's work.
Undo::Step Undo::checkLaterRuns()
{
    const qint64 first = m_group.first().id;
    QSet<qint64> skipped;
    for (const RunInfo& r : m_group) {
        skipped.insert(r.id);
    }
    QSqlQuery* q
        = m_db.statement(QStringLiteral("select id from [tabella importazioni] where id > ? and stato = ?"), m_error);
    if (!q) {
        return Step::Failed;
    }
    q->bindValue(0, first);
    q->bindValue(1, ImportRegister::stateText(ImportRegister::State::Undone));
    if (!execute(q, m_error)) {
        return Step::Failed;
    }
    while (q->next()) {
        skipped.insert(q->value(0).toLongLong());
    }
    q->finish();
    q = m_db.statement(QStringLiteral("select importazione, tabella, chiave, [chiave fine] from [tabella importazioni "
                                      "record] where importazione > ? order by id"),
        m_error);
    if (!q) {
        return Step::Failed;
    }
    q->bindValue(0, first);
    if (!execute(q, m_error)) {
        return Step::Failed;
    }
    while (q->next()) {
        const qint64 run = q->value(0).toLongLong();
        if (skipped.contains(run)) {
            continue;
        }
        const TablePlan* p = plan(q->value(1).toString());
        qint64 key = q->value(2).toLongLong();
        // A later run's row of created records may stand for a run of keys.
        for (const qint64 last = std::max(key, q->value(3).toLongLong());
             p && key < last && !p->createdSet.contains(key) && !p->changedIndex.contains(key);) {
            ++key;
        }
        if (p && (p->createdSet.contains(key) || p->changedIndex.contains(key))) {
            q->finish();
            const bool created = p->createdSet.contains(key);
            return refuseRecord(
                QStringLiteral("%1, record %2 dall'importazione, è stato cambiato dopo %3")
                    .arg(describe(*p->def, key), created ? QStringLiteral("creato") : QStringLiteral("cambiato"),
                        describeRun(run)));
        }
    }
    q->finish();
    return Step::Go;
}

// Payments and invoices on a case the group created that the group did not write.
Undo::Step Undo::checkDependents()
{
    const TablePlan* cases = plan(Schema::kCases);
    for (const QString& table : { Schema::kPayments, Schema::kInvoices }) {
        const TablePlan* p = plan(table);
        for (qsizetype first = 0; first < cases->created.size(); first += kKeysPerStatement) {
            const qsizetype n = std::min(kKeysPerStatement, cases->created.size() - first);
            QSqlQuery* q = m_db.statement(
                QStringLiteral("select [%1] from [%2] where conta in (%3)").arg(p->def->key, table, marks(n)), m_error);
            if (!q) {
                return Step::Failed;
            }
            for (qsizetype i = 0; i < n; ++i) {
                q->bindValue(int(i), cases->created[first + i]);
            }
            if (!execute(q, m_error)) {
                return Step::Failed;
            }
            while (q->next()) {
                const qint64 key = q->value(0).toLongLong();
                if (!p->createdSet.contains(key)) {
                    q->finish();
                    return refuseRecord(
                        QStringLiteral("c'è %1, che l'importazione non ha scritto, su una pratica che ha creato")
                            .arg(describe(*p->def, key)));
                }
            }
            q->finish();
        }
    }
    return Step::Go;
}

// The changed fields get their values before, where they still hold what the run wrote.
Undo::Step Undo::restoreChanged()
{
    for (TablePlan& p : m_plans) {
        for (qsizetype first = 0; first < p.changed.size(); first += kKeysPerStatement) {
            const qsizetype n = std::min(kKeysPerStatement, p.changed.size() - first);
            QVariantList keys;
            for (qsizetype i = 0; i < n; ++i) {
                keys << p.changed[first + i].key;
            }
            Recordset rs(m_db, p.def->name);
            if (!rs.open(QStringLiteral("select * from [%1] where [%2] in (%3) order by [%2]")
                             .arg(p.def->name, p.def->key, marks(n)),
                    keys, m_error)) {
                return Step::Failed;
            }
            QSet<qint64> present;
            for (; !rs.eof(); rs.moveNext()) {
                const ChangedRecord& record = p.changed[p.changedIndex.value(rs.key())];
                present.insert(record.key);
                for (const FieldChange& c : record.fields) {
                    const FieldDef* f = Schema::field(*p.def, c.field);
                    if (!f) {
                        return refuseRecord(
                            QStringLiteral("il registro nomina il campo %1 della tabella %2, che non c'è")
                                .arg(c.field, p.def->name));
                    }
                    const QJsonValue now = ImportRegister::fieldValue(rs.value(f->name));
                    if (!sameValue(now, c.after)) {
                        return refuseRecord(QStringLiteral("%1: il campo \"%2\" vale %3, non più %4 come l'ha scritto "
                                                           "l'importazione: è stato cambiato dopo")
                                                .arg(describe(*p.def, record.key), f->name, shown(f->type, now),
                                                    shown(f->type, c.after)));
                    }
                    if (!rs.setValue(f->name, typedValue(f->type, c.before), m_error)) {
                        return Step::Failed;
                    }
                }
                if (!rs.update(m_error)) {
                    return Step::Failed;
                }
            }
            for (qsizetype i = 0; i < n; ++i) {
                if (!present.contains(p.changed[first + i].key)) {
                    return refuseRecord(QStringLiteral("%1, record cambiato dall'importazione, non c'è più")
                                            .arg(describe(*p.def, p.changed[first + i].key)));
                }
            }
            m_outcome->restored += n;
            progress(n);
        }
    }
    return Step::Go;
}

Undo::Step Undo::deleteCreated()
{
    for (TablePlan& p : m_plans) {
        for (qsizetype first = 0; first < p.created.size(); first += kKeysPerStatement) {
            const qsizetype n = std::min(kKeysPerStatement, p.created.size() - first);
            QSqlQuery* q = m_db.statement(
                QStringLiteral("delete from [%1] where [%2] in (%3)").arg(p.def->name, p.def->key, marks(n)), m_error);
            if (!q) {
                return Step::Failed;
            }
            for (qsizetype i = 0; i < n; ++i) {
                q->bindValue(int(i), p.created[first + i]);
            }
            if (!execute(q, m_error)) {
                return Step::Failed;
            }
            const int deleted = q->numRowsAffected();
            q->finish();
            if (deleted != n) {
                // Someone deleted some of them; which, is asked once this transaction is
                // rolled back (explainMissing).
                m_missing = &p;
                m_missingFirst = first;
                m_missingCount = n;
                return refuseRecord(
                    QStringLiteral("%1 record della tabella %2 creati dall'importazione non ci sono più")
                        .arg(n - deleted)
                        .arg(p.def->name));
            }
            (p.def->name == Schema::kCases             ? m_outcome->cases
                    : p.def->name == Schema::kInvoices ? m_outcome->invoices
                                                       : m_outcome->payments)
                += n;
            progress(n);
        }
    }
    return Step::Go;
}

bool Undo::markUndone(const QDateTime& now)
{
    QStringList others;
    for (const RunInfo& r : m_group) {
        if (r.id != m_target.id) {
            others << QString::number(r.id);
        }
    }
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty()) {
        user = qEnvironmentVariable("USERNAME");
    }
    QString text = QStringLiteral("annullata il %1 da %2")
                       .arg(now.toString(QStringLiteral("dd/MM/yyyy HH:mm")), QSysInfo::machineHostName());
    if (!user.isEmpty()) {
        text += QStringLiteral(" (%1)").arg(user);
    }
    if (!others.isEmpty()) {
        text += QStringLiteral(", insieme alle corse %1 della stessa importazione")
                    .arg(others.join(QStringLiteral(", ")));
    }
    for (const RunInfo& r : m_group) {
        Recordset rs(m_db, Schema::kImportRuns);
        if (!rs.open(QStringLiteral("select * from [tabella importazioni] where id = ?"), { r.id }, m_error) || rs.eof()
            || !rs.setValue(QStringLiteral("stato"), ImportRegister::stateText(ImportRegister::State::Undone), m_error)
            || !rs.setValue(QStringLiteral("annullamento"), text, m_error) || !rs.update(m_error)) {
            return false;
        }
    }
    return true;
}

Undo::Step Undo::run(qint64 runId, const QDateTime& now)
{
    bool found = false;
    if (!readRun(runId, &m_target, &found)) {
        return Step::Failed;
    }
    if (!found) {
        return refuse(QStringLiteral("L'importazione %1 non è nel registro.").arg(runId));
    }
    if (m_target.letterRun) {
        return refuse(QStringLiteral("La corsa %1 ha creato le lettere del file %2: le lettere non si annullano.")
                          .arg(runId)
                          .arg(m_target.file));
    }
    if (!collectGroup(&m_group)) {
        return Step::Failed;
    }
    for (const RunInfo& r : m_group) {
        if (r.state == ImportRegister::stateText(ImportRegister::State::Undone)) {
            return refuse(QStringLiteral("L'importazione %1 del file %2 è già stata annullata: %3.")
                              .arg(r.id)
                              .arg(r.file, r.undone));
        }
        if (r.state == ImportRegister::stateText(ImportRegister::State::Running)) {
            return refuse(QStringLiteral("L'importazione %1 del file %2 è in corso: si può annullare quando è finita.")
                              .arg(r.id)
                              .arg(r.file));
        }
    }
    for (const RunInfo& r : m_group) {
        m_outcome->runs << r.id;
        if (const Step s = loadRecords(r.id); s != Step::Go) {
            return s;
        }
    }
    qint64 total = 0;
    for (const TablePlan& p : m_plans) {
        total += p.created.size() + p.changed.size();
    }
    if (m_report) {
        m_report->setProgressMaximum(total);
    }
    for (Step (Undo::*step)() :
        { &Undo::checkLaterRuns, &Undo::checkDependents, &Undo::restoreChanged, &Undo::deleteCreated }) {
        if (const Step s = (this->*step)(); s != Step::Go) {
            return s;
        }
    }
    if (!markUndone(now)) {
        return Step::Failed;
    }
    QString text = QStringLiteral("Importazione %1 del file %2 annullata").arg(runId).arg(m_target.file);
    if (m_group.size() > 1) {
        QStringList ids;
        for (const RunInfo& r : m_group) {
            ids << QString::number(r.id);
        }
        text += QStringLiteral(" con le sue riprese (corse %1)").arg(ids.join(QStringLiteral(", ")));
    }
    m_outcome->message = text
        + QStringLiteral(": cancellate %1 pratiche, %2 fatture e %3 pagamenti; ripristinati %4 record.")
              .arg(m_outcome->cases)
              .arg(m_outcome->invoices)
              .arg(m_outcome->payments)
              .arg(m_outcome->restored);
    m_outcome->undone = true;
    return Step::Go;
}

} // namespace

RunUndo::RunUndo(CaseDatabase& db, JobReporter* report)
    : m_db(db)
    , m_report(report)
{ }

bool RunUndo::undo(qint64 run, const QDateTime& now, Outcome* outcome, QString* error)
{
    *outcome = {};
    if (!Schema::createRegister(m_db, error)) {
        return false;
    }
    {
        // A run left "in corso" by a process that is gone counts as stopped from here on.
        Recordset target(m_db, Schema::kImportRuns);
        if (!target.open(QStringLiteral("select * from [tabella importazioni] where id = ?"), { run }, error,
                Recordset::Mode::ForwardOnly)) {
            return false;
        }
        if (!target.eof()) {
            ImportRegister reg(m_db);
            ImportRegister::Earlier ignored;
            if (!reg.lookUp(target.text(QStringLiteral("lavoro")), target.text(QStringLiteral("sha256")).toLatin1(),
                    now, &ignored, error)) {
                return false;
            }
        }
    }
    // One turn with the other desks' writers: nothing read here changes before the commit.
    if (!m_db.beginTransaction(error, true)) {
        return false;
    }
    Undo undo(m_db, m_report, outcome, error);
    const Undo::Step step = undo.run(run, now);
    if (step != Undo::Step::Go) {
        m_db.rollback();
        if (step == Undo::Step::Refused) {
            undo.explainMissing();
        }
        const QString message = outcome->message;
        *outcome = {};
        outcome->message = message;
        return step == Undo::Step::Refused;
    }
    if (!m_db.commit(error)) {
        m_db.rollback();
        *outcome = {};
        return false;
    }
    return true;
}

JobResult annullaImportazione(JobContext& ctx, qint64 run)
{
    JobResult result;
    if (!openDatabase(ctx, &result)) {
        return result;
    }
    RunUndo undo(ctx.db, &ctx.report);
    RunUndo::Outcome outcome;
    QString error;
    if (!undo.undo(run, ctx.report.now(), &outcome, &error)) {
        return failJob(
            ctx, QStringLiteral("L'importazione %1 non è stata annullata, nulla è cambiato: %2").arg(run).arg(error));
    }
    ctx.report.message(outcome.message);
    return outcome.undone ? JobResult::completed() : JobResult::condition();
}

} // namespace zb32
