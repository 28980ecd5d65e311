// Message boxes with a test hook.
#include "gui/desk/MessageBox.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QQueue>
#include <QVBoxLayout>
#include <algorithm>

namespace zb32 {

namespace {

bool s_auto = false;
QStringList s_shown;
QStringList s_titles;
QQueue<QPair<QString, bool>> s_inputs;
QQueue<int> s_answers;

QString programTitle()
{
    return QStringLiteral("zb32");
}

// Texts may end their lines with a carriage return alone; Qt's labels would show it as a blank.
QString displayText(const QString& text)
{
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

} // namespace

QString MessageBox::tabulated(const QString& text)
{
    QList<QStringList> rows;
    qsizetype columns = 1;
    const QStringList lines = displayText(text).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i == lines.size() - 1 && lines.at(i).isEmpty()) {
            break; // the end of the last line, not a line of its own
        }
        QStringList cells = lines.at(i).split(QLatin1Char('\t'), Qt::SkipEmptyParts);
        if (cells.isEmpty()) {
            cells << QString();
        }
        columns = std::max(columns, cells.size());
        rows << cells;
    }
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\">");
    for (const QStringList& cells : rows) {
        html += QStringLiteral("<tr>");
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const bool last = c == cells.size() - 1;
            const qsizetype span = last ? columns - c : 1;
            html += QStringLiteral("<td style=\"white-space:pre; padding-right:%1px\"%2>%3</td>")
                        .arg(last ? 0 : 12)
                        .arg(span > 1 ? QStringLiteral(" colspan=\"%1\"").arg(span) : QString())
                        .arg(cells.at(c).isEmpty() ? QStringLiteral("&nbsp;") : cells.at(c).toHtmlEscaped());
        }
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

void MessageBox::ok(QWidget* parent, const QString& text, const QString& title, Icon icon)
{
    const QString t = title.isEmpty() ? programTitle() : title;
    s_shown << text;
    s_titles << t;
    if (s_auto) {
        return;
    }
    QMessageBox box(parent);
    box.setWindowTitle(t);
    // Tab stops of the label's own would leave a column early for a key text that happens to be
    // wide; the columns of a table line up whatever the font.
    if (text.contains(QLatin1Char('\t'))) {
        box.setTextFormat(Qt::RichText);
        box.setText(tabulated(text));
    } else {
        box.setTextFormat(Qt::PlainText);
        box.setText(displayText(text));
    }
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
    case Icon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case Icon::None:
        break;
    }
    box.exec();
}

void MessageBox::report(QWidget* parent, const QString& text, const QString& title)
{
    const QString t = title.isEmpty() ? programTitle() : title;
    s_shown << text;
    s_titles << t;
    if (s_auto) {
        return;
    }
    QDialog box(parent);
    box.setWindowTitle(t);
    auto* layout = new QVBoxLayout(&box);
    auto* view = new QPlainTextEdit(displayText(text), &box);
    view->setReadOnly(true);
    view->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(view);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    layout->addWidget(buttons);
    box.resize(760, 480);
    box.exec();
}

QString MessageBox::input(QWidget* parent, const QString& prompt, const QString& title, bool* accepted)
{
    const QString t = title.isEmpty() ? programTitle() : title;
    s_shown << prompt;
    s_titles << t;
    if (s_auto) {
        const auto answer = s_inputs.isEmpty() ? qMakePair(QString(), false) : s_inputs.dequeue();
        if (accepted) {
            *accepted = answer.second;
        }
        return answer.second ? answer.first : QString();
    }
    bool ok = false;
    const QString text = QInputDialog::getText(parent, t, displayText(prompt), QLineEdit::Normal, QString(), &ok);
    if (accepted) {
        *accepted = ok;
    }
    return ok ? text : QString();
}

int MessageBox::question(
    QWidget* parent, const QString& text, const QStringList& choices, int defaultChoice, const QString& title)
{
    const QString t = title.isEmpty() ? programTitle() : title;
    s_shown << text;
    s_titles << t;
    if (s_auto) {
        return s_answers.isEmpty() ? defaultChoice : s_answers.dequeue();
    }
    QMessageBox box(parent);
    box.setWindowTitle(t);
    box.setText(displayText(text));
    box.setIcon(QMessageBox::Question);
    QList<QAbstractButton*> buttons;
    if (choices.isEmpty()) {
        // Qt's own buttons, so they read as the translation has them.
        buttons << box.addButton(QMessageBox::Yes) << box.addButton(QMessageBox::No);
    } else {
        for (const QString& choice : choices) {
            buttons << box.addButton(choice, QMessageBox::AcceptRole);
        }
    }
    if (defaultChoice >= 0 && defaultChoice < buttons.size()) {
        box.setDefaultButton(qobject_cast<QPushButton*>(buttons[defaultChoice]));
    }
    box.setEscapeButton(buttons.last());
    box.exec();
    const int picked = int(buttons.indexOf(box.clickedButton()));
    return picked < 0 ? int(buttons.size()) - 1 : picked;
}

void MessageBox::setAutoAnswer(bool on)
{
    s_auto = on;
}

void MessageBox::queueInput(const QString& text, bool accepted)
{
    s_inputs.enqueue({ text, accepted });
}

void MessageBox::queueAnswer(int choice)
{
    s_answers.enqueue(choice);
}

QStringList MessageBox::shown()
{
    return s_shown;
}

QStringList MessageBox::shownTitles()
{
    return s_titles;
}

void MessageBox::clearShown()
{
    s_shown.clear();
    s_titles.clear();
    s_inputs.clear();
    s_answers.clear();
}

} // namespace zb32
