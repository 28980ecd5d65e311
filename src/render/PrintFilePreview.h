// A print file checked from end to end, and the letters of a range drawn into a PDF on the way.
#pragma once

#include "core/letters/PostelReader.h"

#include <QString>
#include <limits>

namespace zb32 {

struct PreviewResult
{
    PostelCheck check;
    QString error; // the print file could not be read or the PDF not written; empty otherwise
    qint64 firstLetter = 0; // the letters drawn, 0 when none
    qint64 lastLetter = 0;
    int pages = 0;

    bool pdfWritten() const { return pages > 0; }
};

// Reads `printFile` once, checking all of it, and draws letters `from` to `to` (from 1,
// inclusive) into `pdfPath`, which takes the place of an earlier file only when complete. An
// empty `pdfPath` only checks. With no letter in the range no PDF is written.
PreviewResult previewPrintFile(
    const QString& printFile, const QString& pdfPath, qint64 from = 1, qint64 to = std::numeric_limits<qint64>::max());

} // namespace zb32
