// The windows' client areas at their designed sizes once a window manager has framed them: the
// frame goes around the client area and takes nothing of it. Under the offscreen platform there
// is no frame; run by under-wm.sh there is one of the manager's own height.
#include "TestWorkspace.h"
#include "gui/about/frmAbout.h"
#include "gui/desk/Form1.h"
#include "gui/game/BoardBox.h"
#include "gui/game/frmGravix.h"

#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace zb32;

namespace {

struct Shown
{
    std::unique_ptr<QWidget> window;
    QWidget* client = nullptr; // the area the controls are placed in
};

Shown make(const QString& which)
{
    Shown s;
    if (which == QLatin1String("desk")) {
        auto* desk = new Form1();
        s.window.reset(desk);
        s.client = desk->centralWidget();
    } else if (which == QLatin1String("about")) {
        auto* box = new frmAbout();
        s.window.reset(box);
        s.client = box;
    } else {
        auto* game = new frmGravix();
        s.window.reset(game);
        s.client = game->centralWidget();
    }
    return s;
}

} // namespace

class TestWindowFrames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_settings.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_settings.path());
    }

    void clientAreaAsDesigned_data()
    {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QSize>("client");
        QTest::addColumn<QStringList>("inside"); // controls that must show whole
        QTest::newRow("desk") << "desk" << QSize(581, 415)
                              << QStringList { "List1", "ProgressBar1", "Command1", "Command2", "Command5" };
        QTest::newRow("About box") << "about" << QSize(380, 294)
                                   << QStringList { "lblDisclaimer", "cmdOK", "cmdSysInfo", "Command1" };
        QTest::newRow("game") << "game" << QSize(269, 306) << QStringList { "pctGriglia", "pctPreView", "Picture1" };
    }
    void clientAreaAsDesigned()
    {
        QFETCH(QString, which);
        QFETCH(QSize, client);
        QFETCH(QStringList, inside);
        test::TestWorkspace ws;
        Shown s = make(which);
        QWidget* w = s.window.get();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        if (qEnvironmentVariableIsSet("ZB32_WINDOW_FRAMES_WM")) {
            // The manager frames the window a moment after it is mapped. (Where the client sits in
            // the frame Qt learns only from the manager's later moves; the sizes are what count.)
            // Now and then Qt misses the frame's first extents (one run in eight or so, seen with
            // the About box): mapped again, the window is framed again and the extents come anew.
            for (int attempt = 0; attempt < 3
                 && !QTest::qWaitFor([w] { return w->frameGeometry().height() > w->geometry().height(); }, 5000);
                 ++attempt) {
                w->hide();
                w->show();
                QVERIFY(QTest::qWaitForWindowExposed(w));
            }
            QTRY_VERIFY2_WITH_TIMEOUT(w->frameGeometry().height() > w->geometry().height(),
                qPrintable(QStringLiteral("frame %1,%2 %3x%4 client %5,%6 %7x%8")
                               .arg(w->frameGeometry().x())
                               .arg(w->frameGeometry().y())
                               .arg(w->frameGeometry().width())
                               .arg(w->frameGeometry().height())
                               .arg(w->geometry().x())
                               .arg(w->geometry().y())
                               .arg(w->geometry().width())
                               .arg(w->geometry().height())),
                15000);
            QTest::qWait(100); // any resize the manager asks for has come by now
        }
        QCOMPARE(s.client->size(), client);
        const QRect area(s.client->mapTo(w, QPoint(0, 0)), s.client->size());
        QVERIFY(w->rect().contains(area));
        for (const QString& name : inside) {
            auto* child = s.client->findChild<QWidget*>(name);
            QVERIFY2(child, qPrintable(name));
            const QRect r(child->mapTo(s.client, QPoint(0, 0)), child->size());
            QVERIFY2(s.client->rect().contains(r), qPrintable(name));
        }
    }

private:
    QTemporaryDir m_settings;
};

QTEST_MAIN(TestWindowFrames)
#include "TestWindowFrames.moc"
