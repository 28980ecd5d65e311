// The desk keeps its one connection for the session: when the server goes away in the middle of
// an import, the run stops with its error box, and once the server is back the next job started
// from the same window works.
#include "FaultInputs.h"
#include "PrivatePgServer.h"
#include "TestWorkspace.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/Schema.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace zb32;
using test::FaultInput;
using test::PrivatePgServer;

Q_DECLARE_METATYPE(PrivatePgServer::StopMode)

class TestDeskServerLoss : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (PrivatePgServer::binFolder().isEmpty()) {
            QSKIP("no PostgreSQL server programs here (ZB32_PG_BIN, /usr/lib/postgresql/*/bin): nothing to stop");
        }
    }

    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
        QString error;
        QVERIFY2(m_server.start(&error), qPrintable(error));
        QVERIFY2(test::freshTables(m_server.connectionString(), &error), qPrintable(error));
    }

    void nextJobAfterTheServerCameBack_data()
    {
        QTest::addColumn<PrivatePgServer::StopMode>("mode");
        QTest::newRow("crash") << PrivatePgServer::StopMode::Immediate;
    }
    void nextJobAfterTheServerCameBack()
    {
        QFETCH(PrivatePgServer::StopMode, mode);
        // The connection lost and opened again leaves no noise of the library behind.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("Database not open|Unable to free|still in use")));
        test::TestWorkspace ws;
        ws.writeIni(m_server.connectionString());
        const FaultInput orb = FaultInput::orb(6000, QStringLiteral("1"));
        const FaultInput viDiru = FaultInput::viDiru(30, QStringLiteral("2"));
        ws.writeImportFile(QStringLiteral("grande.txt"), orb.bytes);
        ws.writeImportFile(QStringLiteral("vidiru.txt"), viDiru.bytes);

        Form1 desk([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30)); });
        desk.Text1[4]->setText(QStringLiteral("grande.txt"));
        desk.Text1[3]->setText(QStringLiteral("7"));
        desk.Text1[5]->setText(QStringLiteral("460"));
        QSignalSpy finished(&desk, &Form1::jobFinished);
        QTest::mouseClick(desk.Command1, Qt::LeftButton);
        const int seen = test::waitForRows(m_server.connectionString(), Schema::kInvoices, 600, [&] {
            QTest::qWait(5);
            return finished.isEmpty();
        });
        QVERIFY2(finished.isEmpty(), "the import ended before the server was stopped: make the file larger");
        QVERIFY2(seen >= 600, qPrintable(QStringLiteral("only %1 invoices seen").arg(seen)));
        QString error;
        QVERIFY2(m_server.stop(mode, &error), qPrintable(error));

        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().at(1).toInt(), int(JobStatus::Failed));
        QTRY_COMPARE(MessageBox::shown().size(), 1);
        const QString box = MessageBox::shown().first();
        QVERIFY2(box.startsWith(QLatin1String("Importazione interrotta. File grande.txt, riga ")), qPrintable(box));
        const qint64 firstUnsaved = test::firstUnsavedLineOf(box);
        QVERIFY2(firstUnsaved > 1 && firstUnsaved <= orb.lineCount(), qPrintable(box));
        QVERIFY(desk.Command3->isEnabled());
        const QString clienti = desk.Scheda[4]->text();
        const QString fatture = desk.Scheda[0]->text();

        QVERIFY2(m_server.start(&error), qPrintable(error));
        MessageBox::clearShown();
        finished.clear();
        desk.Text1[4]->setText(QStringLiteral("vidiru.txt"));
        QTest::mouseClick(desk.Command3, Qt::LeftButton);
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().at(1).toInt(), int(JobStatus::Completed));
        QTRY_COMPARE(MessageBox::shown(), QStringList { QStringLiteral("Importazione conclusa") });

        CaseDatabase check;
        QVERIFY2(check.open(m_server.connectionString(), &error), qPrintable(error));
        QString why;
        const QStringList kept
            = test::recordsOf(FaultInput::stored(check, FaultInput::Job::Orb, &error), QStringLiteral("1"));
        QVERIFY2(test::storedAsTheErrorSays(kept, orb, box, &why), qPrintable(why + QLatin1Char('\n') + box));
        // The boxes showed what the database kept when the run stopped.
        QVERIFY2(test::countersMatch(clienti, fatture, kept, &why), qPrintable(why));
        QVERIFY2(test::sameRecords(
                     test::recordsOf(FaultInput::stored(check, FaultInput::Job::ViDiru, &error), QStringLiteral("2")),
                     viDiru.expectedBefore(viDiru.lineCount() + 1), &why),
            qPrintable(why));
    }

private:
    PrivatePgServer m_server;
};

QTEST_MAIN(TestDeskServerLoss)
#include "TestDeskServerLoss.moc"
