// Maintenance: the window inspector. Lists the program's open windows and, for the chosen one,
// its controls with name, kind, position and text.
#pragma once

#include <QList>
#include <QPointer>
#include <QRect>
#include <QWidget>

class QListWidget;
class QPushButton;
class QTreeWidget;

namespace zb32 {

class frmFinestre : public QWidget
{
    Q_OBJECT
public:
    struct Controllo
    {
        int depth = 0; // 0 for the window's own children
        QString name;
        QString kind;
        QRect geometry; // in the parent's coordinates, pixels
        QString text;
    };

    explicit frmFinestre(QWidget* parent = nullptr);

    // Opens an inspector as an independent window.
    static frmFinestre* showInspector();

    // The program's visible top-level windows, this inspector left out.
    QList<QWidget*> finestre() const;
    // A window's controls, depth first, in creation order; the toolkit's own helper widgets
    // are left out.
    static QList<Controllo> controlli(const QWidget* window);
    // What a control shows as its text.
    static QString testo(const QWidget* control);

    QListWidget* lstFinestre = nullptr;
    QTreeWidget* treControlli = nullptr;
    QPushButton* cmdAggiorna = nullptr;

    // Re-reads the list of windows.
    void cmdAggiorna_Click();

private:
    void lstFinestre_Changed(int row);

    QList<QPointer<QWidget>> m_windows;
};

} // namespace zb32
