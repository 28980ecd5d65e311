// The round-trip limit: the socket's own timing, read from the kernel, and a shutdown to end the wait.
#include "core/desk/RoundTripWatch.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cstddef>

#if defined(Q_OS_LINUX)
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

// The job's own message tells what happened; this line is for whoever turns the category on.
Q_LOGGING_CATEGORY(lcRoundTrip, "zb32.database.roundtrip", QtWarningMsg)

namespace zb32 {

namespace {

// How often the socket is looked at: a tenth of the limit, between 50 ms and 1 s.
int pollMs(int limitMs)
{
    return std::clamp(limitMs / 10, 50, 1000);
}

} // namespace

qint64 RoundTripWatch::waitingMs(qintptr socket, const std::function<bool()>& busy)
{
#if defined(Q_OS_LINUX)
    tcp_info info {};
    socklen_t size = sizeof(info);
    if (getsockopt(static_cast<int>(socket), IPPROTO_TCP, TCP_INFO, &info, &size) != 0
        || size < offsetof(tcp_info, tcpi_last_data_recv) + sizeof(info.tcpi_last_data_recv)) {
        return -1;
    }
    // Both are "milliseconds since", counted in the kernel's ticks: sent more recently than
    // received means an answer is due. On loopback a request often goes out in the very tick its
    // predecessor's answer came in; then only the connection itself can say whether it waits.
    const bool due = info.tcpi_last_data_sent < info.tcpi_last_data_recv
        || (info.tcpi_last_data_sent == info.tcpi_last_data_recv && busy && busy());
    return due ? info.tcpi_last_data_sent : 0;
#else
    Q_UNUSED(socket);
    Q_UNUSED(busy);
    return -1;
#endif
}

RoundTripWatch::RoundTripWatch(qintptr socket, int limitMs, std::function<bool()> busy)
    : m_socket(socket)
    , m_limitMs(limitMs)
    , m_busy(std::move(busy))
{
    m_active = socket >= 0 && limitMs > 0 && waitingMs(socket, {}) >= 0;
    if (m_active) {
        m_thread = std::thread([this] { watch(); });
    }
}

RoundTripWatch::~RoundTripWatch()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void RoundTripWatch::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, std::chrono::milliseconds(pollMs(m_limitMs)), [this] { return m_stop; })) {
        const qint64 waited = waitingMs(m_socket, m_busy);
        if (waited >= m_limitMs) {
            qCInfo(lcRoundTrip) << "no answer from the server for" << waited << "ms: closing the connection";
            m_tripped = true;
#if defined(Q_OS_LINUX)
            ::shutdown(static_cast<int>(m_socket), SHUT_RDWR);
#endif
            return;
        }
    }
}

} // namespace zb32
