// A workbook file of any of the formats the desk takes, told apart by its content: .xls (a
// compound file, or an old worksheet stream), .xlsx and .ods (zip packages).
#pragma once

#include "core/desk/WorkbookData.h"

#include <QByteArray>
#include <QString>

namespace zb32::sheets {

// Reads the workbook in `bytes`; on failure `error` says what is wrong and what to do.
bool readWorkbook(const QByteArray& bytes, WorkbookData* out, QString* error);
// Reads the file at `path` (at most Limits::kMaxFileBytes).
bool readWorkbookFile(const QString& path, WorkbookData* out, QString* error);

} // namespace zb32::sheets
