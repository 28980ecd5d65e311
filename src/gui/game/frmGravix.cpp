// The Gravix window: controls at their designed places, tiles, menus, keys, pause on focus loss.
#include "gui/game/frmGravix.h"

#include "core/game/RandomSource.h"
#include "core/game/RecordStore.h"
#include "core/game/TabellaRecord.h"
#include "gui/desk/MessageBox.h"
#include "gui/desk/Twips.h"
#include "gui/game/BoardBox.h"
#include "gui/game/GravixCanvas.h"
#include "gui/game/GravixSounds.h"
#include "gui/game/GravixTiles.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace zb32 {

namespace {

constexpr int kPxlLato = 300; // one cell in the boxes' scale: the height of a tile, in twips
// The window is designed 4155 × 5250 twips outside, frame and menu bar included; inside them its
// client area holds the controls exactly: out to the high-score panel's right edge and down to the
// board's bottom edge. The client area keeps that size whatever frame the platform draws around it.
constexpr QSize kClient(twips(2820 + 1215), twips(30 + 4560));

// The name box of a new high score: the program's message boxes, no title of its own.
class BoxNameInput : public NameInput
{
public:
    explicit BoxNameInput(QWidget* parent)
        : m_parent(parent)
    { }
    QString askName(const QString& prompt) override { return MessageBox::input(m_parent, prompt, QString()); }

private:
    QWidget* m_parent;
};

bool monospaced(const QFont& font)
{
    const QFontMetrics m(font);
    return m.horizontalAdvance(QLatin1Char('i')) == m.horizontalAdvance(QLatin1Char('M'));
}

// Courier or Courier New where installed (or a metric twin the system puts in their place);
// the system's fixed-width font otherwise.
QFont gameFont(const QString& family, qreal points, bool bold = false)
{
    QFont font(family);
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSizeF(points);
    font.setBold(bold);
    if (!monospaced(font)) {
        font.setFamily(QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
    }
    return font;
}

void setColours(QWidget* w, const QColor& text, const QColor& background = QColor())
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, text);
    if (background.isValid()) {
        pal.setColor(QPalette::Window, background);
        w->setAutoFillBackground(true);
    }
    w->setPalette(pal);
}

Partita::Tasto tastoDi(int key)
{
    switch (key) {
    case Qt::Key_Right:
        return Partita::Tasto::Destra;
    case Qt::Key_Left:
        return Partita::Tasto::Sinistra;
    case Qt::Key_Space:
    case Qt::Key_Up:
        return Partita::Tasto::Ruota;
    case Qt::Key_Shift:
        return Partita::Tasto::RuotaDestra;
    case Qt::Key_Down:
        return Partita::Tasto::Giu;
    default:
        return Partita::Tasto::Altro;
    }
}

} // namespace

frmGravix::frmGravix(QWidget* parent)
    : frmGravix(Options {}, parent)
{ }

frmGravix::frmGravix(const Options& options, QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmGravix"));
    setWindowTitle(QStringLiteral("Gravix"));
    if (options.random) {
        m_random = options.random;
    } else {
        m_ownRandom = std::make_unique<ClockRandom>();
        m_random = m_ownRandom.get();
    }
    if (options.suoni) {
        m_suoni = options.suoni;
    } else {
        m_ownSuoni = std::make_unique<GravixSounds>();
        m_suoni = m_ownSuoni.get();
    }

    buildControls();
    buildMenus();

    m_store = std::make_unique<SettingsRecordStore>();
    m_names = std::make_unique<BoxNameInput>(this);
    tmrGioco = new QTimer(this);
    tmrGioco->setObjectName(QStringLiteral("tmrGioco"));
    m_driveTimer = options.driveTimer;

    layout()->setSizeConstraint(QLayout::SetFixedSize); // the client area and the menu bar, no more
    Form_Load();
}

