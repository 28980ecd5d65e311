// The register's runs, a page at a time.
#include "gui/desk/RegisterModel.h"

#include "core/jobs/ImportRegister.h"
#include "gui/desk/JobRunner.h"

#include <memory>

namespace zb32 {

RegisterModel::RegisterModel(JobRunner* runner, QObject* parent)
    : QAbstractTableModel(parent)
    , m_runner(runner)
{ }

void RegisterModel::setFilter(const RegisterFilter& filter)
{
    m_filter = filter;
    reload();
}

void RegisterModel::reload()
{
    beginResetModel();
    m_rows.clear();
    m_atEnd = false;
    m_loading = false;
    ++m_generation;
    endResetModel();
    fetchMore({});
}

const RegisterRow* RegisterModel::run(int row) const
{
    return row >= 0 && row < m_rows.size() ? &m_rows[row] : nullptr;
}

int RegisterModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int RegisterModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant RegisterModel::data(const QModelIndex& index, int role) const
{
    const RegisterRow* r = run(index.row());
    if (!r) {
        return {};
    }
    if (role == Qt::ToolTipRole) {
        return r->undone.isEmpty() ? r->message : r->message + QLatin1Char('\n') + r->undone;
    }
    if (role == Qt::TextAlignmentRole) {
        const bool number = index.column() == Corsa || index.column() >= Righe;
        return QVariant::fromValue(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case Corsa:
        return QString::number(r->id);
    case Data:
        return ImportRegister::fromStamp(r->start).toString(QStringLiteral("dd/MM/yyyy HH:mm"));
    case Lavoro:
        return r->job;
    case File:
        return r->file;
    case Lotto:
        return r->boxes.value(3);
    case Postazione:
        return r->workstation;
    case Stato:
        return r->mode == ImportRegister::modeText(ImportRegister::Mode::New)
            ? r->state
            : r->state + QStringLiteral(" (") + r->mode + QLatin1Char(')');
    case Righe:
        return QString::number(r->linesRead);
    case Clienti:
        return QString::number(r->clienti);
    case Fatture:
        return QString::number(r->fatture);
    case Lettere:
        return QString::number(r->letters);
    default:
        return {};
    }
}

QVariant RegisterModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const names[] = { "Corsa", "Data", "Lavoro", "File", "Lotto", "Postazione", "Stato", "Righe",
        "Clienti", "Fatture", "Lettere" };
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(names[section]) : QVariant();
}

bool RegisterModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_atEnd && !m_loading;
}

void RegisterModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent)) {
        return;
    }
    m_loading = true;
    const int generation = m_generation;
    const qint64 before = m_rows.isEmpty() ? 0 : m_rows.last().id;
    const RegisterFilter filter = m_filter;
    auto page = std::make_shared<QList<RegisterRow>>();
    m_runner->read(
        this,
        [page, filter, before](
            CaseDatabase& db, QString* error) { RegisterQuery::page(db, filter, before, kPage, page.get(), error); },
        [this, page, generation](const QString& error) {
            if (generation != m_generation) {
                return;
            }
            m_loading = false;
            m_atEnd = !error.isEmpty() || page->size() < kPage;
            if (!page->isEmpty() && error.isEmpty()) {
                beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + page->size() - 1));
                m_rows += *page;
                endInsertRows();
            }
            Q_EMIT pageLoaded(error);
        });
}

} // namespace zb32
