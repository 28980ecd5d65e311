// Write batching over the case database's transactions.
#include "WriteBatch.h"

#include "CaseDatabase.h"

#include <QSqlError>
#include <QSqlQuery>

namespace zb32 {

namespace {
const QString kSavepoint = QStringLiteral("zb32_line");
}

bool WriteBatch::run(const QString& sql, QString* error)
{
    // Two of these per input line: on SQLite they are prepared once and reused.
    if (m_db.dialect().kind() != SqlDialect::Kind::SQLite) {
        return m_db.exec(sql, error);
    }
    QSqlQuery* q = m_db.statement(sql, error);
    if (!q) {
        return false;
    }
    if (!q->exec()) {
        if (error) {
            *error = q->lastError().text();
        }
        return false;
    }
    return true;
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

bool WriteBatch::beginLine(QString* error)
{
    if (!m_db.beginTransaction(error)) {
        return false;
    }
    if (m_db.supportsSavepoints() && !run(QStringLiteral("SAVEPOINT ") + kSavepoint, error)) {
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
    if (m_db.supportsSavepoints() && !run(QStringLiteral("RELEASE SAVEPOINT ") + kSavepoint, error)) {
        return false;
    }
    if (++m_linesInGroup >= m_linesPerCommit) {
        m_linesInGroup = 0;
        return m_db.commit(error);
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
        if (!run(QStringLiteral("ROLLBACK TO SAVEPOINT ") + kSavepoint, &ignored)
            || !run(QStringLiteral("RELEASE SAVEPOINT ") + kSavepoint, &ignored)) {
            // The transaction itself is gone (the server went away): nothing more to keep.
            m_db.rollback();
        }
    }
}

bool WriteBatch::finish(QString* error)
{
    if (m_inLine) {
        endLine(error);
    }
    m_linesInGroup = 0;
    return m_db.commit(error);
}

} // namespace zb32
