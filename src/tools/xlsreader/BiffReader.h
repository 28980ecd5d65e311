// The records of an .xls workbook (BIFF5, Excel 5.0 to 95, and BIFF8, Excel 97 and later): sheets,
// shared strings, number formats and every cell, formula cells by the result saved with them.
#pragma once

#include "SheetBuilder.h"

#include <QByteArray>

namespace zb32::sheets {

// Reads a compound file holding a workbook stream.
bool readXls(const QByteArray& bytes, WorkbookData* out, ReadFailure* failure);
// Reads a workbook stream of records as it stands (the stream of a compound file, or an old
// worksheet file saved without the container).
bool readBiffStream(const QByteArray& stream, WorkbookData* out, ReadFailure* failure);

} // namespace zb32::sheets
