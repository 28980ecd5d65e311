// The pool of humorous texts shown by the About box.
#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace zb32 {

// Slots 1..kMaxBarzellette of Barzellette hold texts; slot 0 is never used.
constexpr int kMaxBarzellette = 399;

extern std::array<QString, kMaxBarzellette + 1> Barzellette;
// How many slots are filled.
extern qint16 NumBarzellette;

// Appends one text to the pool; false (and nothing changes) when all slots are taken.
bool AggiungiBarzelletta(const QString& t);
// Rebuilds the pool from the texts of the resource file and returns one entry, each with equal
// chance; empty when the pool is empty.
QString Barzelletta();

// The texts as read from the resource file at first use, in file order.
const QStringList& testiBarzellette();
// Reads pool texts: UTF-8, one per line, CR LF or LF, blank lines skipped.
QStringList leggiBarzellette(const QByteArray& utf8);

// A source of random indexes: returns a number in [0, bound). Tests set one to make draws
// repeatable; an empty function restores the default generator.
using BarzellettaRandom = std::function<quint32(quint32 bound)>;
void setRandomSource(BarzellettaRandom source);

} // namespace zb32
