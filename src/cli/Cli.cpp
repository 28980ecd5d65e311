// Command-line parsing and the two commands.
#include "cli/Cli.h"

#include "cli/CliReporter.h"
#include "cli/Terminal.h"
#include "core/JobCatalog.h"
#include "core/desk/CaseDatabase.h"
#include "core/desk/DrivePath.h"
#include "core/desk/Recordset.h"
#include "core/desk/Schema.h"
#include "core/jobs/CheckReport.h"
#include "core/jobs/RunUndo.h"
#include "render/PrintFilePreview.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <limits>

namespace zb32 {

namespace {

// The usage text; the jobs are the catalog's.
QString usageText()
{
    QStringList names;
    for (const JobEntry& job : jobCatalog()) {
        names << job.name;
    }
    return QStringLiteral("uso:\n"
                          "  zb32                     apre il banco di importazione\n"
                          "  zb32 run LAVORO [opzioni]\n"
                          "      LAVORO: %1\n"
                          "      --file T  --data-affido T  --scadenza T  --intervento T  --lotto T\n"
                          "      --mandato T  --sit-aff T  --cc | --no-cc  --test  --revoca-cop\n"
                          "      --ancora     importa di nuovo un file già importato, da capo\n"
                          "      --riprendi   continua un'importazione interrotta dopo la sua ultima riga salvata\n"
                          "  zb32 check LAVORO [opzioni]\n"
                          "      legge tutto il file come \"run\", senza scrivere nulla: ogni riga errata e cosa\n"
                          "      scriverebbe l'importazione (stato 0: file pulito, 3: righe errate)\n"
                          "  zb32 initdb [--connstring T]\n"
                          "      crea le tabelle mancanti nel database della configurazione (o in quello indicato)\n"
                          "  zb32 registro [--job LAVORO] [--limit N] [--csv]\n"
                          "      le importazioni registrate, dalla più recente\n"
                          "  zb32 annulla CORSA\n"
                          "      annulla l'importazione CORSA del registro (con le sue riprese)\n"
                          "  zb32 anteprima FILE [--pdf OUT.pdf] [--da N] [--a M]\n"
                          "      controlla un file Postel e ne disegna le lettere da N a M (tutte) nel PDF\n"
                          "  zb32 --version            stampa la versione\n")
        .arg(names.join(QStringLiteral(" | ")));
}

// "now" for the jobs: the clock, or the day in ZB32_TODAY (yyyy-MM-dd) for repeatable runs.
QDateTime jobNow()
{
    const QString fixed = qEnvironmentVariable("ZB32_TODAY");
    if (!fixed.isEmpty()) {
        const QDate d = QDate::fromString(fixed, Qt::ISODate);
        if (d.isValid()) {
            return QDateTime(d, QTime::currentTime());
        }
    }
    return {};
}

} // namespace

Cli::Cli(QTextStream& out, QTextStream& err, Preview preview)
    : m_out(out)
    , m_err(err)
    , m_preview(preview)
{ }

bool Cli::wants(const QStringList& args)
{
    // Every argument is the command line's: an unknown one gets the usage, not the window.
    return !args.isEmpty();
}

bool Cli::needsGui(const QStringList& args)
{
    return !args.isEmpty() && args.first() == QLatin1String("anteprima");
}

int Cli::usage(const QString& problem)
{
    if (!problem.isEmpty()) {
        m_err << "zb32: " << problem << '\n';
    }
    m_err << usageText();
    m_err.flush();
    return problem.isEmpty() ? Ok : Usage;
}

int Cli::run(const QStringList& args)
{
    if (args.isEmpty()) {
        return usage(QStringLiteral("manca il comando"));
    }
    const QString& command = args.first();
    if (command == QLatin1String("run") || command == QLatin1String("check")) {
        return runJob(args.mid(1), command == QLatin1String("check"));
    }
    if (command == QLatin1String("initdb")) {
        return initDb(args.mid(1));
    }
    if (command == QLatin1String("registro")) {
        return registro(args.mid(1));
    }
    if (command == QLatin1String("annulla")) {
        return annulla(args.mid(1));
    }
    if (command == QLatin1String("anteprima")) {
        return anteprima(args.mid(1));
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help")) {
        m_out << usageText();
        m_out.flush();
        return Ok;
    }
    if (command == QLatin1String("--version")) {
        m_out << "zb32 " << ZB32_VERSION << '\n';
        m_out.flush();
        return Ok;
    }
    return usage(QStringLiteral("comando sconosciuto: %1").arg(command));
}

int Cli::runJob(const QStringList& args, bool check)
{
    if (args.isEmpty()) {
        return usage(QStringLiteral("manca il lavoro da eseguire"));
    }
    const JobEntry* job = findJob(args.first());
    if (!job) {
        return usage(QStringLiteral("lavoro sconosciuto: %1").arg(args.first()));
    }
    if (check && !job->checks) {
        return usage(QStringLiteral("il lavoro %1 non legge un file da verificare (per un file Postel: zb32 anteprima)")
                         .arg(job->name));
    }
    const QDateTime fixedNow = jobNow();
    const QDate today = fixedNow.isValid() ? fixedNow.date() : QDate::currentDate();
    BatchData batch = BatchData::defaults(today);
    Rerun rerun = Rerun::Refuse;

    struct TextOption
    {
        const char* name;
        int index;
        int maxLength;
    };
    const TextOption textOptions[] = {
        { "--file", 4, 0 },
        { "--data-affido", 0, 0 },
        { "--scadenza", 1, 0 },
        { "--intervento", 2, kInterventoMaxLength },
        { "--lotto", 3, 0 },
        { "--mandato", 5, 0 },
        { "--sit-aff", 6, kSitAffMaxLength },
    };
    for (int i = 1; i < args.size(); ++i) {
        QString arg = args[i];
        QString inlineValue;
        bool hasInline = false;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (arg.startsWith(QLatin1String("--")) && eq > 0) {
            inlineValue = arg.mid(eq + 1);
            arg = arg.left(eq);
            hasInline = true;
        }
        bool matched = false;
        for (const TextOption& o : textOptions) {
            if (arg == QLatin1String(o.name)) {
                QString value;
                if (hasInline) {
                    value = inlineValue;
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    return usage(QStringLiteral("manca il valore di %1").arg(arg));
                }
                // The desk's boxes with a maximum length keep only that many characters.
                batch.Text1[o.index] = o.maxLength > 0 ? value.left(o.maxLength) : value;
                matched = true;
                break;
            }
        }
        if (matched) {
            continue;
        }
        if (hasInline) {
            return usage(QStringLiteral("l'opzione %1 non prende un valore").arg(arg));
        }
        if (arg == QLatin1String("--cc")) {
            batch.cc = true;
        } else if (arg == QLatin1String("--no-cc")) {
            batch.cc = false;
        } else if (arg == QLatin1String("--test")) {
            batch.chkTest = true;
        } else if (arg == QLatin1String("--revoca-cop")) {
            batch.chkRevocaCop = true;
        } else if (arg == QLatin1String("--ancora") || arg == QLatin1String("--riprendi")) {
            const Rerun wanted = arg == QLatin1String("--ancora") ? Rerun::Again : Rerun::Resume;
            if (rerun != Rerun::Refuse && rerun != wanted) {
                return usage(QStringLiteral("--ancora e --riprendi si escludono"));
            }
            rerun = wanted;
        } else {
            return usage(QStringLiteral("opzione sconosciuta: %1").arg(arg));
        }
    }

    CliReporter reporter(m_out, m_err, isTerminal(stderr), fixedNow);
    CaseDatabase db;
    JobContext ctx { db, batch, reporter };
    ctx.rerun = rerun;
    CheckReport checkReport;
    ctx.check = check ? &checkReport : nullptr;
    const JobResult result = zb32::runJob(job->id, ctx);
    reporter.finish();
    if (!check) {
        m_out << "clienti: " << reporter.clienti << '\n' << "fatture: " << reporter.fatture << '\n';
    } else if (checkReport.isFinished()) {
        m_out << checkReport.text(batch.Text1[4]);
    }
    m_out.flush();
    switch (result.status) {
    case JobStatus::Completed:
        return Ok;
    case JobStatus::Condition:
        return Condition;
    case JobStatus::Failed:
        return Failed;
    }
    return Failed;
}

int Cli::initDb(const QStringList& args)
{
    QString connString;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--connstring") && i + 1 < args.size()) {
            connString = args[++i];
        } else if (args[i].startsWith(QLatin1String("--connstring="))) {
            connString = args[i].mid(13);
        } else {
            return usage(QStringLiteral("opzione sconosciuta: %1").arg(args[i]));
        }
    }
    CaseDatabase db;
    QString why;
    if (connString.isEmpty()) {
        // The configured database; an SQLite file that does not exist yet is created.
        QString missing;
        const QString fromIni = CaseDatabase::configuredConnectionString(&missing);
        if (fromIni.isEmpty()) {
            m_err << "zb32: " << missing << '\n';
            return Failed;
        }
        connString = fromIni;
    }
    if (!db.open(connString, &why, true)) {
        m_err << "zb32: impossibile aprire il database: " << why << '\n';
        return Failed;
    }
    // A table made by another program may lack a column the desk writes; it is not altered,
    // the operator is told which, before anything is created.
    const QStringList missing = Schema::missingColumns(db);
    if (!missing.isEmpty()) {
        m_err << "zb32: mancano colonne che il programma scrive (le tabelle esistenti non vengono modificate): "
              << missing.join(QStringLiteral(", ")) << '\n';
        return Failed;
    }
    if (!Schema::create(db, &why)) {
        m_err << "zb32: tabelle non create: " << why << '\n';
        return Failed;
    }
    m_out << "tabelle pronte: " << ConnectionString::parse(connString).masked() << '\n';
    m_out.flush();
    return Ok;
}

