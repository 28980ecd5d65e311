// The import desk window: controls at their designed places, start-up defaults, job buttons.
#include "gui/desk/Form1.h"

#include "core/desk/DrivePath.h"
#include "core/desk/Formats.h"
#include "core/letters/PostelReader.h"
#include "gui/about/frmAbout.h"
#include "gui/desk/DeskButton.h"
#include "gui/desk/JobRunner.h"
#include "gui/desk/MessageBox.h"
#include "gui/desk/Twips.h"
#include "gui/desk/frmRegistro.h"
#include "render/PrintFilePreview.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <memory>

namespace zb32 {

namespace {

QFont deskFont(qreal points)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}

} // namespace

Form1::Form1(Clock clock, QWidget* parent)
    : QMainWindow(parent)
    , m_clock(clock ? clock : Clock([] { return QDateTime::currentDateTime(); })) // a copy: `clock` is read below
    , m_runner(new JobRunner(this))
    , m_openUrl([](const QUrl& url) { return QDesktopServices::openUrl(url); })
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Importazione ORB"));
    if (clock) {
        m_runner->setNow(m_clock());
    }
    buildControls();

    connect(m_runner, &JobRunner::counterChanged, this, [this](int box, const QString& text) {
        if (box == 0 || box == 4) {
            Scheda[box]->setText(text);
        }
    });
    connect(m_runner, &JobRunner::progressMaximumChanged, this, &Form1::onProgressMaximum);
    connect(m_runner, &JobRunner::progressChanged, this, &Form1::onProgress);
    connect(m_runner, &JobRunner::logCleared, List1, &QListWidget::clear);
    connect(m_runner, &JobRunner::logAppended, this, [this](const QStringList& lines) {
        List1->addItems(lines);
        List1->setCurrentRow(List1->count() - 1);
    });
    connect(m_runner, &JobRunner::messageRequested, this, [this](const QString& text) { MessageBox::ok(this, text); });
    m_runner->setAsker([this](const QString& text, const QStringList& choices, int defaultChoice) {
        return MessageBox::question(this, text, choices, defaultChoice);
    });
    connect(m_runner, &JobRunner::errorRequested, this,
        [this](const QString& text) { MessageBox::ok(this, text, {}, MessageBox::Icon::Critical); });
    connect(m_runner, &JobRunner::captionChanged, this, &QWidget::setWindowTitle);
    connect(m_runner, &JobRunner::finished, this, &Form1::onJobFinished);
    connect(m_runner, &JobRunner::workFinished, this, [this](int status) {
        setJobButtonsEnabled(true);
        Q_EMIT workFinished(status);
    });
    connect(m_runner, &JobRunner::checkReported, this,
        [this](const QString& text, bool) { MessageBox::report(this, text, QStringLiteral("Verifica file")); });

    Form_Load();
}

Form1::~Form1()
{
    if (m_previewThread) {
        m_previewThread->wait();
        delete m_previewThread;
    }
}

