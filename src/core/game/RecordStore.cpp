// The per-user settings store of the high scores.
#include "core/game/RecordStore.h"

#include <QLoggingCategory>
#include <QSettings>

namespace zb32 {

Q_LOGGING_CATEGORY(lcRecord, "zb32.gravix.record")

namespace {

const QString kSection = QStringLiteral("Record");

} // namespace

// A fresh reader every time, so entries written by another copy of the program show at once.
QString SettingsRecordStore::value(const QString& key, const QString& defaultValue) const
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("zb32"), QStringLiteral("Gravix"));
    settings.beginGroup(kSection);
    if (!settings.contains(key)) {
        return defaultValue;
    }
    const QVariant v = settings.value(key);
    // A hand-edited value like "a, b" comes back as a list; keep it as the text it was.
    return v.typeId() == QMetaType::QStringList ? v.toStringList().join(QStringLiteral(", ")) : v.toString();
}

bool SettingsRecordStore::setValues(const QList<QPair<QString, QString>>& values)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("zb32"), QStringLiteral("Gravix"));
    settings.beginGroup(kSection);
    for (const auto& [key, text] : values) {
        settings.setValue(key, text);
    }
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError) {
        qCWarning(lcRecord) << "high scores not saved to" << settings.fileName();
        return false;
    }
    return true;
}

} // namespace zb32