int Cli::registro(const QStringList& args)
{
    QString job;
    int limit = 50;
    bool csv = false;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--csv")) {
            csv = true;
        } else if ((args[i] == QLatin1String("--job") || args[i] == QLatin1String("--limit")) && i + 1 < args.size()) {
            if (args[i] == QLatin1String("--job")) {
                job = args[++i];
                continue;
            }
            bool ok = false;
            limit = args[++i].toInt(&ok);
            if (!ok || limit < 1) {
                return usage(QStringLiteral("--limit vuole un numero intero positivo: %1").arg(args[i]));
            }
        } else {
            return usage(QStringLiteral("opzione sconosciuta: %1").arg(args[i]));
        }
    }
    CaseDatabase db;
    QString why;
    if (!db.ApriDB(&why) || !Schema::createRegister(db, &why)) {
        m_err << "zb32: " << why << '\n';
        return Failed;
    }
    const QStringList fields = { QStringLiteral("id"), QStringLiteral("inizio"), QStringLiteral("lavoro"),
        QStringLiteral("nome file"), QStringLiteral("lotto"), QStringLiteral("postazione"), QStringLiteral("stato"),
        QStringLiteral("righe lette"), QStringLiteral("ultima riga salvata"), QStringLiteral("clienti"),
        QStringLiteral("fatture") };
    // The limit is a number read above, never text of the command line.
    const QString sql = QStringLiteral("select top %1 * from [tabella importazioni] where ? = '' or lavoro = ? "
                                       "order by id desc")
                            .arg(limit);
    Recordset runs(db, Schema::kImportRuns);
    if (!runs.open(sql, { job, job }, &why, Recordset::Mode::ForwardOnly)) {
        m_err << "zb32: " << why << '\n';
        return Failed;
    }
    const QString separator = csv ? QStringLiteral(";") : QStringLiteral("\t");
    auto cell = [csv](QString text) {
        text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        if (csv && (text.contains(QLatin1Char(';')) || text.contains(QLatin1Char('"')))) {
            text = QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
        }
        return text;
    };
    if (csv) {
        m_out << fields.join(separator) << '\n';
    }
    for (; !runs.eof(); runs.moveNext(&why)) {
        QStringList line;
        for (const QString& f : fields) {
            line << cell(runs.text(f));
        }
        m_out << line.join(separator) << '\n';
    }
    m_out.flush();
    if (!why.isEmpty()) {
        m_err << "zb32: " << why << '\n';
        return Failed;
    }
    return Ok;
}

