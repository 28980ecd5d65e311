// The register of import runs.
#include "core/jobs/ImportRegister.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/Schema.h"
#include "core/jobs/BatchData.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QSysInfo>

namespace zb32 {

namespace {

QString stamp(const QDateTime& when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString userName()
{
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? qEnvironmentVariable("USERNAME") : user;
}

} // namespace

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
    }
    return {};
}

ImportRegister::ImportRegister(CaseDatabase& db)
    : m_db(db)
    , m_runs(db, Schema::kImportRuns)
{ }

bool ImportRegister::begin(
    const QString& job, const QString& path, const BatchData& batch, const QDateTime& now, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    QCryptographicHash sha(QCryptographicHash::Sha256);
    if (!sha.addData(&file)) {
        *error = file.errorString();
        return false;
    }
    // A transaction of its own, so a database another desk holds is waited for as by the lines.
    if (!Schema::createRegister(m_db, error) || !m_runs.openForAppend(error) || !m_db.beginTransaction(error)) {
        return false;
    }
    if (!m_runs.addNew(error)) {
        m_db.rollback();
        return false;
    }
    const std::pair<const char*, QVariant> fields[] = {
        { "lavoro", job },
        { "nome file", batch.Text1[4] },
        { "dimensione", double(file.size()) },
        { "sha256", QString::fromLatin1(sha.result().toHex()) },
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
    };
    for (const auto& [name, value] : fields) {
        if (!m_runs.setValue(QString::fromLatin1(name), value, error)) {
            m_runs.cancelUpdate();
            m_db.rollback();
            return false;
        }
    }
    if (!setCounts({}, now, error) || !m_runs.update(error) || !m_db.commit(error)) {
        m_runs.cancelUpdate();
        m_db.rollback();
        return false;
    }
    m_open = true;
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

bool ImportRegister::saved(const Counts& counts, const QDateTime& now, QString* error)
{
    if (!m_open) {
        return true;
    }
    if (!setCounts(counts, now, error) || !m_runs.update(error)) {
        m_runs.cancelUpdate();
        return false;
    }
    return true;
}

void ImportRegister::end(State state, const Counts& counts, const QString& message, const QDateTime& now)
{
    if (!m_open) {
        return;
    }
    m_open = false;
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
