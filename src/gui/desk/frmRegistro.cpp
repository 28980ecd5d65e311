// The register window.
#include "gui/desk/frmRegistro.h"

#include "core/JobCatalog.h"
#include "core/desk/FieldCodec.h"
#include "core/jobs/ImportRegister.h"
#include "core/jobs/RunUndo.h"
#include "gui/desk/Form1.h"
#include "gui/desk/JobRunner.h"
#include "gui/desk/MessageBox.h"
#include "gui/desk/RegisterModel.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>
#include <memory>

namespace zb32 {

namespace {

bool isLetterRun(const RegisterRow& r)
{
    return r.letterRun;
}

QString stateOf(ImportRegister::State s)
{
    return ImportRegister::stateText(s);
}

} // namespace

frmRegistro::frmRegistro(Form1* desk)
    : QDialog(desk, Qt::Window)
    , m_desk(desk)
    , m_model(new RegisterModel(desk->runner(), this))
    , m_chooseFile([](QWidget* parent) {
        return QFileDialog::getSaveFileName(parent, QStringLiteral("Esporta CSV"),
            QDir::home().filePath(QStringLiteral("importazioni.csv")), QStringLiteral("File CSV (*.csv)"));
    })
{
    setObjectName(QStringLiteral("frmRegistro"));
    setWindowTitle(QStringLiteral("Registro delle importazioni"));
    resize(900, 480);

    auto* filters = new QHBoxLayout;
    cboLavoro = new QComboBox(this);
    cboLavoro->setObjectName(QStringLiteral("cboLavoro"));
    cboLavoro->addItem(QStringLiteral("tutti"), QString());
    for (const JobEntry& job : jobCatalog()) {
        cboLavoro->addItem(job.name, job.name);
    }
    txtDal = new QLineEdit(this);
    txtDal->setObjectName(QStringLiteral("txtDal"));
    txtDal->setPlaceholderText(QStringLiteral("gg/mm/aaaa"));
    txtAl = new QLineEdit(this);
    txtAl->setObjectName(QStringLiteral("txtAl"));
    txtAl->setPlaceholderText(QStringLiteral("gg/mm/aaaa"));
    cmdCerca = new QPushButton(QStringLiteral("Cerca"), this);
    cmdCerca->setObjectName(QStringLiteral("cmdCerca"));
    const std::pair<const char*, QWidget*> labelled[]
        = { { "&Lavoro", cboLavoro }, { "&Dal", txtDal }, { "&Al", txtAl } };
    for (const auto& [caption, widget] : labelled) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(widget);
        filters->addWidget(label);
        filters->addWidget(widget);
    }
    filters->addWidget(cmdCerca);
    filters->addStretch();

    grdImportazioni = new QTableView(this);
    grdImportazioni->setObjectName(QStringLiteral("grdImportazioni"));
    grdImportazioni->setModel(m_model);
    grdImportazioni->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdImportazioni->setSelectionMode(QAbstractItemView::SingleSelection);
    grdImportazioni->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdImportazioni->verticalHeader()->hide();
    grdImportazioni->horizontalHeader()->setSectionResizeMode(RegisterModel::File, QHeaderView::Stretch);
    grdImportazioni->setAccessibleName(QStringLiteral("Importazioni"));

