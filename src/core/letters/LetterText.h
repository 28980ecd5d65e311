// A letter as its debtor reads it: the template's lines with the debtor's values in place of the
// placeholders, the service's escapes turned into what they stand for.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace zb32 {

struct PostelLetter;

// A piece of a line; `strong` for what the template marks between "@O" and "@o".
struct LetterRun
{
    QString text;
    bool strong = false;
    bool operator==(const LetterRun&) const = default;
};

struct LetterLine
{
    enum class Kind {
        Text,
        Commands, // a "!" line: the page-composition words
        Amount, // a line with "@L:": what stands before it, and the amount after it
    };
    Kind kind = Kind::Text;
    int indent = 0; // leading blanks of the template line
    QList<LetterRun> runs; // Text and Amount, without the leading blanks
    QString amount; // Amount: blanks trimmed
    QStringList commands; // Commands: "SPA -100", "SPA 19"
    bool filled = true; // false when the line has placeholders and every one of them is empty

    // The runs joined.
    QString text() const;
};

// The template filled in for one letter, line by line.
QList<LetterLine> fillLetter(const QStringList& templateLines, const PostelLetter& letter);

// The letter's signature: the template's last text line, blanks trimmed.
QString letterSignature(const QStringList& templateLines);

} // namespace zb32
