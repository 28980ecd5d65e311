// A game of Gravix in time: the fall step, rows and their points, levels and speeds, difficulty
// rows, fast drop and its bonus, pause, the messages and the game-over sequence.
#include "GameFakes.h"
#include "core/game/Partita.h"

#include <QSignalSpy>
#include <QTest>

using namespace zb32;
using test::SequenceRandom;
using Tasto = Partita::Tasto;

namespace {

struct Game
{
    explicit Game(QList<double> values = { SequenceRandom::forType(Modelli::kQuadrato) })
        : random(std::move(values))
    {
        partita.Carica();
    }
    Tabellone& t() { return partita.tabellone(); }

    void fillRows(const QList<int>& rows)
    {
        for (int y : rows) {
            for (int x = 1; x <= Griglia::kColonne; ++x) {
                t().griglia().set(x, y, Griglia::kDifficolta);
            }
        }
    }
    QList<int> bottomRows(int n) const
    {
        QList<int> rows;
        for (int i = 0; i < n; ++i) {
            rows.append(Griglia::kRighe - i);
        }
        return rows;
    }
    // With squares falling: the bottom row waits for one, which lands in it and clears it.
    void landInABottomRow()
    {
        for (int x : { 1, 2, 3, 6, 7, 8, 9 }) {
            t().griglia().set(x, Griglia::kRighe, Griglia::kDifficolta);
        }
        tickUntilLanding();
    }
    // Column 5 filled from `top` to row 14: the square at the spawn has nowhere to go.
    void blockColumnFive(int top)
    {
        for (int y = top; y < Griglia::kRighe; ++y) {
            t().griglia().set(5, y, Griglia::kDifficolta);
        }
    }
    // Ticks until the falling piece lands; the ticks it took, the landing tick included.
    int tickUntilLanding()
    {
        const qsizetype landings = sounds.played.count(Suoni::kAtterraggio);
        for (int n = 1; n <= 40; ++n) {
            partita.tmrGioco_Timer();
            if (sounds.played.count(Suoni::kAtterraggio) > landings) {
                return n;
            }
        }
        return -1;
    }

    SequenceRandom random;
    test::ScreenPainter painter;
    test::RecordingSounds sounds;
    test::MemoryStore store;
    test::QueuedNames names;
    TabellaRecord record { store, names };
    Partita partita { painter, random, sounds, record };
};

} // namespace

