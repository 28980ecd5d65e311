// The print file of the reminder letters: header records, letter template, one data block per
// debtor with its payment-slip pages, end record. Windows-1252, every line ended by CR LF.
#pragma once

#include "core/desk/Currency.h"

#include <QDate>
#include <QList>
#include <QString>
#include <optional>

class QIODevice;

namespace zb32 {

// What a letter reads from one case.
struct PostelCase
{
    qint64 key = -1; // contatore
    QString posizione;
    QString tipoMandato;
    QString ragioneSociale;
    QString indirizzo;
    std::optional<QString> cap; // a null postcode drops itself and its blank
    QString citta;
    QString provincia;
    QString altroriferimento;
    QString assignmentId;
    Currency importoTotale;
};

// What a letter and a slip read from one invoice; a null date is an invalid QDate.
struct PostelInvoice
{
    QString numeroFattura;
    QDate dataFattura;
    Currency saldo;
    QString periodo;
    QDate dataScadenza;
};

class PostelWriter
{
public:
    // The agency's records in the file.
    static const QString kAgencyEmail;
    static const QString kPostalAccount;
    // How many lines the letter template has.
    static constexpr int kTemplateLines = 45;

    // Writes to `device`, which stays the caller's; nothing reaches it before flush() or a
    // full buffer.
    explicit PostelWriter(QIODevice* device);
    PostelWriter(const PostelWriter&) = delete;
    PostelWriter& operator=(const PostelWriter&) = delete;

    // "LO" + ddMMyy + ".ASC".
    static QString fileName(const QDate& today);
    // The payment code's amount: the amount with "." between thousands and "," before two
    // decimals, no integer digit below one, zero-padded or cut to 11, first "," made "+".
    static QString codeAmount(const Currency& amount);

    void writeHeader();
    void writeTemplate(const QDate& today);
    // Lines 1 to 5 of a debtor's data block: address and the two references.
    void writeAddress(const PostelCase& c);
    // Lines 6 to 8 (slot 0) or 9 to 11 (slot 1) of the data block; no invoice gives bare tags.
    void writeInvoiceItems(int slot, const PostelInvoice* invoice);
    // Line 12: the total.
    void writeTotal(const PostelCase& c);
    // The "@T" that opens a debtor's slip pages.
    void writeSlipsStart();
    void writeSlip(const PostelCase& c, const PostelInvoice& invoice, bool firstPage);
    void writeEnd(qint64 letters);

    // A whole letter: the data block with the first two invoices and, with slips, one page per
    // invoice in the order given.
    void writeLetter(const PostelCase& c, const QList<PostelInvoice>& invoices, bool slips);

    // Hands what is buffered to the device. False, with the device's reason, once a write failed.
    bool flush(QString* error = nullptr);
    bool ok() const { return m_error.isEmpty(); }
    QString errorString() const { return m_error; }

private:
    template<typename... Parts> void line(const Parts&... parts)
    {
        const qsizetype start = m_buffer.size();
        (m_buffer.append(parts), ...);
        blankControls(start);
        m_buffer.append(QLatin1String("\r\n"));
        if (m_buffer.size() >= kFlushChars) {
            flush();
        }
    }

    // A text of the database with a line break in it would make records of its own in the
    // file: control characters from `start` on are written as blanks.
    void blankControls(qsizetype start);

    static constexpr qsizetype kFlushChars = 1 << 16;

    QIODevice* m_device;
    QString m_buffer;
    QString m_error;
};

} // namespace zb32
