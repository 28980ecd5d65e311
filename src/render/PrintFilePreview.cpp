// One pass over the print file: the reader checks, the range goes to the PDF.
#include "render/PrintFilePreview.h"

#include "render/LetterPdf.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <memory>

namespace zb32 {

PreviewResult previewPrintFile(const QString& printFile, const QString& pdfPath, qint64 from, qint64 to)
{
    PreviewResult result;
    QFile file(printFile);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(printFile), file.errorString());
        return result;
    }
    PostelReader reader(&file);
    reader.readHeader();

    std::unique_ptr<QSaveFile> pdfFile;
    std::unique_ptr<LetterPdf> pdf;
    if (!pdfPath.isEmpty()) {
        pdfFile = std::make_unique<QSaveFile>(pdfPath);
        if (!pdfFile->open(QIODevice::WriteOnly)) {
            result.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(pdfPath), pdfFile->errorString());
            return result;
        }
        pdf = std::make_unique<LetterPdf>(
            pdfFile.get(), QStringLiteral("Lettere del file %1").arg(QFileInfo(printFile).fileName()));
        pdf->setTemplate(reader.templateLines(), reader.contact());
    }

    PostelLetter letter;
    while (reader.next(&letter)) {
        if (pdf && letter.number >= from && letter.number <= to) {
            pdf->addLetter(letter);
            if (result.firstLetter == 0) {
                result.firstLetter = letter.number;
            }
            result.lastLetter = letter.number;
        }
    }
    result.check = reader.check();

    if (pdf) {
        QString why;
        if (result.firstLetter == 0) {
            pdfFile->cancelWriting();
        } else if (!pdf->finish(&why) || !pdfFile->commit()) {
            if (why.isEmpty()) {
                why = pdfFile->errorString();
            }
            pdfFile->cancelWriting();
            result.error = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(pdfPath), why);
            result.firstLetter = result.lastLetter = 0;
        } else {
            result.pages = pdf->pages();
        }
    }
    return result;
}

} // namespace zb32
