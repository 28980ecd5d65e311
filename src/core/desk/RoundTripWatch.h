// A limit on how long the desk waits for the database server to answer one request. A server
// that stopped (a frozen process, a host that hangs) leaves the connection open and silent; the
// machine it runs on may even go on acknowledging what is sent. The watch looks at the
// connection's socket from a thread of its own: once a request has gone out and nothing has come
// back for the whole limit, it shuts the socket down, so the waiting call returns with a broken
// connection and the job stops as for a lost server. The one file that talks to the platform's
// sockets.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace zb32 {

class RoundTripWatch
{
public:
    // `socket`: the connection's socket, which must stay open as long as the watch lives.
    // `busy`: whether the connection has a request under way, asked from the watch's thread.
    RoundTripWatch(qintptr socket, int limitMs, std::function<bool()> busy = {});
    ~RoundTripWatch();
    RoundTripWatch(const RoundTripWatch&) = delete;
    RoundTripWatch& operator=(const RoundTripWatch&) = delete;

    // Whether the platform tells how long the socket has been waiting (TCP on Linux); without
    // it the watch does nothing and only the connection's own keepalives are left.
    bool active() const { return m_active; }
    // Whether the limit passed and the connection was cut.
    bool tripped() const { return m_tripped.load(); }
    int limitMs() const { return m_limitMs; }

    // How long the socket has waited for an answer to what it last sent, in ms: 0 when what it
    // last did was to receive; -1 when the platform does not tell.
    static qint64 waitingMs(qintptr socket, const std::function<bool()>& busy);

private:
    void watch();

    qintptr m_socket;
    int m_limitMs;
    std::function<bool()> m_busy;
    bool m_active = false;
    std::atomic<bool> m_tripped { false };
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace zb32
