// The import desk: the program's start-up window and its only working window.
#pragma once

#include "core/JobCatalog.h"
#include "core/jobs/BatchData.h"

#include <QDateTime>
#include <QMainWindow>
#include <array>
#include <functional>

class QAction;
class QCheckBox;
class QMenu;
class QThread;
class QUrl;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QProgressBar;
class QPushButton;

namespace zb32 {

class JobRunner;
class frmRegistro;
struct PreviewResult;

class Form1 : public QMainWindow
{
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;
    using UrlOpener = std::function<bool(const QUrl&)>;

    // How many letters the desk's preview draws: a sample to look at, however large the batch.
    static constexpr qint64 kPreviewLetters = 200;

    // `clock` fixes "now" for tests; by default the system clock.
    explicit Form1(Clock clock = {}, QWidget* parent = nullptr);
    ~Form1() override;

    // The batch data as the boxes read now.
    BatchData batchData() const;
    void Addlist(const QString& line);
    JobRunner* runner() const { return m_runner; }
    // Re-reads the import folder into the file list.
    void refreshFileList();
    // Starts the job of a run of the register on its file, with the boxes it had, going on after
    // its last saved line (the register window's "Riprendi"); false when a job runs already.
    bool resumeRun(const QString& job, const QStringList& boxes);
    // Runs desk work other than a job (taking a run back) on the job thread, with the job
    // buttons locked meanwhile; false when a job runs already.
    bool startWork(std::function<JobResult(JobContext&)> work);
    // The register window, once opened.
    frmRegistro* registro() const { return m_registro; }
    // Tests: what opens the preview's PDF instead of the desktop's viewer.
    void setUrlOpener(UrlOpener opener) { m_openUrl = std::move(opener); }

    // Controls, under the names the jobs know them by.
    std::array<QLabel*, 9> Label1 {};
    std::array<QLineEdit*, 7> Text1 {};
    std::array<QLineEdit*, 5> Scheda {}; // indexes 0 and 4
    QListWidget* File1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QCheckBox* cc = nullptr;
    QCheckBox* chkTest = nullptr;
    QCheckBox* chkRevocaCop = nullptr;
    QListWidget* List1 = nullptr;
    QAction* f = nullptr;
    QMenu* mnuRegistro = nullptr;
    QAction* mnuAnteprima = nullptr;
    QAction* mnuImportazioni = nullptr;
    QAction* mnuVerifica = nullptr;

Q_SIGNALS:
    // A job ended (tests wait for it); status is a JobStatus.
    void jobFinished(zb32::JobId id, int status);
    // The letters' preview ended: its PDF opened, or a message shown.
    void previewFinished();
    // Work started with startWork ended; status is a JobStatus.
    void workFinished(int status);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void f_Click();
    void mnuAnteprima_Click();
    void mnuImportazioni_Click();
    void mnuVerifica_Click();
    void File1_DblClick(QListWidgetItem* item);

    void buildControls();
    void startJob(JobId id);
    void setJobButtonsEnabled(bool enabled);
    void onProgressMaximum(qint64 maximum);
    void onProgress(qint64 value);
    void onJobFinished(JobId id, int status);
    void onPreviewDone(const QString& printFile, const QString& pdf, const PreviewResult& result);

    Clock m_clock;
    JobRunner* m_runner = nullptr;
    QList<QObject*> m_jobControls; // buttons and menu entries of the jobs, locked while one runs
    qint64 m_progressScale = 1; // the bar counts in ints; large files are scaled down
    UrlOpener m_openUrl;
    QThread* m_previewThread = nullptr;
    frmRegistro* m_registro = nullptr;
};

} // namespace zb32
