// The runs of the register as a table, fetched a page at a time through the desk's job thread
// as the view scrolls down: a register of any size opens at once and holds only what was seen.
#pragma once

#include "core/jobs/RegisterQuery.h"

#include <QAbstractTableModel>

namespace zb32 {

class JobRunner;

class RegisterModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static constexpr int kPage = 200;
    enum Column { Corsa, Data, Lavoro, File, Lotto, Postazione, Stato, Righe, Clienti, Fatture, Lettere, ColumnCount };

    explicit RegisterModel(JobRunner* runner, QObject* parent = nullptr);

    // Lists the runs of `filter` from the newest again.
    void setFilter(const RegisterFilter& filter);
    const RegisterFilter& filter() const { return m_filter; }
    void reload();
    // The run shown at `row`, or nullptr.
    const RegisterRow* run(int row) const;
    bool isLoading() const { return m_loading; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

Q_SIGNALS:
    // A page arrived (or the register could not be read: `error` says why).
    void pageLoaded(const QString& error);

private:
    JobRunner* m_runner;
    RegisterFilter m_filter;
    QList<RegisterRow> m_rows;
    bool m_atEnd = false;
    bool m_loading = false;
    int m_generation = 0; // a page asked for before a reload is dropped
};

} // namespace zb32
