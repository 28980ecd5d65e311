// The preview of a large print file: the check of every letter, and the PDF of the first ones,
// with their times and peak memory. The file is written by the letter run's writer. Run by
// hand (see RESULTS.md).
#include "core/desk/Platform.h"
#include "core/letters/PostelReader.h"
#include "core/letters/PostelWriter.h"
#include "render/PrintFilePreview.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

using namespace zb32;

namespace {

QTextStream out(stdout);

// Peak resident memory since the last reset, in KiB; -1 where the system does not say.
qint64 peakKiB()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) {
        f.write("5");
    }
}

// `letters` debtors with two invoices each and their slips, as the letter run writes them.
bool writeFile(const QString& path, int letters)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    PostelWriter writer(&file);
    writer.writeHeader();
    writer.writeTemplate(QDate(2026, 12, 7));
    const QDate base(2023, 1, 1);
    for (int i = 1; i <= letters; ++i) {
        const qint64 a = 1000 + (i * 7919) % 250000;
        const qint64 b = 500 + (i * 104729) % 90000;
        PostelCase c;
        c.key = i;
        c.posizione = QStringLiteral("%1/2024").arg(i);
        c.tipoMandato = QStringLiteral("DODAD");
        c.ragioneSociale = QStringLiteral("CLIENTE NUMERO %1 DELLA PROVA DI CARICO").arg(i);
        c.indirizzo = QStringLiteral("VIA DELLE PROVE %1").arg(i % 500);
        c.cap = QStringLiteral("00%1").arg(100 + i % 900);
        c.citta = QStringLiteral("ROMA");
        c.provincia = QStringLiteral("RM");
        c.altroriferimento = QStringLiteral("CTR%1").arg(i, 7, 10, QLatin1Char('0'));
        c.assignmentId = QStringLiteral("CL%1").arg(i);
        c.importoTotale = Currency::fromRaw((a + b) * 100);
        QList<PostelInvoice> invoices;
        for (int k = 0; k < 2; ++k) {
            PostelInvoice f;
            const QDate day = base.addDays((i + k * 40) % 700);
            f.numeroFattura = QStringLiteral("F%1/%2").arg(i).arg(k);
            f.periodo = QStringLiteral("%1/2023").arg(1 + k);
            f.dataFattura = day;
            f.dataScadenza = day.addDays(30);
            f.saldo = Currency::fromRaw((k == 0 ? a : b) * 100);
            invoices << f;
        }
        writer.writeLetter(c, invoices, true);
    }
    writer.writeEnd(letters);
    return writer.flush();
}

} // namespace

int main(int argc, char** argv)
{
    // As the desk itself runs (see there).
    zb32::restartWithAvx2StringFunctions(argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // fonts, no window
    }
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    int letters = 100000;
    int pdfLetters = 100;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--letters") && i + 1 < args.size()) {
            letters = args[++i].toInt();
        } else if (args[i] == QLatin1String("--pdf") && i + 1 < args.size()) {
            pdfLetters = args[++i].toInt();
        } else {
            out << "uso: bench_preview [--letters N] [--pdf M]" << Qt::endl;
            return 2;
        }
    }
    QTemporaryDir dir;
    const QString printFile = dir.filePath(QStringLiteral("LO071226.ASC"));
    if (!writeFile(printFile, letters)) {
        out << "print file not written" << Qt::endl;
        return 1;
    }
    out << "print file: " << letters << " letters, " << QFileInfo(printFile).size() << " bytes" << Qt::endl;
    const qint64 before = peakKiB();

    resetPeak();
    QElapsedTimer t;
    t.start();
    PostelCheck check;
    QString why;
    if (!PostelReader::checkFile(printFile, &check, &why)) {
        out << why << Qt::endl;
        return 1;
    }
    const double checkSeconds = t.elapsed() / 1000.0;
    out << "check: " << check.letters << " letters, " << check.slips << " slips, " << check.problemCount
        << " problems, " << checkSeconds << " s (" << qRound(check.letters / checkSeconds) << " letters/s), peak "
        << before / 1024 << " MiB -> " << peakKiB() / 1024 << " MiB" << Qt::endl;

    // The PDF of the first letters alone: a file of just those, so the time is the drawing's.
    const QString small = dir.filePath(QStringLiteral("LO061226.ASC"));
    writeFile(small, pdfLetters);
    const QString pdf = dir.filePath(QStringLiteral("lettere.pdf"));
    resetPeak();
    t.restart();
    const PreviewResult result = previewPrintFile(small, pdf);
    const double pdfSeconds = t.elapsed() / 1000.0;
    if (!result.error.isEmpty()) {
        out << result.error << Qt::endl;
        return 1;
    }
    out << "pdf: " << result.lastLetter << " letters, " << result.pages << " pages, " << QFileInfo(pdf).size()
        << " bytes, " << pdfSeconds << " s, peak " << peakKiB() / 1024 << " MiB" << Qt::endl;

    // The PDF of the first letters while the whole large file is checked, as zb32 anteprima does.
    resetPeak();
    t.restart();
    const PreviewResult both = previewPrintFile(printFile, pdf, 1, pdfLetters);
    out << "check of " << both.check.letters << " letters with the pdf of " << both.lastLetter << ": "
        << t.elapsed() / 1000.0 << " s, peak " << peakKiB() / 1024 << " MiB" << Qt::endl;
    return 0;
}
