// Stand-ins for what the Gravix model talks to: a fixed random sequence, a screen that remembers
// what each cell shows, recorded sounds, a record store in memory and queued names.
#pragma once

#include "core/game/Griglia.h"
#include "core/game/RandomSource.h"
#include "core/game/RecordStore.h"
#include "core/game/Suoni.h"
#include "core/game/TabellaRecord.h"
#include "core/game/TilePainter.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QStringList>
#include <array>

namespace zb32::test {

// Gives its values in turn, starting again after the last.
class SequenceRandom : public RandomSource
{
public:
    explicit SequenceRandom(QList<double> values = { 0.0 })
        : m_values(std::move(values))
    { }
    void setValues(QList<double> values)
    {
        m_values = std::move(values);
        m_next = 0;
    }
    double next() override
    {
        ++m_calls;
        const double v = m_values.at(m_next);
        m_next = (m_next + 1) % m_values.size();
        return v;
    }
    int calls() const { return m_calls; }

    // The value that makes Rand(7) give `tipo`.
    static double forType(int tipo) { return (tipo - 1 + 0.5) / 7.0; }

private:
    QList<double> m_values;
    int m_next = 0;
    int m_calls = 0;
};

// What each cell of the board shows: the tile value painted there last and, for empty cells, the
// look tile 0 had at that moment. Cells never painted show kNeverPainted.
class ScreenPainter : public TilePainter
{
public:
    static constexpr int kNeverPainted = -99;
    struct Look
    {
        int valore = kNeverPainted;
        int vuota = kVuotaPiana; // the empty tile's look when valore is 0
        friend bool operator==(const Look&, const Look&) = default;
    };

    ScreenPainter() { m_board.fill(Look {}); }

    void DisegnaBlocco(Superficie box, int x, int y, int valore) override
    {
        if (box == Superficie::Griglia) {
            Q_ASSERT(Griglia::dentro(x, y));
            m_board[index(x, y)] = Look { valore, m_emptyTile };
            ++m_boardPaints;
        } else {
            Q_ASSERT(x >= 1 && x <= 4 && y >= 1 && y <= 4);
            m_preview[qMakePair(x, y)] = valore;
            ++m_previewPaints;
        }
    }
    void PulisciAnteprima() override
    {
        m_preview.clear();
        ++m_previewClears;
    }
    void setEmptyTile(int sfondo) override { m_emptyTile = sfondo; }

    Look at(int x, int y) const { return m_board[index(x, y)]; }
    int emptyTile() const { return m_emptyTile; }
    int boardPaints() const { return m_boardPaints; }
    int previewPaints() const { return m_previewPaints; }
    int previewClears() const { return m_previewClears; }
    QMap<QPair<int, int>, int> preview() const { return m_preview; }

    // True when every cell shows the board's value (empty cells with the given look).
    bool shows(const Griglia& g, int emptyLook) const
    {
        for (int y = 1; y <= Griglia::kRighe; ++y) {
            for (int x = 1; x <= Griglia::kColonne; ++x) {
                const Look l = at(x, y);
                if (l.valore != g.at(x, y) || (l.valore == 0 && l.vuota != emptyLook)) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    static std::size_t index(int x, int y) { return static_cast<std::size_t>((y - 1) * Griglia::kColonne + x - 1); }

    std::array<Look, Griglia::kColonne * Griglia::kRighe> m_board {};
    QMap<QPair<int, int>, int> m_preview;
    int m_emptyTile = kVuotaPiana;
    int m_boardPaints = 0;
    int m_previewPaints = 0;
    int m_previewClears = 0;
};

class RecordingSounds : public Suoni
{
public:
    void Suona(int n) override { played.append(n); }
    QList<int> played;
};

class MemoryStore : public RecordStore
{
public:
    QString value(const QString& key, const QString& defaultValue) const override
    {
        return values.value(key, defaultValue);
    }
    bool setValues(const QList<QPair<QString, QString>>& pairs) override
    {
        for (const auto& [key, text] : pairs) {
            values.insert(key, text);
            writtenKeys.append(key);
        }
        return true;
    }
    QMap<QString, QString> values;
    QStringList writtenKeys;
};

// Answers name prompts from a queue; an empty queue cancels.
class QueuedNames : public NameInput
{
public:
    QString askName(const QString& prompt) override
    {
        prompts.append(prompt);
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QStringList answers;
    QStringList prompts;
};

} // namespace zb32::test
