// The text pool: the resource file's contents and limits, the draw and its random source.
#include "gui/about/Barzellette.h"

#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QTest>

using namespace zb32;

namespace {

// The pool file read here on its own, independently of the program's reader.
QStringList poolFileLines()
{
    QFile f(QStringLiteral(ZB32_POOL_FILE));
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = f.readAll();
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

// A source that answers the given indexes in turn and records the bounds it was asked for.
struct Scripted
{
    QList<quint32> answers;
    QList<quint32> bounds;
    BarzellettaRandom source()
    {
        return [this](quint32 bound) {
            bounds << bound;
            return answers.isEmpty() ? 0 : answers.takeFirst();
        };
    }
};

} // namespace

class TestBarzellette : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { setRandomSource({}); }

    void poolFileIsValidUtf8()
    {
        QFile f(QStringLiteral(ZB32_POOL_FILE));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString text = decoder.decode(f.readAll());
        QVERIFY(!decoder.hasError());
        QVERIFY(!text.contains(QChar(0xFFFD)));
        QVERIFY(!text.startsWith(QChar(0xFEFF)));
    }

    void poolHas394DistinctTextsOfValidLength()
    {
        const QStringList lines = poolFileLines();
        QCOMPARE(lines.size(), 394);
        QSet<QString> seen;
        for (const QString& line : lines) {
            const QString where = QStringLiteral("riga %1: %2").arg(lines.indexOf(line) + 1).arg(line.left(60));
            const auto length = line.toUcs4().size(); // characters, not UTF-16 units
            QVERIFY2(length >= 21 && length <= 441, qPrintable(where + QStringLiteral(" (%1)").arg(length)));
            QVERIFY2(line == line.trimmed(), qPrintable(where));
            QVERIFY2(!line.contains(QLatin1Char('\r')) && !line.contains(QLatin1Char('\t')), qPrintable(where));
            QVERIFY2(!seen.contains(line), qPrintable(QStringLiteral("doppione, ") + where));
            seen.insert(line);
        }
    }

    void programReadsTheWholeFile()
    {
        const QStringList lines = poolFileLines();
        QVERIFY(!lines.isEmpty());
        QCOMPARE(testiBarzellette(), lines);
    }

    void readingTexts_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("LF") << QByteArray("uno\ndue\n") << QStringList { "uno", "due" };
        QTest::newRow("CR LF") << QByteArray("uno\r\ndue\r\n") << QStringList { "uno", "due" };
        QTest::newRow("no final newline") << QByteArray("uno\ndue") << QStringList { "uno", "due" };
        QTest::newRow("blank lines skipped") << QByteArray("\nuno\n\n  \ndue\n\n") << QStringList { "uno", "due" };
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBFuno\ndue\n") << QStringList { "uno", "due" };
        QTest::newRow("accents") << QByteArray("perch\xC3\xA9 \xC3\xA8 cos\xC3\xAC\n")
                                 << QStringList { QString::fromUtf8("perché è così") };
        QTest::newRow("inner CR kept apart from the end")
            << QByteArray("a\rb\r\n") << QStringList { QStringLiteral("a\rb") };
        QTest::newRow("empty") << QByteArray() << QStringList {};
    }
    void readingTexts()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, texts);
        QCOMPARE(leggiBarzellette(bytes), texts);
    }

    void drawRebuildsThePool()
    {
        const QStringList texts = testiBarzellette();
        QCOMPARE(texts.size(), 394);
        // Leave the pool in a broken state; the next draw must rebuild it in full.
        NumBarzellette = 3;
        Barzellette[1] = QStringLiteral("guasto");
        Barzellette[394] = QStringLiteral("guasto");
        Scripted s;
        s.answers = { 0 };
        setRandomSource(s.source());
        QCOMPARE(Barzelletta(), texts.first());
        QCOMPARE(NumBarzellette, qint16(394));
        QCOMPARE(Barzellette[1], texts.first());
        QCOMPARE(Barzellette[394], texts.last());
        QCOMPARE(s.bounds, QList<quint32> { 394 });
    }

    void everyEntryCanBeDrawn()
    {
        const QStringList texts = testiBarzellette();
        Scripted s;
        for (quint32 i = 0; i < quint32(texts.size()); ++i) {
            s.answers << i;
        }
        setRandomSource(s.source());
        QStringList drawn;
        for (int i = 0; i < texts.size(); ++i) {
            drawn << Barzelletta();
        }
        QCOMPARE(drawn, texts);
    }

    void outOfRangeAnswerStaysInThePool_data()
    {
        QTest::addColumn<quint32>("answer");
        QTest::newRow("bound") << quint32(394);
        QTest::newRow("bound + 5") << quint32(399);
        QTest::newRow("huge") << quint32(0xFFFFFFFFu);
    }
    void outOfRangeAnswerStaysInThePool()
    {
        QFETCH(quint32, answer);
        Scripted s;
        s.answers = { answer };
        setRandomSource(s.source());
        const QString text = Barzelletta();
        QVERIFY(testiBarzellette().contains(text));
    }

    void poolRefusesTextsBeyondItsSlots()
    {
        NumBarzellette = 0;
        for (int i = 1; i <= kMaxBarzellette; ++i) {
            QVERIFY(AggiungiBarzelletta(QStringLiteral("testo %1").arg(i)));
        }
        QCOMPARE(NumBarzellette, qint16(kMaxBarzellette));
        QVERIFY(!AggiungiBarzelletta(QStringLiteral("uno di troppo")));
        QCOMPARE(NumBarzellette, qint16(kMaxBarzellette));
        QCOMPARE(Barzellette[kMaxBarzellette], QStringLiteral("testo %1").arg(kMaxBarzellette));
        QVERIFY(Barzellette[0].isEmpty());
    }

    void defaultSourceReachesEveryTextEvenly()
    {
        setRandomSource({});
        const QStringList texts = testiBarzellette();
        const int rounds = 40;
        QHash<QString, int> counts;
        for (int i = 0; i < rounds * texts.size(); ++i) {
            ++counts[Barzelletta()];
        }
        // With 40 expected per text, a missing text or one drawn twice as often means a bias.
        QCOMPARE(counts.size(), texts.size());
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            QVERIFY2(it.value() > 5 && it.value() < 2 * rounds, qPrintable(QString::number(it.value())));
        }
    }
};

QTEST_GUILESS_MAIN(TestBarzellette)
#include "TestBarzellette.moc"