void Form1::buildControls()
{
    auto* client = new QWidget(this);
    client->setFixedSize(twips(8715), twips(6225));
    setCentralWidget(client);

    const QFont labelFont = deskFont(8.25);
    const QFont buttonFont = deskFont(9.75);

    struct BoxDef
    {
        int index;
        const char* caption;
        int top;
        int width;
        int maxLength;
    };
    const BoxDef boxes[] = {
        { 4, "Nome File", 240, 2175, 0 },
        { 0, "Data Affido", 720, 1455, 0 },
        { 1, "Scadenza", 1200, 1455, 0 },
        { 2, "Intervento", 1680, 615, kInterventoMaxLength },
        { 3, "Lotto", 2160, 975, 0 },
        { 5, "Mandato", 2640, 2295, 0 },
        { 6, "Sit.Aff.", 3120, 495, kSitAffMaxLength },
    };
    for (const BoxDef& b : boxes) {
        auto* label = new QLabel(QString::fromUtf8(b.caption), client);
        label->setObjectName(QStringLiteral("Label1_%1").arg(b.index));
        label->setGeometry(twipsRect(480, b.top, 1095, 255));
        label->setFont(labelFont);
        Label1[b.index] = label;
        auto* edit = new QLineEdit(client);
        edit->setObjectName(QStringLiteral("Text1_%1").arg(b.index));
        edit->setGeometry(twipsRect(1680, b.top, b.width, 285));
        edit->setFont(labelFont);
        if (b.maxLength > 0) {
            edit->setMaxLength(b.maxLength);
        }
        label->setBuddy(edit);
        Text1[b.index] = edit;
    }
    Text1[4]->setText(QStringLiteral("esempio.txt"));
    Text1[2]->setText(QStringLiteral("mo"));
    Text1[3]->setText(QStringLiteral("0"));
    Text1[5]->setText(QStringLiteral("460,462,463,464,465,466,467"));
    Text1[6]->setText(QStringLiteral("1"));
    for (QLineEdit* edit : Text1) {
        edit->setCursorPosition(0); // show the start of a long text, as the boxes did
    }

    struct CounterDef
    {
        int labelIndex;
        const char* caption;
        int labelLeft;
        int box;
        int boxLeft;
    };
    for (const CounterDef& c : { CounterDef { 7, "clienti", 0, 4, 600 }, CounterDef { 8, "fatture", 2160, 0, 2760 } }) {
        auto* label = new QLabel(QString::fromUtf8(c.caption), client);
        label->setObjectName(QStringLiteral("Label1_%1").arg(c.labelIndex));
        label->setGeometry(twipsRect(c.labelLeft, 3840, 1095, 255));
        label->setFont(labelFont);
        Label1[c.labelIndex] = label;
        auto* edit = new QLineEdit(client);
        edit->setObjectName(QStringLiteral("Scheda_%1").arg(c.box));
        edit->setGeometry(twipsRect(c.boxLeft, 3840, 1455, 285));
        edit->setFont(labelFont);
        label->setBuddy(edit);
        Scheda[c.box] = edit;
    }

    File1 = new QListWidget(client);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(twipsRect(4080, 180, 3075, 3015));
    connect(File1, &QListWidget::itemDoubleClicked, this, &Form1::File1_DblClick);

    ProgressBar1 = new QProgressBar(client);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(twipsRect(0, 3480, 5355, 315));
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);

    // The job buttons at their designed places; a job of the catalog without one is in the
    // "Lavori" menu.
    struct ButtonDef
    {
        QPushButton** button;
        const char* name;
        JobId job;
        int left;
        int top;
        void (Form1::*handler)();
    };
    const ButtonDef buttons[] = {
        { &Command1, "Command1", JobId::Orb, 5640, 3480, &Form1::Command1_Click },
        { &Command2, "Command2", JobId::Incassi, 7260, 3480, &Form1::Command2_Click },
        { &Command3, "Command3", JobId::ViDiru, 7260, 1860, &Form1::Command3_Click },
        { &Command4, "Command4", JobId::Spese, 7260, 2520, &Form1::Command4_Click },
        { &Command5, "Command5", JobId::Postel, 7260, 180, &Form1::Command5_Click },
    };
    for (const ButtonDef& b : buttons) {
        auto* button = new DeskButton(jobEntry(b.job).caption, client);
        button->setObjectName(QString::fromUtf8(b.name));
        button->setGeometry(twipsRect(b.left, b.top, 1455, 615));
        button->setFont(buttonFont);
        connect(button, &QPushButton::clicked, this, b.handler);
        *b.button = button;
        m_jobControls << button;
    }
    QMenu* more = nullptr;
    for (const JobEntry& job : jobCatalog()) {
        if (std::any_of(std::begin(buttons), std::end(buttons), [&](const ButtonDef& b) { return b.job == job.id; })) {
            continue;
        }
        if (!more) {
            more = new QMenu(QStringLiteral("Lavori"), this);
        }
        QAction* action = more->addAction(job.caption);
        connect(action, &QAction::triggered, this, [this, id = job.id] { startJob(id); });
        m_jobControls << action;
    }

    cc = new QCheckBox(QStringLiteral("c/c"), client);
    cc->setObjectName(QStringLiteral("cc"));
    cc->setGeometry(twipsRect(7260, 840, 1395, 255));
    cc->setChecked(true);
    chkTest = new QCheckBox(QStringLiteral("test"), client);
    chkTest->setObjectName(QStringLiteral("chkTest"));
    chkTest->setGeometry(twipsRect(7260, 1260, 1335, 195));
    chkRevocaCop = new QCheckBox(QStringLiteral("Revoca Cop."), client);
    chkRevocaCop->setObjectName(QStringLiteral("chkRevocaCop"));
    chkRevocaCop->setGeometry(twipsRect(7200, 3240, 1455, 195));
    chkRevocaCop->setToolTip(QStringLiteral("Revoca Pratica agli esattori in caso di copertura con incassi"));

    List1 = new QListWidget(client);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setGeometry(twipsRect(60, 4200, 8655, 1815));

    f = menuBar()->addAction(QStringLiteral("File"));
    f->setObjectName(QStringLiteral("f"));
    connect(f, &QAction::triggered, this, &Form1::f_Click);
    if (more) {
        menuBar()->addMenu(more);
    }

    // The register's menu: what looks back at the work done. An item is a row here.
    struct MenuItemDef
    {
        QAction** action;
        const char* name;
        const char* caption;
        void (Form1::*handler)();
    };
    const MenuItemDef registro[] = {
        { &mnuAnteprima, "mnuAnteprima", "Anteprima lettere...", &Form1::mnuAnteprima_Click },
        { &mnuImportazioni, "mnuImportazioni", "Importazioni...", &Form1::mnuImportazioni_Click },
        { &mnuVerifica, "mnuVerifica", "Verifica file", &Form1::mnuVerifica_Click },
    };
    mnuRegistro = menuBar()->addMenu(QStringLiteral("Registro"));
    mnuRegistro->setObjectName(QStringLiteral("mnuRegistro"));
    for (const MenuItemDef& item : registro) {
        QAction* action = mnuRegistro->addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromUtf8(item.name));
        connect(action, &QAction::triggered, this, item.handler);
        *item.action = action;
    }
    m_jobControls << mnuVerifica; // a check runs on the job thread like a job
}

