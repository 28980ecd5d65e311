// The print file's reader on arbitrary bytes, each letter filled into the template as the
// preview draws it: no crash, every problem at a line of the file, every letter counted once.
#include "core/letters/LetterText.h"
#include "core/letters/PostelReader.h"

#include <QBuffer>
#include <QByteArray>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    zb32::PostelReader reader(&buffer);
    reader.readHeader();
    zb32::PostelLetter letter;
    qint64 letters = 0;
    while (reader.next(&letter)) {
        if (letter.number != ++letters || letter.line < 1) {
            __builtin_trap();
        }
        (void)zb32::fillLetter(reader.templateLines(), letter);
        (void)letter.addressLines();
    }
    const zb32::PostelCheck& check = reader.check();
    const qint64 lines = bytes.count('\n') + bytes.count('\r') + 2;
    if (check.letters != letters || check.problems.size() > zb32::PostelCheck::kMaxProblems
        || check.problemCount < check.problems.size()) {
        __builtin_trap();
    }
    for (const zb32::PostelProblem& p : check.problems) {
        if (p.line < 1 || p.line > lines || p.text.isEmpty()) {
            __builtin_trap();
        }
    }
    return 0;
}
