// The Gravix window under the offscreen platform: layout, fonts, menus, keys, pause, the
// messages, the preview and background options, and the high scores at game over.
#include "GameFakes.h"
#include "gui/ItalianTranslation.h"
#include "gui/desk/MessageBox.h"
#include "gui/game/BoardBox.h"
#include "gui/game/GravixTiles.h"
#include "gui/game/frmGravix.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTextTable>
#include <QTimer>
#include <memory>

using namespace zb32;
using test::SequenceRandom;

namespace {

// A window whose pieces are all squares unless told otherwise, with recorded sounds and a fall
// timer that only the test ticks.
struct Window
{
    explicit Window(int tipo = Modelli::kQuadrato)
        : random({ SequenceRandom::forType(tipo) })
    { }
    Partita& game() { return *w.partita(); }
    Tabellone& board() { return w.partita()->tabellone(); }
    bool showActive()
    {
        w.show();
        w.activateWindow();
        return QTest::qWaitForWindowActive(&w);
    }
    // With squares falling: the bottom row waits for one, which lands in it and clears it; then
    // column 5 fills up to row 3 and the next square ends the game.
    void scoreARowThenLose()
    {
        for (int x : { 1, 2, 3, 6, 7, 8, 9 }) {
            board().griglia().set(x, Griglia::kRighe, Griglia::kDifficolta);
        }
        QVERIFY(tickUntilLanding() > 0);
        for (int y = 3; y < Griglia::kRighe; ++y) {
            board().griglia().set(5, y, Griglia::kDifficolta);
        }
        QCOMPARE(tickUntilLanding(), 1);
    }
    // Ticks until the falling piece lands; the ticks it took.
    int tickUntilLanding()
    {
        const qsizetype landings = sounds.played.count(Suoni::kAtterraggio);
        for (int n = 1; n <= 40; ++n) {
            game().tmrGioco_Timer();
            if (sounds.played.count(Suoni::kAtterraggio) > landings) {
                return n;
            }
        }
        return -1;
    }
    // The colour in the middle of a board cell's top-left quarter.
    QRgb boardPixel(int x, int y, QPoint offset = QPoint(5, 5)) const
    {
        const QRect r = w.pctGriglia->cellRect(x, y);
        return w.pctGriglia->image().pixel(r.topLeft() + offset);
    }
    QImage boardCell(int x, int y) const { return w.pctGriglia->image().copy(w.pctGriglia->cellRect(x, y)); }

    SequenceRandom random;
    test::RecordingSounds sounds;
    frmGravix w { frmGravix::Options { &random, &sounds, false } };
};

// A name label shows the name whole when it fits, else its start and an ellipsis, never wider than
// the label; the tool tip then holds the whole name.
bool showsName(const QLabel* label, const QString& name)
{
    const QFontMetrics m(label->font());
    const int room = label->contentsRect().width();
    const QString shown = label->text();
    if (label->textFormat() != Qt::PlainText || m.horizontalAdvance(shown) > room) {
        return false;
    }
    if (m.horizontalAdvance(name) <= room) {
        return shown == name && label->toolTip().isEmpty();
    }
    return shown.endsWith(QChar(0x2026)) && shown.size() > 1 && name.startsWith(shown.chopped(1))
        && label->toolTip() == name;
}

QRgb rgb(const char* hex)
{
    return QColor(QString::fromLatin1(hex)).rgb();
}

} // namespace

