// The test window.
#include "gui/about/frmProva.h"

#include "core/desk/CaseDatabase.h"
#include "core/desk/ConnectionString.h"
#include "core/desk/IniFile.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace zb32 {

frmProva::frmProva(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmProva"));
    setWindowTitle(QStringLiteral("Prova configurazione"));
    resize(520, 160);

    const auto makeLabel = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setWordWrap(true);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    lblIni = makeLabel("lblIni");
    lblConnString = makeLabel("lblConnString");
    lblStato = makeLabel("lblStato");
    cmdConnetti = new QPushButton(QStringLiteral("Prova connessione"), this);
    cmdConnetti->setObjectName(QStringLiteral("cmdConnetti"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("File di configurazione:"), lblIni);
    form->addRow(QStringLiteral("connstring:"), lblConnString);
    form->addRow(QStringLiteral("Connessione:"), lblStato);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(cmdConnetti, 0, Qt::AlignRight);

    connect(cmdConnetti, &QPushButton::clicked, this, &frmProva::cmdConnetti_Click);
    leggiConfigurazione();
    lblStato->setText(QStringLiteral("non ancora provata"));
}

frmProva* frmProva::showTest()
{
    auto* w = new frmProva();
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    return w;
}

QString frmProva::leggiConfigurazione()
{
    const QString path = CaseDatabase::iniPath();
    const bool exists = QFileInfo::exists(path);
    lblIni->setText(exists ? path : QStringLiteral("%1 (mancante)").arg(path));
    const QString text
        = exists ? LeggiIni(path, QStringLiteral("datiserver"), QStringLiteral("connstring")) : QString();
    if (text.isEmpty()) {
        lblConnString->setText(QStringLiteral("(mancante)"));
    } else {
        lblConnString->setText(ConnectionString::parse(text).masked());
    }
    return text;
}

bool frmProva::cmdConnetti_Click()
{
    const QString text = leggiConfigurazione();
    if (text.isEmpty()) {
        lblStato->setText(QStringLiteral("non provata: manca la chiave connstring nella sezione datiserver"));
        return false;
    }
    CaseDatabase test;
    QString error;
    // Never create a database here: a missing file is exactly what this window should reveal.
    const bool opened = test.open(text, &error, false);
    if (opened) {
        lblStato->setText(QStringLiteral("aperta correttamente"));
    } else {
        lblStato->setText(QStringLiteral("non riuscita: %1").arg(error));
    }
    test.close();
    return opened;
}

} // namespace zb32
