// The log's writes gathered (SqliteLogWrites): what a commit wrote is in the file for every other
// connection, and for a process that never closed its own, as soon as the commit returns.
#include "core/desk/SqliteLogWrites.h"

#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

#if defined(Q_OS_UNIX)
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

struct Db
{
    sqlite3* handle = nullptr;
    // `vfs` nullptr: SQLite's default (the gathering, once installed).
    Db(const QString& path, const char* vfs = nullptr)
    {
        sqlite3_open_v2(path.toUtf8().constData(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, vfs);
    }
    ~Db() { sqlite3_close(handle); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;

    bool run(const QByteArray& sql) const
    {
        return sqlite3_exec(handle, sql.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    qint64 number(const QByteArray& sql) const
    {
        sqlite3_stmt* s = nullptr;
        qint64 n = -1;
        if (sqlite3_prepare_v2(handle, sql.constData(), -1, &s, nullptr) == SQLITE_OK
            && sqlite3_step(s) == SQLITE_ROW) {
            n = sqlite3_column_int64(s, 0);
        }
        sqlite3_finalize(s);
        return n;
    }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(handle)); }
};

// `rows` rows of `bytes` bytes each, numbered from `first`, in one transaction.
QByteArray insertRows(int first, int rows, int bytes)
{
    return QStringLiteral("INSERT INTO t (n, b) WITH RECURSIVE k(i) AS (SELECT %1 UNION ALL SELECT i + 1 FROM k "
                          "WHERE i < %2) SELECT i, randomblob(%3) FROM k")
        .arg(first)
        .arg(first + rows - 1)
        .arg(bytes)
        .toUtf8();
}

const char* kPlatformVfs =
#if defined(Q_OS_WIN)
    "win32";
#else
    "unix";
#endif

} // namespace

class TestSqliteLogWrites : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(zb32::installSqliteLogWrites());
        QCOMPARE(QByteArray(sqlite3_vfs_find(nullptr)->zName), QByteArray("zb32-log"));
    }

    // Each commit read at once by another connection on the platform's own files (another desk),
    // its sum of rows checked, the file whole at the end.
    void seenByAnotherConnection_data()
    {
        QTest::addColumn<int>("transactions");
        QTest::addColumn<int>("rows"); // a transaction's
        QTest::addColumn<int>("bytes"); // a row's
        QTest::addColumn<int>("cachePages"); // the writer's: fewer than a transaction changes spill into the log
        QTest::addColumn<bool>("rollBackFirst"); // each transaction begun and rolled back once first
        QTest::addColumn<bool>("checkpoint"); // the log copied into the file after each commit
        QTest::addColumn<bool>("anotherWrites"); // the other connection commits after each rollback
        QTest::newRow("small commits") << 20 << 3 << 100 << 2000 << false << false << false;
        QTest::newRow("commits larger than what is gathered") << 3 << 600 << 3000 << 2000 << false << false << false;
        QTest::newRow("a page cache that spills") << 4 << 300 << 3000 << 20 << false << false << false;
        QTest::newRow("spilled and rolled back, written again") << 4 << 300 << 3000 << 20 << true << false << false;
        QTest::newRow("spilled and rolled back, another commits") << 4 << 300 << 3000 << 20 << true << false << true;
        QTest::newRow("checkpoints between commits") << 5 << 200 << 3000 << 2000 << false << true << false;
        QTest::newRow("checkpoints, spilled and rolled back, another commits")
            << 4 << 300 << 3000 << 20 << true << true << true;
    }
    void seenByAnotherConnection()
    {
        QFETCH(int, transactions);
        QFETCH(int, rows);
        QFETCH(int, bytes);
        QFETCH(int, cachePages);
        QFETCH(bool, rollBackFirst);
        QFETCH(bool, checkpoint);
        QFETCH(bool, anotherWrites);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.db"));
        Db writer(path);
        QVERIFY(writer.run("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=0; "
                           "CREATE TABLE t (n INTEGER PRIMARY KEY, b BLOB)"));
        QVERIFY(writer.run(QByteArrayLiteral("PRAGMA cache_size=") + QByteArray::number(cachePages)));
        Db reader(path, kPlatformVfs);
        for (int i = 0; i < transactions; ++i) {
            if (rollBackFirst) {
                QVERIFY(writer.run("BEGIN"));
                QVERIFY2(writer.run(insertRows(i * rows, rows, bytes * 2)), qPrintable(writer.error()));
                QVERIFY(writer.run("ROLLBACK"));
                if (anotherWrites) {
                    // In the log where the rolled-back frames would have gone.
                    QVERIFY2(reader.run(insertRows(-(i + 1) * rows, rows, bytes)), qPrintable(reader.error()));
                }
            }
            QVERIFY2(writer.run(insertRows(i * rows, rows, bytes)), qPrintable(writer.error()));
            const qint64 expected = (anotherWrites ? 2 : 1) * qint64(i + 1) * rows;
            QCOMPARE(reader.number("SELECT count(*) FROM t"), expected);
            QCOMPARE(reader.number("SELECT sum(length(b)) FROM t"), expected * bytes);
            if (checkpoint) {
                QVERIFY(writer.run("PRAGMA wal_checkpoint(PASSIVE)"));
            }
        }
        QCOMPARE(reader.number("SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'"), 1);
    }

#if defined(Q_OS_UNIX)
    // A process that ends right after its commit, without closing anything: the commit is there.
    void commitSurvivesTheProcess()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.db"));
        {
            Db setup(path);
            QVERIFY(setup.run("PRAGMA journal_mode=WAL; CREATE TABLE t (n INTEGER PRIMARY KEY, b BLOB)"));
        }
        const pid_t child = fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            sqlite3* db = nullptr;
            sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
            const bool ok
                = sqlite3_exec(db, "PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=0", nullptr, nullptr, nullptr)
                    == SQLITE_OK
                && sqlite3_exec(db, insertRows(1, 50, 1000).constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        Db reader(path, kPlatformVfs);
        QCOMPARE(reader.number("SELECT count(*) FROM t"), 50);
        QCOMPARE(reader.number("SELECT sum(length(b)) FROM t"), 50 * 1000);
    }
#endif
};

QTEST_GUILESS_MAIN(TestSqliteLogWrites)
#include "TestSqliteLogWrites.moc"
