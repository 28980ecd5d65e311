// A fresh case database for one test, on SQLite or on PostgreSQL. The PostgreSQL server is
// given by ZB32_TEST_PG (a connection string to a server that lets us create databases);
// without it the PostgreSQL rows of a test are skipped with the reason printed.
#pragma once

#include "core/desk/CaseDatabase.h"
#include "core/desk/Currency.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>
#include <memory>

namespace zb32::test {

class TestDatabase
{
public:
    // Adds the column "backend" and one row per backend to a _data() table.
    static void addBackendColumn();
    static void addBackendRow(const QString& backend);

    explicit TestDatabase(const QString& backend);
    ~TestDatabase();

    bool isAvailable() const { return m_available; }
    QString skipReason() const { return m_skipReason; }
    QString backend() const { return m_backend; }
    QString connectionString() const { return m_connString; }
    // An open connection of the test's own, for fixtures and checks.
    CaseDatabase& db() { return *m_db; }

    // Inserts a record (values converted as a job's would be) and returns its key.
    qint64 insert(const QString& table, const QVariantMap& values);
    // Every record of a table ordered by its key; keys of the map are lower-case field names,
    // values as record access gives them (dates as QDate, amounts as Currency).
    QList<QVariantMap> rows(const QString& table);
    int count(const QString& table);

private:
    QString m_backend;
    bool m_available = false;
    QString m_skipReason;
    QString m_connString;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CaseDatabase> m_db;
};

// The case the confirmation tests post on: mandate type 460, assigned 01/01/2010 to collector
// "E7", dues 200 (instalment), 50, 30 and 10, total 290.
QVariantMap confirmationCase(const QString& position);

} // namespace zb32::test

// Skips the current test row when its database is not there; where ZB32_TEST_PG_REQUIRED is
// set (the test command sets it), a database that is not there fails the test instead.
#define ZB32_REQUIRE(tdb)                                                                                              \
    do {                                                                                                               \
        if (!(tdb).isAvailable()) {                                                                                    \
            if (qEnvironmentVariableIsSet("ZB32_TEST_PG_REQUIRED"))                                                    \
                QFAIL(qPrintable((tdb).skipReason()));                                                                 \
            QSKIP(qPrintable((tdb).skipReason()));                                                                     \
        }                                                                                                              \
    } while (false)
