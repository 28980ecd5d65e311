// The About box under the offscreen platform: opening from the desk, controls, the drawn text,
// the icon gesture, the hidden pictures and the system-information fallback.
#include "TestWorkspace.h"
#include "gui/about/AboutPictures.h"
#include "gui/about/Barzellette.h"
#include "gui/about/PictureBox.h"
#include "gui/about/frmAbout.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"
#include "gui/game/frmGravix.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace zb32;

namespace {

QStringList poolFileLines()
{
    QFile f(QStringLiteral(ZB32_POOL_FILE));
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

// Draws the given indexes in turn, then the first entry.
void scriptDraws(QList<quint32> indexes)
{
    auto queue = std::make_shared<QList<quint32>>(std::move(indexes));
    setRandomSource([queue](quint32) { return queue->isEmpty() ? 0u : queue->takeFirst(); });
}

template<typename T> QList<T*> topLevels()
{
    QList<T*> list;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) {
            list << t;
        }
    }
    return list;
}

void closeAllWindows()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible()) {
            w->close();
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

constexpr int kShift = 1;
constexpr int kCtrl = 2;
constexpr int kAlt = 4;

Qt::KeyboardModifiers modifiersOf(int state)
{
    Qt::KeyboardModifiers m;
    if (state & kShift) {
        m |= Qt::ShiftModifier;
    }
    if (state & kCtrl) {
        m |= Qt::ControlModifier;
    }
    if (state & kAlt) {
        m |= Qt::AltModifier;
    }
    return m;
}

// Presses and releases modifier keys on `target` to go from state `from` to state `to`, one key
// event each, sent through the application as the platform would. Platforms differ in whether a
// modifier key's own event counts that key in its modifiers; `selfIncluded` makes the events
// one way or the other, and the box must get the state right either way.
void changeKeys(QWidget* target, int from, int to, bool selfIncluded)
{
    const std::pair<int, Qt::Key> keys[]
        = { { kShift, Qt::Key_Shift }, { kCtrl, Qt::Key_Control }, { kAlt, Qt::Key_Alt } };
    int state = from;
    for (const auto& [bit, key] : keys) {
        const bool press = (to & bit) && !(state & bit);
        const bool release = !(to & bit) && (state & bit);
        if (!press && !release) {
            continue;
        }
        const int after = press ? state | bit : state & ~bit;
        QKeyEvent event(press ? QEvent::KeyPress : QEvent::KeyRelease, key, modifiersOf(selfIncluded ? after : state));
        QApplication::sendEvent(target, &event);
        state = after;
    }
}

QSize grown(const QSize& s)
{
    return QSize(qRound(s.width() * 1.1), qRound(s.height() * 1.1));
}

} // namespace

