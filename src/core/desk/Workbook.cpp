// Workbooks are parsed by a process of their own (zb32-xls): a damaged or hostile file can
// crash or hang the parser, never the desk.
#include "core/desk/Workbook.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QFileInfo>
#include <QProcess>
#include <algorithm>

namespace zb32 {

QString Workbook::readerPath()
{
    const QString fromEnv = qEnvironmentVariable("ZB32_XLS_READER");
    if (!fromEnv.isEmpty()) {
        return fromEnv;
    }
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("/zb32-xls.exe");
#else
    const QString name = QStringLiteral("/zb32-xls");
#endif
    return QCoreApplication::applicationDirPath() + name;
}

void Workbook::close()
{
    m_data = {};
    m_sheet = nullptr;
}

bool Workbook::open(const QString& path, QString* error)
{
    close();
    auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        close();
        return false;
    };
    const QFileInfo info(path);
    if (!info.isFile()) {
        return fail(QStringLiteral("file non trovato"));
    }
    if (info.size() == 0) {
        return fail(QStringLiteral("il file è vuoto (0 byte): non è una cartella di lavoro (.xls, .xlsx o .ods)"));
    }
    const QString reader = readerPath();
    if (!QFileInfo(reader).isExecutable()) {
        return fail(QStringLiteral("manca il lettore di cartelle di lavoro %1").arg(reader));
    }
    QProcess process;
    process.setProgram(reader);
    process.setArguments({ path });
    process.start();
    if (!process.waitForStarted(30000)) {
        return fail(QStringLiteral("il lettore di cartelle di lavoro non parte: %1").arg(process.errorString()));
    }
    if (!process.waitForFinished(kReaderTimeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return fail(QStringLiteral("la lettura della cartella di lavoro non termina: il file è danneggiato"));
    }
    // Exit status 2 is the reader's own refusal, with its reason on stderr; anything else
    // (a signal, an abort, a checker's report) means the parser broke on the file.
    if (process.exitStatus() != QProcess::NormalExit || (process.exitCode() != 0 && process.exitCode() != 2)) {
        return fail(
            QStringLiteral("la cartella di lavoro non si legge, il file è danneggiato: aprirla con il programma "
                           "di fogli di calcolo e salvarla di nuovo come .xls o .xlsx"));
    }
    if (process.exitCode() == 2) {
        const QString why = QString::fromUtf8(process.readAllStandardError()).trimmed();
        return fail(
            why.isEmpty() ? QStringLiteral("il file non si legge come cartella di lavoro (.xls, .xlsx o .ods)") : why);
    }
    const QByteArray bytes = process.readAllStandardOutput();
    QDataStream in(bytes);
    if (!m_data.read(in)) {
        return fail(QStringLiteral("risposta non valida dal lettore di cartelle di lavoro"));
    }
    return true;
}

QStringList Workbook::sheetNames() const
{
    QStringList names;
    for (const WorkbookSheet& s : m_data.sheets) {
        names << s.name;
    }
    return names;
}

bool Workbook::selectSheet(const QString& name, QString* error)
{
    // A sheet's name is kept as it stands: blanks at either end, "$" and brackets belong to it.
    QString bare = name;
    if (bare.startsWith(QLatin1Char('[')) && bare.endsWith(QLatin1Char(']'))) {
        bare = bare.mid(1, bare.size() - 2);
    }
    if (bare.endsWith(QLatin1Char('$'))) {
        bare.chop(1);
    }
    for (const QString& candidate : { name, bare }) {
        for (const WorkbookSheet& s : m_data.sheets) {
            if (s.name == candidate) {
                m_sheet = &s;
                return true;
            }
        }
    }
    if (error) {
        *error = QStringLiteral("il foglio %1 non esiste nella cartella di lavoro").arg(name);
    }
    m_sheet = nullptr;
    return false;
}

QVariant Workbook::cell(int row, int column) const
{
    if (!m_sheet || row < 0 || column < 0 || row >= m_sheet->rows || column >= m_sheet->columns) {
        return QVariant();
    }
    return m_sheet->cells.value(WorkbookSheet::keyOf(row, column));
}

QString RicavaPrimaTable(const Workbook& workbook)
{
    QStringList names = workbook.sheetNames();
    names.removeAll(QString());
    if (names.isEmpty()) {
        return {};
    }
    std::sort(names.begin(), names.end(),
        [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    QString name = names.first() + QLatin1Char('$');
    if (!name.startsWith(QLatin1Char('[')) && !name.startsWith(QLatin1Char('`'))) {
        name = QLatin1Char('[') + name + QLatin1Char(']');
    }
    return name;
}

} // namespace zb32
