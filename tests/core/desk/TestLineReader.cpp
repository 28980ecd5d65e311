// Line reading: CR and CR LF end a line, a lone LF does not; bytes are Windows-1252.
#include "core/desk/Cp1252.h"
#include "core/desk/LineReader.h"
#include "core/desk/Sha256.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QTest>

using zb32::LineReader;

namespace {

// A device that hands out its data a few bytes at a time, so lines cross read boundaries.
class TrickleDevice : public QIODevice
{
public:
    explicit TrickleDevice(QByteArray data, qint64 step)
        : m_data(std::move(data))
        , m_step(step)
    {
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        const qint64 n = qMin(qMin(max, m_step), qint64(m_data.size()) - m_pos);
        memcpy(out, m_data.constData() + m_pos, size_t(n));
        m_pos += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_data;
    qint64 m_step;
    qint64 m_pos = 0;
};

// A device that fails after some bytes.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(qint64 goodBytes)
        : m_good(goodBytes)
    {
        open(QIODevice::ReadOnly);
    }

protected:
    qint64 readData(char* out, qint64 max) override
    {
        if (m_good <= 0) {
            setErrorString(QStringLiteral("errore di lettura simulato"));
            return -1;
        }
        const qint64 n = qMin(max, m_good);
        memset(out, 'x', size_t(n));
        m_good -= n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 m_good;
};

QStringList readAll(QIODevice* device, QList<qint64>* positions = nullptr)
{
    LineReader reader(device);
    QStringList lines;
    QString line;
    while (reader.readLine(&line) == LineReader::Status::Line) {
        lines << line;
        if (positions) {
            *positions << reader.position();
        }
    }
    return lines;
}

} // namespace

class TestLineReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << QStringList { "a", "b" };
        QTest::newRow("cr") << QByteArray("a\rb\r") << QStringList { "a", "b" };
        QTest::newRow("lf") << QByteArray("a\nb\r\nc\n") << QStringList { "a", "b", "c" };
        QTest::newRow("lf cr") << QByteArray("a\n\rb") << QStringList { "a", "", "b" };
        QTest::newRow("no final break") << QByteArray("a\r\nb") << QStringList { "a", "b" };
        QTest::newRow("empty lines") << QByteArray("\r\n\r\nx\r\n") << QStringList { "", "", "x" };
        QTest::newRow("empty file") << QByteArray() << QStringList {};
        QTest::newRow("cr cr lf") << QByteArray("a\r\r\nb") << QStringList { "a", "", "b" };
        // Breaks are looked for eight bytes at a time: on either side of a word's end.
        QTest::newRow("breaks around the eighth byte")
            << QByteArray("1234567\r\n12345678\n123456789\r") << QStringList { "1234567", "12345678", "123456789" };
        QTest::newRow("windows-1252") << QByteArray("citt\xe0 \x80 \x93x\x94\r\n")
                                      << QStringList { QString::fromUtf8("città € “x”") };
        // A line cut by a chunk's end is copied in front of the next chunk while it fits there
        // (16 KiB), and the chunks are joined beyond that: lines of either size on every boundary.
        QByteArray around;
        QStringList aroundLines;
        for (int i = 0; i < 120; ++i) {
            aroundLines << QString(16 * 1024 - 1 + i % 3, QLatin1Char('a' + i % 26));
            around += aroundLines.last().toLatin1() + (i % 2 ? "\r\n" : "\n");
        }
        QTest::newRow("lines about the room before a chunk") << around << aroundLines;
    }
    void lines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QBuffer whole(&bytes);
        whole.open(QIODevice::ReadOnly);
        QCOMPARE(readAll(&whole), expected);
        for (qint64 step : { 1, 2, 3 }) {
            TrickleDevice trickle(bytes, step);
            QCOMPARE(readAll(&trickle), expected);
        }
    }

    void positionsCountBytes()
    {
        QByteArray bytes("abc\r\nde\rf");
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        QList<qint64> positions;
        readAll(&b, &positions);
        QCOMPARE(positions, (QList<qint64> { 5, 8, 9 }));
    }

    void longLineAcrossChunks()
    {
        QByteArray bytes(700000, 'z');
        bytes += "\r\nend";
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        const QStringList lines = readAll(&b);
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines[0].size(), 700000);
        QCOMPARE(lines[1], QStringLiteral("end"));
    }

    void utf8LinesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("goodLines");
        QTest::newRow("utf-8 accent") << QByteArray("ok\r\ncitt\xc3\xa0\r\n") << 1;
        QTest::newRow("utf-8 euro") << QByteArray("\xe2\x82\xac 5\r\n") << 0;
        QTest::newRow("windows-1252 stays") << QByteArray("citt\xe0\r\n\xc3 x\r\n") << 2;
        QTest::newRow("cut sequence is not utf-8") << QByteArray("a\xc3") << 1;
        QTest::newRow("overlong is not utf-8") << QByteArray("\xe0\x80\x80\r\n") << 1;
        QTest::newRow("utf-8 across a word's end")
            << QByteArray("plain ascii\r\n12345678abcdefg\xc3\xa0 and more after it\r\n") << 1;
    }
    void utf8LinesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, goodLines);
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        LineReader reader(&b);
        QString line;
        int lines = 0;
        LineReader::Status status;
        while ((status = reader.readLine(&line)) == LineReader::Status::Line) {
            ++lines;
        }
        QCOMPARE(lines, goodLines);
        const bool refused = status == LineReader::Status::Error;
        QCOMPARE(refused, QByteArray(QTest::currentDataTag()).startsWith("utf-8"));
        if (refused) {
            QCOMPARE(reader.errorLine(), goodLines + 1);
            QVERIFY(reader.errorString().contains(QStringLiteral("UTF-8")));
        }
    }

    // The encoding is decided for the whole file before its first line: a BOM and nothing but
    // UTF-8 make it UTF-8; UTF-16, or a UTF-8 line in a Windows-1252 file, stop it at once. The
    // same reading gives the file's SHA-256, the whole file's however early the scan stops.
    void encodingOfTheFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("errorLine"); // 0: read
        QTest::addColumn<QString>("reason");
        QTest::newRow("bom, ascii") << QByteArray("\xEF\xBB\xBF"
                                                  "abc\r\ndef")
                                    << QStringList { "abc", "def" } << 0 << "";
        QTest::newRow("bom, utf-8") << QByteArray("\xEF\xBB\xBF"
                                                  "citt\xc3\xa0\n\xe2\x82\xac\n")
                                    << QStringList { QString::fromUtf8("città"), QString::fromUtf8("€") } << 0 << "";
        QTest::newRow("bom, then windows-1252") << QByteArray("\xEF\xBB\xBF"
                                                              "citt\xe0\r\n")
                                                << QStringList { QString::fromUtf8("città") } << 0 << "";
        QTest::newRow("utf-8 on the third line")
            << QByteArray("ok\r\nok\r\ncitt\xc3\xa0\r\n") << QStringList {} << 3 << "UTF-8";
        QTest::newRow("utf-16 with bom") << QByteArray("\xFF\xFE"
                                                       "a\0b\0\r\0\n\0",
            10) << QStringList {} << 1 << "UTF-16";
        QTest::newRow("utf-16 big-endian, no bom")
            << QByteArray("\0a\0b\0\r\0\n", 8) << QStringList {} << 1 << "UTF-16";
        // Many chunks of the reading, in the scan and after it.
        QByteArray many;
        for (int i = 0; i < 300000; ++i) {
            many += "x\r\n";
        }
        QTest::newRow("many chunks") << many << QStringList(300000, QStringLiteral("x")) << 0 << "";
        QTest::newRow("utf-8 on the third line of many chunks")
            << QByteArray("ok\r\nok\r\ncitt\xc3\xa0\r\n") + many << QStringList {} << 3 << "UTF-8";
    }
    void encodingOfTheFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, expected);
        QFETCH(int, errorLine);
        QFETCH(QString, reason);
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        LineReader reader(&b);
        zb32::Sha256 hash;
        const LineReader::Status status = reader.decideEncoding(&hash);
        QCOMPARE(hash.hexResult(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        if (errorLine > 0) {
            QCOMPARE(status, LineReader::Status::Error);
            QCOMPARE(reader.errorLine(), errorLine);
            QVERIFY2(reader.errorString().contains(reason), qPrintable(reader.errorString()));
            return;
        }
        QCOMPARE(status, LineReader::Status::Line);
        QStringList lines;
        QString line;
        while (reader.readLine(&line) == LineReader::Status::Line) {
            lines << line;
        }
        QCOMPARE(lines, expected);
        QCOMPARE(reader.position(), bytes.size());
    }

    // Bytes no text line holds stop the reading at their line, with the column named; tab,
    // form feed and Ctrl-Z are text.
    void controlBytesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("goodLines");
        QTest::addColumn<int>("column"); // 0: nothing refused
        QTest::newRow("nul after a line") << QByteArray("ok\r\nab\0c\r\nnext\r\n", 14) << 1 << 3;
        QTest::newRow("escape first") << QByteArray("\x1b[0m\r\n") << 0 << 1;
        QTest::newRow("bell at the end") << QByteArray("a\r\nb\r\nxyz\x07") << 2 << 4;
        QTest::newRow("unit separator") << QByteArray("a\x1f") << 0 << 2;
        QTest::newRow("after two plain words") << QByteArray("abcdefghijklmnop\x01qrstuvwxyz0123456\r\n") << 0 << 17;
        QTest::newRow("after a windows-1252 letter")
            << QByteArray("citt\xe0 abcdefgh\x02ijklmnopqrstuvw\r\n") << 0 << 15;
        QTest::newRow("tab, form feed, ctrl-z") << QByteArray("a\tb\r\n\x0cpage\r\nx\ny\r\n\x1a") << 5 << 0;
    }
    void controlBytesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, goodLines);
        QFETCH(int, column);
        for (qint64 step : { qint64(1), qint64(bytes.size()) }) {
            TrickleDevice device(bytes, step);
            LineReader reader(&device);
            QString line;
            int lines = 0;
            LineReader::Status status;
            while ((status = reader.readLine(&line)) == LineReader::Status::Line) {
                ++lines;
            }
            QCOMPARE(lines, goodLines);
            QCOMPARE(status == LineReader::Status::Error, column > 0);
            if (column > 0) {
                QCOMPARE(reader.errorLine(), goodLines + 1);
                QVERIFY2(reader.errorString().contains(QStringLiteral("alla colonna %1:").arg(column)),
                    qPrintable(reader.errorString()));
            }
        }
        // Switched off, the same bytes read as text.
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        LineReader lenient(&b);
        lenient.setRefuseControl(false);
        QString line;
        LineReader::Status status;
        while ((status = lenient.readLine(&line)) == LineReader::Status::Line) { }
        QCOMPARE(status, LineReader::Status::End);
    }

    // The longest line read is kMaxLineBytes, with or without its line end in the same block.
    void lineLengthLimit_data()
    {
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<bool>("lineEnd");
        QTest::addColumn<bool>("refused");
        const qsizetype max = LineReader::kMaxLineBytes;
        QTest::newRow("at the limit, ended") << max << true << false;
        QTest::newRow("at the limit, last line") << max << false << false;
        QTest::newRow("one byte more, ended") << max + 1 << true << true;
        QTest::newRow("one byte more, last line") << max + 1 << false << true;
        QTest::newRow("ten megabytes") << qsizetype(10 * 1000 * 1000) << true << true;
    }
    void lineLengthLimit()
    {
        QFETCH(qsizetype, length);
        QFETCH(bool, lineEnd);
        QFETCH(bool, refused);
        QByteArray bytes = "first\r\n" + QByteArray(length, 'x');
        if (lineEnd) {
            bytes += "\r\nlast\r\n";
        }
        QBuffer b(&bytes);
        b.open(QIODevice::ReadOnly);
        LineReader reader(&b);
        QString line;
        QCOMPARE(reader.readLine(&line), LineReader::Status::Line);
        const LineReader::Status status = reader.readLine(&line);
        QCOMPARE(status == LineReader::Status::Error, refused);
        if (refused) {
            QCOMPARE(reader.errorLine(), 2);
            QVERIFY(reader.errorString().contains(QString::number(LineReader::kMaxLineBytes)));
        } else {
            QCOMPARE(line.size(), length);
        }
    }

    void readErrorIsReported()
    {
        FailingDevice device(10);
        LineReader reader(&device);
        QString line;
        QCOMPARE(reader.readLine(&line), LineReader::Status::Error);
        QVERIFY(reader.errorString().contains(QStringLiteral("simulato")));
    }

    void encodeRoundTrip()
    {
        const QString text = QString::fromUtf8("N° contratto àèìòù € ‘’ …");
        QCOMPARE(zb32::Cp1252::decode(zb32::Cp1252::encode(text)), text);
        QCOMPARE(zb32::Cp1252::encode(QString::fromUtf8("\u4e2d")), QByteArray("?"));
        // Every byte, at every place in the words of eight that plain text is passed over in.
        for (int b = 0; b < 256; ++b) {
            for (int at = 0; at < 17; ++at) {
                QByteArray bytes(19, 'x');
                bytes[at] = char(b);
                const QString decoded = zb32::Cp1252::decode(bytes);
                QCOMPARE(decoded.size(), bytes.size());
                QCOMPARE(decoded.at(at), zb32::Cp1252::decode(bytes.mid(at, 1)).at(0));
                QCOMPARE(zb32::Cp1252::encode(decoded), bytes);
            }
        }
        QCOMPARE(zb32::Cp1252::decode(QByteArray("\x80")), QString::fromUtf8("€"));
    }
};

QTEST_GUILESS_MAIN(TestLineReader)
#include "TestLineReader.moc"