class TestFrmAbout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
        setRandomSource({});
        frmAbout::resetClickIcona();
    }
    void cleanup()
    {
        closeAllWindows();
        setRandomSource({});
    }

    void opensFromTheDeskMenuWithADrawnText()
    {
        const QStringList pool = poolFileLines();
        QCOMPARE(pool.size(), 394);
        test::TestWorkspace ws;
        auto* desk = new Form1();
        desk->setAttribute(Qt::WA_DeleteOnClose);
        desk->show();
        scriptDraws({ 41 });
        desk->f->trigger();
        const auto boxes = topLevels<frmAbout>();
        QCOMPARE(boxes.size(), 1);
        frmAbout* box = boxes.first();
        QCOMPARE(box->windowTitle(), QStringLiteral("Informazioni su zb32"));
        QCOMPARE(box->size(), QSize(380, 294));
        QCOMPARE(box->lblDisclaimer->text(), pool[41]);
        QVERIFY(!box->isModal());
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QCOMPARE(box->parentWidget(), nullptr);

        // A second click brings the open box forward rather than opening another.
        desk->f->trigger();
        QCOMPARE(topLevels<frmAbout>().size(), 1);

        // The desk may close while the box stays open.
        QPointer<frmAbout> alive(box);
        QVERIFY(desk->close());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(alive);
        QVERIFY(alive->isVisible());
    }

    void controlsAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        // Design positions in twips, 15 to the pixel.
        QTest::newRow("picIcon") << "picIcon"
                                 << "" << QRect(16, 16, 28, 28);
        QTest::newRow("lblTitle") << "lblTitle"
                                  << "zb32" << QRect(70, 16, 259, 32);
        QTest::newRow("lblVersion") << "lblVersion" << QStringLiteral("Versione " ZB32_VERSION)
                                    << QRect(70, 52, 259, 15);
        QTest::newRow("lblDisclaimer") << "lblDisclaimer"
                                       << "" << QRect(17, 147, 258, 119);
        QTest::newRow("cmdOK") << "cmdOK"
                               << "OK" << QRect(288, 148, 76, 23);
        QTest::newRow("cmdSysInfo") << "cmdSysInfo"
                                    << "&System Info..." << QRect(288, 176, 75, 23);
        QTest::newRow("Command1") << "Command1"
                                  << "prossimo" << QRect(288, 244, 73, 21);
        QTest::newRow("Line1(1), grey") << "Line1_1"
                                        << "" << QRect(6, 140, 368, 1);
        QTest::newRow("Line1(0), white") << "Line1_0"
                                         << "" << QRect(6, 141, 368, 1);
    }
    void controlsAtTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        frmAbout box;
        auto* w = box.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->geometry(), geometry);
        if (!text.isEmpty()) {
            if (auto* l = qobject_cast<QLabel*>(w)) {
                QCOMPARE(l->text(), text);
            } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                QCOMPARE(b->text(), text);
            }
        }
    }

    void descriptionAndSeparator()
    {
        frmAbout box;
        QVERIFY(!box.lblDescription->text().isEmpty());
        QCOMPARE(box.lblDescription->geometry().topLeft(), QPoint(70, 75));
        QCOMPARE(box.lblDescription->width(), 259);
        // The description ends above the separator.
        QVERIFY(box.lblDescription->geometry().bottom() < 140);
        QCOMPARE(box.Line1[0]->palette().color(QPalette::Window), QColor(Qt::white));
        QCOMPARE(box.Line1[1]->palette().color(QPalette::Window), QColor(0x80, 0x80, 0x80));
        QCOMPARE(box.picIcon->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
        QVERIFY(box.cmdOK->isDefault());
    }

    void hiddenPictures_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QSize>("size");
        QTest::newRow("Picture1(0)") << 0 << QSize(142, 200);
        QTest::newRow("Picture1(1)") << 1 << QSize(127, 168);
        QTest::newRow("Picture1(2)") << 2 << QSize(110, 204);
        QTest::newRow("Picture1(3)") << 3 << QSize(191, 131);
    }
    void hiddenPictures()
    {
        QFETCH(int, index);
        QFETCH(QSize, size);
        frmAbout box;
        PictureBox* p = box.Picture1[size_t(index)];
        QCOMPARE(p->objectName(), QStringLiteral("Picture1_%1").arg(index));
        QCOMPARE(p->size(), size);
        QCOMPARE(p->pixmap().size(), size);
        // Right of or below the visible area: nothing of it shows at the start.
        QVERIFY(!box.rect().intersects(p->geometry()));
        QVERIFY(p->geometry().left() >= box.width() || p->geometry().top() >= box.height());
        // Painted pictures: the same every time, with more than one colour.
        const QImage image = aboutPicture(index);
        QCOMPARE(image, aboutPicture(index));
        QVERIFY(image.pixel(1, 1) != image.pixel(size.width() / 2, size.height() - 8)
            || image.pixel(1, 1) != image.pixel(size.width() / 2, size.height() / 2));
    }

    void picturesDiffer()
    {
        for (int i = 0; i < kAboutPictures; ++i) {
            for (int j = i + 1; j < kAboutPictures; ++j) {
                QVERIFY(aboutPicture(i) != aboutPicture(j));
            }
        }
        QVERIFY(aboutPicture(-1).isNull());
        QVERIFY(aboutPicture(kAboutPictures).isNull());
    }

    void maintenanceButtonsAreHidden()
    {
        frmAbout box;
        for (QPushButton* b : { box.cmdFinestre, box.cmdProva }) {
            QVERIFY(!box.rect().intersects(b->geometry()));
        }
        QVERIFY(!box.hiddenAreaShown());
    }

    void iconShowsTheFirstPicture()
    {
        frmAbout box;
        const QPixmap icon = box.picIcon->pixmap();
        QVERIFY(!icon.isNull());
        QVERIFY(icon.width() <= 28 && icon.height() <= 28);
        QVERIFY(icon.width() == 28 || icon.height() == 28);
        // Scaled down, not cut out: the proportions of the 142 x 200 picture.
        QVERIFY(qAbs(icon.width() - 28 * 142 / 200.0) < 1);
    }

    void prossimoDrawsAnother()
    {
        const QStringList pool = poolFileLines();
        scriptDraws({ 3, 250, 250, 393 });
        frmAbout* box = frmAbout::showAbout();
        QCOMPARE(box->lblDisclaimer->text(), pool[3]);
        QTest::mouseClick(box->Command1, Qt::LeftButton);
        QCOMPARE(box->lblDisclaimer->text(), pool[250]);
        // The same text may come twice in a row.
        QTest::mouseClick(box->Command1, Qt::LeftButton);
        QCOMPARE(box->lblDisclaimer->text(), pool[250]);
        QTest::mouseClick(box->Command1, Qt::LeftButton);
        QCOMPARE(box->lblDisclaimer->text(), pool[393]);
    }

    void longestTextFitsItsLabel()
    {
        const QStringList pool = poolFileLines();
        qsizetype longest = 0;
        qsizetype shortest = 0;
        for (qsizetype i = 1; i < pool.size(); ++i) {
            if (pool[i].size() > pool[longest].size()) {
                longest = i;
            }
            if (pool[i].size() < pool[shortest].size()) {
                shortest = i;
            }
        }
        scriptDraws({ quint32(longest), quint32(shortest) });
        frmAbout box;
        QCOMPARE(box.lblDisclaimer->text(), pool[longest]);
        QVERIFY(box.lblDisclaimer->heightForWidth(box.lblDisclaimer->width()) <= box.lblDisclaimer->height());
        const qreal small = box.lblDisclaimer->font().pointSizeF();
        // A short text goes back to the full size.
        QTest::mouseClick(box.Command1, Qt::LeftButton);
        QVERIFY(box.lblDisclaimer->font().pointSizeF() >= small);
        QCOMPARE(box.lblDisclaimer->font().pointSizeF(), box.font().pointSizeF());
    }

    void gesture_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("selfIncluded");
        QTest::addColumn<QList<int>>("keys"); // Shift/Ctrl/Alt state at each click
        QTest::addColumn<QList<int>>("grows"); // 1 where that click enlarges the window
        const QList<int> all { 7, 7, 7, 7, 7 };
        const QList<int> fromThird { 0, 0, 1, 1, 1 };
        QTest::newRow("keys on the box") << "box" << false << all << fromThird;
        QTest::newRow("keys on OK, which has the focus") << "cmdOK" << false << all << fromThird;
        QTest::newRow("keys on prossimo") << "Command1" << true << all << fromThird;
        QTest::newRow("keys on another window") << "other" << false << all << fromThird;
        QTest::newRow("keys counting themselves") << "box" << true << all << fromThird;
        QTest::newRow("plain clicks count too")
            << "box" << false << QList<int> { 0, 0, 0, 7 } << QList<int> { 0, 0, 0, 1 };
        QTest::newRow("two keys are not enough")
            << "cmdOK" << false << QList<int> { 3, 5, 6, 3, 5, 6 } << QList<int> { 0, 0, 0, 0, 0, 0 };
        QTest::newRow("one key is not enough")
            << "box" << true << QList<int> { 1, 2, 4, 1 } << QList<int> { 0, 0, 0, 0 };
        QTest::newRow("keys released between clicks")
            << "cmdOK" << false << QList<int> { 7, 7, 7, 0, 7, 3, 7 } << QList<int> { 0, 0, 1, 0, 1, 0, 1 };
    }
    void gesture()
    {
        QFETCH(QString, target);
        QFETCH(bool, selfIncluded);
        QFETCH(QList<int>, keys);
        QFETCH(QList<int>, grows);
        QWidget other;
        other.setWindowTitle(QStringLiteral("altra"));
        other.show();
        frmAbout* box = frmAbout::showAbout();
        QVERIFY(QTest::qWaitForWindowExposed(box));
        box->cmdOK->setFocus();
        QWidget* receiver = target == QLatin1String("other") ? &other
            : target == QLatin1String("box")                 ? static_cast<QWidget*>(box)
                                                             : box->findChild<QWidget*>(target);
        QVERIFY(receiver);
        int state = 0;
        for (qsizetype i = 0; i < keys.size(); ++i) {
            changeKeys(receiver, state, keys[i], selfIncluded);
            state = keys[i];
            QCOMPARE(box->iShift(), state);
            const QSize before = box->size();
            QTest::mouseClick(box->picIcon, Qt::LeftButton);
            QCOMPARE(frmAbout::ClickIcona(), int(i + 1));
            QCOMPARE(box->size(), grows[i] ? grown(before) : before);
        }
        changeKeys(receiver, state, 0, selfIncluded);
        QCOMPARE(box->iShift(), 0);
    }

    // Where the key presses reach no window of ours (the box without keyboard focus), the click
    // itself says which keys are held.
    void heldKeysTravelWithTheClick()
    {
        frmAbout* box = frmAbout::showAbout();
        QVERIFY(QTest::qWaitForWindowExposed(box));
        const Qt::KeyboardModifiers all = Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier;
        const int startClicks = frmAbout::ClickIcona();
        QSize size = box->size();
        for (int i = 0; i < 4; ++i) {
            QTest::mouseClick(box->picIcon, Qt::LeftButton, i == 1 ? Qt::KeyboardModifiers(Qt::ShiftModifier) : all);
            const bool expected = startClicks + i + 1 >= 3 && i != 1;
            QCOMPARE(box->size(), expected ? grown(size) : size);
            size = box->size();
        }
        box->close();
    }

    void clickCountOutlivesTheBox()
    {
        frmAbout* first = frmAbout::showAbout();
        QTest::mouseClick(first->picIcon, Qt::LeftButton);
        QTest::mouseClick(first->picIcon, Qt::LeftButton);
        QPointer<frmAbout> gone(first);
        QTest::mouseClick(first->cmdOK, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(gone.isNull());

        frmAbout* second = frmAbout::showAbout();
        QCOMPARE(second->iShift(), 0);
        QCOMPARE(second->size(), QSize(380, 294));
        changeKeys(second, 0, 7, false);
        const QSize before = second->size();
        // The third click in all, and the first on this box, enlarges it.
        QTest::mouseClick(second->picIcon, Qt::LeftButton);
        QCOMPARE(frmAbout::ClickIcona(), 3);
        QCOMPARE(second->size(), grown(before));
        changeKeys(second, 7, 0, false);
    }

    void growthStopsOnceEverythingShows()
    {
        frmAbout* box = frmAbout::showAbout();
        changeKeys(box, 0, 7, false);
        QTest::mouseClick(box->picIcon, Qt::LeftButton);
        QTest::mouseClick(box->picIcon, Qt::LeftButton);
        int growths = 0;
        while (!box->hiddenAreaShown() && growths < 30) {
            const QSize before = box->size();
            QTest::mouseClick(box->picIcon, Qt::LeftButton);
            QCOMPARE(box->size(), grown(before));
            ++growths;
        }
        QVERIFY(box->hiddenAreaShown());
        QVERIFY2(growths <= 8, qPrintable(QString::number(growths)));
        for (PictureBox* p : box->Picture1) {
            QVERIFY(box->rect().contains(p->geometry()));
        }
        QVERIFY(box->rect().contains(box->cmdFinestre->geometry()));
        QVERIFY(box->rect().contains(box->cmdProva->geometry()));
        const QSize full = box->size();
        QTest::mouseClick(box->picIcon, Qt::LeftButton);
        QCOMPARE(box->size(), full);
        changeKeys(box, 7, 0, false);
    }

    void pictureClickShowsTheNoteAndOpensTheGame_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("game"); // the game window before the click
        for (int i = 0; i < kAboutPictures; ++i) {
            QTest::addRow("Picture1(%d)", i) << i << "none";
        }
        QTest::newRow("Picture1(1), game open") << 1 << "open";
        QTest::newRow("Picture1(2), game minimised") << 2 << "minimised";
    }
    void pictureClickShowsTheNoteAndOpensTheGame()
    {
        QFETCH(int, index);
        QFETCH(QString, game);
        QPointer<frmGravix> earlier;
        if (game != QLatin1String("none")) {
            earlier = frmGravix::showGame();
            if (game == QLatin1String("minimised")) {
                earlier->showMinimized();
                QTRY_VERIFY(earlier->isMinimized());
            }
        }
        QPointer<frmAbout> box(frmAbout::showAbout());
        QCOMPARE(topLevels<frmGravix>().size(), earlier ? 1 : 0);
        QTest::mouseClick(box->Picture1[size_t(index)], Qt::LeftButton);
        const QString note
            = QStringLiteral("Modificare campo CF in Tabella Esattori da 15 a 16\r\n"
                             "\r\n"
                             "Funzioni non documentate\r\n"
                             "\r\n"
                             "- Click su (Ric da) in El.Inc x controllo ricevute\r\n"
                             "- Click su (LabelTotale) in El.Inc x controllo provvigioni Esattori\r\n"
                             "- Click su (LabelTotale) in Incassi x controllo provvigioni Agenzia\r\n"
                             "- Click su (BA) in Incassi x stampa Singolo Rinnovo\r\n"
                             "- Click su (Vaglia Tel) in Incassi x Ricalcolo totale incassato (Eventi)\r\n"
                             "- Click su (Verificato) in Incassi x Ricalcolo totale incassato (Codice)\r\n");
        QCOMPARE(MessageBox::shown(), QStringList { note });
        QCOMPARE(MessageBox::shownTitles(), QStringList { QStringLiteral("zb32") });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(box.isNull());
        QCOMPARE(topLevels<frmAbout>().size(), 0);
        QCOMPARE(topLevels<frmGravix>().size(), 1);
        if (earlier) {
            QCOMPARE(topLevels<frmGravix>().constFirst(), earlier.data());
            QTRY_VERIFY(!earlier->isMinimized());
        }
    }

    void okClosesTheBox()
    {
        QPointer<frmAbout> box(frmAbout::showAbout());
        QTest::mouseClick(box->cmdOK, Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(box.isNull());
        QVERIFY(MessageBox::shown().isEmpty());
        QVERIFY(topLevels<frmGravix>().isEmpty());
    }

    void escapeClosesAndTheNextOpeningStartsAfresh()
    {
        const QStringList pool = poolFileLines();
        scriptDraws({ 10, 20 });
        QPointer<frmAbout> box(frmAbout::showAbout());
        QVERIFY(QTest::qWaitForWindowExposed(box.data()));
        QTest::keyClick(box->cmdOK, Qt::Key_Escape);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(box.isNull());
        // A new box, loaded again: it draws its own first text.
        frmAbout* again = frmAbout::showAbout();
        QCOMPARE(again->lblDisclaimer->text(), pool[20]);
    }

    void sysInfoFallbackWhenNoToolIsFound()
    {
#ifdef Q_OS_WIN
        QSKIP("the registry decides on Windows");
#else
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", "");
        frmAbout* box = frmAbout::showAbout();
        QTest::mouseClick(box->cmdSysInfo, Qt::LeftButton);
        qputenv("PATH", oldPath);
        QCOMPARE(MessageBox::shown(),
            QStringList { QStringLiteral("Informazioni di sistema non disponibili in questo momento") });
        QVERIFY(box->isVisible());
        QCOMPARE(topLevels<frmAbout>().size(), 1);
#endif
    }
};

QTEST_MAIN(TestFrmAbout)
#include "TestFrmAbout.moc"