int Cli::annulla(const QStringList& args)
{
    bool ok = false;
    const qint64 run = args.size() == 1 ? args.first().toLongLong(&ok) : 0;
    if (!ok || run < 1) {
        return usage(QStringLiteral("annulla vuole il numero di una corsa del registro (zb32 registro)"));
    }
    CliReporter reporter(m_out, m_err, isTerminal(stderr), jobNow());
    CaseDatabase db;
    const BatchData batch;
    JobContext ctx { db, batch, reporter };
    const JobResult result = annullaImportazione(ctx, run);
    reporter.finish();
    m_out.flush();
    return result.status == JobStatus::Completed ? Ok : result.status == JobStatus::Condition ? Condition : Failed;
}

int Cli::anteprima(const QStringList& args)
{
    QString printFile;
    QString pdf;
    qint64 from = 1;
    qint64 to = std::numeric_limits<qint64>::max();
    bool rangeGiven = false;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        QString value;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        const bool hasInline = arg.startsWith(QLatin1String("--")) && eq > 0;
        if (hasInline) {
            value = arg.mid(eq + 1);
            arg = arg.left(eq);
        }
        const bool takesValue
            = arg == QLatin1String("--pdf") || arg == QLatin1String("--da") || arg == QLatin1String("--a");
        if (!takesValue) {
            if (arg.startsWith(QLatin1Char('-')) || hasInline) {
                return usage(QStringLiteral("opzione sconosciuta: %1").arg(args[i]));
            }
            if (!printFile.isEmpty()) {
                return usage(QStringLiteral("un solo file alla volta: %1").arg(arg));
            }
            printFile = arg;
            continue;
        }
        if (!hasInline) {
            if (i + 1 >= args.size()) {
                return usage(QStringLiteral("manca il valore di %1").arg(arg));
            }
            value = args[++i];
        }
        if (arg == QLatin1String("--pdf")) {
            if (value.isEmpty()) {
                return usage(QStringLiteral("manca il valore di --pdf"));
            }
            pdf = value;
            continue;
        }
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        if (!ok || n < 1) {
            return usage(QStringLiteral("%1 vuole il numero di una lettera, da 1: %2").arg(arg, value));
        }
        (arg == QLatin1String("--da") ? from : to) = n;
        rangeGiven = true;
    }
    if (printFile.isEmpty()) {
        return usage(QStringLiteral("manca il file Postel da controllare"));
    }
    if (rangeGiven && pdf.isEmpty()) {
        return usage(QStringLiteral("--da e --a scelgono le lettere del PDF: manca --pdf"));
    }
    if (from > to) {
        return usage(QStringLiteral("--da %1 viene dopo --a %2").arg(from).arg(to));
    }
    // The file as given, or in the system's own form ("C:\LO071226.ASC") on this machine's drives.
    QString path = printFile;
    if (!QFileInfo::exists(path)) {
        const QString onDrive = resolveDrivePath(printFile);
        if (QFileInfo::exists(onDrive)) {
            path = onDrive;
        }
    }
    if (!QFileInfo(path).isFile()) {
        m_err << "zb32: FILE MANCANTE: " << QDir::toNativeSeparators(printFile) << '\n';
        m_err.flush();
        return Condition;
    }

    if (!m_preview) {
        m_err << "zb32: il disegno delle lettere non è disponibile\n";
        m_err.flush();
        return Failed;
    }
    const PreviewResult result = m_preview(path, pdf, from, to);
    if (!result.error.isEmpty() && result.check.letters == 0 && result.check.problemCount == 0) {
        m_err << "zb32: " << result.error << '\n';
        m_err.flush();
        return Failed;
    }
    const PostelCheck& check = result.check;
    m_out << "file: " << QDir::toNativeSeparators(path) << '\n'
          << "lettere: " << check.letters << '\n'
          << "bollettini: " << check.slips << '\n'
          << "importo totale: " << check.total.toGroupedText(1) << '\n'
          << "problemi: " << check.problemCount << '\n';
    for (const PostelProblem& p : check.problems) {
        m_out << "  riga " << p.line << ": " << p.text << '\n';
    }
    if (check.problemCount > check.problems.size()) {
        m_out << "  ... e altri " << (check.problemCount - check.problems.size()) << " problemi\n";
    }
    int status = check.clean() ? Ok : Failed;
    if (!result.error.isEmpty()) {
        m_err << "zb32: PDF non scritto: " << result.error << '\n';
        status = Failed;
    } else if (result.pdfWritten()) {
        m_out << "PDF: " << QDir::toNativeSeparators(pdf) << " (lettere " << result.firstLetter << "-"
              << result.lastLetter << ", " << result.pages << " pagine)\n";
    } else if (!pdf.isEmpty()) {
        m_err << "zb32: il file ha " << check.letters << " lettere, nessuna "
              << (to == std::numeric_limits<qint64>::max() ? QStringLiteral("dalla %1 in poi").arg(from)
                                                           : QStringLiteral("fra la %1 e la %2").arg(from).arg(to))
              << ": PDF non scritto\n";
        if (status == Ok) {
            status = Condition;
        }
    }
    m_out.flush();
    m_err.flush();
    return status;
}

} // namespace zb32
