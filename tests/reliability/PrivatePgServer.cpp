// Starting and stopping a throwaway PostgreSQL server for fault tests.
#include "PrivatePgServer.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zb32::test {

namespace {

// A loopback port nobody listens on right now.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool runningAsRoot()
{
    return ::geteuid() == 0;
}

} // namespace

QString PrivatePgServer::binFolder()
{
    const QString given = qEnvironmentVariable("ZB32_PG_BIN");
    if (!given.isEmpty() && QFileInfo(given + QStringLiteral("/pg_ctl")).isExecutable()) {
        return given;
    }
    QStringList versions = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCollator numeric;
    numeric.setNumericMode(true);
    std::sort(versions.begin(), versions.end(), numeric);
    for (auto it = versions.crbegin(); it != versions.crend(); ++it) {
        const QString bin = QStringLiteral("/usr/lib/postgresql/%1/bin").arg(*it);
        if (QFileInfo(bin + QStringLiteral("/pg_ctl")).isExecutable()) {
            return bin;
        }
    }
    return {};
}

PrivatePgServer::PrivatePgServer()
    : m_bin(binFolder())
{ }

PrivatePgServer::~PrivatePgServer()
{
    if (m_running) {
        QString ignored;
        stop(StopMode::Immediate, &ignored);
    }
}

QString PrivatePgServer::connectionString() const
{
    return QStringLiteral("Provider=PostgreSQL;Host=127.0.0.1;Port=%1;Database=postgres;User ID=postgres").arg(m_port);
}

bool PrivatePgServer::runTool(const QString& tool, const QStringList& args, QString* output, int timeoutMs)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    const QString program = m_bin + QLatin1Char('/') + tool;
    // The server refuses to run as root: as root the cluster belongs to "postgres".
    if (runningAsRoot()) {
        p.setProgram(QStringLiteral("runuser"));
        p.setArguments(
            QStringList { QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"), program } + args);
    } else {
        p.setProgram(program);
        p.setArguments(args);
    }
    p.start();
    const bool finished = p.waitForFinished(timeoutMs);
    *output = QString::fromLocal8Bit(p.readAll());
    if (!finished) {
        p.kill();
        p.waitForFinished();
        *output += QStringLiteral("\n%1: no answer within %2 ms").arg(tool).arg(timeoutMs);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool PrivatePgServer::initCluster(QString* error)
{
    if (m_bin.isEmpty()) {
        *error = QStringLiteral("no PostgreSQL server programs (set ZB32_PG_BIN or install postgresql)");
        return false;
    }
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/zb32-faults-pg-XXXXXX"));
    if (!m_dir->isValid()) {
        *error = m_dir->errorString();
        return false;
    }
    if (runningAsRoot()) {
        const passwd* owner = ::getpwnam("postgres");
        if (!owner) {
            *error = QStringLiteral("running as root, but there is no user \"postgres\" to own the server");
            return false;
        }
        if (::chown(QFile::encodeName(m_dir->path()).constData(), owner->pw_uid, owner->pw_gid) != 0) {
            *error = QStringLiteral("cannot hand %1 to the user postgres").arg(m_dir->path());
            return false;
        }
    }
    QString output;
    if (!runTool(QStringLiteral("initdb"),
            { QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-U"),
                QStringLiteral("postgres"), QStringLiteral("--auth=trust"), QStringLiteral("-E"),
                QStringLiteral("UTF8"), QStringLiteral("--no-sync") },
            &output)) {
        *error = QStringLiteral("initdb failed: ") + output;
        return false;
    }
    m_initialised = true;
    return true;
}

bool PrivatePgServer::start(QString* error)
{
    if (m_frozen) {
        if (!signalAll(SIGCONT, error)) {
            return false;
        }
        m_frozen = false;
    }
    if (m_running) {
        return true;
    }
    if (!m_initialised && !initCluster(error)) {
        return false;
    }
    // The port is picked anew only the first time: the connection strings handed out stay valid.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (m_port == 0 || attempt > 0) {
            m_port = freePort();
        }
        const QString options
            = QStringLiteral("-c listen_addresses=127.0.0.1 -c port=%1 -c unix_socket_directories=%2 -c fsync=off "
                             "-c max_connections=20")
                  .arg(m_port)
                  .arg(m_dir->path());
        QString output;
        if (runTool(QStringLiteral("pg_ctl"),
                { QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-l"),
                    m_dir->filePath(QStringLiteral("log")), QStringLiteral("-w"), QStringLiteral("-t"),
                    QStringLiteral("60"), QStringLiteral("-o"), options, QStringLiteral("start") },
                &output)) {
            m_running = true;
            return true;
        }
        *error = QStringLiteral("pg_ctl start failed: ") + output;
        QFile log(m_dir->filePath(QStringLiteral("log")));
        if (log.open(QIODevice::ReadOnly)) {
            *error += QStringLiteral("\n") + QString::fromLocal8Bit(log.readAll().right(2000));
        }
        if (!error->contains(QLatin1String("in use"))) {
            return false;
        }
    }
    return false;
}

bool PrivatePgServer::signalAll(int signal, QString* error)
{
    QFile pidFile(m_dir->filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no postmaster.pid: ") + pidFile.errorString();
        return false;
    }
    const pid_t main = pid_t(pidFile.readLine().trimmed().toLong());
    QList<pid_t> pids { main };
    // Its children, from /proc: every process whose parent is the server.
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isPid = false;
        const pid_t pid = pid_t(entry.toLong(&isPid));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!isPid || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && pid_t(fields.at(1).toLong()) == main) {
            pids << pid;
        }
    }
    for (pid_t pid : pids) {
        if (::kill(pid, signal) != 0 && pid == main) {
            *error = QStringLiteral("cannot signal the server (process %1)").arg(main);
            return false;
        }
    }
    return true;
}

bool PrivatePgServer::stop(StopMode mode, QString* error)
{
    if (!m_running) {
        return true;
    }
    if (mode == StopMode::Freeze) {
        m_frozen = m_frozen || signalAll(SIGSTOP, error);
        return m_frozen;
    }
    if (m_frozen && !start(error)) {
        return false;
    }
    QString output;
    const QString how = mode == StopMode::Fast ? QStringLiteral("fast") : QStringLiteral("immediate");
    if (!runTool(QStringLiteral("pg_ctl"),
            { QStringLiteral("-D"), m_dir->filePath(QStringLiteral("data")), QStringLiteral("-m"), how,
                QStringLiteral("-w"), QStringLiteral("stop") },
            &output)) {
        *error = QStringLiteral("pg_ctl stop failed: ") + output;
        return false;
    }
    m_running = false;
    return true;
}

} // namespace zb32::test
