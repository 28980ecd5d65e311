// The window inspector.
#include "gui/about/frmFinestre.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zb32 {

namespace {

bool isToolkitHelper(const QWidget* w)
{
    return w->objectName().startsWith(QLatin1String("qt_"));
}

void collect(const QWidget* parent, int depth, QList<frmFinestre::Controllo>& out)
{
    for (QObject* child : parent->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w->isWindow()) {
            continue;
        }
        if (isToolkitHelper(w)) {
            // The toolkit's own frames (scroll viewports, tab pages) are not controls, but what
            // they hold is; its scroll bar holders hold nothing of ours.
            if (!w->objectName().endsWith(QLatin1String("container"))) {
                collect(w, depth, out);
            }
            continue;
        }
        out.append({ depth, w->objectName(), QString::fromLatin1(w->metaObject()->className()), w->geometry(),
            frmFinestre::testo(w) });
        collect(w, depth + 1, out);
    }
}

QString describeWindow(const QWidget* w)
{
    const QString name
        = w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
    return QStringLiteral("%1 — %2").arg(name, w->windowTitle());
}

} // namespace

frmFinestre::frmFinestre(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmFinestre"));
    setWindowTitle(QStringLiteral("Finestre aperte"));
    resize(640, 420);

    lstFinestre = new QListWidget(this);
    lstFinestre->setObjectName(QStringLiteral("lstFinestre"));
    treControlli = new QTreeWidget(this);
    treControlli->setObjectName(QStringLiteral("treControlli"));
    treControlli->setHeaderLabels(
        { QStringLiteral("Nome"), QStringLiteral("Tipo"), QStringLiteral("Posizione"), QStringLiteral("Testo") });
    cmdAggiorna = new QPushButton(QStringLiteral("Aggiorna"), this);
    cmdAggiorna->setObjectName(QStringLiteral("cmdAggiorna"));

    auto* left = new QVBoxLayout;
    left->addWidget(lstFinestre);
    left->addWidget(cmdAggiorna);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addWidget(treControlli, 3);

    connect(cmdAggiorna, &QPushButton::clicked, this, &frmFinestre::cmdAggiorna_Click);
    connect(lstFinestre, &QListWidget::currentRowChanged, this, &frmFinestre::lstFinestre_Changed);
    cmdAggiorna_Click();
}

frmFinestre* frmFinestre::showInspector()
{
    auto* w = new frmFinestre();
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    return w;
}

QList<QWidget*> frmFinestre::finestre() const
{
    QList<QWidget*> list;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible() && w->isWindow() && !isToolkitHelper(w)) {
            list << w;
        }
    }
    return list;
}

QList<frmFinestre::Controllo> frmFinestre::controlli(const QWidget* window)
{
    QList<Controllo> list;
    if (window) {
        collect(window, 0, list);
    }
    return list;
}

QString frmFinestre::testo(const QWidget* control)
{
    if (const auto* l = qobject_cast<const QLabel*>(control)) {
        return l->text().isEmpty() && !l->pixmap().isNull() ? QStringLiteral("[immagine]") : l->text();
    }
    if (const auto* b = qobject_cast<const QAbstractButton*>(control)) {
        return b->text();
    }
    if (const auto* e = qobject_cast<const QLineEdit*>(control)) {
        return e->text();
    }
    if (const auto* t = qobject_cast<const QPlainTextEdit*>(control)) {
        return t->toPlainText();
    }
    if (const auto* t = qobject_cast<const QTextEdit*>(control)) {
        return t->toPlainText();
    }
    if (const auto* c = qobject_cast<const QComboBox*>(control)) {
        return c->currentText();
    }
    if (const auto* g = qobject_cast<const QGroupBox*>(control)) {
        return g->title();
    }
    if (const auto* p = qobject_cast<const QProgressBar*>(control)) {
        return QStringLiteral("%1 / %2").arg(p->value()).arg(p->maximum());
    }
    if (const auto* list = qobject_cast<const QListWidget*>(control)) {
        return QStringLiteral("%1 elementi").arg(list->count());
    }
    return {};
}

void frmFinestre::cmdAggiorna_Click()
{
    m_windows.clear();
    lstFinestre->clear();
    treControlli->clear();
    for (QWidget* w : finestre()) {
        m_windows << w;
        lstFinestre->addItem(describeWindow(w));
    }
}

void frmFinestre::lstFinestre_Changed(int row)
{
    treControlli->clear();
    if (row < 0 || row >= m_windows.size() || !m_windows[row]) {
        return;
    }
    QList<QTreeWidgetItem*> parents;
    for (const Controllo& c : controlli(m_windows[row])) {
        const QRect& g = c.geometry;
        const QStringList columns { c.name.isEmpty() ? QStringLiteral("(senza nome)") : c.name, c.kind,
            QStringLiteral("%1, %2, %3 x %4").arg(g.x()).arg(g.y()).arg(g.width()).arg(g.height()), c.text.left(200) };
        parents.resize(c.depth);
        QTreeWidgetItem* item
            = c.depth == 0 ? new QTreeWidgetItem(treControlli, columns) : new QTreeWidgetItem(parents.last(), columns);
        parents << item;
    }
    treControlli->expandAll();
    treControlli->header()->resizeSections(QHeaderView::ResizeToContents);
}

} // namespace zb32
