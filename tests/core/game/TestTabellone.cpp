// The Gravix board and pieces: turns about the pivot, refused moves, the first piece, overlapping
// spawns, full rows, difficulty rows and painting only what changed.
#include "GameFakes.h"
#include "core/game/Tabellone.h"

#include <QTest>

using namespace zb32;
using test::ScreenPainter;
using test::SequenceRandom;

namespace {

QList<QPoint> blocks(const Pezzo& p)
{
    QList<QPoint> out;
    for (const Punto& b : p.blocchi) {
        out.append(QPoint(b.x, b.y));
    }
    return out;
}

int filledCells(const Griglia& g)
{
    int n = 0;
    for (int y = 1; y <= Griglia::kRighe; ++y) {
        for (int x = 1; x <= Griglia::kColonne; ++x) {
            n += g.at(x, y) != 0 ? 1 : 0;
        }
    }
    return n;
}

// One row as text: '.' empty, the colour digit, 'D' for a difficulty block.
QString rowText(const Griglia& g, int y)
{
    QString s;
    for (int x = 1; x <= Griglia::kColonne; ++x) {
        const int v = g.at(x, y);
        s += v == 0 ? QLatin1Char('.') : v == Griglia::kDifficolta ? QLatin1Char('D') : QChar(u'0' + v);
    }
    return s;
}

// A board whose pieces are all of one type, with the first piece in play.
struct Board
{
    explicit Board(int tipo)
        : random({ SequenceRandom::forType(tipo) })
    {
        t.CaricaPezzi();
        t.PulisciGriglia();
    }
    SequenceRandom random;
    ScreenPainter painter;
    Tabellone t { painter, random };
};

} // namespace

