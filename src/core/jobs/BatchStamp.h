// The batch data a case import stamps on every case, read from the desk's boxes once, before
// the input file is opened: a box that does not convert stops the job naming the box.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

namespace zb32 {

struct BatchData;
class Recordset;

struct BatchStamp
{
    QString fileName; // "Nome File", as typed: how messages name the input
    QString tipoMandato; // "Mandato": one mandate type or a comma list, as typed
    QDate dataAffido; // "Data Affido"
    QDate scadenzaMandato; // "Scadenza"
    QString tipoIntervento; // "Intervento"
    qint64 lotto = 0; // "Lotto"
    QString situazioneAffido; // "Sit.Aff."

    // The boxes every job reads without converting them (the file, the mandate list).
    static BatchStamp texts(const BatchData& batch);
    // Every box a case import stamps, converted; false with "Data Affido non valida: ..." when a
    // box does not convert.
    static bool read(const BatchData& batch, BatchStamp* stamp, QString* error);

    // The mandate types of the "Mandato" box, each as typed between the commas.
    QStringList mandates() const { return tipoMandato.split(QLatin1Char(',')); }
    // Writes the six batch fields of the current case.
    bool apply(Recordset& cases, QString* error) const;
};

} // namespace zb32
