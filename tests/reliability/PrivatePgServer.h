// A PostgreSQL server of one test's own, in a temporary folder on a free loopback port, that the
// test may stop and start again (the shared test server must never be stopped).
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace zb32::test {

class PrivatePgServer
{
public:
    // How the server goes down: Fast ends every session with an error, Immediate is a crash
    // (no clean shut-down, recovery at the next start), Freeze stops its processes where they
    // stand (SIGSTOP): the connections stay open and silent, as with a server that hangs; the
    // next start() lets them go on.
    enum class StopMode { Fast, Immediate, Freeze };

    // The server's bin folder: $ZB32_PG_BIN, else the newest /usr/lib/postgresql/*/bin;
    // empty when there is none.
    static QString binFolder();

    PrivatePgServer();
    ~PrivatePgServer();
    PrivatePgServer(const PrivatePgServer&) = delete;
    PrivatePgServer& operator=(const PrivatePgServer&) = delete;

    // Makes the cluster (first call) and starts the server; waits until it takes connections.
    bool start(QString* error);
    bool stop(StopMode mode, QString* error);
    bool isRunning() const { return m_running; }

    // The desk's connection string for the server's "postgres" database.
    QString connectionString() const;
    int port() const { return m_port; }

private:
    // Runs a server program as the cluster's owner; its output goes to `output`.
    bool runTool(const QString& tool, const QStringList& args, QString* output, int timeoutMs = 60000);
    bool initCluster(QString* error);
    // Sends a signal to the server's main process and every process it started.
    bool signalAll(int signal, QString* error);

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_bin;
    int m_port = 0;
    bool m_initialised = false;
    bool m_running = false;
    bool m_frozen = false;
};

} // namespace zb32::test
