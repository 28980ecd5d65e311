// Reading the register of import runs a page at a time, newest first, and writing it as CSV:
// what the desk's register window and its export show.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;

namespace zb32 {

class CaseDatabase;

struct RegisterRow
{
    qint64 id = 0;
    QString start; // "yyyy-MM-dd HH:mm:ss"
    QString job;
    QString file;
    QString workstation;
    QString user;
    QString state;
    QString mode;
    qint64 linesRead = 0;
    qint64 lastLineSaved = 0;
    qint64 clienti = 0;
    qint64 fatture = 0;
    qint64 letters = 0;
    bool letterRun = false; // the letter run: it wrote a print file, no records
    QString message;
    QString undone;
    // The batch boxes as the run had them, in the order of Text1 (the file name at index 4).
    QStringList boxes;
};

struct RegisterFilter
{
    QString job; // empty: every job
    QDate from; // invalid: no bound
    QDate to; // the last day listed, included
};

namespace RegisterQuery {

// Up to `limit` runs of the filter with a number below `beforeId` (0: from the newest).
bool page(CaseDatabase& db, const RegisterFilter& filter, qint64 beforeId, int limit, QList<RegisterRow>* rows,
    QString* error);
// Every run of the filter, newest first, as CSV (";", texts quoted where needed), read a page at
// a time; `*written` the runs written.
bool exportCsv(CaseDatabase& db, const RegisterFilter& filter, QIODevice* out, qint64* written, QString* error);
QStringList csvHeadings();
QString csvLine(const RegisterRow& row);

} // namespace RegisterQuery

} // namespace zb32