void Form1::Form_Load()
{
    const QDate today = m_clock().date();
    Text1[0]->setText(shortDate(today));
    Text1[1]->setText(shortDate(BatchData::oneMonthLater(today)));
    Text1[0]->setCursorPosition(0);
    Text1[1]->setCursorPosition(0);
    refreshFileList();
}

void Form1::refreshFileList()
{
    File1->clear();
    const QString folder = resolveDrivePath(kFileListFolder);
    QDir dir(folder);
    if (!dir.exists()) {
        Addlist(QStringLiteral("Cartella di importazione mancante: %1 (%2)").arg(kFileListFolder, folder));
        return;
    }
    dir.setNameFilters(
        { QStringLiteral("*.txt"), QStringLiteral("*.xls"), QStringLiteral("*.xlsx"), QStringLiteral("*.ods") });
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    File1->addItems(dir.entryList());
}

BatchData Form1::batchData() const
{
    BatchData b;
    for (int i = 0; i < 7; ++i) {
        b.Text1[i] = Text1[i]->text();
    }
    b.cc = cc->isChecked();
    b.chkTest = chkTest->isChecked();
    b.chkRevocaCop = chkRevocaCop->isChecked();
    b.Scheda4 = Scheda[4]->text();
    b.Scheda0 = Scheda[0]->text();
    return b;
}

void Form1::Addlist(const QString& line)
{
    List1->addItem(line);
    List1->setCurrentRow(List1->count() - 1);
}

void Form1::Command1_Click()
{
    startJob(JobId::Orb);
}

void Form1::Command2_Click()
{
    startJob(JobId::Incassi);
}

void Form1::Command3_Click()
{
    startJob(JobId::ViDiru);
}

