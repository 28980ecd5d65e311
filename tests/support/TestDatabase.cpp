// Fresh test databases.
#include "TestDatabase.h"

#include "core/desk/ConnectionString.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTest>

namespace zb32::test {

namespace {

// One PostgreSQL database per test program, made afresh at its first use.
QString postgresDatabase(QString* error)
{
    static QString name;
    static QString failure;
    if (!name.isEmpty() || !failure.isEmpty()) {
        *error = failure;
        return name;
    }
    const QString admin = qEnvironmentVariable("ZB32_TEST_PG");
    QString wanted
        = QStringLiteral("zb32_test_") + QFileInfo(QCoreApplication::applicationFilePath()).baseName().toLower();
    wanted.replace(QLatin1Char('-'), QLatin1Char('_'));
    CaseDatabase db;
    if (!db.open(admin, &failure)) {
        failure = QStringLiteral("server PostgreSQL non raggiungibile (%1): %2").arg(admin, failure);
        *error = failure;
        return {};
    }
    if (!db.exec(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(wanted), &failure)
        || !db.exec(QStringLiteral("CREATE DATABASE %1").arg(wanted), &failure)) {
        *error = failure;
        return {};
    }
    name = wanted;
    return name;
}

} // namespace

void TestDatabase::addBackendColumn()
{
    QTest::addColumn<QString>("backend");
}

void TestDatabase::addBackendRow(const QString& backend)
{
    QTest::newRow(qPrintable(backend)) << backend;
}

TestDatabase::TestDatabase(const QString& backend)
    : m_backend(backend)
    , m_db(std::make_unique<CaseDatabase>())
{
    if (backend == QLatin1String("sqlite")) {
        m_dir = std::make_unique<QTemporaryDir>();
        m_connString = QStringLiteral("Provider=SQLite;Data Source=%1/casi.db").arg(m_dir->path());
    } else if (backend == QLatin1String("postgresql")) {
        const QString admin = qEnvironmentVariable("ZB32_TEST_PG");
        if (admin.isEmpty()) {
            m_skipReason = QStringLiteral("PostgreSQL non provato: nessun server indicato in ZB32_TEST_PG");
            return;
        }
        QString error;
        const QString name = postgresDatabase(&error);
        if (name.isEmpty()) {
            m_skipReason = error;
            return;
        }
        QStringList parts;
        const ConnectionString server = ConnectionString::parse(admin);
        for (const auto& p : server.pairs()) {
            if (p.first.compare(QLatin1String("Database"), Qt::CaseInsensitive) != 0) {
                parts << p.first + QLatin1Char('=') + p.second;
            }
        }
        parts << QStringLiteral("Database=") + name;
        m_connString = parts.join(QLatin1Char(';'));
    } else {
        m_skipReason = QStringLiteral("database di prova sconosciuto: %1").arg(backend);
        return;
    }
    QString error;
    if (!m_db->open(m_connString, &error, true)) {
        m_skipReason = error;
        return;
    }
    if (backend == QLatin1String("postgresql")) {
        for (const TableDef& t : Schema::tables() + Schema::registerTables()) {
            m_db->exec(QStringLiteral("DROP TABLE IF EXISTS %1").arg(m_db->dialect().quoteName(t.name)), nullptr);
        }
    }
    if (!Schema::create(*m_db, &error)) {
        m_skipReason = error;
        return;
    }
    m_available = true;
}

TestDatabase::~TestDatabase()
{
    m_db.reset();
}

qint64 TestDatabase::insert(const QString& table, const QVariantMap& values)
{
    Recordset rs(*m_db, table);
    QString error;
    if (!rs.openForAppend(&error) || !rs.addNew(&error)) {
        qFatal("insert into %s: %s", qPrintable(table), qPrintable(error));
    }
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (!rs.setValue(it.key(), it.value(), &error)) {
            qFatal("insert into %s: %s", qPrintable(table), qPrintable(error));
        }
    }
    if (!rs.update(&error)) {
        qFatal("insert into %s: %s", qPrintable(table), qPrintable(error));
    }
    return rs.key();
}

QList<QVariantMap> TestDatabase::rows(const QString& table)
{
    const TableDef* def = Schema::table(table);
    Recordset rs(*m_db, table);
    QString error;
    const QString sql
        = QStringLiteral("SELECT * FROM [%1] ORDER BY [%2]").arg(table, def ? def->key : QStringLiteral("1"));
    if (!rs.open(sql, {}, &error)) {
        qFatal("rows of %s: %s", qPrintable(table), qPrintable(error));
    }
    QList<QVariantMap> out;
    const QSqlRecord record = m_db->tableRecord(table);
    for (; !rs.eof(); rs.moveNext()) {
        QVariantMap row;
        for (int i = 0; i < record.count(); ++i) {
            const QString name = record.fieldName(i);
            row.insert(name.toLower(), rs.value(name));
        }
        out << row;
    }
    return out;
}

int TestDatabase::count(const QString& table)
{
    QSqlQuery q(m_db->database());
    q.exec(m_db->dialect().translate(QStringLiteral("SELECT COUNT(*) FROM [%1]").arg(table)));
    return q.next() ? q.value(0).toInt() : -1;
}

QVariantMap confirmationCase(const QString& position)
{
    return {
        { QStringLiteral("posizione"), position },
        { QStringLiteral("Tipo Mandato"), QStringLiteral("460") },
        { QStringLiteral("data affido"), QStringLiteral("01/01/2010") },
        { QStringLiteral("situazione affido"), QStringLiteral("1") },
        { QStringLiteral("codice esattore"), QStringLiteral("E7") },
        { QStringLiteral("importo rata"), QStringLiteral("200") },
        { QStringLiteral("importo interessi"), QStringLiteral("50") },
        { QStringLiteral("importo spese"), QStringLiteral("30") },
        { QStringLiteral("importo speserecupero"), QStringLiteral("10") },
        { QStringLiteral("importo totale"), QStringLiteral("290") },
    };
}

} // namespace zb32::test
