// "Importa Orb" on the desk window: the button runs the import on the job thread, and the
// counter boxes, progress bar and message boxes show what the run reports.
#include "OrbFixture.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace zb32;
using zb32::test::OrbFixture;
using zb32::test::TestDatabase;

namespace {

// The report value of a fixture's expected.txt.
QString expectedReport(const OrbFixture& f, const QString& key)
{
    for (const QString& line : f.expected().split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char('='))) {
            return line.mid(key.size() + 1);
        }
    }
    return {};
}

} // namespace

class TestOrbDesk : public QObject
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
        QTest::addColumn<QString>("fixture");
        QTest::newRow("completed") << "tre_pratiche";
        QTest::newRow("stopped") << "data_non_valida";
        QTest::newRow("empty") << "file_vuoto";
    }
    void buttonRunsTheImport()
    {
        QFETCH(QString, fixture);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        const OrbFixture f(fixture);
        QVERIFY2(f.isValid(), qPrintable(f.errorString()));
        test::TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(f.fileName(), f.input());

        Form1 desk([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30)); });
        for (int i = 0; i < 7; ++i) {
            desk.Text1[size_t(i)]->setText(f.batch().Text1[size_t(i)]);
        }
        // What the boxes showed before: a run overwrites them only with counts of its own.
        desk.Scheda[4]->setText(QStringLiteral("41"));
        desk.Scheda[0]->setText(QStringLiteral("42"));
        QSignalSpy finished(&desk, &Form1::jobFinished);
        QTest::mouseClick(desk.Command1, Qt::LeftButton);
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().at(0).value<JobId>(), JobId::Orb);

        const QString clienti = expectedReport(f, QStringLiteral("clienti"));
        const QString fatture = expectedReport(f, QStringLiteral("fatture"));
        QCOMPARE(desk.Scheda[4]->text(), clienti.isEmpty() ? QStringLiteral("41") : clienti);
        QCOMPARE(desk.Scheda[0]->text(), fatture.isEmpty() ? QStringLiteral("42") : fatture);
        QCOMPARE(
            qint64(desk.ProgressBar1->maximum()), expectedReport(f, QStringLiteral("progress.maximum")).toLongLong());
        const QString progress = expectedReport(f, QStringLiteral("progress"));
        if (!progress.isEmpty()) {
            QCOMPARE(qint64(desk.ProgressBar1->value()), progress.section(QLatin1Char(','), -1).toLongLong());
        }
        const QStringList shown = MessageBox::shown();
        QCOMPARE(shown.size(), 1);
        const QString message = expectedReport(f, QStringLiteral("message"));
        if (!message.isEmpty()) {
            QCOMPARE(shown.first(), message);
        } else {
            QVERIFY2(shown.first().startsWith(expectedReport(f, QStringLiteral("error"))), qPrintable(shown.first()));
        }
        QString why;
        QVERIFY2(OrbFixture::sameText(OrbFixture::dumpTables(tdb), f.expectedTables(), &why), qPrintable(why));
        QVERIFY(desk.Command1->isEnabled());
    }
};

QTEST_MAIN(TestOrbDesk)
#include "TestOrbDesk.moc"
