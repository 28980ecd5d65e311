// The Gravix high-score table: three entries, the best first, kept in a record store.
#pragma once

#include <QString>
#include <array>
#include <functional>

namespace zb32 {

class RecordStore;

struct VoceRecord
{
    QString nome;
    qint32 punti = 0;

    friend bool operator==(const VoceRecord&, const VoceRecord&) = default;
};

// Asks the player for a name; an empty text when the player cancels.
class NameInput
{
public:
    virtual ~NameInput() = default;
    virtual QString askName(const QString& prompt) = 0;
};

class TabellaRecord
{
public:
    static constexpr int kVoci = 3;

    TabellaRecord(RecordStore& store, NameInput& input);

    // Store → table; missing keys give "Player1".."Player3" and 0.
    void CaricaRecord();
    // Table → store, "Nome1", "Punti1", ... "Punti3" in that order. False when it could not be written.
    bool SalvaRecord();
    // Enters the final score where it beats an entry (an equal score does not), asks for the name
    // and saves. The place taken, or -1 when the score does not enter.
    int ControllaRecord(qint64 punteggio);

    const VoceRecord& voce(int i) const { return m_voci.at(static_cast<std::size_t>(i)); }
    const std::array<VoceRecord, kVoci>& voci() const { return m_voci; }

    // Stored points as a whole number: a text that is not a whole number counts as 0, one beyond
    // the 32-bit range as the nearest end of it.
    static qint32 puntiDaTesto(const QString& testo);
    static qint32 punti32(qint64 punteggio);
    static QString prompt();

    // Called after the table changed and before the name is asked, so the table can be shown.
    void setOnChanged(std::function<void()> onChanged) { m_onChanged = std::move(onChanged); }

private:
    RecordStore& m_store;
    NameInput& m_input;
    std::array<VoceRecord, kVoci> m_voci {};
    std::function<void()> m_onChanged;
};

} // namespace zb32
