// One confirmation as the run hands it on: read from a collections line or a workbook row.
#pragma once

#include "core/desk/Currency.h"

#include <QDate>
#include <QString>

namespace zb32 {

struct ConfirmationRecord
{
    QString position; // the case's position, as the lookup compares it
    QString dateText; // dd/MM/yyyy
    QDate date; // the same date, always valid
    Currency amount; // euros
    QString reference; // as it stands
    QString invoiceNumber; // as it stands; empty from a workbook row, which has no such column
    QString code; // record code of a collections line; empty from a workbook row
};

// The run's three counters; 32-bit like the desk's.
struct ConfirmationCounters
{
    qint32 confirmed = 0; // open instalments matched
    qint32 posted = 0; // new payments appended
    qint32 invoices = 0; // invoices appended
};

// What the postings take from the desk and the run.
struct PostingSettings
{
    int mode = 0; // 0 collections file, 1 expense workbook
    QString clientCode; // the mandate-type box as typed: the client code of the rate lookup
    bool revocaCop = false;
    QDate today;
};

} // namespace zb32
