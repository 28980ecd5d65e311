// The zipped XML workbooks: Office Open XML (.xlsx) and OpenDocument (.ods) spreadsheets.
#pragma once

#include "SheetBuilder.h"

#include <QByteArray>

namespace zb32::sheets {

bool readXlsx(const QByteArray& bytes, WorkbookData* out, ReadFailure* failure);
bool readOds(const QByteArray& bytes, WorkbookData* out, ReadFailure* failure);
// Which of the two a zip package is, from its parts; false for any other zip file.
bool isOds(const QByteArray& bytes);

} // namespace zb32::sheets
