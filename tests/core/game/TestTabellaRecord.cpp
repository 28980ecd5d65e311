// The Gravix high-score table: defaults, entering a score, the name box, and the per-user store.
#include "GameFakes.h"
#include "core/game/RecordStore.h"
#include "core/game/TabellaRecord.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace zb32;

namespace {

using Table = QList<VoceRecord>;

Table tableOf(const TabellaRecord& t)
{
    return Table(t.voci().begin(), t.voci().end());
}

VoceRecord entry(const char* name, qint32 points)
{
    return VoceRecord { QString::fromUtf8(name), points };
}

// Stored values Nome1, Punti1, ... Punti3; an empty list stores nothing.
void store(test::MemoryStore& s, const QStringList& values)
{
    for (qsizetype i = 0; i < values.size(); ++i) {
        const int n = int(i / 2) + 1;
        s.values.insert((i % 2 ? QStringLiteral("Punti%1") : QStringLiteral("Nome%1")).arg(n), values.at(i));
    }
}

} // namespace

class TestTabellaRecord : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settingsDir.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settingsDir.path());
    }
    void init()
    {
        QFile::remove(iniPath());
        QDir(iniPath()).removeRecursively();
    }

    void defaults()
    {
        test::MemoryStore s;
        test::QueuedNames names;
        TabellaRecord t(s, names);
        t.CaricaRecord();
        QCOMPARE(tableOf(t), (Table { entry("Player1", 0), entry("Player2", 0), entry("Player3", 0) }));
        QVERIFY(s.writtenKeys.isEmpty());
    }

    void controllaRecord_data()
    {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<qint64>("score");
        QTest::addColumn<QStringList>("answers"); // empty: the player cancels
        QTest::addColumn<int>("place");
        QTest::addColumn<Table>("expected");
        const QStringList ranked = { "Anna", "100", "Bruno", "50", "Carla", "20" };
        QTest::newRow("defaults, 0 points") << QStringList {} << qint64(0) << QStringList { "x" } << -1
                                            << Table { entry("Player1", 0), entry("Player2", 0), entry("Player3", 0) };
        QTest::newRow("defaults, 10 points enter first")
            << QStringList {} << qint64(10) << QStringList { "Dino" } << 0
            << Table { entry("Dino", 10), entry("Player1", 0), entry("Player2", 0) };
        QTest::newRow("above all") << ranked << qint64(101) << QStringList { "Dino" } << 0
                                   << Table { entry("Dino", 101), entry("Anna", 100), entry("Bruno", 50) };
        QTest::newRow("equal to the first, above the second")
            << ranked << qint64(100) << QStringList { "Dino" } << 1
            << Table { entry("Anna", 100), entry("Dino", 100), entry("Bruno", 50) };
        QTest::newRow("equal to the second, above the third")
            << ranked << qint64(50) << QStringList { "Dino" } << 2
            << Table { entry("Anna", 100), entry("Bruno", 50), entry("Dino", 50) };
        QTest::newRow("equal to the third") << ranked << qint64(20) << QStringList { "Dino" } << -1
                                            << Table { entry("Anna", 100), entry("Bruno", 50), entry("Carla", 20) };
        QTest::newRow("below all") << ranked << qint64(3) << QStringList { "Dino" } << -1
                                   << Table { entry("Anna", 100), entry("Bruno", 50), entry("Carla", 20) };
        QTest::newRow("cancel stores an empty name")
            << QStringList {} << qint64(10) << QStringList {} << 0
            << Table { entry("", 10), entry("Player1", 0), entry("Player2", 0) };
        QTest::newRow("a name of 15 characters is kept whole")
            << QStringList {} << qint64(10) << QStringList { "Giovanbattista1" } << 0
            << Table { entry("Giovanbattista1", 10), entry("Player1", 0), entry("Player2", 0) };
        QTest::newRow("stored points that are not a number count as 0")
            << QStringList { "Anna", "molti", "Bruno", "7", "Carla", "3" } << qint64(5) << QStringList { "Dino" } << 0
            << Table { entry("Dino", 5), entry("Anna", 0), entry("Bruno", 7) };
        QTest::newRow("stored points beyond 32 bits")
            << QStringList { "Anna", "99999999999", "Bruno", "7", "Carla", "3" } << qint64(2147483647)
            << QStringList { "Dino" } << 1
            << Table { entry("Anna", 2147483647), entry("Dino", 2147483647), entry("Bruno", 7) };
        QTest::newRow("negative stored points")
            << QStringList { "Anna", "-5", "Bruno", "-6", "Carla", "-7" } << qint64(0) << QStringList { "Dino" } << 0
            << Table { entry("Dino", 0), entry("Anna", -5), entry("Bruno", -6) };
        QTest::newRow("a score beyond 32 bits counts as the largest")
            << ranked << qint64(5000000000) << QStringList { "Dino" } << 0
            << Table { entry("Dino", 2147483647), entry("Anna", 100), entry("Bruno", 50) };
    }
    void controllaRecord()
    {
        QFETCH(QStringList, stored);
        QFETCH(qint64, score);
        QFETCH(QStringList, answers);
        QFETCH(int, place);
        QFETCH(Table, expected);
        test::MemoryStore s;
        store(s, stored);
        test::QueuedNames names;
        names.answers = answers;
        TabellaRecord t(s, names);
        t.CaricaRecord();
        Table shownWhileAsking;
        t.setOnChanged([&] {
            if (shownWhileAsking.isEmpty()) {
                shownWhileAsking = tableOf(t);
            }
        });
        QCOMPARE(t.ControllaRecord(score), place);
        QCOMPARE(tableOf(t), expected);
        if (place < 0) {
            QVERIFY(names.prompts.isEmpty());
            QVERIFY(s.writtenKeys.isEmpty());
            return;
        }
        QCOMPARE(names.prompts,
            QStringList {
                QStringLiteral("Complimenti, hai ottenuto un nuovo record\rScrivi il tuo nome (max. 10 car)") });
        Table blank = expected;
        blank[place].nome.clear();
        QCOMPARE(shownWhileAsking, blank); // shifted, with an empty name, before the box
        QCOMPARE(s.writtenKeys, (QStringList { "Nome1", "Punti1", "Nome2", "Punti2", "Nome3", "Punti3" }));
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(s.values.value(QStringLiteral("Nome%1").arg(i + 1)), expected.at(i).nome);
            QCOMPARE(s.values.value(QStringLiteral("Punti%1").arg(i + 1)), QString::number(expected.at(i).punti));
        }
    }

    void puntiDaTesto_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("plain") << "1234" << 1234;
        QTest::newRow("blanks around") << " 42 " << 42;
        QTest::newRow("plus sign") << "+8" << 8;
        QTest::newRow("minus sign") << "-8" << -8;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("word") << "molti" << 0;
        QTest::newRow("digits then letters") << "12abc" << 0;
        QTest::newRow("decimal comma") << "12,5" << 0;
        QTest::newRow("largest") << "2147483647" << 2147483647;
        QTest::newRow("one beyond") << "2147483648" << 2147483647;
        QTest::newRow("far beyond 64 bits") << "123456789012345678901234567890" << 2147483647;
        QTest::newRow("far below") << "-123456789012345678901234567890" << int(-2147483647 - 1);
    }
    void puntiDaTesto()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(TabellaRecord::puntiDaTesto(text), expected);
    }

    // The real store: application "Gravix", section "Record", in an isolated settings folder.
    void settingsStoreDefaultsWriteNothing()
    {
        SettingsRecordStore s;
        test::QueuedNames names;
        TabellaRecord t(s, names);
        t.CaricaRecord();
        QCOMPARE(tableOf(t), (Table { entry("Player1", 0), entry("Player2", 0), entry("Player3", 0) }));
        QVERIFY(t.ControllaRecord(0) < 0);
        QVERIFY(!QFile::exists(iniPath()));
    }

    void settingsStoreRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain") << "Dino";
        QTest::newRow("fifteen characters") << "Giovanbattista1";
        QTest::newRow("comma") << "Rossi, Mario";
        QTest::newRow("at sign first") << "@Variant(x)";
        QTest::newRow("equals and semicolon") << "a=b;c";
        QTest::newRow("accents") << "Niccolò Àlbè";
        QTest::newRow("blanks around") << "  Eva  ";
        QTest::newRow("backslash and quote") << "C:\\\"x\"";
        QTest::newRow("empty") << "";
    }
    void settingsStoreRoundTrip()
    {
        QFETCH(QString, name);
        SettingsRecordStore s;
        test::QueuedNames names;
        names.answers = { name };
        TabellaRecord t(s, names);
        t.CaricaRecord();
        QCOMPARE(t.ControllaRecord(10), 0);
        QVERIFY(QFile::exists(iniPath()));

        TabellaRecord again(s, names);
        again.CaricaRecord();
        QCOMPARE(tableOf(again), (Table { VoceRecord { name, 10 }, entry("Player1", 0), entry("Player2", 0) }));

        QSettings raw(iniPath(), QSettings::IniFormat);
        QCOMPARE(raw.childGroups(), QStringList { "Record" });
        QCOMPARE(raw.value(QStringLiteral("Record/Punti1")).toString(), QStringLiteral("10"));
        QCOMPARE(raw.value(QStringLiteral("Record/Nome2")).toString(), QStringLiteral("Player1"));
    }

    void settingsStoreReadsAnotherCopysEntries()
    {
        SettingsRecordStore s;
        test::QueuedNames names;
        TabellaRecord t(s, names);
        t.CaricaRecord();
        {
            QSettings other(
                QSettings::IniFormat, QSettings::UserScope, QStringLiteral("zb32"), QStringLiteral("Gravix"));
            other.setValue(QStringLiteral("Record/Nome1"), QStringLiteral("Altrove"));
            other.setValue(QStringLiteral("Record/Punti1"), QStringLiteral("77"));
        }
        t.CaricaRecord();
        QCOMPARE(t.voce(0), entry("Altrove", 77));
    }

    void unwritableStoreIsReported()
    {
        QVERIFY(QDir().mkpath(iniPath())); // a folder where the file should be: nothing can be written
        SettingsRecordStore s;
        test::QueuedNames names;
        TabellaRecord t(s, names);
        t.CaricaRecord();
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("high scores not saved")));
        QCOMPARE(t.ControllaRecord(10), 0); // the game goes on; the table still shows the entry
        QCOMPARE(t.voce(0).punti, 10);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("high scores not saved")));
        QVERIFY(!t.SalvaRecord());
        QVERIFY(QDir(iniPath()).removeRecursively());
    }

private:
    QString iniPath() const { return m_settingsDir.filePath(QStringLiteral("zb32/Gravix.ini")); }
    QTemporaryDir m_settingsDir;
};

QTEST_GUILESS_MAIN(TestTabellaRecord)
#include "TestTabellaRecord.moc"
