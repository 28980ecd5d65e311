// The pieces of the Gravix window: tiles and backgrounds, the boxes' cells, the sounds and the
// sound files installed beside the program.
#include "gui/game/BoardBox.h"
#include "gui/game/GravixSounds.h"
#include "gui/game/GravixTiles.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace zb32;

namespace {

class RecordingPlayer : public SoundPlayer
{
public:
    explicit RecordingPlayer(QStringList* played)
        : m_played(played)
    { }
    void play(const QString& path) override { m_played->append(path); }

private:
    QStringList* m_played;
};

QSet<QRgb> coloursOf(const QImage& img)
{
    QSet<QRgb> out;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            out.insert(img.pixel(x, y));
        }
    }
    return out;
}

QRgb rgb(const char* hex)
{
    return QColor(QString::fromLatin1(hex)).rgb();
}

} // namespace

class TestGravixParts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bevelledTiles_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("face");
        QTest::addColumn<QString>("dark");
        QTest::newRow("1") << 1 << "#00FF00"
                           << "#008000";
        QTest::newRow("2") << 2 << "#0080FF"
                           << "#004080";
        QTest::newRow("3") << 3 << "#FF0000"
                           << "#800000";
        QTest::newRow("4") << 4 << "#FF00FF"
                           << "#800080";
        QTest::newRow("5") << 5 << "#FFFF00"
                           << "#808040";
        QTest::newRow("6") << 6 << "#FF8040"
                           << "#804000";
        QTest::newRow("7") << 7 << "#8080FF"
                           << "#000080";
        QTest::newRow("difficulty") << 10 << "#808080"
                                    << "#000000";
    }
    void bevelledTiles()
    {
        QFETCH(int, index);
        QFETCH(QString, face);
        QFETCH(QString, dark);
        const QImage t = GravixTiles::blocco(index);
        QCOMPARE(t.size(), QSize(20, 20));
        const QRgb f = QColor(face).rgb();
        const QRgb d = QColor(dark).rgb();
        const QRgb white = qRgb(255, 255, 255);
        for (int i = 2; i < 17; ++i) { // 2-pixel edges along the sides
            QCOMPARE(t.pixel(0, i), white);
            QCOMPARE(t.pixel(1, i), white);
            QCOMPARE(t.pixel(i, 0), white);
            QCOMPARE(t.pixel(i, 1), white);
            QCOMPARE(t.pixel(19, i + 1), d);
            QCOMPARE(t.pixel(18, i + 1), d);
            QCOMPARE(t.pixel(i + 1, 19), d);
            QCOMPARE(t.pixel(i + 1, 18), d);
        }
        QCOMPARE(t.pixel(2, 2), f);
        QCOMPARE(t.pixel(5, 14), f);
        QCOMPARE(t.pixel(17, 17), f);
        // The dot in the middle: light top-left, dark bottom-right, face inside.
        QCOMPARE(t.pixel(8, 7), white);
        QCOMPARE(t.pixel(7, 9), white);
        QCOMPARE(t.pixel(11, 12), d);
        QCOMPARE(t.pixel(12, 10), d);
        QCOMPARE(t.pixel(9, 9), f);
        QCOMPARE(coloursOf(t), (QSet<QRgb> { white, d, f }));
        QCOMPARE(GravixTiles::faccia(index).rgb(), f);
        QCOMPARE(GravixTiles::bordoScuro(index).rgb(), d);
    }

    void plainTiles_data()
    {
        QTest::addColumn<int>("index");
        QTest::newRow("0") << 0;
        QTest::newRow("20") << 20;
    }
    void plainTiles()
    {
        QFETCH(int, index);
        const QImage t = GravixTiles::blocco(index);
        QCOMPARE(t.size(), QSize(20, 20));
        QCOMPARE(coloursOf(t), QSet<QRgb> { rgb("#C0C0FF") });
    }

    void noTileForOtherIndexes_data()
    {
        QTest::addColumn<int>("index");
        for (int i : { -1, 8, 9, 11, 19, 21 }) {
            QTest::addRow("%d", i) << i;
        }
    }
    void noTileForOtherIndexes()
    {
        QFETCH(int, index);
        QVERIFY(GravixTiles::blocco(index).isNull());
    }

    void backgrounds_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("colours");
        const QStringList lilac = { "#C0C0FF", "#808080" };
        const QStringList green = { "#008000", "#00FF00" };
        const QStringList blue = { "#004080", "#0080FF" };
        const QStringList blue3 = { "#004080", "#0080FF", "#8080FF" };
        const QStringList orange = { "#FF8040", "#804000" };
        const QStringList green3 = { "#008000", "#00FF80", "#004040" };
        const QStringList olive3 = { "#808040", "#004040", "#FFFF80" };
        const QStringList night3 = { "#000000", "#808080", "#C0C0FF" };
        const QStringList table[16] = { lilac, green, lilac, blue, blue3, orange, green3, olive3, blue, night3, olive3,
            orange, blue3, night3, olive3, green3 };
        for (int i = 0; i < 16; ++i) {
            QTest::addRow("%d", i) << i << table[i];
        }
    }
    void backgrounds()
    {
        QFETCH(int, index);
        QFETCH(QStringList, colours);
        const QImage t = GravixTiles::sfondo(index);
        QCOMPARE(t.size(), QSize(20, 20));
        QSet<QRgb> expected;
        for (const QString& c : colours) {
            expected.insert(QColor(c).rgb());
        }
        QCOMPARE(coloursOf(t), expected); // every listed colour shows, nothing else
        QCOMPARE(GravixTiles::coloriSfondo(index).size(), colours.size());
    }

    void backgroundsDifferFromEachOther()
    {
        for (int i = 0; i < 16; ++i) {
            for (int j = i + 1; j < 16; ++j) {
                QVERIFY2(GravixTiles::sfondo(i) != GravixTiles::sfondo(j),
                    qPrintable(QStringLiteral("%1 and %2").arg(i).arg(j)));
            }
        }
        QVERIFY(GravixTiles::sfondo(16).isNull());
        QVERIFY(GravixTiles::sfondo(-1).isNull());
    }

    void cells_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<QPoint>("cell");
        QTest::addColumn<QRect>("expected");
        const QRect board(0, 2, 184, 304);
        const QRect preview(188, 0, 80, 80);
        QTest::newRow("board top left") << 9 << 15 << board << QPoint(1, 1) << QRect(0, 0, 20, 20);
        QTest::newRow("board bottom right") << 9 << 15 << board << QPoint(9, 15) << QRect(160, 280, 20, 20);
        QTest::newRow("board outside") << 9 << 15 << board << QPoint(10, 1) << QRect();
        QTest::newRow("board row 0") << 9 << 15 << board << QPoint(1, 0) << QRect();
        QTest::newRow("preview top left") << 4 << 4 << preview << QPoint(1, 1) << QRect(0, 0, 19, 19);
        QTest::newRow("preview bottom right") << 4 << 4 << preview << QPoint(4, 4) << QRect(57, 57, 19, 19);
    }
    void cells()
    {
        QFETCH(int, columns);
        QFETCH(int, rows);
        QFETCH(QRect, place);
        QFETCH(QPoint, cell);
        QFETCH(QRect, expected);
        BoardBox box(columns, rows, QColor(0x80, 0x80, 0x80));
        box.place(place);
        QCOMPARE(box.image().size(), place.size() - QSize(4, 4));
        QCOMPARE(box.cellRect(cell.x(), cell.y()), expected);
        const QImage tile = GravixTiles::blocco(3);
        box.paintTile(cell.x(), cell.y(), tile);
        const QSet<QRgb> colours = coloursOf(box.image());
        if (expected.isEmpty()) {
            QCOMPARE(colours, QSet<QRgb> { rgb("#808080") });
        } else {
            QCOMPARE(
                box.image().copy(expected).pixel(expected.width() / 2 - 5, expected.height() / 2 - 5), rgb("#FF0000"));
            QCOMPARE(box.image().copy(expected).pixel(0, expected.height() / 2), qRgb(255, 255, 255));
            QCOMPARE(coloursOf(box.image().copy(expected)).contains(rgb("#808080")), false); // the whole cell
            box.clear();
            QCOMPARE(coloursOf(box.image()), QSet<QRgb> { rgb("#808080") });
        }
    }

    void soundFiles_data()
    {
        QTest::addColumn<int>("n");
        QTest::addColumn<QString>("file");
        QTest::newRow("rotation") << 1 << "gravix3.wav";
        QTest::newRow("sideways") << 2 << "gravix6.wav";
        QTest::newRow("landing") << 3 << "gravix4.wav";
        QTest::newRow("four rows") << 4 << "gravix7.wav";
        QTest::newRow("game over") << 5 << "gravix8.wav";
        QTest::newRow("rows") << 6 << "gravix5.wav";
        QTest::newRow("0") << 0 << "";
        QTest::newRow("7") << 7 << "";
        QTest::newRow("-1") << -1 << "";
    }
    void soundFiles()
    {
        QFETCH(int, n);
        QFETCH(QString, file);
        QCOMPARE(GravixSounds::fileName(n), file);
        QTemporaryDir dir;
        for (int i = 3; i <= 8; ++i) {
            QFile f(dir.filePath(QStringLiteral("gravix%1.wav").arg(i)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QStringList played;
        GravixSounds sounds(dir.path(), std::make_unique<RecordingPlayer>(&played));
        sounds.Suona(n);
        QCOMPARE(played, file.isEmpty() ? QStringList {} : QStringList { dir.filePath(file) });
    }

    void missingSoundsAreSilent()
    {
        QTemporaryDir dir;
        QStringList played;
        GravixSounds sounds(dir.path(), std::make_unique<RecordingPlayer>(&played));
        for (int n = 1; n <= 6; ++n) {
            sounds.Suona(n);
        }
        QVERIFY(played.isEmpty()); // no file at all
        QFile f(dir.filePath(QStringLiteral("gravix4.wav")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("gravix8.wav"))); // a folder is no sound file
        for (int n = 1; n <= 6; ++n) {
            sounds.Suona(n);
        }
        QCOMPARE(played, QStringList { dir.filePath(QStringLiteral("gravix4.wav")) });
        QVERIFY(QFile::remove(dir.filePath(QStringLiteral("gravix4.wav"))));
        sounds.Suona(3); // deleted while the game runs: silent from then on
        QCOMPARE(played.size(), 1);
        GravixSounds nowhere(
            dir.filePath(QStringLiteral("no such folder")), std::make_unique<RecordingPlayer>(&played));
        nowhere.Suona(3);
        QCOMPARE(played.size(), 1);
    }

    // The build puts the six sounds beside the program: short PCM wave files, the committed ones.
    void soundsBesideTheProgram_data()
    {
        QTest::addColumn<QString>("file");
        for (int i = 3; i <= 8; ++i) {
            QTest::addRow("gravix%d", i) << QStringLiteral("gravix%1.wav").arg(i);
        }
    }
    void soundsBesideTheProgram()
    {
        QFETCH(QString, file);
        const QString binary = qEnvironmentVariable("ZB32_BINARY");
        if (binary.isEmpty()) {
            QSKIP("ZB32_BINARY not set (run through ctest)");
        }
        QFile installed(QFileInfo(binary).dir().filePath(QStringLiteral("wav/") + file));
        QVERIFY2(installed.open(QIODevice::ReadOnly), qPrintable(installed.fileName()));
        const QByteArray bytes = installed.readAll();
        QVERIFY(bytes.size() > 44);
        QCOMPARE(bytes.left(4), QByteArray("RIFF"));
        QCOMPARE(bytes.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 20), quint16(1)); // PCM
        const quint32 byteRate = qFromLittleEndian<quint32>(bytes.constData() + 28);
        QVERIFY(byteRate > 0);
        QVERIFY2(double(bytes.size() - 44) / byteRate < 1.5, "a sound of the game is short");
        QFile committed(QStringLiteral(ZB32_SOURCE_DIR "/resources/game/wav/") + file);
        QVERIFY(committed.open(QIODevice::ReadOnly));
        QCOMPARE(committed.readAll(), bytes);
    }
};

QTEST_MAIN(TestGravixParts)
#include "TestGravixParts.moc"
