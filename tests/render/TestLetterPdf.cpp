// The letters drawn into a PDF, read back with poppler's tools: the filled-in texts and the
// accented letters are there as text, the fonts are embedded, the range gives its pages, and
// a PDF is written whole or not at all.
#include "PostelFixture.h"
#include "render/PrintFilePreview.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <limits>

using namespace zb32;

namespace {

QString tool(const char* name)
{
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (path.isEmpty()) {
        qFatal("%s missing: install poppler-utils (scripts/common.sh lists it)", name);
    }
    return path;
}

QString runTool(const char* name, const QStringList& args)
{
    QProcess p;
    p.start(tool(name), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qFatal("%s failed: %s", name, p.readAllStandardError().constData());
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString writePrintFile(const QTemporaryDir& dir, const QString& name)
{
    const QString path = dir.filePath(name + QStringLiteral(".ASC"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        qFatal("cannot write %s", qPrintable(path));
    }
    f.write(test::expectedPrintFile(name));
    return path;
}

} // namespace

class TestLetterPdf : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void letters_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QStringList>("absent");
        const qint64 all = std::numeric_limits<qint64>::max();
        QTest::newRow("every letter with its slips")
            << "lotto1_cc" << qint64(1) << all << 9
            << QStringList { "N° contratto: CTR0003", "Cod.Cliente : CL0003", "la nostra società, che opera",
                   "morosità ai sensi", "Società è il seguente:", "dovrà essere effettuato", "Lei verrà contattato",
                   "la loro identità", "dal Lunedì al Venerdì", "Roma li, 07/12/2026", "Corvat Services Spa",
                   "BIANCHI ANNA [DODAD]", "PIAZZA GARIBALDI 3", "04100 LATINA LT",
                   "Fatt. n. F2021/100 del 10/01/2021 di € 1.234,50", "Fatt. n. NC2021/30 del 10/03/2021 di € -12,50",
                   "Totale € 235.789,89", "CONDOMINIO VIALE DEI CASTELLI ROMAN [DODAD]",
                   "VIALE DEI CASTELLI ROMANI 145 SCALA B INTERNO 7 PRESSO AMMINISTRAZIONE BIANCHI 00047 MARINO RM",
                   "CONTI CORRENTI POSTALI", "fattura n. F2021/600", "47152086", "234.567,89",
                   "<03/2021>1.234.567+8>47152086<896>", "periodo 02/2021 - scadenza 10/04/2021 - rif. CTR0003" }
            << QStringList { "@0", "@I", "@O", "@L:", "@?", "!JUS", "!SPA" };
        QTest::newRow("one letter of the middle")
            << "lotto1_cc" << qint64(3) << qint64(3) << 2
            << QStringList { "BIANCHI ANNA", "fattura n. NC2021/30", "anteprima - lettera 3" }
            << QStringList { "CONDOMINIO", "VERDI LUIGI", "UKASZ" };
        QTest::newRow("a letter without invoices shows only its total")
            << "lotto1_cc" << qint64(1) << qint64(1) << 1 << QStringList { "UKASZ ROSSI [DODAD]", "Totale € 0,00" }
            << QStringList { "Fatt. n.", "CONTI CORRENTI POSTALI" };
        QTest::newRow("no slips") << "lotto1_senza_cc" << qint64(1) << all << 5
                                  << QStringList { "NERI SPA [DODAD]", "Fatt. n. F2022/1 del 01/02/2022 di € 100,00" }
                                  << QStringList { "CONTI CORRENTI POSTALI" };
        QTest::newRow("range past the last letter")
            << "lotto1_cc" << qint64(6) << all << 0 << QStringList {} << QStringList {};
        QTest::newRow("a file without letters") << "vuoto" << qint64(1) << all << 0 << QStringList {} << QStringList {};
    }
    void letters()
    {
        QFETCH(QString, file);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(int, pages);
        QFETCH(QStringList, present);
        QFETCH(QStringList, absent);
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("lettere.pdf"));
        {
            QFile earlier(pdf);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier");
        }
        const PreviewResult result = previewPrintFile(writePrintFile(dir, file), pdf, from, to);
        QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
        QCOMPARE(result.pages, pages);
        QFile written(pdf);
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        if (pages == 0) {
            QCOMPARE(bytes, QByteArray("earlier")); // nothing drawn: the earlier file stays
            return;
        }
        QVERIFY(bytes.startsWith("%PDF-"));
        QVERIFY(runTool("pdfinfo", { pdf }).contains(QRegularExpression(QStringLiteral("Pages:\\s+%1\\n").arg(pages))));

        // Every font is embedded.
        const QStringList fonts = runTool("pdffonts", { pdf }).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
        QVERIFY(!fonts.isEmpty());
        const QRegularExpression embedded(QStringLiteral("\\s(yes|no)\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+$"));
        for (const QString& font : fonts) {
            const QRegularExpressionMatch m = embedded.match(font);
            QVERIFY2(m.hasMatch() && m.captured(1) == QLatin1String("yes"), qPrintable(font));
        }

        // The text as a reader's copy and paste gives it, lines and justified gaps made blanks.
        const QString text
            = runTool("pdftotext", { QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-") })
                  .simplified();
        for (const QString& p : present) {
            QVERIFY2(text.contains(p), qPrintable(p + QStringLiteral("\n--- in ---\n") + text.left(4000)));
        }
        for (const QString& a : absent) {
            QVERIFY2(!text.contains(a), qPrintable(a));
        }
    }

    void pdfNotWritable()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("manca/lettere.pdf"));
        const PreviewResult result = previewPrintFile(writePrintFile(dir, QStringLiteral("prova")), pdf);
        QVERIFY(result.error.startsWith(pdf));
        QCOMPARE(result.pages, 0);
        QVERIFY(!QFile::exists(pdf));
    }
};

QTEST_MAIN(TestLetterPdf) // a GUI application: fonts

#include "TestLetterPdf.moc"
