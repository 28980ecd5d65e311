// The letters of a print file drawn as their debtors will read them, into a PDF: one A4 page per
// letter, and with slips one page of payment slips per debtor (three to a page).
#pragma once

#include <QStringList>
#include <memory>

class QIODevice;

namespace zb32 {

struct PostelLetter;

class LetterPdf
{
public:
    // Writes to `device`, open for writing and the caller's; nothing is written before the
    // first letter.
    LetterPdf(QIODevice* device, const QString& title);
    ~LetterPdf();
    LetterPdf(const LetterPdf&) = delete;
    LetterPdf& operator=(const LetterPdf&) = delete;

    // The file's template and sender record (PostelReader), before the first letter.
    void setTemplate(const QStringList& templateLines, const QStringList& contact);
    void addLetter(const PostelLetter& letter);
    // Ends the document. False, with a reason, when nothing could be drawn.
    bool finish(QString* error);
    int pages() const;

private:
    class Painter;
    std::unique_ptr<Painter> m_painter;
};

} // namespace zb32
