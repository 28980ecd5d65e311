// The About box.
#include "gui/about/frmAbout.h"

#include "gui/about/AboutPictures.h"
#include "gui/about/Barzellette.h"
#include "gui/about/PictureBox.h"
#include "gui/about/SysInfo.h"
#include "gui/desk/MessageBox.h"
#include "gui/desk/Twips.h"
#include "gui/about/frmFinestre.h"
#include "gui/about/frmProva.h"
#include "gui/game/frmGravix.h"

#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <limits>

namespace zb32 {

namespace {

qint16 s_clickIcona = 0;
QPointer<frmAbout> s_open;

const QString& programTitle()
{
    static const QString title = QStringLiteral("zb32");
    return title;
}

// The modifier bit a key stands for; 0 for any other key.
qint16 modifierBit(int key)
{
    switch (key) {
    case Qt::Key_Shift:
        return 1;
    case Qt::Key_Control:
        return 2;
    case Qt::Key_Alt:
        return 4;
    default:
        return 0;
    }
}

qint16 shiftState(Qt::KeyboardModifiers m)
{
    qint16 s = 0;
    if (m.testFlag(Qt::ShiftModifier)) {
        s |= 1;
    }
    if (m.testFlag(Qt::ControlModifier)) {
        s |= 2;
    }
    if (m.testFlag(Qt::AltModifier)) {
        s |= 4;
    }
    return s;
}

QPushButton* button(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QLatin1String(name));
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setWordWrap(true);
    return l;
}

QFrame* line(QWidget* parent, const char* name, const QRect& geometry, const QColor& color)
{
    auto* f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setGeometry(geometry);
    f->setAutoFillBackground(true);
    QPalette p = f->palette();
    p.setColor(QPalette::Window, color);
    f->setPalette(p);
    return f;
}

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("Informazioni su zb32"));
    setModal(false);
    // The design's small dialog font: the button captions fit their twip-sized buttons.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    buildControls();
    // The gesture needs the Shift/Ctrl/Alt state whichever control has the focus.
    qApp->installEventFilter(this);
    Form_Load();
}

frmAbout::~frmAbout()
{
    qApp->removeEventFilter(this);
}

