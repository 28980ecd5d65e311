// The desk's "Registro" menu, "Anteprima lettere...": the newest print file drawn into a PDF of
// the cache folder and handed to the viewer, its check in the log list, faults in message boxes.
#include "PostelFixture.h"
#include "TestWorkspace.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

using namespace zb32;

class TestDeskPreview : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
    }

    void registerMenu()
    {
        test::TestWorkspace ws;
        Form1 desk;
        QStringList menus;
        for (QAction* a : desk.menuBar()->actions()) {
            menus << a->text();
        }
        QCOMPARE(menus.last(), QStringLiteral("Registro"));
        QCOMPARE(desk.mnuRegistro->actions(),
            (QList<QAction*> { desk.mnuAnteprima, desk.mnuImportazioni, desk.mnuVerifica }));
        QCOMPARE(desk.mnuAnteprima->text(), QStringLiteral("Anteprima lettere..."));
    }

    void preview_data()
    {
        QTest::addColumn<QStringList>("files"); // "NAME=fixture", oldest first
        QTest::addColumn<bool>("viewerStarts");
        QTest::addColumn<QString>("opened"); // the PDF's name, empty when none is opened
        QTest::addColumn<QString>("log"); // the check's line in the list
        QTest::addColumn<QString>("message"); // the start of the one message box, if any
        QTest::newRow("no print file") << QStringList {} << true << ""
                                       << ""
                                       << "Nessun file Postel (LO*.ASC) nella cartella";
        QTest::newRow("the newest file, with its faults")
            << QStringList { "LO071226.ASC=lotto1_cc", "LO061226.ASC=prova" } << true << "LO061226.pdf"
            << "LO061226.ASC: 1 lettere, 3 bollettini, importo totale 235.789,89, 0 problemi"
            << "";
        QTest::newRow("faults in the log and a warning")
            << QStringList { "LO061226.ASC=prova", "LO071226.ASC=lotto1_cc", "lo.asc=prova" } << true << "LO071226.pdf"
            << "LO071226.ASC: 5 lettere, 8 bollettini, importo totale 237.339,89, 3 problemi"
            << "Il file ";
        QTest::newRow("no letters to show") << QStringList { "LO071226.ASC=vuoto" } << true << ""
                                            << "0 lettere, 0 bollettini"
                                            << "Nel file ";
        QTest::newRow("no viewer") << QStringList { "LO071226.ASC=prova" } << false << "LO071226.pdf"
                                   << "1 lettere"
                                   << "Il PDF ";
    }
    void preview()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, viewerStarts);
        QFETCH(QString, opened);
        QFETCH(QString, log);
        QFETCH(QString, message);
        test::TestWorkspace ws;
        const QDateTime start = QDateTime::currentDateTime().addDays(-1);
        for (qsizetype i = 0; i < files.size(); ++i) {
            const QStringList parts = files[i].split(QLatin1Char('='));
            QFile f(ws.driveC() + QLatin1Char('/') + parts[0]);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(test::expectedPrintFile(parts[1]));
            QVERIFY(f.flush()); // before the time is set: writing it out would set it again
            QVERIFY(f.setFileTime(start.addSecs(60 * i), QFileDevice::FileModificationTime));
        }
        Form1 desk;
        QList<QUrl> urls;
        desk.setUrlOpener([&](const QUrl& url) {
            urls << url;
            return viewerStarts;
        });
        QSignalSpy finished(&desk, &Form1::previewFinished);
        desk.mnuAnteprima->trigger();
        QVERIFY(finished.count() == 1 || finished.wait(30000));
        QVERIFY(desk.mnuAnteprima->isEnabled());

        const QStringList shown = MessageBox::shown();
        QCOMPARE(shown.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QVERIFY2(shown.first().startsWith(message), qPrintable(shown.first()));
        }
        QStringList lines;
        for (int i = 0; i < desk.List1->count(); ++i) {
            lines << desk.List1->item(i)->text();
        }
        QVERIFY2(
            log.isEmpty() || lines.join(QLatin1Char('\n')).contains(log), qPrintable(lines.join(QLatin1Char('\n'))));
        if (opened.isEmpty()) {
            QCOMPARE(urls.size(), 0);
            return;
        }
        QCOMPARE(urls.size(), 1);
        const QString pdf = urls.first().toLocalFile();
        QCOMPARE(pdf,
            QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/anteprima/") + opened);
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().startsWith("%PDF-"));
    }
};

QTEST_MAIN(TestDeskPreview)
#include "TestDeskPreview.moc"
