// Write batching over the case database's transactions.
#include "WriteBatch.h"

#include "CaseDatabase.h"

#include <QSqlError>
#include <QSqlQuery>

namespace zb32 {

namespace {
const QString kSavepoint = QStringLiteral("zb32_line");
const QString kBeginLine = QStringLiteral("SAVEPOINT ") + kSavepoint;
const QString kEndLine = QStringLiteral("RELEASE SAVEPOINT ") + kSavepoint;
} // namespace

bool WriteBatch::run(const QString& sql, QString* error)
{
    // Two statements per input line: on SQLite they are prepared once and run again. The
    // PostgreSQL driver prepares only queries, so there they go as text.
    if (m_db.dialect().kind() != SqlDialect::Kind::SQLite) {
        return m_db.exec(sql, error);
    }
    QSqlQuery* q = m_db.statement(sql, error);
    if (!q) {
        return false;
    }
    const bool ok = q->exec();
    if (!ok && error) {
        *error = q->lastError().text();
    }
    q->finish();
    return ok;
}

WriteBatch::WriteBatch(CaseDatabase& db, int linesPerCommit)
    : m_db(db)
    , m_linesPerCommit(linesPerCommit)
{
}

WriteBatch::~WriteBatch()
{
    if (m_inLine) {
        abandonLine();
    }
    QString ignored;
    finish(&ignored);
}

bool WriteBatch::beginLine(QString* error, qint64 lineNumber)
{
    m_currentLine = lineNumber >= 0 ? lineNumber : m_currentLine + 1;
    if (!m_db.beginTransaction(error)) {
        m_lost = true;
        return false;
    }
    if (m_db.supportsSavepoints() && !run(kBeginLine, error)) {
        m_lost = true; // inside an open transaction this fails only when the transaction is gone
        m_db.rollback();
        return false;
    }
    m_inLine = true;
    return true;
}

bool WriteBatch::endLine(QString* error)
{
    if (!m_inLine) {
        return true;
    }
    m_inLine = false;
    if (m_db.supportsSavepoints() && !run(kEndLine, error)) {
        m_lost = true;
        m_db.rollback();
        return false;
    }
    m_lastKeptLine = m_currentLine;
    if (++m_linesInGroup >= m_linesPerCommit) {
        return commitGroup(error);
    }
    return true;
}

void WriteBatch::abandonLine()
{
    if (!m_inLine) {
        return;
    }
    m_inLine = false;
    if (m_db.supportsSavepoints()) {
        QString ignored;
        if (!m_db.exec(QStringLiteral("ROLLBACK TO SAVEPOINT ") + kSavepoint, &ignored)
            || !m_db.exec(QStringLiteral("RELEASE SAVEPOINT ") + kSavepoint, &ignored)) {
            // The transaction itself is gone (the server went away): nothing more to keep.
            m_db.rollback();
            m_lost = true;
        }
    }
}

bool WriteBatch::finish(QString* error)
{
    if (m_inLine && !endLine(error)) {
        return false;
    }
    return commitGroup(error);
}

bool WriteBatch::commitGroup(QString* error)
{
    m_linesInGroup = 0;
    if (m_lost) {
        if (error && error->isEmpty()) {
            *error = QStringLiteral("la transazione in corso è andata persa");
        }
        return false;
    }
    if (!m_db.commit(error)) {
        m_lost = true;
        return false;
    }
    m_lastCommittedLine = m_lastKeptLine;
    return true;
}

} // namespace zb32
