// Operating-system calls.
#include "core/desk/Platform.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#endif

namespace zb32 {

bool processAlive(qint64 pid)
{
    if (pid <= 0) {
        return false;
    }
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    // Signal 0 only asks whether the process is there; EPERM: it is, and belongs to another user.
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

// The C library picks its copy and fill functions by the processor. Where it has AVX-512 it picks
// ones that leave the upper vector registers in use, and every later SSE instruction of the
// process (Qt's text functions are full of them) pays for that: a case import spent 6 to 11 % of
// its time in memmove, and its CPU time fell by 13 % with the AVX2 functions. The choice is made
// as the program is loaded, so the program starts itself again, once, with them set aside
// (GLIBC_TUNABLES). A choice the environment already makes is kept; under valgrind, whose
// processes this would leave, nothing is done.
void restartWithAvx2StringFunctions(char* argv[])
{
#if defined(__GLIBC__) && defined(__x86_64__)
    if (!__builtin_cpu_supports("avx512f")) {
        return;
    }
    const char* current = std::getenv("GLIBC_TUNABLES");
    const char* preload = std::getenv("LD_PRELOAD");
    if ((current && std::strstr(current, "glibc.cpu.hwcaps")) || (preload && std::strstr(preload, "vgpreload"))) {
        return;
    }
    const std::string before = current ? current : "";
    const std::string value = (before.empty() ? std::string() : before + ":") + "glibc.cpu.hwcaps=-AVX512F,-AVX512VL";
    if (setenv("GLIBC_TUNABLES", value.c_str(), 1) != 0) {
        return;
    }
    // By its own path, not /proc/self/exe: the process keeps its name ("zb32") in the task list.
    char path[4096];
    const ssize_t size = readlink("/proc/self/exe", path, sizeof path - 1);
    if (size > 0) {
        path[size] = '\0';
        execv(path, argv);
    }
    // Not started again: this process goes on as it is.
    if (current) {
        setenv("GLIBC_TUNABLES", before.c_str(), 1);
    } else {
        unsetenv("GLIBC_TUNABLES");
    }
#else
    Q_UNUSED(argv);
#endif
}

qintptr openToSync(const QString& path)
{
#ifdef Q_OS_WIN
    // Windows flushes a file only through a handle that may write to it; nothing is written here.
    HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<qintptr>(file);
#else
    // Linux writes out a file's data through any descriptor of it, one opened for reading too.
    return ::open(path.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
#endif
}

int syncToDisk(qintptr handle)
{
#ifdef Q_OS_WIN
    return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) ? 0 : int(GetLastError());
#else
    while (::fdatasync(int(handle)) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
#endif
}

void closeSynced(qintptr handle)
{
#ifdef Q_OS_WIN
    CloseHandle(reinterpret_cast<HANDLE>(handle));
#else
    ::close(int(handle));
#endif
}

} // namespace zb32