void frmGravix::makeGame()
{
    // A fresh game on fresh tiles, as the window was when it was first opened.
    tmrGioco->stop();
    delete m_partita;
    m_partita = nullptr;
    m_canvas = std::make_unique<GravixCanvas>(pctGriglia, pctPreView);
    m_canvas->PulisciAnteprima();
    m_record = std::make_unique<TabellaRecord>(*m_store, *m_names);
    m_record->setOnChanged([this] { showRecords(); });
    m_partita = new Partita(*m_canvas, *m_random, *m_suoni, *m_record, this);

    if (m_driveTimer) {
        connect(tmrGioco, &QTimer::timeout, m_partita, &Partita::tmrGioco_Timer);
    }
    connect(m_partita, &Partita::timerChanged, this, &frmGravix::onTimerChanged);
    connect(m_partita, &Partita::messageChanged, this, &frmGravix::onMessageChanged);
    connect(m_partita, &Partita::levelChanged, this,
        [this](int level) { setRightAligned(lblLivello, QString::number(level)); });
    connect(m_partita, &Partita::linesChanged, this,
        [this](qint64 lines) { setRightAligned(lblLinee, QString::number(lines)); });
    connect(
        m_partita, &Partita::scoreChanged, this, [this](qint64 score) { lblPunti->setText(QString::number(score)); });
    connect(m_partita, &Partita::newGameEnabledChanged, mnuNuova, &QAction::setEnabled);
    connect(m_partita, &Partita::recordsChanged, this, &frmGravix::showRecords);

    // The menus' ticks and the counters as designed.
    for (int i = 1; i <= 9; ++i) {
        mnuL[static_cast<std::size_t>(i)]->setChecked(i == Partita::kLivelloIniziale);
    }
    for (int i = 0; i <= 5; ++i) {
        mnuD[static_cast<std::size_t>(i)]->setChecked(i == 0);
    }
    mnuPreview->setChecked(true);
    mnuSfondi->setChecked(true);
    mnuNuova->setEnabled(true);
    lblPunti->setText(QStringLiteral("0"));
    setRightAligned(lblLinee, QStringLiteral("0"));
}

frmGravix::~frmGravix()
{
    // The game talks to the canvas and the table until it goes; let it go first, and let the board's
    // focus changes while the window comes down find no game.
    pctGriglia->removeEventFilter(this);
    tmrGioco->stop();
    delete m_partita;
    m_partita = nullptr;
}

frmGravix* frmGravix::showGame()
{
    // One game window for the program's lifetime: closing hides it, and the next call loads it
    // again as new; while it is open, asking for it again brings it to the front.
    static QPointer<frmGravix> s_game;
    if (!s_game) {
        s_game = new frmGravix();
    } else if (s_game->m_closed) {
        s_game->Form_Load();
    }
    s_game->m_closed = false;
    if (s_game->isMinimized()) {
        s_game->showNormal();
    } else {
        s_game->show();
    }
    s_game->raise();
    s_game->activateWindow();
    return s_game;
}

