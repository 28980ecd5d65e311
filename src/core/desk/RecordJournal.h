// Told of every record a job writes through record access, so a run can say afterwards which
// records it created and which fields it changed from what.
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace zb32 {

class RecordJournal
{
public:
    struct Change
    {
        QString field;
        QVariant before;
        QVariant after;
    };
    virtual ~RecordJournal() = default;
    virtual void recordCreated(const QString& table, qint64 key) = 0;
    virtual void recordChanged(const QString& table, qint64 key, const QList<Change>& changes) = 0;
};

} // namespace zb32