class TestFrmGravix : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
        MessageBox::setAutoAnswer(true);
    }
    void init()
    {
        MessageBox::clearShown();
        QFile::remove(m_settings.filePath(QStringLiteral("zb32/Gravix.ini")));
    }

    void windowSizeAndPlace()
    {
        Window g;
        QCOMPARE(g.w.windowTitle(), QStringLiteral("Gravix"));
        QVERIFY(g.showActive());
        // The client area holds the controls whole under the menu bar; the frame, when there is
        // one, goes around the window (see test_window_frames).
        QCOMPARE(g.w.centralWidget()->size(), QSize(269, 306));
        QCOMPARE(g.w.size(), QSize(269, 306 + g.w.menuBar()->height()));
        const QRect area = g.w.screen()->availableGeometry();
        QVERIFY(qAbs(g.w.frameGeometry().center().x() - area.center().x()) <= 1);
        QVERIFY(qAbs(g.w.frameGeometry().center().y() - area.center().y()) <= 1);
        QVERIFY(!g.w.isModal());
    }

    void controlsAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("text");
        QTest::newRow("pctGriglia") << "pctGriglia" << QRect(0, 2, 184, 304) << "";
        QTest::newRow("pctPreView") << "pctPreView" << QRect(188, 0, 80, 80) << "";
        QTest::newRow("Label1(0)") << "Label1_0" << QRect(200, 86, 33, 13) << "LIV.";
        QTest::newRow("Label1(1)") << "Label1_1" << QRect(192, 104, 49, 13) << "Linee";
        QTest::newRow("lblPunti") << "lblPunti" << QRect(188, 122, 80, 17) << "0";
        QTest::newRow("Label1(2)") << "Label1_2" << QRect(196, 162, 68, 31) << "Punteggi migliori";
        QTest::newRow("Picture1") << "Picture1" << QRect(188, 192, 81, 113) << "";
        QTest::newRow("lblRecN(0)") << "lblRecN_0" << QRect(2, 2, 77, 19) << "Player1";
        QTest::newRow("lblRecP(0)") << "lblRecP_0" << QRect(2, 20, 77, 19) << "0";
        QTest::newRow("lblRecN(1)") << "lblRecN_1" << QRect(2, 38, 77, 19) << "Player2";
        QTest::newRow("lblRecP(1)") << "lblRecP_1" << QRect(2, 56, 77, 19) << "0";
        QTest::newRow("lblRecN(2)") << "lblRecN_2" << QRect(2, 74, 77, 19) << "Player3";
        QTest::newRow("lblRecP(2)") << "lblRecP_2" << QRect(2, 92, 77, 19) << "0";
        QTest::newRow("lblMsg(0)") << "lblMsg_0" << QRect(42, 122, 100, 40) << "Premi F2 per iniziare";
        QTest::newRow("lblMsg(1)") << "lblMsg_1" << QRect(41, 121, 100, 40) << "Premi F2 per iniziare";
    }
    void controlsAtTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        QFETCH(QString, text);
        Window g;
        auto* w = g.w.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->geometry(), geometry);
        if (auto* l = qobject_cast<QLabel*>(w)) {
            QCOMPARE(l->text(), text);
        }
    }

    void levelAndLinesGrowLeftwards()
    {
        Window g;
        QCOMPARE(g.w.lblLivello->text(), QStringLiteral("5"));
        QCOMPARE(g.w.lblLivello->geometry().topLeft(), QPoint(248, 86));
        QCOMPARE(g.w.lblLinee->text(), QStringLiteral("0"));
        QCOMPARE(g.w.lblLinee->geometry().topLeft(), QPoint(258, 104));
        const int right = g.w.lblLinee->geometry().right();
        for (int i = 0; i < 3; ++i) {
            for (int x = 1; x <= 9; ++x) {
                for (int y = 12; y <= 15; ++y) {
                    g.board().griglia().set(x, y, Griglia::kDifficolta);
                }
            }
            g.game().DropGriglia();
        }
        QCOMPARE(g.w.lblLinee->text(), QStringLiteral("12"));
        QCOMPARE(g.w.lblLinee->geometry().right(), right);
        QVERIFY(g.w.lblLinee->x() < 258);
        QCOMPARE(g.w.lblPunti->text(), QString::number(3 * 2500));
    }

    void looks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qreal>("points");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("background"); // empty: transparent
        QTest::newRow("LIV.") << "Label1_0" << 9.75 << false << "#0000FF"
                              << "";
        QTest::newRow("Linee") << "Label1_1" << 9.75 << false << "#0000FF"
                               << "";
        QTest::newRow("Punteggi migliori") << "Label1_2" << 9.75 << false << "#0000FF"
                                           << "";
        QTest::newRow("level") << "lblLivello" << 9.75 << false << "#0000FF"
                               << "";
        QTest::newRow("lines") << "lblLinee" << 9.75 << false << "#0000FF"
                               << "";
        QTest::newRow("score") << "lblPunti" << 9.0 << false << "#000000"
                               << "#FFFFFF";
        QTest::newRow("name") << "lblRecN_1" << 9.75 << false << "#0000C0"
                              << "#FFFFFF";
        QTest::newRow("points") << "lblRecP_2" << 9.75 << false << "#000000"
                                << "#FFFFFF";
        QTest::newRow("message") << "lblMsg_0" << 9.75 << true << "#000000"
                                 << "#804040";
        QTest::newRow("message shadow") << "lblMsg_1" << 9.75 << true << "#FF8080"
                                        << "";
    }
    void looks()
    {
        QFETCH(QString, name);
        QFETCH(qreal, points);
        QFETCH(bool, bold);
        QFETCH(QString, text);
        QFETCH(QString, background);
        Window g;
        auto* l = g.w.findChild<QLabel*>(name);
        QVERIFY(l);
        QCOMPARE(l->font().pointSizeF(), points);
        QCOMPARE(l->font().bold(), bold);
        const QFontMetrics metrics(l->font());
        QCOMPARE(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('M')));
        const QString family = QFontInfo(l->font()).family();
        QVERIFY2(
            !family.contains(QStringLiteral("Sans"), Qt::CaseInsensitive) || family.contains(QStringLiteral("Mono")),
            qPrintable(family));
        QCOMPARE(l->palette().color(QPalette::WindowText).rgb(), QColor(text).rgb());
        QCOMPARE(l->autoFillBackground(), !background.isEmpty());
        if (!background.isEmpty()) {
            QCOMPARE(l->palette().color(QPalette::Window).rgb(), QColor(background).rgb());
        }
    }

    void menus_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<bool>("checkable");
        QTest::addColumn<bool>("checked");
        QTest::newRow("new") << "mnuNuova"
                             << "&Nuova" << QKeySequence(Qt::Key_F2) << false << false;
        QTest::newRow("pause") << "mnuPausa"
                               << "Interrompi/&Riprendi" << QKeySequence(Qt::Key_F3) << false << false;
        QTest::newRow("exit") << "mnuEsci"
                              << "&Esci" << QKeySequence() << false << false;
        for (int i = 1; i <= 9; ++i) {
            QTest::addRow("level %d", i) << QStringLiteral("mnuL_%1").arg(i) << QStringLiteral("&%1").arg(i)
                                         << QKeySequence() << true << (i == 5);
        }
        for (int i = 0; i <= 5; ++i) {
            QTest::addRow("difficulty %d", i) << QStringLiteral("mnuD_%1").arg(i) << QStringLiteral("&%1").arg(i)
                                              << QKeySequence() << true << (i == 0);
        }
        QTest::newRow("preview") << "mnuPreview"
                                 << "&Mostra/Nascondi anteprima" << QKeySequence(Qt::CTRL | Qt::Key_P) << true << true;
        QTest::newRow("backgrounds") << "mnuSfondi"
                                     << "&Visualizza sfondi" << QKeySequence() << true << true;
        QTest::newRow("keys") << "mnuTasti"
                              << "&Tasti" << QKeySequence() << false << false;
        QTest::newRow("scores") << "mnuPunteggi"
                                << "&Punteggi" << QKeySequence() << false << false;
        QTest::newRow("about") << "mnuAbout"
                               << "&Informazioni su ..." << QKeySequence() << false << false;
    }
    void menus()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(QKeySequence, shortcut);
        QFETCH(bool, checkable);
        QFETCH(bool, checked);
        Window g;
        auto* a = g.w.findChild<QAction*>(name);
        QVERIFY2(a, qPrintable(name));
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), shortcut);
        QCOMPARE(a->isCheckable(), checkable);
        QCOMPARE(a->isChecked(), checked);
        QVERIFY(a->isEnabled());
    }

    void menuStructure()
    {
        Window g;
        QStringList bar;
        for (QAction* a : g.w.menuBar()->actions()) {
            bar << a->text();
        }
        QCOMPARE(bar, (QStringList { "&Partita", "&Opzioni", "&?" }));
        const auto items = [](QMenu* m) {
            QStringList out;
            for (QAction* a : m->actions()) {
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
            }
            return out;
        };
        QCOMPARE(items(g.w.mnuParita), (QStringList { "&Nuova", "Interrompi/&Riprendi", "-", "&Esci" }));
        QCOMPARE(items(g.w.mnuOpzioni),
            (QStringList { QStringLiteral("&Livello"), QStringLiteral("&Difficoltà"), "-", "&Mostra/Nascondi anteprima",
                "&Visualizza sfondi" }));
        QCOMPARE(items(g.w.mnuAiuto), (QStringList { "&Tasti", "&Punteggi", "-", "&Informazioni su ..." }));
        QCOMPARE(items(g.w.mnuLivello).size(), 9);
        QCOMPARE(items(g.w.mnuDifficolta).size(), 6);
    }

    void messages_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::newRow("keys") << "mnuTasti"
                              << QStringLiteral("[Spazio]\t\tRotazione sinistra\r"
                                                "[Shift]\t\tRotazione destra\r"
                                                "Freccia giù\tAccelera\r"
                                                "Frecce [<]  [>]\tBlocco sinistra/destra\r"
                                                "[F2]\t\tInizia partita\r"
                                                "[F3]\t\tPausa / riprendi\r")
                              << "Tasti Gravix";
        QTest::newRow("about") << "mnuAbout"
                               << "gravix"
                               << "zb32";
    }
    void messages()
    {
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(QString, title);
        Window g;
        g.w.findChild<QAction*>(action)->trigger();
        QCOMPARE(MessageBox::shown(), QStringList { text });
        QCOMPARE(MessageBox::shownTitles(), QStringList { title });
    }

    // The help texts as shown: every line's n-th text starts in the n-th column, whatever the widths
    // of the texts before it in the box's font; a line of one text (the rule) spans the table.
    void messagesInColumns_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("columns");
        QTest::newRow("keys") << frmGravix::testoTasti() << 2;
        QTest::newRow("scores") << frmGravix::testoPunteggi() << 5;
    }
    void messagesInColumns()
    {
        QFETCH(QString, text);
        QFETCH(int, columns);
        QTextDocument doc;
        doc.setDefaultFont(QApplication::font("QMessageBox"));
        doc.setHtml(MessageBox::tabulated(text));
        QTextTable* table = nullptr;
        for (QTextFrame* f : doc.rootFrame()->childFrames()) {
            table = qobject_cast<QTextTable*>(f);
        }
        QVERIFY(table);
        const QStringList lines = text.chopped(1).split(QLatin1Char('\r'));
        QCOMPARE(table->rows(), lines.size());
        QCOMPARE(table->columns(), columns);
        QList<qreal> left(columns, -1);
        QList<qreal> right(columns, 0);
        for (int r = 0; r < table->rows(); ++r) {
            const QStringList texts = lines.at(r).split(QLatin1Char('\t'), Qt::SkipEmptyParts);
            for (int c = 0; c < texts.size(); ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                QCOMPARE(cell.column(), c);
                QCOMPARE(cell.columnSpan(), c == texts.size() - 1 ? columns - c : 1);
                const QTextBlock block = cell.firstCursorPosition().block();
                QCOMPARE(block.text(), texts.at(c)); // spaces kept, nothing escaped twice
                const QRectF box = doc.documentLayout()->blockBoundingRect(block);
                QCOMPARE(block.layout()->lineCount(), 1);
                if (cell.columnSpan() == 1) {
                    QVERIFY(left[c] < 0 || qFuzzyCompare(left[c], box.left()));
                    left[c] = box.left();
                    right[c] = std::max(right[c], box.left() + block.layout()->lineAt(0).naturalTextWidth());
                }
            }
        }
        for (int c = 1; c < columns; ++c) {
            QVERIFY2(left[c] > right[c - 1], qPrintable(QStringLiteral("column %1").arg(c)));
        }
    }

    void scoreTableMessage()
    {
        Window g;
        g.w.mnuPunteggi->trigger();
        QCOMPARE(MessageBox::shownTitles(), QStringList { "Punteggi Gravix" });
        const QString text = MessageBox::shown().value(0);
        QVERIFY(text.endsWith(QLatin1Char('\r')));
        QVERIFY(!text.contains(QLatin1Char('\n')));
        const QStringList lines = text.chopped(1).split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 19);
        const QString rule(94, QLatin1Char('-'));
        QCOMPARE(lines.at(0), QStringLiteral("LIVELLO / LINEE\t1\t2\t3\tGRAVIX"));
        QCOMPARE(lines.at(1), rule);
        QCOMPARE(lines.at(2), QStringLiteral("Livello 1\t\t10\t50\t200\t500"));
        QCOMPARE(lines.at(10), QStringLiteral("Livello 9\t\t90\t450\t1800\t4500"));
        QCOMPARE(lines.at(11), QStringLiteral("Livello 10\t\t100\t500\t2000\t5000"));
        QCOMPARE(lines.at(17), QStringLiteral("Livello 16\t\t160\t800\t3200\t8000"));
        QCOMPARE(lines.at(18), rule);
    }

    void startWithF2()
    {
        Window g;
        QVERIFY(g.showActive());
        QVERIFY(g.w.tmrGioco->isActive() == false);
        QTest::keyClick(&g.w, Qt::Key_F2);
        QVERIFY(g.w.tmrGioco->isActive());
        QCOMPARE(g.w.tmrGioco->interval(), 240);
        QVERIFY(!g.w.mnuNuova->isEnabled());
        QVERIFY(g.w.lblMsg[0]->isHidden());
        QVERIFY(g.w.lblMsg[1]->isHidden());
        QCOMPARE(int(g.board().corrente().tipo), Modelli::kQuadrato);
        QCOMPARE(g.boardPixel(4, 1), rgb("#FF00FF")); // the square's face
        QCOMPARE(g.boardPixel(4, 1, QPoint(0, 10)), qRgb(255, 255, 255));
        QCOMPARE(g.boardPixel(4, 1, QPoint(19, 10)), rgb("#800080"));
        QCOMPARE(g.boardCell(1, 15), GravixTiles::sfondo(5)); // empty cells show level 5's background
    }

    void keysMoveThePiece_data()
    {
        QTest::addColumn<int>("tipo");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("toBoard");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("sound");
        for (bool toBoard : { false, true }) {
            const char* where = toBoard ? "board" : "window";
            QTest::addRow("right, %s", where) << 5 << int(Qt::Key_Right) << toBoard << 1 << 2;
            QTest::addRow("left, %s", where) << 5 << int(Qt::Key_Left) << toBoard << -1 << 2;
            QTest::addRow("space, %s", where) << 5 << int(Qt::Key_Space) << toBoard << 3 << 1;
            QTest::addRow("up, %s", where) << 5 << int(Qt::Key_Up) << toBoard << 3 << 1;
            QTest::addRow("shift, %s", where) << 5 << int(Qt::Key_Shift) << toBoard << 4 << 1;
        }
    }
    void keysMoveThePiece()
    {
        QFETCH(int, tipo);
        QFETCH(int, key);
        QFETCH(bool, toBoard);
        QFETCH(int, mode);
        QFETCH(int, sound);
        Window g(tipo);
        QVERIFY(g.showActive());
        g.w.mnuNuova->trigger();
        for (int i = 0; i < 3; ++i) {
            g.game().tmrGioco_Timer();
        }
        // The same move on a copy of the model tells where the piece should be.
        test::SequenceRandom r({ SequenceRandom::forType(tipo) });
        test::ScreenPainter p;
        Tabellone expected(p, r);
        expected.CaricaPezzi();
        QVERIFY(expected.NuovoPezzo());
        for (int i = 0; i < 3; ++i) {
            QVERIFY(expected.MuoviPezzo(Tabellone::kGiu));
        }
        QVERIFY(expected.MuoviPezzo(mode));
        g.sounds.played.clear();
        QWidget* target = toBoard ? static_cast<QWidget*>(g.w.pctGriglia) : &g.w;
        if (toBoard) {
            QCOMPARE(QApplication::focusWidget(), g.w.pctGriglia);
        }
        QTest::keyClick(target, Qt::Key(key));
        QCOMPARE(g.board().corrente(), expected.corrente());
        QCOMPARE(g.sounds.played, QList<int> { sound });
    }

    void keysIgnoredWhilePaused()
    {
        Window g(5);
        QVERIFY(g.showActive());
        QTest::keyClick(&g.w, Qt::Key_F2);
        g.game().tmrGioco_Timer();
        QTest::keyClick(&g.w, Qt::Key_F3);
        QVERIFY(!g.w.tmrGioco->isActive());
        QVERIFY(g.w.lblMsg[0]->isVisible());
        QCOMPARE(g.w.lblMsg[0]->text(), QStringLiteral("Premi F3 per continuare"));
        QCOMPARE(g.w.lblMsg[1]->text(), QStringLiteral("Premi F3 per continuare"));
        const Pezzo before = g.board().corrente();
        g.sounds.played.clear();
        for (Qt::Key k : { Qt::Key_Left, Qt::Key_Right, Qt::Key_Space, Qt::Key_Up, Qt::Key_Shift }) {
            QTest::keyClick(g.w.pctGriglia, k);
        }
        QTest::keyPress(g.w.pctGriglia, Qt::Key_Down);
        QCOMPARE(g.board().corrente(), before);
        QVERIFY(g.sounds.played.isEmpty());
        QCOMPARE(g.w.tmrGioco->interval(), 240);
        QTest::keyRelease(g.w.pctGriglia, Qt::Key_Down);
        QTest::keyClick(&g.w, Qt::Key_F3);
        QVERIFY(g.w.tmrGioco->isActive());
        QVERIFY(g.w.lblMsg[0]->isHidden());
        QTest::keyClick(g.w.pctGriglia, Qt::Key_Left);
        QCOMPARE(int(g.board().corrente().blocchi[0].x), before.blocchi[0].x - 1);
    }

    void fastDropWithTheDownArrow()
    {
        Window g;
        QVERIFY(g.showActive());
        g.w.mnuL[3]->trigger();
        g.w.mnuNuova->trigger();
        QTest::keyPress(g.w.pctGriglia, Qt::Key_Down);
        QCOMPARE(g.w.tmrGioco->interval(), 30);
        QVERIFY(g.w.tmrGioco->isActive());
        for (int i = 0; i < 4; ++i) {
            g.game().tmrGioco_Timer();
            // A held key repeats as release/press pairs: neither the bonus nor the fast drop ends.
            QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(g.w.pctGriglia, &repeatRelease);
            QKeyEvent repeatPress(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(g.w.pctGriglia, &repeatPress);
        }
        QCOMPARE(g.game().iPuntiBoost(), 12);
        QCOMPARE(g.w.tmrGioco->interval(), 30);
        QTest::keyRelease(g.w.pctGriglia, Qt::Key_Down);
        QCOMPARE(g.game().iPuntiBoost(), 0);
        QCOMPARE(g.w.tmrGioco->interval(), 400);
    }

    void levelNineMidGame()
    {
        Window g;
        g.w.mnuNuova->trigger();
        g.game().tmrGioco_Timer();
        g.w.mnuL[9]->trigger();
        QCOMPARE(g.w.tmrGioco->interval(), 133);
        QVERIFY(g.w.tmrGioco->isActive());
        QCOMPARE(g.w.lblLivello->text(), QStringLiteral("9"));
        for (int i = 1; i <= 9; ++i) {
            QCOMPARE(g.w.mnuL[static_cast<std::size_t>(i)]->isChecked(), i == 9);
        }
        QCOMPARE(g.boardCell(1, 15), GravixTiles::sfondo(9));
        g.w.mnuL[9]->trigger(); // the ticked item again stays ticked
        QVERIFY(g.w.mnuL[9]->isChecked());
    }

    void difficultyCountsFromTheNextGame()
    {
        Window g;
        g.random.setValues({ 0.99 });
        g.w.mnuNuova->trigger();
        g.w.mnuD[3]->trigger();
        for (int i = 0; i <= 5; ++i) {
            QCOMPARE(g.w.mnuD[static_cast<std::size_t>(i)]->isChecked(), i == 3);
        }
        QCOMPARE(int(g.board().griglia().at(1, 15)), 0); // not in the game under way
        for (int y = 3; y < 15; ++y) {
            g.board().griglia().set(5, y, Griglia::kDifficolta);
        }
        QCOMPARE(g.tickUntilLanding(), 1);
        QVERIFY(g.w.mnuNuova->isEnabled());
        g.w.mnuNuova->trigger();
        for (int y = 11; y <= 15; ++y) {
            QCOMPARE(int(g.board().griglia().at(1, y)), y >= 13 ? int(Griglia::kDifficolta) : 0);
        }
        QCOMPARE(g.boardCell(1, 13), GravixTiles::blocco(10));
    }

    void previewMenu()
    {
        Window g(6);
        g.w.mnuNuova->trigger();
        const QRgb grey = rgb("#C0C0C0");
        QCOMPARE(g.w.pctPreView->image().pixel(g.w.pctPreView->cellRect(1, 1).center()), rgb("#FF0000"));
        g.w.mnuPreview->trigger(); // off: cleared at once
        QVERIFY(!g.w.mnuPreview->isChecked());
        const QImage blank = [&] {
            QImage i(g.w.pctPreView->image().size(), QImage::Format_RGB32);
            i.fill(grey);
            return i;
        }();
        QCOMPARE(g.w.pctPreView->image(), blank);
        QVERIFY(g.tickUntilLanding() > 0); // a new piece comes in: nothing shown
        QCOMPARE(g.w.pctPreView->image(), blank);
        g.w.mnuPreview->trigger(); // on again: still nothing until the next piece
        QVERIFY(g.w.mnuPreview->isChecked());
        QCOMPARE(g.w.pctPreView->image(), blank);
        QVERIFY(g.tickUntilLanding() > 0);
        QCOMPARE(g.w.pctPreView->image().pixel(g.w.pctPreView->cellRect(4, 1).center()), rgb("#FF0000"));
        QCOMPARE(g.w.pctPreView->image().pixel(g.w.pctPreView->cellRect(1, 2).center()), grey);
    }

    void backgroundMenu()
    {
        Window g;
        g.w.mnuNuova->trigger();
        const QImage plain = GravixTiles::blocco(20);
        g.w.mnuSfondi->trigger(); // off: every empty cell plain #C0C0FF
        QVERIFY(!g.w.mnuSfondi->isChecked());
        for (int y = 1; y <= 15; ++y) {
            for (int x = 1; x <= 9; ++x) {
                if (g.board().griglia().at(x, y) == 0) {
                    QCOMPARE(g.boardCell(x, y), plain);
                }
            }
        }
        QCOMPARE(g.boardPixel(4, 1), rgb("#FF00FF")); // the piece stays
        g.w.mnuL[3]->trigger(); // a level change while off keeps the plain tile
        QCOMPARE(g.boardCell(9, 15), plain);
        g.w.mnuSfondi->trigger(); // on: the current level's background
        QCOMPARE(g.boardCell(9, 15), GravixTiles::sfondo(3));
        QCOMPARE(g.boardCell(1, 1), GravixTiles::sfondo(3));
    }

    void focusLossPauses()
    {
        Window g;
        QVERIFY(g.showActive());
        g.w.pctGriglia->clearFocus(); // waiting: paused too
        QCOMPARE(g.w.lblMsg[0]->text(), QStringLiteral("Premi F3 per continuare"));
        QVERIFY(g.game().bStato());
        g.w.mnuPausa->trigger();
        g.w.mnuPausa->trigger();
        QVERIFY(!g.game().bStato());
        g.w.pctGriglia->setFocus();
        g.w.mnuNuova->trigger();
        QTest::keyPress(g.w.pctGriglia, Qt::Key_Down);
        QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason); // a menu opening
        QApplication::sendEvent(g.w.pctGriglia, &popup);
        QVERIFY(g.w.tmrGioco->isActive());
        g.w.pctGriglia->clearFocus();
        QVERIFY(g.game().bStato());
        QVERIFY(!g.w.tmrGioco->isActive());
        QCOMPARE(g.w.lblMsg[0]->text(), QStringLiteral("Premi F3 per continuare"));
        QCOMPARE(g.w.tmrGioco->interval(), 240); // the fast drop ended with the focus
        g.w.mnuPausa->trigger(); // first F3 after a focus pause: still paused
        QVERIFY(!g.w.tmrGioco->isActive());
        g.w.mnuPausa->trigger();
        QVERIFY(g.w.tmrGioco->isActive());
    }

    void minimisingPauses_data()
    {
        QTest::addColumn<bool>("newGame");
        QTest::newRow("before the first game") << false;
        QTest::newRow("running") << true;
    }
    void minimisingPauses()
    {
        QFETCH(bool, newGame);
        Window g;
        QVERIFY(g.showActive());
        if (newGame) {
            g.w.mnuNuova->trigger();
        }
        g.w.showMinimized();
        QTRY_VERIFY(g.game().bStato());
        QVERIFY(!g.w.tmrGioco->isActive());
        QCOMPARE(g.w.lblMsg[0]->text(), QStringLiteral("Premi F3 per continuare"));
    }

    void highScoreAtGameOver_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("fits") << "Anna";
        QTest::newRow("15 characters") << "Giovanbattista1";
        QTest::newRow("words") << "Maria Grazia De Santis";
        QTest::newRow("markup") << "<b>Bo</b>";
    }
    void highScoreAtGameOver()
    {
        QFETCH(QString, name);
        Window g;
        MessageBox::queueInput(name);
        g.w.mnuNuova->trigger();
        g.scoreARowThenLose(); // 50 points
        QCOMPARE(g.w.lblPunti->text(), QStringLiteral("50"));
        QCOMPARE(g.w.lblMsg[0]->text(), QStringLiteral("GAME OVER"));
        QVERIFY(g.w.mnuNuova->isEnabled());
        QVERIFY(!g.w.tmrGioco->isActive());
        QCOMPARE(MessageBox::shown(),
            QStringList {
                QStringLiteral("Complimenti, hai ottenuto un nuovo record\rScrivi il tuo nome (max. 10 car)") });
        QCOMPARE(MessageBox::shownTitles(), QStringList { "zb32" });
        QVERIFY(showsName(g.w.lblRecN[0], name));
        QCOMPARE(g.w.lblRecP[0]->text(), QStringLiteral("50"));
        QCOMPARE(g.w.lblRecN[1]->text(), QStringLiteral("Player1"));
        QCOMPARE(g.w.lblRecN[2]->text(), QStringLiteral("Player2"));
        QSettings stored(m_settings.filePath(QStringLiteral("zb32/Gravix.ini")), QSettings::IniFormat);
        QCOMPARE(stored.value(QStringLiteral("Record/Nome1")).toString(), name);
        QCOMPARE(stored.value(QStringLiteral("Record/Punti1")).toString(), QStringLiteral("50"));

        Window second; // a window opened later reads the stored table
        QVERIFY(showsName(second.w.lblRecN[0], name));
        QCOMPARE(second.w.lblRecP[0]->text(), QStringLiteral("50"));
    }

    void cancelledNameAndEqualScore()
    {
        {
            QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("zb32"), QStringLiteral("Gravix"));
            s.setValue(QStringLiteral("Record/Nome1"), QStringLiteral("Anna"));
            s.setValue(QStringLiteral("Record/Punti1"), QStringLiteral("50"));
            s.setValue(QStringLiteral("Record/Punti2"), QStringLiteral("non un numero"));
        }
        Window g;
        QCOMPARE(g.w.lblRecP[1]->text(), QStringLiteral("0"));
        MessageBox::queueInput(QString(), false); // Cancel
        g.w.mnuNuova->trigger();
        g.scoreARowThenLose(); // 50 points
        QCOMPARE(g.w.lblRecN[0]->text(), QStringLiteral("Anna")); // 50 equals the first: not above it
        QCOMPARE(g.w.lblRecN[1]->text(), QString());
        QCOMPARE(g.w.lblRecP[1]->text(), QStringLiteral("50"));
        QCOMPARE(g.w.lblRecN[2]->text(), QStringLiteral("Player2"));
    }

    void boxButtonsInItalian_data()
    {
        QTest::addColumn<bool>("input");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("text");
        QTest::newRow("question, yes") << false << int(QDialogButtonBox::Yes) << "Sì";
        QTest::newRow("question, no") << false << int(QDialogButtonBox::No) << "No";
        QTest::newRow("question, cancel") << false << int(QDialogButtonBox::Cancel) << "Annulla";
        QTest::newRow("name box, cancel") << true << int(QDialogButtonBox::Cancel) << "Annulla";
        QTest::newRow("name box, ok") << true << int(QDialogButtonBox::Ok) << "OK";
    }
    void boxButtonsInItalian()
    {
        QFETCH(bool, input);
        QFETCH(int, button);
        QFETCH(QString, text);
        QVERIFY(installItalianTranslation());
        QVERIFY(installItalianTranslation()); // once is enough; again changes nothing
        std::unique_ptr<QDialog> box;
        if (input) {
            box = std::make_unique<QInputDialog>();
        } else {
            auto* question = new QMessageBox(QMessageBox::Question, QString(), QStringLiteral("?"),
                QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            box.reset(question);
        }
        box->show(); // the input box makes its buttons when first shown
        auto* buttons = box->findChild<QDialogButtonBox*>();
        QVERIFY(buttons);
        QAbstractButton* b = buttons->button(QDialogButtonBox::StandardButton(button));
        QVERIFY(b);
        QCOMPARE(b->text().remove(QLatin1Char('&')), text);
    }

    // One window for the program's lifetime: asked for again while open it keeps its game; closed
    // (by Esci or by the frame) it is hidden, and the next opening shows it as just loaded.
    void oneWindowForTheProgram_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("fresh");
        QTest::newRow("shown again while open") << "open" << false;
        QTest::newRow("shown again while minimised") << "minimised" << false;
        QTest::newRow("closed by Esci, shown again") << "esci" << true;
        QTest::newRow("closed by the frame, shown again") << "close" << true;
    }
    void oneWindowForTheProgram()
    {
        QFETCH(QString, how);
        QFETCH(bool, fresh);
        QPointer<frmGravix> w = frmGravix::showGame();
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isModal());
        w->mnuL[9]->trigger();
        w->mnuD[3]->trigger();
        w->mnuPreview->trigger();
        w->mnuNuova->trigger();
        QVERIFY(w->tmrGioco->isActive());
        if (how == QLatin1String("esci")) {
            w->mnuEsci->trigger();
        } else if (how == QLatin1String("close")) {
            QVERIFY(w->close());
        } else if (how == QLatin1String("minimised")) {
            w->showMinimized();
            QTRY_VERIFY(w->isMinimized());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(w);
        if (fresh) {
            QVERIFY(!w->isVisible());
            QVERIFY(!w->tmrGioco->isActive());
        }
        QCOMPARE(frmGravix::showGame(), w.data());
        QVERIFY(w->isVisible());
        QTRY_VERIFY(!w->isMinimized());
        if (fresh) {
            QVERIFY(w->lblMsg[0]->isVisible());
            QCOMPARE(w->lblMsg[0]->text(), QStringLiteral("Premi F2 per iniziare"));
            QVERIFY(!w->partita()->bPausaMenu());
        }
        QCOMPARE(w->lblLivello->text(), fresh ? QStringLiteral("5") : QStringLiteral("9"));
        QCOMPARE(w->mnuL[5]->isChecked(), fresh);
        QCOMPARE(w->mnuD[0]->isChecked(), fresh);
        QCOMPARE(w->mnuPreview->isChecked(), fresh);
        QCOMPARE(w->mnuNuova->isEnabled(), fresh);
        w->close();
    }

private:
    QTemporaryDir m_settings;
};

QTEST_MAIN(TestFrmGravix)
#include "TestFrmGravix.moc"
