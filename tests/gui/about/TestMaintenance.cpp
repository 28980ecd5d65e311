// The maintenance windows behind the About box's hidden buttons.
#include "TestWorkspace.h"
#include "gui/about/frmAbout.h"
#include "gui/about/frmFinestre.h"
#include "gui/about/frmProva.h"
#include "core/desk/CaseDatabase.h"
#include "gui/desk/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace zb32;

namespace {

void closeAllWindows()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible()) {
            w->close();
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template<typename T> T* openedWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) {
            return t;
        }
    }
    return nullptr;
}

// The tree's rows as "depth|name|kind|position|text".
QStringList treeRows(QTreeWidget* tree)
{
    QStringList rows;
    std::function<void(QTreeWidgetItem*, int)> walk = [&](QTreeWidgetItem* item, int depth) {
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(depth)
                    .arg(item->text(0), item->text(1), item->text(2), item->text(3));
        for (int i = 0; i < item->childCount(); ++i) {
            walk(item->child(i), depth + 1);
        }
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        walk(tree->topLevelItem(i), 0);
    }
    return rows;
}

} // namespace

class TestMaintenance : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
    }
    void cleanup() { closeAllWindows(); }

    void hiddenButtonsOpenTheWindows()
    {
        test::TestWorkspace ws;
        frmAbout* box = frmAbout::showAbout();
        QTest::mouseClick(box->cmdFinestre, Qt::LeftButton);
        QVERIFY(openedWindow<frmFinestre>());
        QTest::mouseClick(box->cmdProva, Qt::LeftButton);
        QVERIFY(openedWindow<frmProva>());
        // Independent windows: they stay when the About box closes.
        box->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(openedWindow<frmFinestre>());
        QVERIFY(openedWindow<frmProva>());
        QVERIFY(!openedWindow<frmFinestre>()->parentWidget());
    }

    void controls()
    {
        QWidget window;
        auto* title = new QLabel(QStringLiteral("Titolo"), &window);
        title->setObjectName(QStringLiteral("lblTitolo"));
        title->setGeometry(10, 20, 100, 15);
        auto* group = new QGroupBox(QStringLiteral("Gruppo"), &window);
        group->setObjectName(QStringLiteral("fraGruppo"));
        group->setGeometry(10, 40, 200, 100);
        auto* edit = new QLineEdit(QStringLiteral("scritto"), group);
        edit->setObjectName(QStringLiteral("txtScritto"));
        edit->setGeometry(5, 20, 80, 20);
        auto* list = new QListWidget(&window);
        list->setObjectName(QStringLiteral("lstVoci"));
        list->setGeometry(220, 10, 60, 60);
        list->addItems({ QStringLiteral("a"), QStringLiteral("b") });
        auto* button = new QPushButton(QStringLiteral("Vai"), &window);
        button->setGeometry(220, 80, 50, 20);
        auto* popup = new QWidget(&window, Qt::Window); // a window of its own is not a control
        popup->setObjectName(QStringLiteral("frmAltro"));

        QStringList got;
        for (const auto& c : frmFinestre::controlli(&window)) {
            got << QStringLiteral("%1|%2|%3|%4,%5,%6,%7|%8")
                       .arg(c.depth)
                       .arg(c.name, c.kind)
                       .arg(c.geometry.x())
                       .arg(c.geometry.y())
                       .arg(c.geometry.width())
                       .arg(c.geometry.height())
                       .arg(c.text);
        }
        const QStringList expected {
            "0|lblTitolo|QLabel|10,20,100,15|Titolo",
            "0|fraGruppo|QGroupBox|10,40,200,100|Gruppo",
            "1|txtScritto|QLineEdit|5,20,80,20|scritto",
            "0|lstVoci|QListWidget|220,10,60,60|2 elementi",
            "0||QPushButton|220,80,50,20|Vai",
        };
        QCOMPARE(got, expected);
    }

    void inspectorShowsTheAboutBox()
    {
        QWidget other;
        other.setObjectName(QStringLiteral("frmAltra"));
        other.setWindowTitle(QStringLiteral("Altra finestra"));
        other.show();
        frmAbout* box = frmAbout::showAbout();
        frmFinestre inspector;
        inspector.show();
        const QList<QWidget*> windows = inspector.finestre();
        QVERIFY(windows.contains(box));
        QVERIFY(windows.contains(&other));
        QVERIFY(!windows.contains(&inspector));
        QCOMPARE(inspector.lstFinestre->count(), windows.size());

        const int row = int(windows.indexOf(box));
        QVERIFY(inspector.lstFinestre->item(row)->text().contains(QStringLiteral("Informazioni su zb32")));
        inspector.lstFinestre->setCurrentRow(row);
        const QStringList rows = treeRows(inspector.treControlli);
        QVERIFY(rows.contains(QStringLiteral("0|cmdOK|QPushButton|288, 148, 76 x 23|OK")));
        QVERIFY(rows.contains(QStringLiteral("0|Command1|QPushButton|288, 244, 73 x 21|prossimo")));
        QVERIFY(rows.contains(QStringLiteral("0|Picture1_3|zb32::PictureBox|126, 302, 191 x 131|[immagine]")));
        QVERIFY(rows.contains(
            QStringLiteral("0|lblDisclaimer|QLabel|17, 147, 258 x 119|%1").arg(box->lblDisclaimer->text().left(200))));

        // A window closed since the list was made leaves the tree empty rather than failing.
        other.close();
        QCoreApplication::processEvents();
        inspector.lstFinestre->setCurrentRow(row);
        inspector.cmdAggiorna_Click();
        QVERIFY(!inspector.finestre().contains(&other));
        QCOMPARE(inspector.treControlli->topLevelItemCount(), 0);
    }

    void testWindow_data()
    {
        QTest::addColumn<QString>("connString"); // {db} is an existing SQLite file, {z} the Z drive folder
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("opens");
        QTest::addColumn<QString>("state");
        QTest::newRow("SQLite that exists") << "Provider=SQLite;Data Source={db}"
                                            << "Provider=SQLite;Data Source={db}" << true << "aperta correttamente";
        QTest::newRow("SQLite on the Z drive")
            << "Provider=SQLite;Data Source=Z:\\work\\kx32\\dati\\prova.db"
            << "Provider=SQLite;Data Source=Z:\\work\\kx32\\dati\\prova.db" << true << "aperta correttamente";
        QTest::newRow("SQLite that does not exist")
            << "Provider=SQLite;Data Source={z}/manca.db"
            << "Provider=SQLite;Data Source={z}/manca.db" << false << "non riuscita: ";
        QTest::newRow("password masked")
            << "Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x;User ID=u;Password=segreto"
            << "Provider=PostgreSQL;Host=127.0.0.1;Port=1;Database=x;User ID=u;Password=****" << false
            << "non riuscita: ";
        QTest::newRow("no connstring") << ""
                                       << "(mancante)" << false << "non provata: ";
        QTest::newRow("not a connection string") << "qualcosa"
                                                 << "qualcosa" << false << "non riuscita: ";
    }
    void testWindow()
    {
        QFETCH(QString, connString);
        QFETCH(QString, shown);
        QFETCH(bool, opens);
        QFETCH(QString, state);
        test::TestWorkspace ws;
        const QString db = ws.driveZ() + QStringLiteral("/work/kx32/dati/prova.db");
        {
            QFile f(db); // an empty file is an empty SQLite database
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const auto fill = [&](QString s) {
            return s.replace(QStringLiteral("{db}"), db).replace(QStringLiteral("{z}"), ws.driveZ());
        };
        ws.writeIni(fill(connString));
        frmProva window;
        QCOMPARE(window.lblIni->text(), CaseDatabase::iniPath());
        QCOMPARE(window.lblConnString->text(), fill(shown));
        QVERIFY(!window.lblConnString->text().contains(QStringLiteral("segreto")));
        QCOMPARE(window.lblStato->text(), QStringLiteral("non ancora provata"));
        QCOMPARE(window.cmdConnetti_Click(), opens);
        QVERIFY2(window.lblStato->text().startsWith(state), qPrintable(window.lblStato->text()));
        QVERIFY(!window.lblStato->text().contains(QStringLiteral("segreto")));
        // Trying never creates a missing database.
        QVERIFY(!QFile::exists(ws.driveZ() + QStringLiteral("/manca.db")));
    }

    void testWindowWithoutConfigurationFile()
    {
        test::TestWorkspace ws;
        frmProva window;
        QVERIFY(window.lblIni->text().startsWith(CaseDatabase::iniPath()));
        QVERIFY(window.lblIni->text().endsWith(QStringLiteral("(mancante)")));
        QCOMPARE(window.lblConnString->text(), QStringLiteral("(mancante)"));
        QVERIFY(!window.cmdConnetti_Click());
    }
};

QTEST_MAIN(TestMaintenance)
#include "TestMaintenance.moc"