    auto* actions = new QHBoxLayout;
    lblStato = new QLabel(this);
    lblStato->setObjectName(QStringLiteral("lblStato"));
    actions->addWidget(lblStato, 1);
    const std::pair<QPushButton**, const char*> buttons[] = { { &cmdRiprendi, "Riprendi" },
        { &cmdAnnulla, "Annulla importazione" }, { &cmdEsporta, "Esporta CSV" }, { &cmdChiudi, "Chiudi" } };
    const char* const names[] = { "cmdRiprendi", "cmdAnnulla", "cmdEsporta", "cmdChiudi" };
    for (int i = 0; i < 4; ++i) {
        *buttons[i].first = new QPushButton(QString::fromUtf8(buttons[i].second), this);
        (*buttons[i].first)->setObjectName(QString::fromLatin1(names[i]));
        (*buttons[i].first)->setAutoDefault(false);
        actions->addWidget(*buttons[i].first);
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(grdImportazioni, 1);
    layout->addLayout(actions);

    connect(cmdCerca, &QPushButton::clicked, this, &frmRegistro::cmdCerca_Click);
    connect(txtDal, &QLineEdit::returnPressed, this, &frmRegistro::cmdCerca_Click);
    connect(txtAl, &QLineEdit::returnPressed, this, &frmRegistro::cmdCerca_Click);
    connect(cboLavoro, &QComboBox::activated, this, &frmRegistro::cmdCerca_Click);
    connect(cmdRiprendi, &QPushButton::clicked, this, &frmRegistro::cmdRiprendi_Click);
    connect(cmdAnnulla, &QPushButton::clicked, this, &frmRegistro::cmdAnnulla_Click);
    connect(cmdEsporta, &QPushButton::clicked, this, &frmRegistro::cmdEsporta_Click);
    connect(cmdChiudi, &QPushButton::clicked, this, &QWidget::close);
    connect(m_model, &RegisterModel::pageLoaded, this, &frmRegistro::onPageLoaded);
    connect(m_model, &QAbstractItemModel::modelReset, this, &frmRegistro::updateButtons);
    connect(
        grdImportazioni->selectionModel(), &QItemSelectionModel::selectionChanged, this, &frmRegistro::updateButtons);
    // What a job or an undo wrote shows at once.
    JobRunner* runner = desk->runner();
    connect(runner, &JobRunner::started, this, &frmRegistro::updateButtons);
    connect(runner, &JobRunner::finished, m_model, &RegisterModel::reload);
    connect(runner, &JobRunner::workFinished, m_model, &RegisterModel::reload);

    m_model->reload();
    updateButtons();
}

const RegisterRow* frmRegistro::currentRun() const
{
    // The highlighted row, not the current index: a screen reader selects a row without moving
    // the current one, and the buttons must act on the run the clerk sees selected.
    const QModelIndexList rows = grdImportazioni->selectionModel()->selectedRows();
    return rows.isEmpty() ? nullptr : m_model->run(rows.first().row());
}

void frmRegistro::onPageLoaded(const QString& error)
{
    if (!error.isEmpty()) {
        lblStato->setText(QStringLiteral("Registro non letto: %1").arg(error));
        return;
    }
    const int shown = m_model->rowCount();
    lblStato->setText(shown == 0        ? QStringLiteral("Nessuna importazione")
            : m_model->canFetchMore({}) ? QStringLiteral("%1 importazioni (altre scorrendo l'elenco)").arg(shown)
                                        : QStringLiteral("%1 importazioni").arg(shown));
    if (!grdImportazioni->currentIndex().isValid() && shown > 0) {
        grdImportazioni->setCurrentIndex(m_model->index(0, 0));
    }
    updateButtons();
}

void frmRegistro::updateButtons()
{
    const RegisterRow* r = currentRun();
    const bool idle = !m_desk->runner()->isRunning();
    const bool stopped = r
        && (r->state == stateOf(ImportRegister::State::Stopped)
            || r->state == stateOf(ImportRegister::State::ConnectionLost));
    cmdRiprendi->setEnabled(idle && stopped && !isLetterRun(*r) && r->lastLineSaved > 0);
    cmdAnnulla->setEnabled(idle && r && !isLetterRun(*r) && r->state != stateOf(ImportRegister::State::Undone)
        && r->state != stateOf(ImportRegister::State::Running));
}

void frmRegistro::cmdCerca_Click()
{
    RegisterFilter filter;
    filter.job = cboLavoro->currentData().toString();
    for (const auto& [box, day] : { std::pair { txtDal, &filter.from }, std::pair { txtAl, &filter.to } }) {
        const QString text = box->text().trimmed();
        *day = text.isEmpty() ? QDate() : FieldCodec::parseDate(text);
        if (!text.isEmpty() && !day->isValid()) {
            MessageBox::ok(this, QStringLiteral("La data \"%1\" non è valida: scriverla come gg/mm/aaaa.").arg(text),
                {}, MessageBox::Icon::Warning);
            box->setFocus();
            return;
        }
    }
    m_model->setFilter(filter);
}

void frmRegistro::cmdRiprendi_Click()
{
    const RegisterRow* r = currentRun();
    if (!r) {
        return;
    }
    // The job goes on after the last line the run saved, with the boxes the run had.
    if (m_desk->resumeRun(r->job, r->boxes)) {
        updateButtons();
    }
}

void frmRegistro::cmdAnnulla_Click()
{
    const RegisterRow* r = currentRun();
    if (!r) {
        return;
    }
    QString text
        = QStringLiteral("Annullare l'importazione %1 del file %2 (%3, %4)?\nLe pratiche, le fatture e i "
                         "pagamenti che ha creato saranno cancellati, i campi che ha cambiato torneranno come "
                         "prima.")
              .arg(r->id)
              .arg(r->file, r->job, ImportRegister::fromStamp(r->start).toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    if (r->mode == ImportRegister::modeText(ImportRegister::Mode::Resume)) {
        text += QStringLiteral(
            "\nÈ la ripresa di un'importazione interrotta: si annullano anche le corse che continua.");
    }
    if (MessageBox::question(this, text, { QStringLiteral("Annulla importazione"), QStringLiteral("No") }, 1) != 0) {
        return;
    }
    const qint64 run = r->id;
    if (m_desk->startWork([run](JobContext& ctx) { return annullaImportazione(ctx, run); })) {
        updateButtons();
    }
}

void frmRegistro::cmdEsporta_Click()
{
    const QString path = m_chooseFile(this);
    if (path.isEmpty()) {
        return;
    }
    const RegisterFilter filter = m_model->filter();
    auto written = std::make_shared<qint64>(0);
    cmdEsporta->setEnabled(false);
    m_desk->runner()->read(
        this,
        [path, filter, written](CaseDatabase& db, QString* error) {
            QSaveFile file(path);
            if (!file.open(QIODevice::WriteOnly)) {
                *error = file.errorString();
                return;
            }
            if (RegisterQuery::exportCsv(db, filter, &file, written.get(), error) && !file.commit()) {
                *error = file.errorString();
            }
        },
        [this, path, written](const QString& error) {
            cmdEsporta->setEnabled(true);
            if (error.isEmpty()) {
                MessageBox::ok(this,
                    QStringLiteral("%1 importazioni esportate nel file %2.")
                        .arg(*written)
                        .arg(QDir::toNativeSeparators(path)));
            } else {
                MessageBox::ok(this,
                    QStringLiteral("Il file %1 non è stato scritto: %2").arg(QDir::toNativeSeparators(path), error), {},
                    MessageBox::Icon::Critical);
            }
            Q_EMIT exportFinished();
        });
}

} // namespace zb32
