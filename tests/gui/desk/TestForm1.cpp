// The desk window under the offscreen platform: controls, defaults, file list, job buttons.
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"
#include "gui/desk/Form1.h"
#include "gui/desk/JobRunner.h"
#include "gui/desk/MessageBox.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace zb32;

namespace {

Form1::Clock fixedClock(const QDate& day)
{
    return [day] { return QDateTime(day, QTime(9, 30)); };
}

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
    }

    void controlsAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        QTest::newRow("Label1(4)") << "Label1_4"
                                   << "Nome File" << QRect(32, 16, 73, 17);
        QTest::newRow("Text1(4)") << "Text1_4"
                                  << "esempio.txt" << QRect(112, 16, 145, 19);
        QTest::newRow("Label1(0)") << "Label1_0"
                                   << "Data Affido" << QRect(32, 48, 73, 17);
        QTest::newRow("Text1(0)") << "Text1_0"
                                  << "07/12/2026" << QRect(112, 48, 97, 19);
        QTest::newRow("Text1(1)") << "Text1_1"
                                  << "07/01/2027" << QRect(112, 80, 97, 19);
        QTest::newRow("Text1(2)") << "Text1_2"
                                  << "mo" << QRect(112, 112, 41, 19);
        QTest::newRow("Label1(3)") << "Label1_3"
                                   << "Lotto" << QRect(32, 144, 73, 17);
        QTest::newRow("Text1(3)") << "Text1_3"
                                  << "0" << QRect(112, 144, 65, 19);
        QTest::newRow("Text1(5)") << "Text1_5"
                                  << "460,462,463,464,465,466,467" << QRect(112, 176, 153, 19);
        QTest::newRow("Label1(6)") << "Label1_6"
                                   << "Sit.Aff." << QRect(32, 208, 73, 17);
        QTest::newRow("Text1(6)") << "Text1_6"
                                  << "1" << QRect(112, 208, 33, 19);
        QTest::newRow("Label1(7)") << "Label1_7"
                                   << "clienti" << QRect(0, 256, 73, 17);
        QTest::newRow("Scheda(4)") << "Scheda_4"
                                   << "" << QRect(40, 256, 97, 19);
        QTest::newRow("Label1(8)") << "Label1_8"
                                   << "fatture" << QRect(144, 256, 73, 17);
        QTest::newRow("Scheda(0)") << "Scheda_0"
                                   << "" << QRect(184, 256, 97, 19);
        QTest::newRow("File1") << "File1"
                               << "" << QRect(272, 12, 205, 201);
        QTest::newRow("ProgressBar1") << "ProgressBar1"
                                      << "" << QRect(0, 232, 357, 21);
        QTest::newRow("Command1") << "Command1"
                                  << "Importa Orb" << QRect(376, 232, 97, 41);
        QTest::newRow("Command2") << "Command2"
                                  << "Importa Incassi Orb" << QRect(484, 232, 97, 41);
        QTest::newRow("Command3") << "Command3"
                                  << "Importa    Vi Diru" << QRect(484, 124, 97, 41);
        QTest::newRow("Command4") << "Command4"
                                  << "Conferme Spese Orb" << QRect(484, 168, 97, 41);
        QTest::newRow("Command5") << "Command5"
                                  << "Postel DodadAzevaz" << QRect(484, 12, 97, 41);
        QTest::newRow("cc") << "cc"
                            << "c/c" << QRect(484, 56, 93, 17);
        QTest::newRow("chkTest") << "chkTest"
                                 << "test" << QRect(484, 84, 89, 13);
        QTest::newRow("chkRevocaCop") << "chkRevocaCop"
                                      << "Revoca Cop." << QRect(480, 216, 97, 13);
        QTest::newRow("List1") << "List1"
                               << "" << QRect(4, 280, 577, 121);
    }
    void controlsAtTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        test::TestWorkspace ws;
        Form1 desk(fixedClock(QDate(2026, 12, 7)));
        auto* w = desk.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        QCOMPARE(w->geometry(), geometry);
        if (auto* l = qobject_cast<QLabel*>(w)) {
            QCOMPARE(l->text(), text);
            QVERIFY(l->font().bold());
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            QCOMPARE(e->text(), text);
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            QCOMPARE(b->text(), text);
            QVERIFY(b->isEnabled());
        }
    }

    void windowAndBoxes()
    {
        test::TestWorkspace ws;
        Form1 desk(fixedClock(QDate(2026, 12, 7)));
        QCOMPARE(desk.windowTitle(), QStringLiteral("Importazione ORB"));
        QCOMPARE(desk.centralWidget()->size(), QSize(581, 415));
        QCOMPARE(desk.Text1[2]->maxLength(), 3);
        QCOMPARE(desk.Text1[6]->maxLength(), 3);
        QVERIFY(desk.cc->isChecked());
        QVERIFY(!desk.chkTest->isChecked());
        QVERIFY(!desk.chkRevocaCop->isChecked());
        QCOMPARE(desk.chkRevocaCop->toolTip(),
            QStringLiteral("Revoca Pratica agli esattori in caso di copertura con incassi"));
        QCOMPARE(desk.f->text(), QStringLiteral("File"));
        QCOMPARE(desk.Command1->font().pointSizeF(), 9.75);
        QVERIFY(desk.Command1->font().bold());
    }

    void expiryIsOneMonthLater_data()
    {
        QTest::addColumn<QDate>("today");
        QTest::addColumn<QString>("expiry");
        QTest::newRow("31 January") << QDate(2026, 1, 31) << "28/02/2026";
        QTest::newRow("31 January, leap year") << QDate(2028, 1, 31) << "29/02/2028";
        QTest::newRow("31 March") << QDate(2026, 3, 31) << "30/04/2026";
        QTest::newRow("December") << QDate(2026, 12, 15) << "15/01/2027";
    }
    void expiryIsOneMonthLater()
    {
        QFETCH(QDate, today);
        QFETCH(QString, expiry);
        test::TestWorkspace ws;
        Form1 desk(fixedClock(today));
        QCOMPARE(desk.Text1[0]->text(), today.toString(QStringLiteral("dd/MM/yyyy")));
        QCOMPARE(desk.Text1[1]->text(), expiry);
    }

    void fileListAndDoubleClick_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("text and xls") << QStringList { "b.TXT", "a.xls", "c.csv" } << QStringList { "a.xls", "b.TXT" };
        QTest::newRow("xlsx and ods, any case")
            << QStringList { "d.XLSX", "e.Ods", "f.xlsm", "g.odt", "h.xls.bak" } << QStringList { "d.XLSX", "e.Ods" };
    }
    void fileListAndDoubleClick()
    {
        QFETCH(QStringList, files);
        QFETCH(QStringList, listed);
        test::TestWorkspace ws;
        for (const QString& name : files) {
            ws.writeImportFile(name, "x");
        }
        Form1 desk(fixedClock(QDate(2026, 12, 7)));
        QStringList shown;
        for (int i = 0; i < desk.File1->count(); ++i) {
            shown << desk.File1->item(i)->text();
        }
        QCOMPARE(shown, listed);
        desk.show();
        QVERIFY(QTest::qWaitForWindowExposed(&desk));
        QListWidgetItem* item = desk.File1->item(1);
        const QRect r = desk.File1->visualItemRect(item);
        QTest::mouseClick(desk.File1->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(desk.File1->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(desk.Text1[4]->text(), listed.at(1));
    }

    void missingImportFolderIsLogged()
    {
        test::TestWorkspace ws;
        QDir(ws.importFolder()).removeRecursively();
        Form1 desk(fixedClock(QDate(2026, 12, 7)));
        QCOMPARE(desk.File1->count(), 0);
        QCOMPARE(desk.List1->count(), 1);
        QVERIFY(desk.List1->item(0)->text().contains(QStringLiteral("import")));
    }

    void jobButtonsAreDisabledWhileAJobRuns()
    {
        test::TestWorkspace ws;
        ws.writeIni(QString());
        Form1 desk(fixedClock(QDate(2026, 12, 7)));
        QSignalSpy finished(&desk, &Form1::jobFinished);
        QTest::mouseClick(desk.Command5, Qt::LeftButton);
        QVERIFY(!desk.Command1->isEnabled() || finished.count() == 1);
        QVERIFY(finished.wait(10000) || finished.count() == 1);
        QVERIFY(desk.Command1->isEnabled());
        QVERIFY(desk.Command5->isEnabled());
        QCOMPARE(MessageBox::shown().size(), 1);
    }

    // "Registro" → "Verifica file": the job picked reads the file of the "Nome File" box; its
    // report shows in a box of its own; the database and the counter boxes stay as they were.
    void checkFromTheRegisterMenu_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QString>("says"); // empty: nothing runs
        QTest::newRow("orb") << 0 << "File orb.txt, riga 2: la data fattura";
        QTest::newRow("vidiru") << 3 << "Righe errate: nessuna";
        QTest::newRow("cancelled") << 4 << QString();
    }
    void checkFromTheRegisterMenu()
    {
        QFETCH(int, choice);
        QFETCH(QString, says);
        test::TestDatabase tdb(QStringLiteral("sqlite"));
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(QStringLiteral("orb.txt"), "01A01000001ORB-1\r\n01F01000001ORB-1  x\r\n");
        Form1 desk(fixedClock(QDate(2026, 12, 7)));
        desk.Text1[4]->setText(QStringLiteral("orb.txt"));
        desk.Scheda[4]->setText(QStringLiteral("7"));
        QSignalSpy finished(&desk, &Form1::jobFinished);
        MessageBox::queueAnswer(choice);
        desk.mnuVerifica->trigger();
        QCOMPARE(MessageBox::shownTitles().value(0), QStringLiteral("Verifica file"));
        if (says.isEmpty()) {
            QCOMPARE(MessageBox::shown().size(), 1);
            QVERIFY(!desk.runner()->isRunning());
            return;
        }
        QVERIFY(!desk.mnuVerifica->isEnabled() || finished.count() == 1);
        QVERIFY(finished.wait(10000) || finished.count() == 1);
        QCOMPARE(MessageBox::shown().size(), 2);
        QVERIFY2(MessageBox::shown().at(1).contains(says), qPrintable(MessageBox::shown().at(1)));
        QCOMPARE(desk.Scheda[4]->text(), QStringLiteral("7"));
        QVERIFY(desk.mnuVerifica->isEnabled());
        QCOMPARE(tdb.count(Schema::kCases) + tdb.count(Schema::kImportRuns), 0);
    }
};

QTEST_MAIN(TestForm1)
#include "TestForm1.moc"