void frmAbout::buildControls()
{
    picIcon = new PictureBox(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(twipsRect(240, 240, 432, 432));
    picIcon->setAutoFillBackground(true);
    QPalette grey = picIcon->palette();
    grey.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    picIcon->setPalette(grey);
    connect(picIcon, &PictureBox::clicked, this, &frmAbout::picIcon_Click);

    lblTitle = label(this, "lblTitle", twipsRect(1050, 240, 3885, 480));
    QFont big = lblTitle->font();
    big.setPointSize(14);
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = label(this, "lblVersion", twipsRect(1050, 780, 3885, 225));
    lblDescription = label(this, "lblDescription", twipsRect(1050, 1125, 3885, 900));

    // The etched separator: a grey line with a white one under it.
    Line1[0] = line(this, "Line1_0", twipsRect(90, 2115, 5520, 15), Qt::white);
    Line1[1] = line(this, "Line1_1", twipsRect(90, 2100, 5520, 15), QColor(0x80, 0x80, 0x80));

    lblDisclaimer = label(this, "lblDisclaimer", twipsRect(255, 2205, 3870, 1785));
    lblDisclaimer->setText(QStringLiteral("Avviso: ..."));

    cmdOK = button(this, "cmdOK", QStringLiteral("OK"), twipsRect(4320, 2220, 1140, 345));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    cmdSysInfo = button(this, "cmdSysInfo", QStringLiteral("&System Info..."), twipsRect(4320, 2640, 1125, 345));
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
    Command1 = button(this, "Command1", QStringLiteral("prossimo"), twipsRect(4320, 3660, 1095, 315));
    connect(Command1, &QPushButton::clicked, this, &frmAbout::Command1_Click);

    // Outside the visible area: two pictures to the right, two below, the maintenance buttons
    // in the corner between them.
    const std::array<QPoint, kAboutPictures> places { QPoint(392, 8), QPoint(392, 216), QPoint(8, 302),
        QPoint(126, 302) };
    for (int i = 0; i < kAboutPictures; ++i) {
        auto* p = new PictureBox(this);
        p->setObjectName(QStringLiteral("Picture1_%1").arg(i));
        p->setGeometry(QRect(places[static_cast<size_t>(i)], aboutPictureSize(i)));
        p->setPixmap(QPixmap::fromImage(aboutPicture(i)));
        connect(p, &PictureBox::clicked, this, [this, i] { Picture1_Click(i); });
        Picture1[static_cast<size_t>(i)] = p;
    }
    cmdFinestre = button(this, "cmdFinestre", QStringLiteral("Finestre..."), QRect(392, 400, 110, 23));
    connect(cmdFinestre, &QPushButton::clicked, this, &frmAbout::cmdFinestre_Click);
    cmdProva = button(this, "cmdProva", QStringLiteral("Prova..."), QRect(392, 430, 110, 23));
    connect(cmdProva, &QPushButton::clicked, this, &frmAbout::cmdProva_Click);
}

void frmAbout::Form_Load()
{
    setFixedSize(twips(5700), twips(4410));
    lblVersion->setText(
        QStringLiteral("Versione %1.%2.%3").arg(ZB32_VERSION_MAJOR).arg(ZB32_VERSION_MINOR).arg(ZB32_VERSION_PATCH));
    lblTitle->setText(programTitle());
    lblDescription->setText(QStringLiteral("Importazione delle pratiche affidate, delle conferme di incassi e spese "
                                           "e preparazione delle lettere di sollecito per la stampa postale."));
    picIcon->setPixmap(Picture1[0]->pixmap().scaled(picIcon->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Command1_Click();
}

frmAbout* frmAbout::showAbout()
{
    if (s_open) {
        s_open->show();
        s_open->raise();
        s_open->activateWindow();
        return s_open;
    }
    auto* box = new frmAbout();
    box->setAttribute(Qt::WA_DeleteOnClose);
    s_open = box;
    box->show();
    return box;
}

int frmAbout::ClickIcona()
{
    return s_clickIcona;
}

void frmAbout::resetClickIcona()
{
    s_clickIcona = 0;
}

QString frmAbout::notaFunzioni()
{
    const QString crlf = QStringLiteral("\r\n");
    QString text = QStringLiteral("Modificare campo CF in Tabella Esattori da 15 a 16") + crlf + crlf
        + QStringLiteral("Funzioni non documentate") + crlf + crlf;
    const char* const lines[] = {
        "- Click su (Ric da) in El.Inc x controllo ricevute",
        "- Click su (LabelTotale) in El.Inc x controllo provvigioni Esattori",
        "- Click su (LabelTotale) in Incassi x controllo provvigioni Agenzia",
        "- Click su (BA) in Incassi x stampa Singolo Rinnovo",
        "- Click su (Vaglia Tel) in Incassi x Ricalcolo totale incassato (Eventi)",
        "- Click su (Verificato) in Incassi x Ricalcolo totale incassato (Codice)",
    };
    for (const char* l : lines) {
        text += QLatin1String(l) + crlf;
    }
    return text;
}

bool frmAbout::hiddenAreaShown() const
{
    const QRect inside = rect();
    const auto within = [&inside](const QWidget* w) { return inside.contains(w->geometry()); };
    return std::all_of(Picture1.begin(), Picture1.end(), within) && within(cmdFinestre) && within(cmdProva);
}

bool frmAbout::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        qint16 state = shiftState(key->modifiers());
        // Some platforms report the modifiers as they were before the key itself went down or up.
        if (const qint16 bit = modifierBit(key->key())) {
            state = event->type() == QEvent::KeyPress ? qint16(state | bit) : qint16(state & ~bit);
        }
        m_iShift = state;
    } else if (event->type() == QEvent::MouseButtonPress) {
        // A click carries the keys held at that moment, even when the key presses themselves went
        // to no window of ours (the box without keyboard focus).
        const qint16 held = shiftState(static_cast<QMouseEvent*>(event)->modifiers());
        if (held != 0) {
            m_iShift = held;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmAbout::Command1_Click()
{
    showDisclaimer(Barzelletta());
}

void frmAbout::showDisclaimer(const QString& text)
{
    QFont font = this->font();
    lblDisclaimer->setText(text);
    const qreal base = font.pointSizeF() > 0 ? font.pointSizeF() : 9;
    // A long text gets a smaller font rather than losing its end.
    for (qreal size = base; size >= 6; size -= 0.5) {
        font.setPointSizeF(size);
        lblDisclaimer->setFont(font);
        if (lblDisclaimer->heightForWidth(lblDisclaimer->width()) <= lblDisclaimer->height()) {
            break;
        }
    }
}

void frmAbout::picIcon_Click()
{
    if (s_clickIcona < std::numeric_limits<qint16>::max()) {
        ++s_clickIcona;
    }
    if (m_iShift == 7 && s_clickIcona >= 3 && !hiddenAreaShown()) {
        setFixedSize(qRound(width() * 1.1), qRound(height() * 1.1));
    }
}

void frmAbout::Picture1_Click(int)
{
    MessageBox::ok(this, notaFunzioni(), programTitle());
    close();
    frmGravix::showGame();
}

void frmAbout::cmdOK_Click()
{
    close();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo(this);
}

void frmAbout::cmdFinestre_Click()
{
    frmFinestre::showInspector();
}

void frmAbout::cmdProva_Click()
{
    frmProva::showTest();
}

} // namespace zb32