void frmGravix::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClient);
    setCentralWidget(client);

    const QFont courier = gameFont(QStringLiteral("Courier"), 9.75);
    const QColor blu(0x00, 0x00, 0xFF);

    pctGriglia = new BoardBox(Griglia::kColonne, Griglia::kRighe, QColor(0x80, 0x80, 0x80), client);
    pctGriglia->setObjectName(QStringLiteral("pctGriglia"));
    pctGriglia->place(twipsRect(0, 30, 2760, 4560));
    pctGriglia->setFocusPolicy(Qt::StrongFocus);
    pctGriglia->installEventFilter(this);

    pctPreView = new BoardBox(4, 4, QColor(0xC0, 0xC0, 0xC0), client);
    pctPreView->setObjectName(QStringLiteral("pctPreView"));
    pctPreView->place(twipsRect(2820, 0, 1200, 1200));

    struct LabelDef
    {
        int index;
        const char* caption;
        QRect rect;
    };
    for (const LabelDef& d : { LabelDef { 0, "LIV.", twipsRect(3000, 1290, 495, 195) },
             LabelDef { 1, "Linee", twipsRect(2880, 1560, 735, 195) },
             LabelDef { 2, "Punteggi migliori", twipsRect(2940, 2430, 1020, 465) } }) {
        auto* label = new QLabel(QString::fromUtf8(d.caption), client);
        label->setObjectName(QStringLiteral("Label1_%1").arg(d.index));
        label->setGeometry(d.rect);
        label->setFont(courier);
        setColours(label, blu);
        Label1[static_cast<std::size_t>(d.index)] = label;
    }
    Label1[2]->setWordWrap(true);

    // Level and lines grow leftwards from their right edge as the numbers get longer.
    const auto counter = [&](const char* name, const QString& text, int left, int top) {
        auto* label = new QLabel(text, client);
        label->setObjectName(QString::fromUtf8(name));
        label->setFont(courier);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setColours(label, blu);
        const int width = label->sizeHint().width();
        label->setGeometry(twips(left), twips(top), width, twips(195));
        label->setProperty("rightEdge", twips(left) + width);
        return label;
    };
    lblLivello = counter("lblLivello", QStringLiteral("5"), 3720, 1290);
    lblLinee = counter("lblLinee", QStringLiteral("0"), 3870, 1560);

    lblPunti = new QLabel(QStringLiteral("0"), client);
    lblPunti->setObjectName(QStringLiteral("lblPunti"));
    lblPunti->setGeometry(twipsRect(2820, 1830, 1200, 255));
    lblPunti->setFont(gameFont(QStringLiteral("Courier New"), 9));
    lblPunti->setFrameStyle(QFrame::Box | QFrame::Plain);
    lblPunti->setLineWidth(1);
    lblPunti->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setColours(lblPunti, Qt::black, Qt::white);

    Picture1 = new QFrame(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Picture1->setLineWidth(2);
    Picture1->setGeometry(twipsRect(2820, 2880, 1215, 1695));
    const QPoint inside = Picture1->contentsRect().topLeft();
    for (int i = 0; i < 3; ++i) {
        auto* name = new QLabel(Picture1);
        name->setObjectName(QStringLiteral("lblRecN_%1").arg(i));
        name->setGeometry(twipsRect(0, 540 * i, 1155, 285).translated(inside));
        name->setFont(courier);
        name->setTextFormat(Qt::PlainText); // a name is shown as typed, markup included
        setColours(name, QColor(0x00, 0x00, 0xC0), Qt::white);
        lblRecN[static_cast<std::size_t>(i)] = name;
        auto* points = new QLabel(Picture1);
        points->setObjectName(QStringLiteral("lblRecP_%1").arg(i));
        points->setGeometry(twipsRect(0, 270 + 540 * i, 1155, 285).translated(inside));
        points->setFont(courier);
        points->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setColours(points, Qt::black, Qt::white);
        lblRecP[static_cast<std::size_t>(i)] = points;
    }

    const QFont messageFont = gameFont(QStringLiteral("Courier New"), 9.75, true);
    for (int i = 0; i < 2; ++i) {
        auto* msg = new QLabel(pctGriglia);
        msg->setObjectName(QStringLiteral("lblMsg_%1").arg(i));
        msg->setFont(messageFont);
        msg->setAlignment(Qt::AlignCenter);
        msg->setWordWrap(true);
        lblMsg[static_cast<std::size_t>(i)] = msg;
    }
    setColours(lblMsg[0], Qt::black, QColor(0x80, 0x40, 0x40));
    setColours(lblMsg[1], QColor(0xFF, 0x80, 0x80));
    lblMsg[1]->raise();
}

