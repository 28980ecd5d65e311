// Where the Gravix high scores are kept: keys of one section, text values with defaults.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace zb32 {

class RecordStore
{
public:
    virtual ~RecordStore() = default;
    virtual QString value(const QString& key, const QString& defaultValue) const = 0;
    // False when the store could not be written.
    virtual bool setValues(const QList<QPair<QString, QString>>& values) = 0;
};

// The per-user settings store: application "Gravix", section "Record".
class SettingsRecordStore : public RecordStore
{
public:
    QString value(const QString& key, const QString& defaultValue) const override;
    bool setValues(const QList<QPair<QString, QString>>& values) override;
};

} // namespace zb32