class TestTabellone : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rand_data()
    {
        QTest::addColumn<double>("r");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("expected");
        QTest::newRow("zero") << 0.0 << 7 << 1;
        QTest::newRow("just below one") << 0.9999999 << 7 << 7;
        QTest::newRow("middle") << 0.5 << 7 << 4;
        QTest::newRow("difficulty threshold reached") << 0.6 << 10 << 7;
        QTest::newRow("difficulty threshold missed") << 0.5999 << 10 << 6;
        QTest::newRow("a stray 1.0 stays in range") << 1.0 << 7 << 7;
        QTest::newRow("a stray negative stays in range") << -0.2 << 7 << 1;
    }
    void rand()
    {
        QFETCH(double, r);
        QFETCH(int, n);
        QFETCH(int, expected);
        SequenceRandom random({ r });
        ScreenPainter painter;
        Tabellone t(painter, random);
        QCOMPARE(t.Rand(n), expected);
    }

    void templates_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<QList<QPoint>>("expected");
        QTest::addColumn<QPoint>("pivot");
        QTest::addColumn<int>("colour");
        QTest::newRow("1") << 1 << QList<QPoint> { { 4, 1 }, { 5, 1 }, { 6, 1 }, { 6, 2 } } << QPoint(5, 1) << 7;
        QTest::newRow("2") << 2 << QList<QPoint> { { 4, 1 }, { 5, 1 }, { 6, 1 }, { 4, 2 } } << QPoint(5, 1) << 5;
        QTest::newRow("3 Z") << 3 << QList<QPoint> { { 4, 1 }, { 5, 1 }, { 5, 2 }, { 6, 2 } } << QPoint(5, 1) << 6;
        QTest::newRow("4 S") << 4 << QList<QPoint> { { 5, 1 }, { 6, 1 }, { 4, 2 }, { 5, 2 } } << QPoint(5, 1) << 2;
        QTest::newRow("5 T") << 5 << QList<QPoint> { { 4, 1 }, { 5, 1 }, { 6, 1 }, { 5, 2 } } << QPoint(5, 1) << 1;
        QTest::newRow("6 straight") << 6 << QList<QPoint> { { 3, 1 }, { 4, 1 }, { 5, 1 }, { 6, 1 } } << QPoint(5, 1)
                                    << 3;
        QTest::newRow("7 square") << 7 << QList<QPoint> { { 4, 1 }, { 5, 1 }, { 4, 2 }, { 5, 2 } } << QPoint(0, 0) << 4;
    }
    void templates()
    {
        QFETCH(int, tipo);
        QFETCH(QList<QPoint>, expected);
        QFETCH(QPoint, pivot);
        QFETCH(int, colour);
        Board b(tipo);
        const Pezzo& m = b.t.modelli()[tipo];
        QCOMPARE(blocks(m), expected);
        QCOMPARE(QPoint(m.perno.x, m.perno.y), pivot);
        QCOMPARE(int(m.tipo), tipo);
        QCOMPARE(int(m.colore), colour);
        QVERIFY(b.t.NuovoPezzo());
        QCOMPARE(b.t.corrente(), m);
        for (const QPoint& p : expected) {
            QCOMPARE(int(b.t.griglia().at(p.x(), p.y())), colour);
            QCOMPARE(b.painter.at(p.x(), p.y()).valore, colour);
        }
        QCOMPARE(filledCells(b.t.griglia()), 4);
    }

    // Each piece two rows down, turned once either way about its pivot.
    void rotation_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<int>("rowsDown");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QList<QPoint>>("expected");
        QTest::newRow("1 ccw") << 1 << 2 << 3 << QList<QPoint> { { 5, 4 }, { 5, 3 }, { 5, 2 }, { 6, 2 } };
        QTest::newRow("1 cw") << 1 << 2 << 4 << QList<QPoint> { { 5, 2 }, { 5, 3 }, { 5, 4 }, { 4, 4 } };
        QTest::newRow("2 ccw") << 2 << 2 << 3 << QList<QPoint> { { 5, 4 }, { 5, 3 }, { 5, 2 }, { 6, 4 } };
        QTest::newRow("2 cw") << 2 << 2 << 4 << QList<QPoint> { { 5, 2 }, { 5, 3 }, { 5, 4 }, { 4, 2 } };
        QTest::newRow("3 ccw") << 3 << 2 << 3 << QList<QPoint> { { 5, 4 }, { 5, 3 }, { 6, 3 }, { 6, 2 } };
        QTest::newRow("3 cw") << 3 << 2 << 4 << QList<QPoint> { { 5, 2 }, { 5, 3 }, { 4, 3 }, { 4, 4 } };
        QTest::newRow("4 ccw") << 4 << 2 << 3 << QList<QPoint> { { 5, 3 }, { 5, 2 }, { 6, 4 }, { 6, 3 } };
        QTest::newRow("4 cw") << 4 << 2 << 4 << QList<QPoint> { { 5, 3 }, { 5, 4 }, { 4, 2 }, { 4, 3 } };
        QTest::newRow("5 ccw") << 5 << 2 << 3 << QList<QPoint> { { 5, 4 }, { 5, 3 }, { 5, 2 }, { 6, 3 } };
        QTest::newRow("5 cw") << 5 << 2 << 4 << QList<QPoint> { { 5, 2 }, { 5, 3 }, { 5, 4 }, { 4, 3 } };
        QTest::newRow("6 ccw") << 6 << 2 << 3 << QList<QPoint> { { 5, 5 }, { 5, 4 }, { 5, 3 }, { 5, 2 } };
        QTest::newRow("6 cw") << 6 << 2 << 4 << QList<QPoint> { { 5, 1 }, { 5, 2 }, { 5, 3 }, { 5, 4 } };
        QTest::newRow("6 ccw after one row") << 6 << 1 << 3 << QList<QPoint> { { 5, 4 }, { 5, 3 }, { 5, 2 }, { 5, 1 } };
        QTest::newRow("7 ccw stays") << 7 << 2 << 3 << QList<QPoint> { { 4, 3 }, { 5, 3 }, { 4, 4 }, { 5, 4 } };
        QTest::newRow("7 cw stays") << 7 << 0 << 4 << QList<QPoint> { { 4, 1 }, { 5, 1 }, { 4, 2 }, { 5, 2 } };
    }
    void rotation()
    {
        QFETCH(int, tipo);
        QFETCH(int, rowsDown);
        QFETCH(int, mode);
        QFETCH(QList<QPoint>, expected);
        Board b(tipo);
        QVERIFY(b.t.NuovoPezzo());
        for (int i = 0; i < rowsDown; ++i) {
            QVERIFY(b.t.MuoviPezzo(Tabellone::kGiu));
        }
        const Punto pivot = b.t.corrente().perno;
        QVERIFY(b.t.MuoviPezzo(mode));
        QCOMPARE(blocks(b.t.corrente()), expected);
        QCOMPARE(b.t.corrente().perno, pivot);
        const int colour = b.t.corrente().colore;
        for (const QPoint& p : expected) {
            QCOMPARE(int(b.t.griglia().at(p.x(), p.y())), colour);
        }
        QCOMPARE(filledCells(b.t.griglia()), 4); // the old cells were freed
        QVERIFY(b.painter.shows(b.t.griglia(), TilePainter::kVuotaPiana));
        QCOMPARE(b.t.vista(), b.t.griglia());
    }

    void turnAtSpawn_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<int>("rowsDown");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("allowed");
        for (int tipo = 1; tipo <= 7; ++tipo) {
            QTest::addRow("%d ccw at spawn", tipo) << tipo << 0 << 3 << (tipo == 7);
            QTest::addRow("%d cw at spawn", tipo) << tipo << 0 << 4 << (tipo == 7);
        }
        QTest::newRow("straight ccw after one row") << 6 << 1 << 3 << true;
        QTest::newRow("straight cw after one row") << 6 << 1 << 4 << false;
        QTest::newRow("straight cw after two rows") << 6 << 2 << 4 << true;
    }
    void turnAtSpawn()
    {
        QFETCH(int, tipo);
        QFETCH(int, rowsDown);
        QFETCH(int, mode);
        QFETCH(bool, allowed);
        Board b(tipo);
        QVERIFY(b.t.NuovoPezzo());
        for (int i = 0; i < rowsDown; ++i) {
            QVERIFY(b.t.MuoviPezzo(Tabellone::kGiu));
        }
        const Pezzo before = b.t.corrente();
        const Griglia board = b.t.griglia();
        QCOMPARE(b.t.MuoviPezzo(mode), allowed);
        if (!allowed || tipo == 7) {
            QCOMPARE(b.t.corrente(), before);
            QCOMPARE(b.t.griglia(), board);
        } else {
            QVERIFY(!(b.t.corrente() == before));
        }
    }

    // A refused move leaves piece, board and screen exactly as they were.
    void refusedMoves_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<QList<int>>("setup");
        QTest::addColumn<QList<QPoint>>("settled");
        QTest::addColumn<int>("mode");
        const QList<int> upright = { 2, 3 };
        QTest::newRow("upright straight at the left wall, ccw")
            << 6 << (upright + QList<int> { -1, -1, -1, -1 }) << QList<QPoint> {} << 3;
        QTest::newRow("upright straight at the left wall, cw")
            << 6 << (upright + QList<int> { -1, -1, -1, -1 }) << QList<QPoint> {} << 4;
        QTest::newRow("upright straight at the right wall, ccw")
            << 6 << (upright + QList<int> { 1, 1, 1, 1 }) << QList<QPoint> {} << 3;
        QTest::newRow("upright straight at the right wall, cw")
            << 6 << (upright + QList<int> { 1, 1, 1, 1 }) << QList<QPoint> {} << 4;
        QTest::newRow("left move at the left wall") << 6 << QList<int> { -1, -1 } << QList<QPoint> {} << -1;
        QTest::newRow("right move at the right wall") << 6 << QList<int> { 1, 1, 1 } << QList<QPoint> {} << 1;
        QTest::newRow("T at the right wall") << 5 << QList<int> { 1, 1, 1 } << QList<QPoint> {} << 1;
        QList<int> toFloor(14, 2);
        QTest::newRow("straight on the floor, ccw") << 6 << toFloor << QList<QPoint> {} << 3;
        QTest::newRow("straight on the floor, cw") << 6 << toFloor << QList<QPoint> {} << 4;
        QTest::newRow("straight on the floor, down") << 6 << toFloor << QList<QPoint> {} << 2;
        QTest::newRow("square on the floor, down") << 7 << QList<int>(13, 2) << QList<QPoint> {} << 2;
        QTest::newRow("turn onto a settled block") << 6 << QList<int> { 2, 2 } << QList<QPoint> { { 5, 5 } } << 3;
        QTest::newRow("turn of the T onto a settled block")
            << 5 << QList<int> { 2, 2 } << QList<QPoint> { { 5, 2 } } << 3;
        QTest::newRow("left onto a settled block") << 7 << QList<int> {} << QList<QPoint> { { 3, 2 } } << -1;
        QTest::newRow("down onto a settled block") << 1 << QList<int> { 2 } << QList<QPoint> { { 4, 3 } } << 2;
    }
    void refusedMoves()
    {
        QFETCH(int, tipo);
        QFETCH(QList<int>, setup);
        QFETCH(QList<QPoint>, settled);
        QFETCH(int, mode);
        Board b(tipo);
        QVERIFY(b.t.NuovoPezzo());
        for (int m : setup) {
            QVERIFY2(b.t.MuoviPezzo(m), qPrintable(QStringLiteral("set-up move %1").arg(m)));
        }
        for (const QPoint& p : settled) {
            b.t.griglia().set(p.x(), p.y(), Griglia::kDifficolta);
        }
        b.t.DisegnaGriglia();
        const Pezzo before = b.t.corrente();
        const Griglia board = b.t.griglia();
        const int paints = b.painter.boardPaints();
        QVERIFY(!b.t.MuoviPezzo(mode));
        QCOMPARE(b.t.corrente(), before);
        QCOMPARE(b.t.griglia(), board);
        QCOMPARE(b.painter.boardPaints(), paints);
        QVERIFY(b.painter.shows(board, TilePainter::kVuotaPiana));
    }

    void moveIntoItsOwnCells()
    {
        Board b(6);
        QVERIFY(b.t.NuovoPezzo()); // columns 3..6
        b.t.griglia().set(8, 1, Griglia::kDifficolta);
        QVERIFY(b.t.MuoviPezzo(Tabellone::kDestra)); // 4..7: three of them were its own
        QCOMPARE(rowText(b.t.griglia(), 1), QStringLiteral("...3333D."));
        QVERIFY(!b.t.MuoviPezzo(Tabellone::kDestra));
        QCOMPARE(rowText(b.t.griglia(), 1), QStringLiteral("...3333D."));
    }

    void noPieceMovesNothing_data()
    {
        QTest::addColumn<int>("mode");
        for (int m : { -1, 1, 2, 3, 4, 0 }) {
            QTest::addRow("mode %d", m) << m;
        }
    }
    void noPieceMovesNothing()
    {
        QFETCH(int, mode);
        Board b(5);
        const int paints = b.painter.boardPaints();
        QVERIFY(!b.t.MuoviPezzo(mode));
        QCOMPARE(b.painter.boardPaints(), paints);
        QCOMPARE(filledCells(b.t.griglia()), 0);
        QCOMPARE(int(b.t.corrente().tipo), 0);
    }

    // The first piece after the window opened is the same type as the first preview.
    void firstPieceRule_data()
    {
        QTest::addColumn<QList<int>>("draws");
        QTest::addColumn<QList<int>>("pieces");
        QTest::addColumn<QList<int>>("previews");
        QTest::newRow("three draws") << QList<int> { 3, 6, 1 } << QList<int> { 3, 3, 6 } << QList<int> { 3, 6, 1 };
        QTest::newRow("four draws") << QList<int> { 7, 2, 2, 5 } << QList<int> { 7, 7, 2, 2 }
                                    << QList<int> { 7, 2, 2, 5 };
    }
    void firstPieceRule()
    {
        QFETCH(QList<int>, draws);
        QFETCH(QList<int>, pieces);
        QFETCH(QList<int>, previews);
        SequenceRandom random;
        QList<double> values;
        for (int d : draws) {
            values.append(SequenceRandom::forType(d));
        }
        random.setValues(values);
        ScreenPainter painter;
        Tabellone t(painter, random);
        t.CaricaPezzi();
        t.PulisciGriglia();
        for (qsizetype i = 0; i < draws.size(); ++i) {
            t.griglia().svuota(); // room for every piece at the spawn
            QVERIFY(t.NuovoPezzo());
            QCOMPARE(int(t.corrente().tipo), pieces.at(i));
            QCOMPARE(int(t.prossimo().tipo), previews.at(i));
        }
        QCOMPARE(random.calls(), int(draws.size()));
    }

    void newPieceOverSettledBlocks_data()
    {
        QTest::addColumn<QList<QPoint>>("settled");
        QTest::addColumn<bool>("fits");
        QTest::newRow("empty top") << QList<QPoint> { { 1, 1 }, { 9, 2 }, { 5, 3 } } << true;
        QTest::newRow("one cell under the piece") << QList<QPoint> { { 5, 2 } } << false;
        QTest::newRow("two cells under the piece") << QList<QPoint> { { 4, 1 }, { 6, 1 } } << false;
    }
    void newPieceOverSettledBlocks()
    {
        QFETCH(QList<QPoint>, settled);
        QFETCH(bool, fits);
        Board b(5); // T: (4,1) (5,1) (6,1) (5,2), colour 1
        for (const QPoint& p : settled) {
            b.t.griglia().set(p.x(), p.y(), Griglia::kDifficolta);
        }
        b.t.DisegnaGriglia();
        QCOMPARE(b.t.NuovoPezzo(), fits);
        for (const QPoint& p : QList<QPoint> { { 4, 1 }, { 5, 1 }, { 6, 1 }, { 5, 2 } }) {
            QCOMPARE(int(b.t.griglia().at(p.x(), p.y())), 1); // written over whatever was there
            QCOMPARE(b.painter.at(p.x(), p.y()).valore, 1);
        }
        QVERIFY(b.painter.shows(b.t.griglia(), TilePainter::kVuotaPiana));
    }

    void preview_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<bool>("on");
        QTest::addColumn<QList<QPoint>>("cells");
        QTest::newRow("straight") << 6 << true << QList<QPoint> { { 1, 1 }, { 2, 1 }, { 3, 1 }, { 4, 1 } };
        QTest::newRow("S") << 4 << true << QList<QPoint> { { 3, 1 }, { 4, 1 }, { 2, 2 }, { 3, 2 } };
        QTest::newRow("square") << 7 << true << QList<QPoint> { { 2, 1 }, { 3, 1 }, { 2, 2 }, { 3, 2 } };
        QTest::newRow("preview off") << 6 << false << QList<QPoint> {};
    }
    void preview()
    {
        QFETCH(int, tipo);
        QFETCH(bool, on);
        QFETCH(QList<QPoint>, cells);
        Board b(tipo);
        b.t.setAnteprima(on);
        QVERIFY(b.t.NuovoPezzo());
        QCOMPARE(b.painter.previewClears(), on ? 1 : 0);
        QMap<QPair<int, int>, int> expected;
        for (const QPoint& p : cells) {
            expected[qMakePair(p.x(), p.y())] = b.t.modelli()[tipo].colore;
        }
        QCOMPARE(b.painter.preview(), expected);
    }

    void paintsOnlyWhatChanged()
    {
        Board b(7);
        QVERIFY(b.t.NuovoPezzo());
        const int before = b.painter.boardPaints();
        QVERIFY(b.t.MuoviPezzo(Tabellone::kGiu)); // row 1 empties, row 3 fills; row 2 stays
        QCOMPARE(b.painter.boardPaints() - before, 4);
        QVERIFY(b.painter.shows(b.t.griglia(), TilePainter::kVuotaPiana));
    }

    void redrawWithReset()
    {
        Board b(1);
        QVERIFY(b.t.NuovoPezzo());
        b.t.griglia().set(2, 15, 3);
        b.t.griglia().set(9, 9, Griglia::kDifficolta);
        int paints = b.painter.boardPaints();
        b.t.DisegnaGriglia(true);
        QCOMPARE(b.painter.boardPaints() - paints, 6); // every non-empty cell again
        QVERIFY(b.painter.shows(b.t.griglia(), TilePainter::kVuotaPiana));
        QCOMPARE(b.t.vista(), b.t.griglia());
        // Without reset only cells whose shadow differs are painted.
        paints = b.painter.boardPaints();
        b.t.DisegnaGriglia();
        QCOMPARE(b.painter.boardPaints(), paints);
        b.t.griglia().set(9, 9, 0);
        b.t.DisegnaGriglia();
        QCOMPARE(b.painter.boardPaints() - paints, 1);
        // A reset takes the empty cells as already showing tile 0: a cell emptied behind its back stays.
        b.t.griglia().set(2, 15, 0);
        b.t.DisegnaGriglia(true);
        QCOMPARE(b.painter.at(2, 15).valore, 3);
        // DisegnaVuote repaints every empty cell with the current tile 0.
        b.painter.setEmptyTile(3);
        paints = b.painter.boardPaints();
        b.t.DisegnaVuote();
        QCOMPARE(b.painter.boardPaints() - paints, 9 * 15 - 4);
        QVERIFY(b.painter.shows(b.t.griglia(), 3));
    }

    void clearBoard()
    {
        Board b(6);
        QVERIFY(b.t.NuovoPezzo());
        b.t.griglia().set(1, 15, Griglia::kDifficolta);
        b.t.PulisciGriglia();
        QCOMPARE(filledCells(b.t.griglia()), 0);
        QVERIFY(b.painter.shows(b.t.griglia(), TilePainter::kVuotaPiana));
        QCOMPARE(int(b.t.vista().at(4, 1)), 3); // the shadow is left as it was
    }

    // Full rows go in one pass from the top; every other row keeps its order and falls.
    void fullRows_data()
    {
        QTest::addColumn<QList<int>>("full");
        QTest::addColumn<QList<int>>("markers");
        QTest::addColumn<QList<int>>("markersAfter");
        QTest::newRow("none") << QList<int> {} << QList<int> { 5, 9 } << QList<int> { 5, 9 };
        QTest::newRow("bottom row") << QList<int> { 15 } << QList<int> { 14 } << QList<int> { 15 };
        QTest::newRow("two separated rows") << QList<int> { 13, 15 } << QList<int> { 12, 14 } << QList<int> { 14, 15 };
        QTest::newRow("three with gaps") << QList<int> { 10, 12, 15 } << QList<int> { 9, 11, 13, 14 }
                                         << QList<int> { 12, 13, 14, 15 };
        QTest::newRow("four adjacent") << QList<int> { 12, 13, 14, 15 } << QList<int> { 11 } << QList<int> { 15 };
        QTest::newRow("top row") << QList<int> { 1 } << QList<int> { 2 } << QList<int> { 2 };
        QTest::newRow("five rows") << QList<int> { 11, 12, 13, 14, 15 } << QList<int> { 3, 10 } << QList<int> { 8, 15 };
    }
    void fullRows()
    {
        QFETCH(QList<int>, full);
        QFETCH(QList<int>, markers);
        QFETCH(QList<int>, markersAfter);
        Board b(1);
        for (int y : full) {
            for (int x = 1; x <= Griglia::kColonne; ++x) {
                b.t.griglia().set(x, y, static_cast<qint16>(x % 2 ? Griglia::kDifficolta : 2));
            }
        }
        for (qsizetype i = 0; i < markers.size(); ++i) {
            b.t.griglia().set(
                int(i) + 1, markers.at(i), static_cast<qint16>(i + 1)); // column and colour tell them apart
        }
        QCOMPARE(b.t.RimuoviRighePiene(), int(full.size()));
        for (int y = 1; y <= Griglia::kRighe; ++y) {
            const qsizetype i = markersAfter.indexOf(y);
            QString expected(Griglia::kColonne, QLatin1Char('.'));
            if (i >= 0) {
                expected[i] = QChar(char16_t(u'1' + i));
            }
            QCOMPARE(rowText(b.t.griglia(), y), expected);
        }
    }

    void difficultyRows_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QList<double>>("values");
        QTest::addColumn<QStringList>("expected"); // from row 15 upwards
        QTest::newRow("none") << 0 << QList<double> { 0.99 } << QStringList {};
        QTest::newRow("threshold reached") << 2 << QList<double> { 0.6 } << QStringList { "DDDDDDDDD", "DDDDDDDDD" };
        QTest::newRow("threshold missed") << 2 << QList<double> { 0.5999 } << QStringList { ".........", "........." };
        QTest::newRow("alternating") << 2 << QList<double> { 0.9, 0.1 } << QStringList { "D.D.D.D.D", ".D.D.D.D." };
        QTest::newRow("three in four") << 3 << QList<double> { 0.7, 0.8, 0.2, 0.65 }
                                       << QStringList { "DD.DDD.DD", "D.DDD.DDD", ".DDD.DDD." };
        QTest::newRow("five full rows") << 5 << QList<double> { 0.99 } << QStringList(5, QStringLiteral("DDDDDDDDD"));
    }
    void difficultyRows()
    {
        QFETCH(int, rows);
        QFETCH(QList<double>, values);
        QFETCH(QStringList, expected);
        Board b(1);
        b.random.setValues(values);
        b.t.RigheDifficolta(rows);
        QCOMPARE(b.random.calls(), rows * 9);
        for (int y = Griglia::kRighe; y >= 1; --y) {
            const int n = Griglia::kRighe - y;
            QCOMPARE(rowText(b.t.griglia(), y), n < expected.size() ? expected.at(n) : QStringLiteral("........."));
        }
    }
};

QTEST_GUILESS_MAIN(TestTabellone)
#include "TestTabellone.moc"
