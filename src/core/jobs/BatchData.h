// What the desk hands a job: the seven batch texts, the three check boxes and the counters.
#pragma once

#include <QDate>
#include <QString>
#include <array>

namespace zb32 {

struct BatchData
{
    // Text1 indexes: 0 assignment date, 1 mandate expiry, 2 kind of intervention, 3 batch
    // number, 4 input file name, 5 mandate type (or comma list), 6 assignment state.
    std::array<QString, 7> Text1;
    bool cc = true; // "c/c": payment slips in the letters
    bool chkTest = false; // "test": letters for the sample case only
    bool chkRevocaCop = false; // "Revoca Cop.": paid-off cases lose their collector
    QString Scheda4; // "clienti" counter box, as it reads when the job starts
    QString Scheda0; // "fatture" counter box, likewise

    // The desk's start-up values for a given today.
    static BatchData defaults(const QDate& today);
    // Today plus one calendar month; a day the next month lacks becomes its last day.
    static QDate oneMonthLater(const QDate& today);
};

// Maximum lengths of the boxes that have one.
constexpr int kInterventoMaxLength = 3;
constexpr int kSitAffMaxLength = 3;

} // namespace zb32