void Form1::Command4_Click()
{
    startJob(JobId::Spese);
}

void Form1::Command5_Click()
{
    startJob(JobId::Postel);
}

void Form1::f_Click()
{
    frmAbout::showAbout();
}

// The letters of the last print file drawn into a PDF of the cache folder and shown by the
// desktop's viewer. The file is read to its end on a thread of its own, so a large batch keeps
// the desk responsive; the PDF holds the first kPreviewLetters letters.
void Form1::mnuAnteprima_Click()
{
    if (m_previewThread) {
        return;
    }
    const QString printFile = lastPrintFile();
    if (printFile.isEmpty()) {
        MessageBox::ok(this,
            QStringLiteral("Nessun file Postel (LO*.ASC) nella cartella %1: le lettere non sono ancora state create.")
                .arg(QDir::toNativeSeparators(resolveDrivePath(kPostelFolder))),
            {}, MessageBox::Icon::Warning);
        Q_EMIT previewFinished();
        return;
    }
    const QString folder
        = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/anteprima");
    if (!QDir().mkpath(folder)) {
        MessageBox::ok(this,
            QStringLiteral("Anteprima non creata: la cartella %1 non si può creare.")
                .arg(QDir::toNativeSeparators(folder)),
            {}, MessageBox::Icon::Critical);
        Q_EMIT previewFinished();
        return;
    }
    const QString pdf = folder + QLatin1Char('/') + QFileInfo(printFile).completeBaseName() + QStringLiteral(".pdf");
    Addlist(QStringLiteral("Anteprima delle lettere del file %1...").arg(QDir::toNativeSeparators(printFile)));
    auto result = std::make_shared<PreviewResult>();
    m_previewThread
        = QThread::create([printFile, pdf, result] { *result = previewPrintFile(printFile, pdf, 1, kPreviewLetters); });
    mnuAnteprima->setEnabled(false);
    setCursor(Qt::BusyCursor);
    connect(m_previewThread, &QThread::finished, this, [this, printFile, pdf, result] {
        m_previewThread->deleteLater();
        m_previewThread = nullptr;
        mnuAnteprima->setEnabled(true);
        unsetCursor();
        onPreviewDone(printFile, pdf, *result);
        Q_EMIT previewFinished();
    });
    m_previewThread->start();
}

// The file of the "Nome File" box read by the job the operator picks, as a run would read it,
// writing nothing; the report lists every bad line.
void Form1::mnuVerifica_Click()
{
    const QString file = Text1[4]->text();
    QList<JobId> jobs;
    QStringList choices;
    int guess = 0;
    const bool workbook = QFileInfo(file).suffix().toLower().startsWith(QLatin1String("xl"))
        || QFileInfo(file).suffix().compare(QLatin1String("ods"), Qt::CaseInsensitive) == 0;
    for (const JobEntry& job : jobCatalog()) {
        if (job.checks) {
            if (workbook && job.id == JobId::Spese) {
                guess = int(jobs.size());
            }
            jobs << job.id;
            choices << job.caption.simplified();
        }
    }
    choices << QStringLiteral("Annulla");
    const int picked = MessageBox::question(this,
        QStringLiteral("Verifica del file %1: con quale importazione va letto? Nel database non sarà scritto nulla.")
            .arg(file),
        choices, guess, QStringLiteral("Verifica file"));
    if (picked < 0 || picked >= jobs.size()) {
        return;
    }
    if (m_runner->start(jobs[picked], batchData(), Rerun::Refuse, true)) {
        setJobButtonsEnabled(false);
    }
}