void frmGravix::buildMenus()
{
    const auto action = [](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromUtf8(name));
        return a;
    };

    mnuParita = menuBar()->addMenu(QStringLiteral("&Partita"));
    mnuParita->setObjectName(QStringLiteral("mnuParita"));
    mnuNuova = action(mnuParita, "mnuNuova", QStringLiteral("&Nuova"));
    mnuNuova->setShortcut(QKeySequence(Qt::Key_F2));
    connect(mnuNuova, &QAction::triggered, this, &frmGravix::mnuNuova_Click);
    mnuPausa = action(mnuParita, "mnuPausa", QStringLiteral("Interrompi/&Riprendi"));
    mnuPausa->setShortcut(QKeySequence(Qt::Key_F3));
    connect(mnuPausa, &QAction::triggered, this, &frmGravix::mnuPausa_Click);
    mnuParita->addSeparator()->setObjectName(QStringLiteral("mnuL1"));
    mnuEsci = action(mnuParita, "mnuEsci", QStringLiteral("&Esci"));
    connect(mnuEsci, &QAction::triggered, this, &QWidget::close);

    mnuOpzioni = menuBar()->addMenu(QStringLiteral("&Opzioni"));
    mnuOpzioni->setObjectName(QStringLiteral("mnuOpzioni"));
    mnuLivello = mnuOpzioni->addMenu(QStringLiteral("&Livello"));
    mnuLivello->setObjectName(QStringLiteral("mnuLivello"));
    for (int i = 1; i <= 9; ++i) {
        QAction* a = mnuLivello->addAction(QStringLiteral("&%1").arg(i));
        a->setObjectName(QStringLiteral("mnuL_%1").arg(i));
        a->setCheckable(true);
        a->setChecked(i == Partita::kLivelloIniziale);
        connect(a, &QAction::triggered, this, [this, i] { mnuL_Click(i); });
        mnuL[static_cast<std::size_t>(i)] = a;
    }
    mnuDifficolta = mnuOpzioni->addMenu(QStringLiteral("&Difficoltà"));
    mnuDifficolta->setObjectName(QStringLiteral("mnuDifficolta"));
    for (int i = 0; i <= 5; ++i) {
        QAction* a = mnuDifficolta->addAction(QStringLiteral("&%1").arg(i));
        a->setObjectName(QStringLiteral("mnuD_%1").arg(i));
        a->setCheckable(true);
        a->setChecked(i == 0);
        connect(a, &QAction::triggered, this, [this, i] { mnuD_Click(i); });
        mnuD[static_cast<std::size_t>(i)] = a;
    }
    mnuOpzioni->addSeparator()->setObjectName(QStringLiteral("mnuL2"));
    mnuPreview = action(mnuOpzioni, "mnuPreview", QStringLiteral("&Mostra/Nascondi anteprima"));
    mnuPreview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    mnuPreview->setCheckable(true);
    mnuPreview->setChecked(true);
    connect(mnuPreview, &QAction::triggered, this, &frmGravix::mnuPreview_Click);
    mnuSfondi = action(mnuOpzioni, "mnuSfondi", QStringLiteral("&Visualizza sfondi"));
    mnuSfondi->setCheckable(true);
    mnuSfondi->setChecked(true);
    connect(mnuSfondi, &QAction::triggered, this, &frmGravix::mnuSfondi_Click);

    mnuAiuto = menuBar()->addMenu(QStringLiteral("&?"));
    mnuAiuto->setObjectName(QStringLiteral("mnuAiuto"));
    mnuTasti = action(mnuAiuto, "mnuTasti", QStringLiteral("&Tasti"));
    connect(mnuTasti, &QAction::triggered, this, &frmGravix::mnuTasti_Click);
    mnuPunteggi = action(mnuAiuto, "mnuPunteggi", QStringLiteral("&Punteggi"));
    connect(mnuPunteggi, &QAction::triggered, this, &frmGravix::mnuPunteggi_Click);
    mnuAiuto->addSeparator()->setObjectName(QStringLiteral("mnuL3"));
    mnuAbout = action(mnuAiuto, "mnuAbout", QStringLiteral("&Informazioni su ..."));
    connect(mnuAbout, &QAction::triggered, this, &frmGravix::mnuAbout_Click);
}

void frmGravix::Form_Load()
{
    makeGame();
    if (m_ownRandom) {
        static_cast<ClockRandom*>(m_ownRandom.get())->seed();
    }
    // The boxes' scales are 9 × 15 and 4 × 4 cells of kPxlLato units (BoardBox); the message pair
    // sits 2 cells in and 6 down, 5 cells wide and 2 high, its shadow label a pixel up and left.
    const QPoint inside = pctGriglia->contentsRect().topLeft();
    const QRect msg = twipsRect(2 * kPxlLato, 6 * kPxlLato, 5 * kPxlLato, 2 * kPxlLato).translated(inside);
    lblMsg[0]->setGeometry(msg);
    lblMsg[1]->setGeometry(msg.translated(-1, -1));
    pctGriglia->setFocus();
    m_partita->Carica();
}

void frmGravix::mnuNuova_Click()
{
    QList<bool> ticks;
    for (QAction* a : mnuD) {
        ticks.append(a->isChecked());
    }
    m_partita->NuovaPartita(Partita::IndiceSelezionato(ticks));
}

void frmGravix::mnuPausa_Click()
{
    m_partita->mnuPausa_Click();
}

void frmGravix::mnuL_Click(int index)
{
    for (int i = 1; i <= 9; ++i) {
        mnuL[static_cast<std::size_t>(i)]->setChecked(i == index);
    }
    m_partita->ImpostaLivello(index);
}

void frmGravix::mnuD_Click(int index)
{
    for (int i = 0; i <= 5; ++i) {
        mnuD[static_cast<std::size_t>(i)]->setChecked(i == index); // counts from the next new game
    }
}

void frmGravix::mnuPreview_Click()
{
    m_partita->setAnteprima(mnuPreview->isChecked());
}

void frmGravix::mnuSfondi_Click()
{
    m_partita->setSfondi(mnuSfondi->isChecked());
}

QString frmGravix::testoTasti()
{
    return QStringLiteral("[Spazio]\t\tRotazione sinistra\r"
                          "[Shift]\t\tRotazione destra\r"
                          "Freccia giù\tAccelera\r"
                          "Frecce [<]  [>]\tBlocco sinistra/destra\r"
                          "[F2]\t\tInizia partita\r"
                          "[F3]\t\tPausa / riprendi\r");
}