class TestPartita : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowLoad()
    {
        Game g;
        const Partita& p = g.partita;
        QCOMPARE(p.messaggio(), QStringLiteral("Premi F2 per iniziare"));
        QVERIFY(p.messaggioVisibile());
        QVERIFY(!p.timerAttivo());
        QCOMPARE(p.iLivello(), 5);
        QCOMPARE(p.intervallo(), 240);
        QVERIFY(p.nuovaAbilitata());
        QVERIFY(!p.bStato());
        QCOMPARE(g.painter.emptyTile(), 5); // the board opens on background 5
        QVERIFY(g.painter.shows(g.t().griglia(), 5));
        QCOMPARE(g.record.voce(0), (VoceRecord { QStringLiteral("Player1"), 0 }));
        QVERIFY(g.store.writtenKeys.isEmpty());
        QVERIFY(g.sounds.played.isEmpty());
    }

    void speeds_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("ms");
        const int ms[] = { 1200, 600, 400, 300, 240, 200, 171, 150, 133, 120, 109, 100, 92, 85, 80, 75 };
        for (int level = 1; level <= 16; ++level) {
            QTest::addRow("level %d", level) << level << ms[level - 1];
        }
    }
    void speeds()
    {
        QFETCH(int, level);
        QFETCH(int, ms);
        Game g;
        QSignalSpy timer(&g.partita, &Partita::timerChanged);
        g.partita.ImpostaLivello(level);
        QCOMPARE(g.partita.iVelocita(), ms);
        QCOMPARE(g.partita.intervallo(), ms);
        QCOMPARE(g.partita.iLivello(), level);
        if (ms != 240) {
            QCOMPARE(timer.size(), 1);
            QCOMPARE(timer.at(0).at(0).toInt(), ms);
        }
    }

    void scoring_data()
    {
        QTest::addColumn<QList<int>>("full");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("points");
        QTest::addColumn<QList<int>>("sounds");
        QTest::newRow("no row") << QList<int> {} << 5 << 0 << QList<int> {};
        QTest::newRow("one row, level 1") << QList<int> { 15 } << 1 << 10 << QList<int> { 6 };
        QTest::newRow("two separated rows, level 5") << QList<int> { 13, 15 } << 5 << 250 << QList<int> { 6 };
        QTest::newRow("three rows, level 3") << QList<int> { 11, 13, 15 } << 3 << 600 << QList<int> { 6 };
        QTest::newRow("four rows, level 5") << QList<int> { 12, 13, 14, 15 } << 5 << 2500 << QList<int> { 4 };
        QTest::newRow("four rows, level 9") << QList<int> { 9, 10, 14, 15 } << 9 << 4500 << QList<int> { 4 };
        QTest::newRow("five rows score as four") << QList<int> { 11, 12, 13, 14, 15 } << 2 << 1000 << QList<int> { 4 };
    }
    void scoring()
    {
        QFETCH(QList<int>, full);
        QFETCH(int, level);
        QFETCH(int, points);
        QFETCH(QList<int>, sounds);
        Game g;
        g.partita.ImpostaLivello(level);
        g.fillRows(full);
        g.t().griglia().set(3, 8, 2); // a block above that must fall with the rows
        QSignalSpy score(&g.partita, &Partita::scoreChanged);
        g.partita.DropGriglia();
        QCOMPARE(g.partita.punti(), qint64(points));
        QCOMPARE(g.partita.linee(), qint64(full.size()));
        QCOMPARE(g.sounds.played, sounds);
        QCOMPARE(score.size(), full.isEmpty() ? 0 : 1);
        int below = 0;
        for (int y : full) {
            below += y > 8 ? 1 : 0;
        }
        QCOMPARE(int(g.t().griglia().at(3, 8 + below)), 2);
    }

    // A straight four completes the bottom row: the row goes, then the landing sound, then the next piece.
    void landingClearsARow()
    {
        Game g({ SequenceRandom::forType(6) });
        g.partita.NuovaPartita(0);
        for (int x : { 1, 2, 7, 8, 9 }) {
            g.t().griglia().set(x, 15, Griglia::kDifficolta);
        }
        g.t().DisegnaGriglia();
        QCOMPARE(g.tickUntilLanding(), 15);
        QCOMPARE(g.sounds.played, (QList<int> { 6, 3 }));
        QCOMPARE(g.partita.punti(), qint64(50));
        QCOMPARE(g.partita.linee(), qint64(1));
        for (int x = 1; x <= Griglia::kColonne; ++x) {
            QCOMPARE(int(g.t().griglia().at(x, 15)), 0);
        }
        QCOMPARE(int(g.t().corrente().blocchi[0].y), 1); // the next piece is in
        QVERIFY(g.painter.shows(g.t().griglia(), 5));
        QVERIFY(g.partita.timerAttivo());
    }

    void levelRises_data()
    {
        QTest::addColumn<int>("startLevel");
        QTest::addColumn<int>("rowsPerDrop");
        QTest::addColumn<QList<int>>("levels"); // after each drop
        QTest::addColumn<int>("points");
        QTest::newRow("level 5: 40 lines then 48")
            << 5 << 4 << QList<int> { 5, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 7 } << (10 * 2500 + 2 * 3000);
        QTest::newRow("level 1, one row at a time")
            << 1 << 1 << QList<int> { 1, 1, 1, 1, 1, 1, 1, 2, 2 } << (8 * 10 + 20);
        QTest::newRow("level 1, four rows at a time")
            << 1 << 4 << QList<int> { 1, 2, 2, 3 } << (500 + 500 + 1000 + 1000);
    }
    void levelRises()
    {
        QFETCH(int, startLevel);
        QFETCH(int, rowsPerDrop);
        QFETCH(QList<int>, levels);
        QFETCH(int, points);
        Game g;
        g.partita.ImpostaLivello(startLevel);
        for (qsizetype i = 0; i < levels.size(); ++i) {
            g.fillRows(g.bottomRows(rowsPerDrop));
            g.partita.DropGriglia();
            QCOMPARE(g.partita.iLivello(), levels.at(i));
            QCOMPARE(g.partita.intervallo(), 1200 / levels.at(i));
        }
        QCOMPARE(g.partita.punti(), qint64(points));
    }

    void atMostOneLevelPerLanding()
    {
        Game g;
        for (int i = 0; i < 10; ++i) { // 40 lines at level 5 → 6
            g.fillRows(g.bottomRows(4));
            g.partita.DropGriglia();
        }
        QCOMPARE(g.partita.iLivello(), 6);
        g.partita.ImpostaLivello(1); // 40 lines is five levels' worth, but one landing gives one
        g.fillRows({ 15 });
        g.partita.DropGriglia();
        QCOMPARE(g.partita.iLivello(), 2);
        g.partita.DropGriglia(); // a landing without rows counts too
        QCOMPARE(g.partita.iLivello(), 3);
    }

    void levelNineMidGame()
    {
        Game g;
        g.partita.NuovaPartita(0);
        for (int i = 0; i < 2; ++i) {
            g.partita.tmrGioco_Timer();
        }
        g.partita.ImpostaLivello(9);
        QCOMPARE(g.partita.intervallo(), 133);
        QVERIFY(g.partita.timerAttivo());
        g.partita.tmrGioco_Timer(); // the piece falls on
        QCOMPARE(int(g.t().corrente().blocchi[0].y), 4);
    }

    // Level 9 chosen after 40 lines at level 5 (which made it 6): the next rise comes at 72 lines.
    void levelNineNeedsSeventyTwoLines()
    {
        Game g;
        for (int i = 0; i < 10; ++i) {
            g.fillRows(g.bottomRows(4));
            g.partita.DropGriglia();
        }
        QCOMPARE(g.partita.iLivello(), 6);
        g.partita.ImpostaLivello(9);
        for (int i = 0; i < 7; ++i) { // 68 lines
            g.fillRows(g.bottomRows(4));
            g.partita.DropGriglia();
        }
        QCOMPARE(g.partita.iLivello(), 9);
        g.fillRows(g.bottomRows(4)); // 72
        g.partita.DropGriglia();
        QCOMPARE(g.partita.iLivello(), 10);
        QCOMPARE(g.partita.intervallo(), 120);
    }

    void levelChangeEndsFastDrop()
    {
        Game g;
        g.partita.NuovaPartita(0);
        g.partita.tastoPremuto(Tasto::Giu);
        QCOMPARE(g.partita.intervallo(), 30);
        g.partita.ImpostaLivello(7);
        QCOMPARE(g.partita.intervallo(), 171);
        g.partita.tmrGioco_Timer();
        QCOMPARE(g.partita.iPuntiBoost(), 0);
        g.partita.tastoPremuto(Tasto::Giu); // the next key repeat takes it up again
        QCOMPARE(g.partita.intervallo(), 30);
        g.partita.tmrGioco_Timer();
        QCOMPARE(g.partita.iPuntiBoost(), 7);
    }

    // From level 40 on the normal fall is 30 ms or faster; that alone earns no bonus.
    void normalFallAtThirtyMsIsNoFastDrop()
    {
        Game g;
        g.partita.NuovaPartita(0);
        g.partita.ImpostaLivello(40);
        QCOMPARE(g.partita.intervallo(), 30);
        for (int i = 0; i < 5; ++i) {
            g.partita.tmrGioco_Timer();
        }
        QCOMPARE(g.partita.iPuntiBoost(), 0);
        QVERIFY(!g.partita.discesaVeloce());
    }

    void difficultyOnlyInTheBottomRows_data()
    {
        QTest::addColumn<int>("difficulty");
        for (int d = 0; d <= 5; ++d) {
            QTest::addRow("difficulty %d", d) << d;
        }
    }
    void difficultyOnlyInTheBottomRows()
    {
        QFETCH(int, difficulty);
        Game g;
        g.random.setValues({ 0.99 }); // every draw above 6: every cell of the difficulty rows filled
        g.partita.NuovaPartita(difficulty);
        for (int y = 3; y <= Griglia::kRighe; ++y) {
            for (int x = 1; x <= Griglia::kColonne; ++x) {
                const bool bottom = y > Griglia::kRighe - difficulty;
                QCOMPARE(int(g.t().griglia().at(x, y)), bottom ? Griglia::kDifficolta : 0);
            }
        }
        QVERIFY(g.painter.shows(g.t().griglia(), 5));
        QCOMPARE(g.random.calls(), 9 * difficulty + 1); // the difficulty cells, then the first piece
    }

    void difficultyWithAMixedSource()
    {
        QList<double> values;
        for (int i = 0; i < 45; ++i) {
            values.append((i * 37 % 100) / 100.0);
        }
        values.append(SequenceRandom::forType(7));
        Game g;
        g.random.setValues(values);
        g.partita.NuovaPartita(5);
        int blocks = 0;
        for (int y = 1; y <= Griglia::kRighe; ++y) {
            for (int x = 1; x <= Griglia::kColonne; ++x) {
                if (g.t().griglia().at(x, y) == Griglia::kDifficolta) {
                    QVERIFY2(y >= 11, qPrintable(QStringLiteral("difficulty block in row %1").arg(y)));
                    ++blocks;
                }
            }
        }
        QCOMPARE(blocks, 17); // the draws of 0.60 or more among the 45
        // Row 15 draws 0.00 0.37 0.74 0.11 0.48 0.85 0.22 0.59 0.96.
        QString row15;
        for (int x = 1; x <= Griglia::kColonne; ++x) {
            row15 += g.t().griglia().at(x, 15) == Griglia::kDifficolta ? QLatin1Char('D') : QLatin1Char('.');
        }
        QCOMPARE(row15, QStringLiteral("..D..D..D"));
    }

    void fullDifficultyRowClearsAtFirstLanding()
    {
        Game g;
        g.random.setValues({ 0.99 });
        g.partita.NuovaPartita(1);
        QCOMPARE(g.tickUntilLanding(), 13); // the square stops on row 15's blocks
        QCOMPARE(g.partita.linee(), qint64(1));
        QCOMPARE(g.partita.punti(), qint64(50));
        QCOMPARE(g.sounds.played, (QList<int> { 6, 3 }));
        QCOMPARE(int(g.t().griglia().at(4, 15)), 4); // the square came down with it
        QCOMPARE(int(g.t().griglia().at(4, 13)), 0);
    }

    void gameOver_data()
    {
        QTest::addColumn<int>("rowsBefore");
        QTest::addColumn<int>("expectedPlace");
        QTest::newRow("no points, no entry") << 0 << -1;
        QTest::newRow("50 points enter first") << 1 << 0;
    }
    void gameOver()
    {
        QFETCH(int, rowsBefore);
        QFETCH(int, expectedPlace);
        Game g;
        g.names.answers = { QStringLiteral("Ada") };
        g.partita.NuovaPartita(0);
        if (rowsBefore > 0) {
            g.landInABottomRow();
            QCOMPARE(g.partita.punti(), qint64(50));
        }
        QSignalSpy newGame(&g.partita, &Partita::newGameEnabledChanged);
        g.blockColumnFive(3);
        g.sounds.played.clear();
        QCOMPARE(g.tickUntilLanding(), 1);
        QCOMPARE(g.sounds.played, (QList<int> { 3, 5 }));
        QCOMPARE(g.partita.messaggio(), QStringLiteral("GAME OVER"));
        QVERIFY(g.partita.messaggioVisibile());
        QVERIFY(!g.partita.timerAttivo());
        QVERIFY(g.partita.nuovaAbilitata());
        QCOMPARE(newGame.size(), 1);
        QCOMPARE(int(g.t().griglia().at(4, 1)), 4); // the new square is written over the old one
        QCOMPARE(g.names.prompts.size(), expectedPlace < 0 ? 0 : 1);
        if (expectedPlace >= 0) {
            QCOMPARE(g.record.voce(expectedPlace), (VoceRecord { QStringLiteral("Ada"), 50 }));
            QCOMPARE(g.store.values.value(QStringLiteral("Punti1")), QStringLiteral("50"));
        }
        // Keys still move the last piece; it no longer falls.
        g.partita.tastoPremuto(Tasto::Sinistra);
        QCOMPARE(int(g.t().corrente().blocchi[0].x), 3);
        QVERIFY(!g.partita.timerAttivo());
    }

    // Down held at level 3 while a square falls 13 rows: 3 per tick, added at landing.
    void fastDropBonus()
    {
        Game g;
        g.partita.ImpostaLivello(3);
        g.partita.NuovaPartita(0);
        g.partita.tastoPremuto(Tasto::Giu);
        QCOMPARE(g.partita.intervallo(), 30);
        for (int i = 0; i < 13; ++i) {
            g.partita.tmrGioco_Timer();
        }
        QCOMPARE(g.partita.iPuntiBoost(), 39);
        QCOMPARE(g.partita.punti(), qint64(0));
        g.partita.tmrGioco_Timer(); // lands
        QCOMPARE(g.partita.punti(), qint64(39));
        QCOMPARE(g.partita.iPuntiBoost(), 3); // the landing tick's bonus, for the next piece
        QCOMPARE(g.tickUntilLanding(), 12); // the next square stops on the first
        QCOMPARE(g.partita.punti(), qint64(39 + 3 + 11 * 3));
        g.partita.tastoRilasciato(Tasto::Giu);
        QCOMPARE(g.partita.iPuntiBoost(), 0);
        QCOMPARE(g.partita.intervallo(), 400);
        g.partita.tmrGioco_Timer();
        QCOMPARE(g.partita.iPuntiBoost(), 0);
    }

    void bonusThrownAwayOnRelease_data()
    {
        QTest::addColumn<int>("released");
        QTest::addColumn<int>("expectedScore");
        QTest::newRow("left arrow released: bonus gone, fast drop goes on")
            << int(Tasto::Sinistra) << 3 * 8; // ticks 6..13 after the release
        QTest::newRow("another key released") << int(Tasto::Altro) << 3 * 8;
        QTest::newRow("down released: bonus gone, fast drop over") << int(Tasto::Giu) << 0;
    }
    void bonusThrownAwayOnRelease()
    {
        QFETCH(int, released);
        QFETCH(int, expectedScore);
        Game g;
        g.partita.ImpostaLivello(3);
        g.partita.NuovaPartita(0);
        g.partita.tastoPremuto(Tasto::Giu);
        for (int i = 0; i < 5; ++i) {
            g.partita.tmrGioco_Timer();
        }
        QCOMPARE(g.partita.iPuntiBoost(), 15);
        g.partita.tastoRilasciato(static_cast<Tasto>(released));
        QCOMPARE(g.partita.iPuntiBoost(), 0);
        QCOMPARE(g.tickUntilLanding(), 9);
        QCOMPARE(g.partita.punti(), qint64(expectedScore));
    }

    void keysIgnoredWhilePaused_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("right") << int(Tasto::Destra);
        QTest::newRow("left") << int(Tasto::Sinistra);
        QTest::newRow("space") << int(Tasto::Ruota);
        QTest::newRow("shift") << int(Tasto::RuotaDestra);
        QTest::newRow("down") << int(Tasto::Giu);
    }
    void keysIgnoredWhilePaused()
    {
        QFETCH(int, key);
        Game g({ SequenceRandom::forType(5) });
        g.partita.NuovaPartita(0);
        for (int i = 0; i < 3; ++i) {
            g.partita.tmrGioco_Timer();
        }
        g.partita.mnuPausa_Click();
        QVERIFY(g.partita.bStato());
        QCOMPARE(g.partita.messaggio(), QStringLiteral("Premi F3 per continuare"));
        const Pezzo before = g.t().corrente();
        const int interval = g.partita.intervallo();
        g.sounds.played.clear();
        g.partita.tastoPremuto(static_cast<Tasto>(key));
        QCOMPARE(g.t().corrente(), before);
        QCOMPARE(g.partita.intervallo(), interval);
        QVERIFY(g.sounds.played.isEmpty());
        g.partita.mnuPausa_Click(); // F3 still works
        QVERIFY(!g.partita.bStato());
        QVERIFY(g.partita.timerAttivo());
        g.partita.tastoPremuto(static_cast<Tasto>(key));
        QCOMPARE(g.t().corrente() == before, key == int(Tasto::Giu));
        QCOMPARE(g.sounds.played.isEmpty(), key == int(Tasto::Giu));
    }

    void soundsEvenWhenRefused_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QList<int>>("sounds");
        QTest::newRow("left into the wall")
            << 6 << QList<int> { int(Tasto::Sinistra), int(Tasto::Sinistra), int(Tasto::Sinistra) }
            << QList<int> { 2, 2, 2 };
        QTest::newRow("turning the square")
            << 7 << QList<int> { int(Tasto::Ruota), int(Tasto::RuotaDestra) } << QList<int> { 1, 1 };
        QTest::newRow("turning at the spawn") << 1 << QList<int> { int(Tasto::Ruota) } << QList<int> { 1 };
        QTest::newRow("other keys and down are silent")
            << 1 << QList<int> { int(Tasto::Altro), int(Tasto::Giu) } << QList<int> {};
    }
    void soundsEvenWhenRefused()
    {
        QFETCH(int, tipo);
        QFETCH(QList<int>, keys);
        QFETCH(QList<int>, sounds);
        Game g({ SequenceRandom::forType(tipo) });
        g.partita.NuovaPartita(0);
        g.sounds.played.clear();
        for (int k : keys) {
            g.partita.tastoPremuto(static_cast<Tasto>(k));
        }
        QCOMPARE(g.sounds.played, sounds);
        QCOMPARE(int(g.t().corrente().blocchi[0].x), tipo == 6 ? 1 : g.t().modelli()[tipo].blocchi[0].x);
    }

    void focusLossPausesInEveryState_data()
    {
        QTest::addColumn<QString>("state");
        QTest::newRow("waiting") << "waiting";
        QTest::newRow("running") << "running";
        QTest::newRow("over") << "over";
    }
    // Focus loss pauses without touching the menu item's flag: the first F3 keeps the pause, the
    // second resumes, whatever the game was doing.
    void focusLossPausesInEveryState()
    {
        QFETCH(QString, state);
        Game g;
        if (state != QLatin1String("waiting")) {
            g.partita.NuovaPartita(0);
        }
        if (state == QLatin1String("over")) {
            g.blockColumnFive(3);
            QCOMPARE(g.tickUntilLanding(), 1);
            QCOMPARE(g.partita.messaggio(), QStringLiteral("GAME OVER"));
        }
        g.partita.sospendi();
        g.partita.sospendi(); // minimising after the focus went
        QVERIFY(g.partita.bStato());
        QVERIFY(!g.partita.bPausaMenu());
        QVERIFY(!g.partita.timerAttivo());
        QVERIFY(g.partita.messaggioVisibile());
        QCOMPARE(g.partita.messaggio(), QStringLiteral("Premi F3 per continuare"));
        g.partita.mnuPausa_Click();
        QVERIFY(g.partita.bStato());
        QVERIFY(!g.partita.timerAttivo());
        QCOMPARE(g.partita.messaggio(), QStringLiteral("Premi F3 per continuare"));
        g.partita.mnuPausa_Click();
        QVERIFY(!g.partita.bStato());
        QVERIFY(g.partita.timerAttivo());
        QVERIFY(!g.partita.messaggioVisibile());
    }

    // F3 before the first game: the second F3 starts the timer, and the first tick brings a piece.
    void pauseItemBeforeTheFirstGame()
    {
        Game g({ SequenceRandom::forType(3) });
        g.partita.mnuPausa_Click();
        QCOMPARE(g.partita.messaggio(), QStringLiteral("Premi F3 per continuare"));
        QVERIFY(!g.partita.timerAttivo());
        g.partita.mnuPausa_Click();
        QVERIFY(g.partita.timerAttivo());
        QVERIFY(!g.partita.messaggioVisibile());
        QCOMPARE(int(g.t().corrente().tipo), 0);
        g.partita.tmrGioco_Timer();
        QCOMPARE(int(g.t().corrente().tipo), 3);
        QCOMPARE(g.sounds.played, QList<int> { 3 });
        QVERIFY(g.partita.nuovaAbilitata());
        g.partita.tmrGioco_Timer();
        QCOMPARE(int(g.t().corrente().blocchi[0].y), 2);
    }

    void newGameWhilePausedIgnoresKeys()
    {
        Game g;
        g.partita.mnuPausa_Click();
        g.partita.NuovaPartita(0);
        QVERIFY(g.partita.timerAttivo());
        QVERIFY(g.partita.bStato());
        const Pezzo before = g.t().corrente();
        g.partita.tastoPremuto(Tasto::Sinistra);
        QCOMPARE(g.t().corrente(), before);
        g.partita.mnuPausa_Click(); // resumes
        QVERIFY(!g.partita.bStato());
        g.partita.tastoPremuto(Tasto::Sinistra);
        QCOMPARE(int(g.t().corrente().blocchi[0].x), before.blocchi[0].x - 1);
    }

    void resumeAfterGameOver()
    {
        Game g;
        g.partita.NuovaPartita(0);
        g.blockColumnFive(3);
        QCOMPARE(g.tickUntilLanding(), 1);
        QVERIFY(!g.partita.timerAttivo());
        const Griglia board = g.t().griglia();
        g.partita.mnuPausa_Click();
        QVERIFY(!g.partita.timerAttivo());
        g.partita.mnuPausa_Click();
        QVERIFY(g.partita.timerAttivo());
        QCOMPARE(g.t().griglia(), board);
    }

    // F3 twice after GAME OVER lets the last game go on; its next end does not enter it twice.
    void oneEntryPerGame()
    {
        Game g;
        g.names.answers = { QStringLiteral("Ada"), QStringLiteral("Bea") };
        g.partita.NuovaPartita(0);
        g.landInABottomRow(); // 50 points
        g.blockColumnFive(3);
        QCOMPARE(g.tickUntilLanding(), 1);
        QCOMPARE(g.partita.messaggio(), QStringLiteral("GAME OVER"));
        QCOMPARE(g.names.prompts.size(), 1);
        g.partita.mnuPausa_Click();
        g.partita.mnuPausa_Click();
        QVERIFY(g.partita.timerAttivo());
        QCOMPARE(g.tickUntilLanding(), 1); // the overlapping square cannot fall: over again
        QCOMPARE(g.partita.messaggio(), QStringLiteral("GAME OVER"));
        QCOMPARE(g.names.prompts.size(), 1);
        QCOMPARE(g.record.voce(0), (VoceRecord { QStringLiteral("Ada"), 50 }));
        QCOMPARE(g.record.voce(1), (VoceRecord { QStringLiteral("Player1"), 0 }));
        g.partita.NuovaPartita(0); // a new game has its own chance
        g.landInABottomRow();
        g.blockColumnFive(3);
        QCOMPARE(g.tickUntilLanding(), 1);
        QCOMPARE(g.names.prompts.size(), 2);
        QCOMPARE(g.record.voce(1), (VoceRecord { QStringLiteral("Bea"), 50 }));
    }

    void newGameResets()
    {
        Game g;
        g.fillRows({ 14, 15 });
        g.partita.DropGriglia();
        QCOMPARE(g.partita.punti(), qint64(250));
        g.store.values.insert(QStringLiteral("Nome1"), QStringLiteral("Other copy"));
        g.store.values.insert(QStringLiteral("Punti1"), QStringLiteral("900"));
        QSignalSpy records(&g.partita, &Partita::recordsChanged);
        g.partita.NuovaPartita(0);
        QCOMPARE(g.partita.punti(), qint64(0));
        QCOMPARE(g.partita.linee(), qint64(0));
        QVERIFY(!g.partita.nuovaAbilitata());
        QCOMPARE(records.size(), 1);
        QCOMPARE(g.record.voce(0), (VoceRecord { QStringLiteral("Other copy"), 900 }));
        QVERIFY(g.painter.shows(g.t().griglia(), 5));
    }

    void indiceSelezionato_data()
    {
        QTest::addColumn<QList<bool>>("ticks");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << QList<bool> { false, false, false } << 0;
        QTest::newRow("first") << QList<bool> { true, false, false } << 0;
        QTest::newRow("third") << QList<bool> { false, false, true, false } << 2;
        QTest::newRow("the last of two") << QList<bool> { false, true, false, true, false } << 3;
        QTest::newRow("empty menu") << QList<bool> {} << 0;
    }
    void indiceSelezionato()
    {
        QFETCH(QList<bool>, ticks);
        QFETCH(int, expected);
        QCOMPARE(Partita::IndiceSelezionato(ticks), expected);
    }

    void backgroundTile_data()
    {
        QTest::addColumn<bool>("backgrounds");
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("tile");
        QTest::addColumn<int>("ticked"); // after the option goes off and on again
        QTest::newRow("on, level 1") << true << 1 << 1 << 1;
        QTest::newRow("on, level 15") << true << 15 << 15 << 15;
        QTest::newRow("on, level 16: the last tile stays") << true << 16 << 5 << int(TilePainter::kVuotaPiana);
        QTest::newRow("on, level 30: the last tile stays") << true << 30 << 5 << int(TilePainter::kVuotaPiana);
        QTest::newRow("off, level 5") << false << 5 << int(TilePainter::kVuotaPiana) << int(TilePainter::kVuotaPiana);
    }
    void backgroundTile()
    {
        QFETCH(bool, backgrounds);
        QFETCH(int, level);
        QFETCH(int, tile);
        QFETCH(int, ticked);
        Game g;
        g.partita.NuovaPartita(0);
        g.partita.setSfondi(backgrounds);
        g.partita.ImpostaLivello(level);
        QCOMPARE(g.partita.tileVuota(), tile);
        QCOMPARE(g.painter.emptyTile(), tile);
        QVERIFY(g.painter.shows(g.t().griglia(), tile));
        g.partita.setSfondi(!backgrounds); // and back
        g.partita.setSfondi(backgrounds);
        QCOMPARE(g.partita.tileVuota(), ticked);
        QVERIFY(g.painter.shows(g.t().griglia(), ticked));
    }

    void riseBeyondTheLastBackground_data()
    {
        QTest::addColumn<bool>("backgrounds");
        QTest::addColumn<int>("rises");
        QTest::addColumn<int>("tile");
        QTest::newRow("on, to 16: tile 15 stays") << true << 1 << 15;
        QTest::newRow("on, to 17: tile 15 stays") << true << 2 << 15;
        QTest::newRow("off, to 16: plain") << false << 1 << int(TilePainter::kVuotaPiana);
    }
    void riseBeyondTheLastBackground()
    {
        QFETCH(bool, backgrounds);
        QFETCH(int, rises);
        QFETCH(int, tile);
        Game g;
        g.partita.setSfondi(backgrounds);
        g.partita.ImpostaLivello(15);
        for (int i = 0; i < 40 && g.partita.iLivello() < 15 + rises; ++i) { // 120 lines for 16, 136 for 17
            g.fillRows(g.bottomRows(4));
            g.partita.DropGriglia();
        }
        QCOMPARE(g.partita.iLivello(), 15 + rises);
        QCOMPARE(g.partita.intervallo(), Partita::velocita(15 + rises));
        QCOMPARE(g.partita.tileVuota(), tile);
        QCOMPARE(g.painter.emptyTile(), tile);
        QVERIFY(g.painter.shows(g.t().griglia(), tile));
    }
};

QTEST_GUILESS_MAIN(TestPartita)
#include "TestPartita.moc"
