// PostgreSQL: the server several workstations share. Names lower-case and double-quoted,
// exact numerics, new keys read back with RETURNING.
#pragma once

#include "core/desk/SqlDialect.h"

#include <memory>

namespace zb32 {

class RoundTripWatch;

class PostgresDialect : public SqlDialect
{
public:
    static constexpr int kCommandTimeoutSeconds = 240;
    // How long one request may go unanswered before the connection counts as lost ("Timeout" of
    // the connection string, seconds): a frozen server or a silent network stops the run instead
    // of holding it for ever.
    static constexpr int kRoundTripSeconds = 60;
    // A session left inside a transaction (a desk that hangs in the middle of a group) is ended
    // by the server after this long, so the turn it holds goes to the others.
    static constexpr int kIdleInTransactionSeconds = 120;
    // How long a desk waits for a turn held by one and the same transaction of another
    // workstation before it gives up (the busy time-out of SQLite, ms).
    static constexpr int kTurnTimeoutMs = 15000;

    explicit PostgresDialect(int roundTripSeconds = kRoundTripSeconds, int turnTimeoutMs = kTurnTimeoutMs);
    ~PostgresDialect() override;

    // The connection's options for the driver: TCP keepalives and a user time-out in step with
    // the round-trip limit, and the time allowed to connect.
    static QString connectOptions(int roundTripSeconds);
    // "zb32 WORKSTATION JOB", as the server lists the session.
    static QString applicationName(const QString& job);
    // The advisory lock that transactions changing shared records take ("zb32").
    static constexpr qint64 kSharedRecordsLock = 0x7a623332;

    Kind kind() const override { return Kind::PostgreSQL; }
    QString translate(const QString& sql) const override;
    QString quoteName(const QString& name) const override;
    QString storedTableName(const QSqlDatabase& db, const QString& table) const override;

    QVariant storedCurrency(const Currency& amount) const override;
    QVariant storedNull(FieldType type) const override;
    QString columnType(const FieldDef& field) const override;

    QString returningKey(const QString& keyField) const override;
    QVariant newKey(QSqlQuery& insert) const override;
    QStringList nextSavepoint(const QString& name) const override;

    bool startSession(QSqlDatabase& db, QString* error) override;
    void setJob(QSqlDatabase& db, const QString& job) override;
    bool isAlive(QSqlDatabase& db) const override;
    bool begin(QSqlDatabase& db, bool sharedRecords, QString* error) override;
    bool copiesRows() const override { return true; }
    using SqlDialect::copyIn;
    bool copyIn(QSqlDatabase& db, const QString& leading, const QList<CopyBlock>& blocks, qsizetype* done,
        QString* error) const override;
    bool updatesRows() const override { return true; }
    bool sendsWithCommit() const override { return true; }
    bool commitWith(QSqlDatabase& db, const Statement& first, QString* error) override;
    std::function<void()> behind(QSqlDatabase& db, BehindGroup* group) const override;
    bool updateRows(QSqlDatabase& db, const QString& table, const QString& keyField, const QList<RowChange>& rows,
        QString* error) const override;
    std::unique_ptr<TextRows> selectText(QSqlDatabase& db, const Statement& select, QString* error) const override;

    int roundTripSeconds() const { return m_roundTripSeconds; }
    // Whether the round-trip limit cut the connection.
    bool timedOut() const;

private:
    // The query of copyIn: `leading`, then a COPY from STDIN for each block.
    QByteArray copyQuery(const QString& leading, const QList<CopyBlock>& blocks) const;
    // Waits for the turn of the transactions that change shared records, telling who holds it.
    bool takeTurn(QSqlDatabase& db, QString* error);

    int m_roundTripSeconds;
    int m_turnTimeoutMs;
    QString m_job;
    std::unique_ptr<RoundTripWatch> m_watch;
};

} // namespace zb32
