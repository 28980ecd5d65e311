// Input lines of the three text jobs, built field by field at their columns, and the cases the
// confirmation import finds.
#pragma once

#include "TestDatabase.h"

#include <QString>
#include <QStringList>

namespace zb32::test {

// ---- Orb assignment file (columns count on the line as written: column 1 is never blank) ----

struct OrbDebtor
{
    QString account;
    QString name;
    QString status = QStringLiteral("ATTIVO");
    QString address = QStringLiteral("Via Roma 1");
    QString cap = QStringLiteral("00100");
    QString town = QStringLiteral("Roma");
    QString province = QStringLiteral("RM");
    QString taxCode = QStringLiteral("RSSMRA80A01H501U");
    QString phone1 = QStringLiteral("0612345678");
    QString phone2 = QStringLiteral("3331234567");
    QString company = QStringLiteral("Orb Italia");
    QString deposit = QStringLiteral("00010000");
    QString expiry = QStringLiteral("31/12/2026");
};

struct OrbContract
{
    QString date = QStringLiteral("01012020");
    QString decoder1 = QStringLiteral("DEC-1");
    QString decoder2 = QStringLiteral("DEC-2");
    QString card1 = QStringLiteral("SMC-1");
    QString card2 = QStringLiteral("SMC-2");
};

struct OrbInvoice
{
    QString number;
    QString period = QStringLiteral("GEN-FEB 2024");
    QString date = QStringLiteral("15012024");
    QString cents = QStringLiteral("12345"); // zero-padded to the field
    QString due = QStringLiteral("15022024");
};

QString orbA01(const OrbDebtor& d);
QString orbA02(const OrbContract& c);
QString orbR01(const QString& cents, const QString& band = QStringLiteral("02"));
QString orbDetail(const OrbInvoice& f);
// Case `n`: "A01", "A02", "R01" and two invoices, every text naming n.
QStringList orbCase(int n);

// ---- Vi Diru record file ----

struct ViDiruDebtor
{
    QString numero;
    QString altroriferimento;
    QString name;
    QString cliente = QStringLiteral("Acqua Servizi");
    QString codiceContratto = QStringLiteral("C-01");
    QString contratto = QStringLiteral("Fornitura idrica");
    QString taxCode = QStringLiteral("VRDLGU70B02F205X");
    QString birthDate = QStringLiteral("02/02/1970");
    QString birthPlace = QStringLiteral("Milano");
    QString memo = QStringLiteral("nota");
    QString address = QStringLiteral("Corso Italia 2");
    QString cap = QStringLiteral("20100");
    QString town = QStringLiteral("Milano");
    QString province = QStringLiteral("MI");
    QString recapito = QStringLiteral("Casella postale 5");
    QString phone1 = QStringLiteral("021234567");
    QString phone2 = QStringLiteral("3471234567");
};

QString viDiruHeader(const ViDiruDebtor& d);
QString viDiruNote(const QString& text);
QString viDiruComponent(const QString& description, const QString& amount);
QString viDiruTotal(const QString& amount);
QString viDiruInstalment(const QString& number, const QString& due, const QString& amount, const QString& reference);
// Case `n`: header, note, two components, total and two instalments.
QStringList viDiruCase(int n);

// ---- Orb collections file ----

struct CollectionRecord
{
    QString position; // digits, zero-padded to 9
    QString code = QStringLiteral("350");
    qint64 cents = 1000;
    QString invoice = QStringLiteral("FT-0001"); // 10 columns
    QString reference = QStringLiteral("RIF-0001"); // 20 columns
    QString date = QStringLiteral("05032010");
};

QString collectionLine(const CollectionRecord& r);
// Cases to find, one per position: mandate type 460, owing 200 / 50 / 30 / 10 (290 in all),
// assigned on 01/01/2010, collector "E7".
void addCases(TestDatabase& tdb, const QStringList& positions);
// The cases the collection lines find: positions 1001 to 1000 + count.
void addCollectionCases(TestDatabase& tdb, int count);
// Record `n` of a run: payments, an invoice and the outcome codes in turn, on case 1001 + n % 4.
QString collectionRecord(int n);

} // namespace zb32::test
