// A batch of the water utility's cases as the letter tests know it, and the expected files.
#pragma once

#include "TestDatabase.h"

#include <QByteArray>
#include <QString>

namespace zb32::test {

// Batch 1 holds five cases (contatore order): no invoice; one invoice and a long name; three
// invoices out of date order, one negative, one above a million, position "31758/2003"; nulls
// everywhere; two invoices of one date and an undated one. Batches 2 and 11 hold one case each.
void insertPostelBatch(TestDatabase& tdb);
// tests/data/postel/<name>/expected.ASC
QByteArray expectedPrintFile(const QString& name);
// Every entry of a folder, hidden ones too: a run leaves nothing behind but its file.
QStringList folderEntries(const QString& folder);

} // namespace zb32::test
