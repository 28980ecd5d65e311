// The register window ("Registro" → "Importazioni..."): the runs, newest first, filtered by job
// and date, with "Riprendi", "Annulla importazione" and "Esporta CSV". It reads through the
// desk's job thread and its one connection.
#pragma once

#include <QDialog>
#include <functional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace zb32 {

class Form1;
class RegisterModel;
struct RegisterRow;

class frmRegistro : public QDialog
{
    Q_OBJECT
public:
    explicit frmRegistro(Form1* desk);

    RegisterModel* model() const { return m_model; }
    // The run of the selected row, or nullptr.
    const RegisterRow* currentRun() const;
    // Tests: what picks the CSV file instead of the file dialog (an empty name: cancelled).
    using FileChooser = std::function<QString(QWidget* parent)>;
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    QComboBox* cboLavoro = nullptr;
    QLineEdit* txtDal = nullptr;
    QLineEdit* txtAl = nullptr;
    QPushButton* cmdCerca = nullptr;
    QTableView* grdImportazioni = nullptr;
    QPushButton* cmdRiprendi = nullptr;
    QPushButton* cmdAnnulla = nullptr;
    QPushButton* cmdEsporta = nullptr;
    QPushButton* cmdChiudi = nullptr;
    QLabel* lblStato = nullptr;

Q_SIGNALS:
    // The CSV export ended (written or refused; its message shown).
    void exportFinished();

private:
    void cmdCerca_Click();
    void cmdRiprendi_Click();
    void cmdAnnulla_Click();
    void cmdEsporta_Click();
    void updateButtons();
    void onPageLoaded(const QString& error);

    Form1* m_desk;
    RegisterModel* m_model = nullptr;
    FileChooser m_chooseFile;
};

} // namespace zb32
