// Configuration file, connection strings, SQL dialects and drive paths.
#include "core/desk/ConnectionString.h"
#include "core/desk/DrivePath.h"
#include "core/desk/IniFile.h"
#include "core/desk/SqlDialect.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using zb32::ConnectionString;
using zb32::SqlDialect;

class TestConfiguration : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void leggiIni_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << QByteArray("[datiserver]\r\nconnstring=Provider=SQLite;Data Source=a.db\r\n")
                               << "Provider=SQLite;Data Source=a.db";
        QTest::newRow("case of section and key") << QByteArray("[DatiServer]\nCONNSTRING = x\n") << "x";
        QTest::newRow("blanks trimmed") << QByteArray("  [ datiserver ]  \r\n  connstring  =   v w   \r\n") << "v w";
        QTest::newRow("other section") << QByteArray("[altro]\r\nconnstring=no\r\n") << "";
        QTest::newRow("missing key") << QByteArray("[datiserver]\r\nuser=x\r\n") << "";
        QTest::newRow("empty value") << QByteArray("[datiserver]\r\nconnstring=\r\n") << "";
        QTest::newRow("later section not read")
            << QByteArray("[datiserver]\r\nconnstring=first\r\n[x]\r\nconnstring=no\r\n") << "first";
        QTest::newRow("first of duplicates") << QByteArray("[datiserver]\r\nconnstring=a\r\nconnstring=b\r\n") << "a";
        QTest::newRow("as it stands") << QByteArray(
            "[datiserver]\r\nconnstring=Data Source=\"C:\\a,b\\c.mdb\";Password='x;y'\r\n")
                                      << "Data Source=\"C:\\a,b\\c.mdb\";Password='x;y'";
        QTest::newRow("equals inside value") << QByteArray("[datiserver]\r\nconnstring=a=b=c\r\n") << "a=b=c";
        QTest::newRow("cut at 511") << (QByteArray("[datiserver]\r\nconnstring=") + QByteArray(600, 'k') + "\r\n")
                                    << QString(511, QLatin1Char('k'));
        QTest::newRow("double quotes taken off") << QByteArray("[datiserver]\r\nconnstring=\"a;b\"\r\n") << "a;b";
        QTest::newRow("single quotes taken off") << QByteArray("[datiserver]\r\nconnstring= 'a' \r\n") << "a";
        QTest::newRow("unpaired quotes kept") << QByteArray("[datiserver]\r\nconnstring=\"a'\r\n") << "\"a'";
        QTest::newRow("utf-8 with byte-order mark")
            << QByteArray("\xEF\xBB\xBF[datiserver]\r\nconnstring=citt\xC3\xA0\r\n") << QString::fromUtf8("città");
        QTest::newRow("utf-16 little-endian") << []() {
            const QString t = QString::fromUtf8("[datiserver]\r\nconnstring=città\r\n");
            return QByteArray("\xFF\xFE") + QByteArray(reinterpret_cast<const char*>(t.utf16()), t.size() * 2);
        }() << QString::fromUtf8("città");
        QTest::newRow("utf-16 big-endian") << []() {
            QByteArray b("\xFE\xFF");
            for (QChar c : QString::fromUtf8("[datiserver]\nconnstring=città\n")) {
                b.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xff));
            }
            return b;
        }() << QString::fromUtf8("città");
        QTest::newRow("windows-1252 value")
            << QByteArray("[datiserver]\r\nconnstring=citt\xe0\r\n") << QString::fromUtf8("città");
    }
    void leggiIni()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("kx32.ini"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        QCOMPARE(zb32::LeggiIni(path, QStringLiteral("datiserver"), QStringLiteral("connstring")), expected);
    }

    void leggiIniMissingFile()
    {
        QCOMPARE(zb32::LeggiIni(QStringLiteral("/nonexistent/kx32.ini"), QStringLiteral("a"), QStringLiteral("b")),
            QString());
    }

    void connectionString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        using K = ConnectionString::Kind;
        QTest::newRow("sqlite") << "Provider=SQLite;Data Source=Z:\\work\\kx32\\dati\\kx32.db" << int(K::SQLite)
                                << "data source"
                                << "Z:\\work\\kx32\\dati\\kx32.db";
        QTest::newRow("postgres") << "provider=postgresql; Host=db1 ;Port=5432;Database=casi;User ID=zb;Password=s"
                                  << int(K::PostgreSQL) << "HOST"
                                  << "db1";
        QTest::newRow("quoted password") << "Provider=PostgreSQL;Password=\"a;b\"\"c\";Host=h" << int(K::PostgreSQL)
                                         << "password"
                                         << "a;b\"c";
        QTest::newRow("single quotes") << "Provider=PostgreSQL;Password='x=y';Host=h" << int(K::PostgreSQL)
                                       << "password"
                                       << "x=y";
        QTest::newRow("jet") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=F.mdb" << int(K::Jet) << "Data Source"
                             << "F.mdb";
        QTest::newRow("odbc driver") << "Driver={Microsoft Access Driver (*.mdb)};DBQ=c:\\x.mdb" << int(K::Odbc)
                                     << "driver"
                                     << "{Microsoft Access Driver (*.mdb)}";
        QTest::newRow("dsn") << "DSN=casi" << int(K::Odbc) << "dsn"
                             << "casi";
        QTest::newRow("empty") << "" << int(K::Invalid) << ""
                               << "";
        QTest::newRow("no provider") << "Data Source=x" << int(K::Invalid) << "data source"
                                     << "x";
        QTest::newRow("unknown provider") << "Provider=Nope;Data Source=x" << int(K::Invalid) << ""
                                          << "";
        QTest::newRow("sqlite without source") << "Provider=SQLite" << int(K::Invalid) << ""
                                               << "";
        QTest::newRow("unclosed quote") << "Provider=PostgreSQL;Password=\"abc" << int(K::Invalid) << ""
                                        << "";
        QTest::newRow("no equals") << "Provider=SQLite;garbage" << int(K::Invalid) << ""
                                   << "";
        QTest::newRow("trailing semicolons") << "Provider=SQLite;Data Source=a.db;;" << int(K::SQLite) << "Data Source"
                                             << "a.db";
    }
    void connectionString()
    {
        QFETCH(QString, text);
        QFETCH(int, kind);
        QFETCH(QString, key);
        QFETCH(QString, value);
        const ConnectionString cs = ConnectionString::parse(text);
        QCOMPARE(int(cs.kind()), kind);
        if (kind == int(ConnectionString::Kind::Invalid)) {
            QVERIFY(!cs.errorString().isEmpty());
        }
        if (!key.isEmpty() && kind != int(ConnectionString::Kind::Invalid)) {
            QCOMPARE(cs.value(key), value);
        }
    }

    void maskedHidesPassword()
    {
        const ConnectionString cs
            = ConnectionString::parse(QStringLiteral("Provider=PostgreSQL;Host=h;PASSWORD=segreto"));
        QVERIFY(!cs.masked().contains(QStringLiteral("segreto")));
        QVERIFY(cs.masked().contains(QStringLiteral("Host=h")));
    }

    void dialect_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        const int pg = int(SqlDialect::Kind::PostgreSQL);
        const int lite = int(SqlDialect::Kind::SQLite);
        QTest::newRow("pg names") << pg << "Select * from [tabella pratiche] where [Tipo Mandato]=?"
                                  << "Select * from \"tabella pratiche\" where \"tipo mandato\"=?";
        QTest::newRow("pg top") << pg << "Select top 2 * from [tabella fatture] where conta=?"
                                << "Select * from \"tabella fatture\" where conta=? LIMIT 2";
        QTest::newRow("pg bracket in literal") << pg << "select '[x]' from t"
                                               << "select '[x]' from t";
        QTest::newRow("sqlite keeps brackets") << lite << "Select * from [tabella pratiche]"
                                               << "Select * from [tabella pratiche]";
        QTest::newRow("sqlite top") << lite << "SELECT TOP 10 a FROM t"
                                    << "SELECT a FROM t LIMIT 10";
    }
    void dialect()
    {
        QFETCH(int, kind);
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        QCOMPARE(SqlDialect::create(SqlDialect::Kind(kind))->translate(sql), expected);
    }

    void drivePaths()
    {
        QTemporaryDir dir;
        const QString z = dir.filePath(QStringLiteral("zdrive"));
        QDir().mkpath(z + QStringLiteral("/Work/KX32/Import"));
        qputenv("ZB32_DRIVE_Z", QFile::encodeName(z));
        QCOMPARE(zb32::resolveDrivePath(QStringLiteral("z:\\work\\kx32\\import\\esempio.txt")),
            z + QStringLiteral("/Work/KX32/Import/esempio.txt"));
        QCOMPARE(zb32::resolveDrivePath(QStringLiteral("Z:\\work\\kx32\\dati\\kx32.ini")),
            z + QStringLiteral("/Work/KX32/dati/kx32.ini"));
        QCOMPARE(zb32::resolveDrivePath(zb32::kImportFolder), z + QStringLiteral("/Work/KX32/Import/"));
        qputenv("ZB32_DRIVE_C", QFile::encodeName(dir.filePath(QStringLiteral("c"))));
        QCOMPARE(
            zb32::resolveDrivePath(QStringLiteral("C:\\LO071226.ASC")), dir.filePath(QStringLiteral("c/LO071226.ASC")));
        qunsetenv("ZB32_DRIVE_C");
        QVERIFY(
            zb32::resolveDrivePath(QStringLiteral("C:\\x")).endsWith(QStringLiteral("/.local/share/zb32/drives/C/x")));
        qunsetenv("ZB32_DRIVE_Z");
    }
};

QTEST_GUILESS_MAIN(TestConfiguration)
#include "TestConfiguration.moc"