void Form1::onPreviewDone(const QString& printFile, const QString& pdf, const PreviewResult& result)
{
    const QString shown = QDir::toNativeSeparators(printFile);
    if (!result.error.isEmpty()) {
        MessageBox::ok(
            this, QStringLiteral("Anteprima non creata: %1").arg(result.error), {}, MessageBox::Icon::Critical);
        return;
    }
    const PostelCheck& check = result.check;
    Addlist(QStringLiteral("%1: %2 lettere, %3 bollettini, importo totale %4, %5 problemi")
                .arg(shown)
                .arg(check.letters)
                .arg(check.slips)
                .arg(check.total.toGroupedText(1))
                .arg(check.problemCount));
    constexpr qsizetype kListed = 50;
    for (qsizetype i = 0; i < qMin(kListed, check.problems.size()); ++i) {
        Addlist(QStringLiteral("riga %1: %2").arg(check.problems[i].line).arg(check.problems[i].text));
    }
    if (check.problemCount > kListed) {
        Addlist(QStringLiteral("... e altri %1 problemi (zb32 anteprima li elenca tutti)")
                    .arg(check.problemCount - kListed));
    }
    if (!result.pdfWritten()) {
        MessageBox::ok(this, QStringLiteral("Nel file %1 non ci sono lettere da mostrare.").arg(shown), {},
            MessageBox::Icon::Warning);
        return;
    }
    if (check.letters > result.lastLetter) {
        Addlist(QStringLiteral("Nell'anteprima le prime %1 lettere di %2").arg(result.lastLetter).arg(check.letters));
    }
    if (!m_openUrl(QUrl::fromLocalFile(pdf))) {
        MessageBox::ok(this,
            QStringLiteral("Il PDF %1 non si apre: manca un programma per i PDF?").arg(QDir::toNativeSeparators(pdf)),
            {}, MessageBox::Icon::Critical);
        return;
    }
    if (!check.clean()) {
        MessageBox::ok(this,
            QStringLiteral("Il file %1 ha %2 problemi: sono nell'elenco, con la riga di ciascuno.")
                .arg(shown)
                .arg(check.problemCount),
            {}, MessageBox::Icon::Warning);
    }
}

void Form1::File1_DblClick(QListWidgetItem* item)
{
    if (item) {
        Text1[4]->setText(item->text());
    }
}

void Form1::startJob(JobId id)
{
    if (m_runner->start(id, batchData())) {
        setJobButtonsEnabled(false);
    }
}

bool Form1::resumeRun(const QString& job, const QStringList& boxes)
{
    const JobEntry* entry = findJob(job);
    if (!entry || boxes.size() != int(Text1.size()) || m_runner->isRunning()) {
        return false;
    }
    // The boxes show what the run goes on with.
    for (int i = 0; i < int(Text1.size()); ++i) {
        Text1[i]->setText(boxes[i]);
        Text1[i]->setCursorPosition(0);
    }
    if (!m_runner->start(entry->id, batchData(), Rerun::Resume)) {
        return false;
    }
    setJobButtonsEnabled(false);
    return true;
}

bool Form1::startWork(std::function<JobResult(JobContext&)> work)
{
    if (!m_runner->startWork(std::move(work))) {
        return false;
    }
    setJobButtonsEnabled(false);
    return true;
}

void Form1::mnuImportazioni_Click()
{
    if (!m_registro) {
        m_registro = new frmRegistro(this);
    }
    m_registro->show();
    m_registro->raise();
    m_registro->activateWindow();
}

void Form1::setJobButtonsEnabled(bool enabled)
{
    for (QObject* control : m_jobControls) {
        control->setProperty("enabled", enabled);
    }
}

void Form1::onProgressMaximum(qint64 maximum)
{
    m_progressScale = 1;
    while (maximum / m_progressScale > std::numeric_limits<int>::max()) {
        m_progressScale *= 2;
    }
    ProgressBar1->setMaximum(static_cast<int>(maximum / m_progressScale));
}

void Form1::onProgress(qint64 value)
{
    ProgressBar1->setValue(static_cast<int>(qMin<qint64>(value / m_progressScale, ProgressBar1->maximum())));
}

void Form1::onJobFinished(JobId id, int status)
{
    setJobButtonsEnabled(true);
    refreshFileList();
    Q_EMIT jobFinished(id, status);
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (m_runner->isRunning()) {
        MessageBox::ok(this, QStringLiteral("Attendere la fine dell'importazione in corso prima di chiudere."));
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace zb32
