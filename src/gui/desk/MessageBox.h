// Every message box and input box of the program goes through here, so tests can answer them.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace zb32 {

class MessageBox
{
public:
    enum class Icon { None, Information, Warning, Critical };

    // A box with an OK button only. The title defaults to the program's title.
    static void ok(QWidget* parent, const QString& text, const QString& title = {}, Icon icon = Icon::None);
    // A long text (a report of many lines) in a scrollable, read-only box with an OK button.
    static void report(QWidget* parent, const QString& text, const QString& title = {});
    // A one-line input box; an empty text and false when cancelled.
    static QString input(QWidget* parent, const QString& prompt, const QString& title, bool* accepted = nullptr);

    // A question: the index of the button pressed, `defaultChoice` the one Enter presses and
    // the last one what Escape does. No choices: "Sì" (0) and "No" (1).
    static int question(QWidget* parent, const QString& text, const QStringList& choices, int defaultChoice,
        const QString& title = {});
    // A text whose lines hold tab-separated columns, as a table: the n-th text of every line in
    // the n-th column, the last text of a shorter line spanning the rest. Runs of tabs count as one
    // separator, since they only carried the text to its column.
    static QString tabulated(const QString& text);

    // Tests: with automatic answers nothing is shown; every text is recorded, OK is pressed,
    // and input boxes give the queued answers (or Cancel when none is queued).
    static void setAutoAnswer(bool on);
    static void queueInput(const QString& text, bool accepted = true);
    // The next question's answer; with none queued a question takes its default.
    static void queueAnswer(int choice);
    static QStringList shown();
    static QStringList shownTitles();
    static void clearShown();
};

} // namespace zb32
