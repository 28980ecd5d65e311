// "Registro" → "Importazioni...": the runs listed a page at a time over a large register, and a
// stopped run resumed, taken back and exported from the window.
#include "CliSupport.h"
#include "JobFiles.h"
#include "TestDatabase.h"
#include "TestWorkspace.h"
#include "core/desk/Schema.h"
#include "gui/desk/Form1.h"
#include "gui/desk/MessageBox.h"
#include "gui/desk/RegisterModel.h"
#include "gui/desk/frmRegistro.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace zb32;
using namespace zb32::test;

namespace {

const char* const kJobs[] = { "orb", "vidiru", "incassi", "postel" };
constexpr int kRuns = 100000;
// Refuses the third case of the test's Orb file: a run that stops after line 10.
const QString kStopAtTheThirdCase = QStringLiteral("CREATE TRIGGER ferma BEFORE INSERT ON [tabella pratiche] WHEN "
                                                   "NEW.posizione = 'ORB-3' BEGIN SELECT RAISE(ABORT, 'no'); END");

// Run i (from 1) is of job i % 4 and started on day i / 1000 after 01/01/2020.
QDate dayOf(int i)
{
    return QDate(2020, 1, 1).addDays(i / 1000);
}

bool fillRegister(TestDatabase& tdb)
{
    QSqlDatabase sql = tdb.db().database();
    sql.transaction();
    QSqlQuery q(sql);
    q.prepare(QStringLiteral("INSERT INTO [tabella importazioni] (lavoro, [nome file], inizio, stato, modo, [righe "
                             "lette], clienti, fatture) VALUES (?, ?, ?, 'conclusa', 'nuova', 10, 2, 4)"));
    for (int i = 1; i <= kRuns; ++i) {
        q.bindValue(0, QString::fromLatin1(kJobs[i % 4]));
        q.bindValue(1, QStringLiteral("file%1.txt").arg(i));
        q.bindValue(2, dayOf(i).toString(Qt::ISODate) + QStringLiteral(" 08:00:00"));
        if (!q.exec()) {
            return false;
        }
    }
    return sql.commit();
}

frmRegistro* openRegister(Form1& desk)
{
    desk.mnuImportazioni->trigger();
    return desk.registro();
}

bool waitForPage(frmRegistro* window)
{
    QSignalSpy page(window->model(), &RegisterModel::pageLoaded);
    return page.wait(20000);
}

} // namespace

class TestRegisterWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // One large register for every row of the list test: filling it is the slow part.
    void initTestCase()
    {
        m_large = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
        QVERIFY(!m_large->isAvailable() || fillRegister(*m_large));
    }
    void cleanupTestCase() { m_large.reset(); }

    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
    }

    // The newest runs of the filter first, one page of them, the next as the list scrolls down.
    void listsLargeRegister_data()
    {
        QTest::addColumn<QString>("job");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("firstRun");
        QTest::addColumn<int>("listed"); // after scrolling to the end twice
        QTest::newRow("every run") << QString() << QString() << QString() << kRuns << 3 * RegisterModel::kPage;
        QTest::newRow("one job") << "vidiru" << QString() << QString() << kRuns - 3 << 3 * RegisterModel::kPage;
        // Runs 1000 to 1999 started on 02/01/2020: orb's are 1000, 1004, ... 1996.
        QTest::newRow("one job, one day") << "orb"
                                          << "02/01/2020"
                                          << "02/01/2020" << 1996 << 250;
        QTest::newRow("from a day on") << QString() << "09/04/2020" << QString() << kRuns << 3 * RegisterModel::kPage;
        QTest::newRow("up to a day") << QString() << QString() << "01/01/2020" << 999 << 3 * RegisterModel::kPage;
        QTest::newRow("the last day") << "orb"
                                      << "10/04/2020" << QString() << kRuns << 1;
        QTest::newRow("no run") << "spese" << QString() << QString() << 0 << 0;
    }
    void listsLargeRegister()
    {
        QFETCH(QString, job);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, firstRun);
        QFETCH(int, listed);
        TestDatabase& tdb = *m_large;
        ZB32_REQUIRE(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        Form1 desk([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30)); });
        desk.show();
        frmRegistro* window = openRegister(desk);
        QVERIFY(window && window->isVisible());
        QVERIFY(waitForPage(window));
        QCOMPARE(window->model()->rowCount(), RegisterModel::kPage);

        window->cboLavoro->setCurrentIndex(window->cboLavoro->findData(job));
        window->txtDal->setText(from);
        window->txtAl->setText(to);
        QTest::mouseClick(window->cmdCerca, Qt::LeftButton);
        QVERIFY(waitForPage(window));
        RegisterModel* model = window->model();
        QCOMPARE(model->rowCount() > 0 ? model->run(0)->id : 0, qint64(firstRun));
        for (int page = 0; page < 2 && model->canFetchMore({}); ++page) {
            QCoreApplication::processEvents(); // the view lays out the rows that came
            QScrollBar* bar = window->grdImportazioni->verticalScrollBar();
            bar->setValue(0);
            bar->setValue(bar->maximum());
            QVERIFY(waitForPage(window));
        }
        QCOMPARE(model->rowCount(), listed);
        for (int row = 1; row < model->rowCount(); ++row) {
            QVERIFY(model->run(row)->id < model->run(row - 1)->id);
            QVERIFY(job.isEmpty() || model->run(row)->job == job);
        }
    }

    // The desk asks before a file is imported again: after a completed run Sì / No (No the
    // default), after a stopped one "Riprendi dalla riga N+1" / "Da capo" / "Annulla".
    void askedAboutAFileSeenBefore_data()
    {
        QTest::addColumn<bool>("firstStops");
        QTest::addColumn<int>("answer"); // -1: the default
        QTest::addColumn<QString>("asked");
        QTest::addColumn<int>("cases"); // afterwards
        const QString done = QStringLiteral("Il file orb.txt è già stato importato il 07/12/2026 alle 09:30 da ");
        const QString stopped = QStringLiteral("L'importazione del file orb.txt iniziata il 07/12/2026 alle 09:30 da ");
        QTest::newRow("completed, default No") << false << -1 << done << 3;
        QTest::newRow("completed, Sì") << false << 0 << done << 6;
        QTest::newRow("stopped, default resume") << true << -1 << stopped << 3;
        QTest::newRow("stopped, from the start") << true << 1 << stopped << 5;
        QTest::newRow("stopped, Annulla") << true << 2 << stopped << 2;
    }
    void askedAboutAFileSeenBefore()
    {
        QFETCH(bool, firstStops);
        QFETCH(int, answer);
        QFETCH(QString, asked);
        QFETCH(int, cases);
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(QStringLiteral("orb.txt"), cp1252Lines(orbCase(1) + orbCase(2) + orbCase(3)));
        QSqlQuery sql(tdb.db().database());
        if (firstStops) {
            QVERIFY(sql.exec(kStopAtTheThirdCase));
        }
        Form1 desk([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30)); });
        desk.show();
        desk.Text1[4]->setText(QStringLiteral("orb.txt"));
        desk.Text1[3]->setText(QStringLiteral("7"));
        QSignalSpy jobs(&desk, &Form1::jobFinished);
        QTest::mouseClick(desk.Command1, Qt::LeftButton);
        QVERIFY(jobs.wait(20000));
        QCOMPARE(tdb.count(Schema::kCases), firstStops ? 2 : 3);
        if (firstStops) {
            QVERIFY(sql.exec(QStringLiteral("DROP TRIGGER ferma")));
        }
        MessageBox::clearShown();
        if (answer >= 0) {
            MessageBox::queueAnswer(answer);
        }
        QTest::mouseClick(desk.Command1, Qt::LeftButton);
        QVERIFY(jobs.wait(20000));
        QVERIFY2(
            MessageBox::shown().value(0).startsWith(asked), qPrintable(MessageBox::shown().join(QLatin1Char('\n'))));
        QCOMPARE(tdb.count(Schema::kCases), cases);
    }

    // A run the server stopped, resumed with "Riprendi", then taken back with "Annulla
    // importazione", and the register exported.
    void resumeUndoAndExport()
    {
        TestDatabase tdb(QStringLiteral("sqlite"));
        ZB32_REQUIRE(tdb);
        TestWorkspace ws;
        ws.writeIni(tdb.connectionString());
        ws.writeImportFile(QStringLiteral("orb.txt"), cp1252Lines(orbCase(1) + orbCase(2) + orbCase(3)));
        const QStringList empty = dumpRows(tdb);
        QSqlQuery sql(tdb.db().database());
        QVERIFY(sql.exec(kStopAtTheThirdCase));

        Form1 desk([] { return QDateTime(QDate(2026, 12, 7), QTime(9, 30)); });
        desk.show();
        desk.Text1[4]->setText(QStringLiteral("orb.txt"));
        desk.Text1[3]->setText(QStringLiteral("7"));
        QSignalSpy jobs(&desk, &Form1::jobFinished);
        QTest::mouseClick(desk.Command1, Qt::LeftButton);
        QVERIFY(jobs.wait(20000));
        QCOMPARE(tdb.count(Schema::kCases), 2);
        QVERIFY(sql.exec(QStringLiteral("DROP TRIGGER ferma")));
        desk.Text1[3]->setText(QStringLiteral("8")); // the resume takes the boxes of the stopped run

        frmRegistro* window = openRegister(desk);
        QVERIFY(waitForPage(window));
        QCOMPARE(window->model()->rowCount(), 1);
        QCOMPARE(window->model()->index(0, RegisterModel::Stato).data().toString(), QStringLiteral("interrotta"));
        QVERIFY(window->cmdRiprendi->isEnabled());
        QTest::mouseClick(window->cmdRiprendi, Qt::LeftButton);
        QVERIFY(jobs.wait(20000));
        QVERIFY(waitForPage(window) || window->model()->rowCount() == 2);
        QCOMPARE(tdb.count(Schema::kCases), 3);
        QCOMPARE(window->model()->rowCount(), 2);
        QCOMPARE(
            window->model()->index(0, RegisterModel::Stato).data().toString(), QStringLiteral("conclusa (ripresa)"));
        QCOMPARE(window->model()->index(0, RegisterModel::Lotto).data().toString(), QStringLiteral("7"));
        QVERIFY(!window->cmdRiprendi->isEnabled());

        // Taking the resumed run back takes back both parts.
        window->grdImportazioni->setCurrentIndex(window->model()->index(0, 0));
        MessageBox::clearShown();
        MessageBox::queueAnswer(0);
        QSignalSpy work(&desk, &Form1::workFinished);
        QTest::mouseClick(window->cmdAnnulla, Qt::LeftButton);
        QVERIFY(work.wait(20000));
        QCOMPARE(work.first().first().toInt(), int(JobStatus::Completed));
        QVERIFY2(MessageBox::shown().value(0).startsWith(QStringLiteral("Annullare l'importazione 2")),
            qPrintable(MessageBox::shown().join(QLatin1Char('\n'))));
        QVERIFY2(MessageBox::shown().value(1).contains(QStringLiteral("con le sue riprese (corse 1, 2)")),
            qPrintable(MessageBox::shown().join(QLatin1Char('\n'))));
        QVERIFY(firstDifference(dumpRows(tdb), empty).isEmpty());
        QVERIFY(waitForPage(window) || window->model()->run(1));
        QCOMPARE(window->model()->index(1, RegisterModel::Stato).data().toString(), QStringLiteral("annullata"));
        window->grdImportazioni->setCurrentIndex(window->model()->index(1, 0));
        QVERIFY(!window->cmdAnnulla->isEnabled());

        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("registro.csv"));
        window->setFileChooser([csv](QWidget*) { return csv; });
        QSignalSpy exported(window, &frmRegistro::exportFinished);
        QTest::mouseClick(window->cmdEsporta, Qt::LeftButton);
        QVERIFY(exported.wait(20000));
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), 4); // the headings, two runs and the end of the last line
        QVERIFY(lines[1].startsWith("2;"));
        QVERIFY(lines[1].contains(";annullata;ripresa;"));
    }

private:
    std::unique_ptr<TestDatabase> m_large;
};

QTEST_MAIN(TestRegisterWindow)
#include "TestRegisterWindow.moc"
