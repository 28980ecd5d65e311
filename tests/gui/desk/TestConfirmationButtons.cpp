// "Importa Incassi Orb" and "Conferme Spese Orb" on the desk, over the demo workspace's samples.
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"
#include "core/desk/Schema.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace zb32;

class TestConfirmationButtons : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
    }

    void buttonRunsTheImport_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("sample");
        QTest::addColumn<QString>("fatture");
        QTest::newRow("Importa Incassi Orb") << "Command2"
                                             << "incassi.txt"
                                             << "1";
        QTest::newRow("Conferme Spese Orb") << "Command4"
                                            << "spese.xls"
                                            << "";
    }
    void buttonRunsTheImport()
    {
        QFETCH(QString, button);
        QFETCH(QString, sample);
        test::TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        QFile file(qEnvironmentVariable("ZB32_TEST_DATA") + QStringLiteral("/../../resources/samples/") + sample);
        QVERIFY(file.open(QIODevice::ReadOnly));
        ws.writeImportFile(sample, file.readAll());
        // The case of the sample Orb file, imported under mandate type 460.
        const qint64 key = tdb.insert(Schema::kCases,
            { { "posizione", "1001" }, { "Tipo Mandato", "460" }, { "data affido", "01/03/2026" },
                { "importo rata", "500" }, { "importo totale", "500" } });

        Form1 desk([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30)); });
        desk.Text1[4]->setText(sample);
        desk.Text1[5]->setText(QStringLiteral("460"));
        QSignalSpy finished(&desk, &Form1::jobFinished);
        QTest::mouseClick(desk.findChild<QPushButton*>(button), Qt::LeftButton);
        QVERIFY(finished.wait(20000) || finished.count() == 1);
        QCOMPARE(MessageBox::shown(),
            QStringList { QStringLiteral("importazione conclusa. Conferme di Pagamento effettuate: 0") });
        QCOMPARE(desk.List1->count(), 1);
        QCOMPARE(desk.List1->item(0)->text(), QStringLiteral("non trovo la pratica 1002"));
        QCOMPARE(desk.Scheda[4]->text(), QStringLiteral("1"));
        QTEST(desk.Scheda[0]->text(), "fatture");
        int payments = 0;
        for (const QVariantMap& p : tdb.rows(Schema::kPayments)) {
            payments += p.value(QStringLiteral("conta")).toLongLong() == key ? 1 : 0;
        }
        QCOMPARE(payments, 1);
    }
};

QTEST_MAIN(TestConfirmationButtons)
#include "TestConfirmationButtons.moc"
