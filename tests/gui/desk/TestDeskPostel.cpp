// The desk's "Postel DodadAzevaz" button: the batch typed in the box, the caption counting the
// letters, the closing message, and the file of the day.
#include "PostelFixture.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace zb32;

class TestDeskPostel : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
    }

    void buttonWritesTheLetters_data()
    {
        QTest::addColumn<QString>("lotto");
        QTest::addColumn<bool>("cc");
        QTest::addColumn<bool>("chkTest");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("title");
        QTest::newRow("batch with slips") << "1" << true << false << "lotto1_cc"
                                          << "5";
        QTest::newRow("batch without slips") << "1" << false << false << "lotto1_senza_cc"
                                             << "5";
        QTest::newRow("test case") << "1" << true << true << "prova"
                                   << "1";
    }
    void buttonWritesTheLetters()
    {
        QFETCH(QString, lotto);
        QFETCH(bool, cc);
        QFETCH(bool, chkTest);
        QFETCH(QString, expected);
        QFETCH(QString, title);
        test::TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::insertPostelBatch(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        Form1 desk([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30)); });
        desk.Text1[3]->setText(lotto);
        desk.cc->setChecked(cc);
        desk.chkTest->setChecked(chkTest);
        QSignalSpy finished(&desk, &Form1::jobFinished);
        QTest::mouseClick(desk.Command5, Qt::LeftButton);
        QVERIFY(finished.count() == 1 || finished.wait(20000));
        const QString path = QDir::toNativeSeparators(ws.driveC() + QStringLiteral("/LO071226.ASC"));
        QTRY_COMPARE(
            MessageBox::shown(), QStringList { QStringLiteral("Creati %1 Postel nel file %2").arg(title, path) });
        QTRY_COMPARE(desk.windowTitle(), title);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), test::expectedPrintFile(expected));
    }
};

QTEST_MAIN(TestDeskPostel)
#include "TestDeskPostel.moc"
