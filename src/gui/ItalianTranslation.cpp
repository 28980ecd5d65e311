// Qt's own Italian texts for the standard buttons and boxes.
#include "gui/ItalianTranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QTranslator>

namespace zb32 {

namespace {

Q_LOGGING_CATEGORY(lcTranslation, "zb32.gui.translation")

} // namespace

bool installItalianTranslation()
{
    // Owned by the application, so a later application (as in the tests) gets its own.
    static QPointer<QTranslator> s_installed;
    if (s_installed) {
        return true;
    }
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_it"), folder)) {
        qCWarning(lcTranslation) << "Qt's Italian translation qtbase_it is not in" << folder
                                 << "(Debian package qt6-translations-l10n): the boxes keep their English buttons";
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    s_installed = translator;
    return true;
}

} // namespace zb32
