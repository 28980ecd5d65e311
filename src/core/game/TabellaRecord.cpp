// The Gravix high-score table.
#include "core/game/TabellaRecord.h"

#include "core/game/RecordStore.h"

#include <QRegularExpression>
#include <algorithm>
#include <limits>

namespace zb32 {

namespace {

QString nomeKey(int i)
{
    return QStringLiteral("Nome%1").arg(i + 1);
}
QString puntiKey(int i)
{
    return QStringLiteral("Punti%1").arg(i + 1);
}

} // namespace

TabellaRecord::TabellaRecord(RecordStore& store, NameInput& input)
    : m_store(store)
    , m_input(input)
{ }

void TabellaRecord::CaricaRecord()
{
    for (int i = 0; i < kVoci; ++i) {
        VoceRecord& v = m_voci[static_cast<std::size_t>(i)];
        v.nome = m_store.value(nomeKey(i), QStringLiteral("Player%1").arg(i + 1));
        v.punti = puntiDaTesto(m_store.value(puntiKey(i), QStringLiteral("0")));
    }
}

bool TabellaRecord::SalvaRecord()
{
    QList<QPair<QString, QString>> values;
    for (int i = 0; i < kVoci; ++i) {
        const VoceRecord& v = m_voci[static_cast<std::size_t>(i)];
        values.append({ nomeKey(i), v.nome });
        values.append({ puntiKey(i), QString::number(v.punti) });
    }
    return m_store.setValues(values);
}

int TabellaRecord::ControllaRecord(qint64 punteggio)
{
    const qint32 punti = punti32(punteggio);
    int posto = -1;
    for (int i = 0; i < kVoci; ++i) {
        if (m_voci[static_cast<std::size_t>(i)].punti < punti) {
            posto = i;
            break;
        }
    }
    if (posto < 0) {
        return -1;
    }
    for (int j = kVoci - 1; j > posto; --j) {
        m_voci[static_cast<std::size_t>(j)] = m_voci[static_cast<std::size_t>(j - 1)];
    }
    m_voci[static_cast<std::size_t>(posto)] = VoceRecord { QString(), punti };
    if (m_onChanged) {
        m_onChanged();
    }
    m_voci[static_cast<std::size_t>(posto)].nome = m_input.askName(prompt()); // kept whole, however long
    SalvaRecord();
    if (m_onChanged) {
        m_onChanged();
    }
    return posto;
}

qint32 TabellaRecord::puntiDaTesto(const QString& testo)
{
    static const QRegularExpression wholeNumber(QStringLiteral("^\\s*([+-]?)(\\d+)\\s*$"));
    const QRegularExpressionMatch m = wholeNumber.match(testo);
    if (!m.hasMatch()) {
        return 0;
    }
    const bool negativo = m.captured(1) == QStringLiteral("-");
    bool ok = false;
    const qint64 valore = m.captured(2).toLongLong(&ok);
    if (!ok) { // more digits than 64 bits hold
        return negativo ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
    }
    return punti32(negativo ? -valore : valore);
}

qint32 TabellaRecord::punti32(qint64 punteggio)
{
    return static_cast<qint32>(
        std::clamp<qint64>(punteggio, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()));
}

QString TabellaRecord::prompt()
{
    return QStringLiteral("Complimenti, hai ottenuto un nuovo record\rScrivi il tuo nome (max. 10 car)");
}

} // namespace zb32
