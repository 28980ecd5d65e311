// The system-information tool: the key lookup and which tool starts, with fake tools on the PATH.
#include "gui/about/SysInfo.h"
#include "gui/desk/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zb32;

namespace {

// A folder that stands in for the PATH while it lives; restores the PATH when destroyed.
class FakePath
{
public:
    FakePath()
        : m_old(qgetenv("PATH"))
    {
        qputenv("PATH", QFile::encodeName(m_dir.path()));
    }
    ~FakePath() { qputenv("PATH", m_old); }

    QString folder() const { return m_dir.path(); }
    QString marker() const { return m_dir.filePath(QStringLiteral("started.txt")); }

    // A tool that writes its name into the marker file when it runs.
    void tool(const QString& name, bool executable = true, bool broken = false) const
    {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        const QByteArray shell = broken ? "#!/nonexistent/interpreter\n" : "#!/bin/sh\n";
        f.write(shell + "printf %s '" + name.toUtf8() + "' > '" + QFile::encodeName(marker()) + "'\n");
        f.close();
        QFile::Permissions p = QFile::ReadOwner | QFile::WriteOwner;
        if (executable) {
            p |= QFile::ExeOwner;
        }
        QVERIFY(f.setPermissions(p));
    }

    QString started() const
    {
        QFile f(marker());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
};

} // namespace

class TestSysInfo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
#ifdef Q_OS_WIN
        QSKIP("the registry is read on Windows");
#endif
        MessageBox::setAutoAnswer(true);
        MessageBox::clearShown();
    }

    void getKeyValue_data()
    {
        QTest::addColumn<QStringList>("tools"); // executables on the PATH
        QTest::addColumn<QStringList>("plain"); // files there that cannot run
        QTest::addColumn<QString>("keyName");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("result");
        QTest::addColumn<QString>("keyVal"); // "{dir}" stands for the fake PATH folder
        QTest::newRow("program found") << QStringList { "alfa" } << QStringList {} << "alfa"
                                       << "PATH" << true << "{dir}/alfa";
        QTest::newRow("value name in any case") << QStringList { "alfa" } << QStringList {} << "alfa"
                                                << "path" << true << "{dir}/alfa";
        QTest::newRow("second name of the list") << QStringList { "beta" } << QStringList {} << "alfa;beta"
                                                 << "PATH" << true << "{dir}/beta";
        QTest::newRow("first name wins") << QStringList { "alfa", "beta" } << QStringList {} << "beta;alfa"
                                         << "PATH" << true << "{dir}/beta";
        QTest::newRow("folder of the program") << QStringList { "alfa" } << QStringList {} << "alfa"
                                               << "FOLDER" << true << "{dir}";
        QTest::newRow("missing value keeps the caller's text") << QStringList { "alfa" } << QStringList {} << "alfa"
                                                               << "MSINFO" << true << "prima";
        QTest::newRow("nothing found empties the text") << QStringList {} << QStringList {} << "alfa;beta"
                                                        << "PATH" << false << "";
        QTest::newRow("a file that cannot run is not a program") << QStringList {} << QStringList { "alfa" } << "alfa"
                                                                 << "PATH" << false << "";
        QTest::newRow("empty key") << QStringList { "alfa" } << QStringList {} << ""
                                   << "PATH" << false << "";
    }
    void getKeyValue()
    {
        QFETCH(QStringList, tools);
        QFETCH(QStringList, plain);
        QFETCH(QString, keyName);
        QFETCH(QString, value);
        QFETCH(bool, result);
        QFETCH(QString, keyVal);
        FakePath path;
        for (const QString& t : tools) {
            path.tool(t);
        }
        for (const QString& t : plain) {
            path.tool(t, false);
        }
        QString text = QStringLiteral("prima");
        QCOMPARE(GetKeyValue(KeyRoot::LocalMachine, keyName, value, text), result);
        QCOMPARE(text, QString(keyVal).replace(QStringLiteral("{dir}"), path.folder()));
    }

    void startSysInfo_data()
    {
        QTest::addColumn<QStringList>("tools");
        QTest::addColumn<QStringList>("broken"); // executables whose interpreter is missing
        QTest::addColumn<QString>("started"); // empty: none starts, the operator is told
        QTest::newRow("no tool") << QStringList {} << QStringList {} << "";
        QTest::newRow("hardware information") << QStringList { "hardinfo" } << QStringList {} << "hardinfo";
        QTest::newRow("newer hardware information first")
            << QStringList { "hardinfo", "hardinfo2" } << QStringList {} << "hardinfo2";
        QTest::newRow("hardware information before the monitor")
            << QStringList { "gnome-system-monitor", "hardinfo" } << QStringList {} << "hardinfo";
        QTest::newRow("a system monitor")
            << QStringList { "xfce4-taskmanager" } << QStringList {} << "xfce4-taskmanager";
        QTest::newRow("monitors in order")
            << QStringList { "lxtask", "plasma-systemmonitor" } << QStringList {} << "plasma-systemmonitor";
        QTest::newRow("a tool that does not start lets the next try")
            << QStringList { "lxtask" } << QStringList { "hardinfo" } << "lxtask";
        QTest::newRow("only a tool that does not start") << QStringList {} << QStringList { "hardinfo" } << "";
    }
    void startSysInfo()
    {
        QFETCH(QStringList, tools);
        QFETCH(QStringList, broken);
        QFETCH(QString, started);
        FakePath path;
        for (const QString& t : tools) {
            path.tool(t);
        }
        for (const QString& t : broken) {
            path.tool(t, true, true);
        }
        const bool ok = StartSysInfo(nullptr);
        QCOMPARE(ok, !started.isEmpty());
        if (started.isEmpty()) {
            QCOMPARE(MessageBox::shown(), QStringList { sysInfoMissingText() });
            QCOMPARE(sysInfoMissingText(), QStringLiteral("Informazioni di sistema non disponibili in questo momento"));
        } else {
            QVERIFY(MessageBox::shown().isEmpty());
            QTRY_COMPARE(path.started(), started);
        }
    }
};

QTEST_GUILESS_MAIN(TestSysInfo)
#include "TestSysInfo.moc"