QString frmGravix::testoPunteggi()
{
    const QString rule = QString(94, QLatin1Char('-')) + QLatin1Char('\r');
    QString text = QStringLiteral("LIVELLO / LINEE\t1\t2\t3\tGRAVIX\r") + rule;
    for (int level = 1; level <= 16; ++level) {
        text += QStringLiteral("Livello %1\t\t%2\t%3\t%4\t%5\r")
                    .arg(level)
                    .arg(10 * level)
                    .arg(50 * level)
                    .arg(200 * level)
                    .arg(500 * level);
    }
    return text + rule;
}

void frmGravix::mnuTasti_Click()
{
    MessageBox::ok(this, testoTasti(), QStringLiteral("Tasti Gravix"));
}

void frmGravix::mnuPunteggi_Click()
{
    MessageBox::ok(this, testoPunteggi(), QStringLiteral("Punteggi Gravix"));
}

void frmGravix::mnuAbout_Click()
{
    MessageBox::ok(this, QStringLiteral("gravix"));
}

void frmGravix::pctGriglia_LostFocus()
{
    // The down arrow's release will not reach us now: end a fast drop rather than keep it running.
    if (m_partita->discesaVeloce()) {
        m_partita->tastoRilasciato(Partita::Tasto::Giu);
    }
    m_partita->sospendi();
}

void frmGravix::keyPressEvent(QKeyEvent* event)
{
    const Partita::Tasto tasto = tastoDi(event->key());
    if (tasto == Partita::Tasto::Altro) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    m_partita->tastoPremuto(tasto);
    event->accept();
}

void frmGravix::keyReleaseEvent(QKeyEvent* event)
{
    // Held keys repeat as press/release pairs here; only the real release counts.
    if (event->isAutoRepeat()) {
        event->accept();
        return;
    }
    m_partita->tastoRilasciato(tastoDi(event->key()));
    event->accept();
}

void frmGravix::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized()) {
        pctGriglia_LostFocus();
    }
}

void frmGravix::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (m_placed) {
        return;
    }
    m_placed = true;
    // Centred with its frame, as far as the platform tells the frame before the window manager
    // has put it on.
    QMargins frame;
    if (QWindow* w = windowHandle()) {
        frame = w->frameMargins();
    }
    const QSize outer = size().grownBy(frame);
    if (QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
    }
}

void frmGravix::closeEvent(QCloseEvent* event)
{
    // Closing ends the game, nothing of it kept beyond the high scores; the window itself stays for
    // the next opening, which loads it again.
    tmrGioco->stop();
    if (m_ownSuoni) {
        static_cast<GravixSounds*>(m_ownSuoni.get())->stop();
    }
    m_closed = true;
    QMainWindow::closeEvent(event);
}

bool frmGravix::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == pctGriglia && event->type() == QEvent::FocusOut) {
        // Opening a menu is no reason to pause; anything else that takes the focus away is.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason) {
            pctGriglia_LostFocus();
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmGravix::onTimerChanged(int interval, bool active)
{
    // Setting an unchanged interval would restart the count; key repeats must not hold the fall back.
    if (tmrGioco->interval() != interval) {
        tmrGioco->setInterval(interval);
    }
    if (active && !tmrGioco->isActive()) {
        tmrGioco->start();
    } else if (!active) {
        tmrGioco->stop();
    }
}

void frmGravix::onMessageChanged(const QString& text, bool visible)
{
    for (QLabel* label : lblMsg) {
        label->setText(text);
        label->setVisible(visible);
    }
}

void frmGravix::showRecords()
{
    for (int i = 0; i < TabellaRecord::kVoci; ++i) {
        const VoceRecord& v = m_record->voce(i);
        // A name wider than its label ends in an ellipsis rather than being cut off at the edge;
        // the tool tip holds it whole.
        QLabel* name = lblRecN[static_cast<std::size_t>(i)];
        const QString shown
            = QFontMetrics(name->font()).elidedText(v.nome, Qt::ElideRight, name->contentsRect().width());
        name->setText(shown);
        name->setToolTip(shown == v.nome ? QString() : v.nome);
        lblRecP[static_cast<std::size_t>(i)]->setText(QString::number(v.punti));
    }
}

void frmGravix::setRightAligned(QLabel* label, const QString& text)
{
    label->setText(text);
    const int right = label->property("rightEdge").toInt();
    const int width = label->sizeHint().width();
    label->setGeometry(right - width, label->y(), width, label->height());
}

} // namespace zb32
