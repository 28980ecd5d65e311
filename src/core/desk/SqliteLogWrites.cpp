// A VFS around the platform's own that gathers the writes of a database's log (see the header).
#include "core/desk/SqliteLogWrites.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sqlite3.h>

namespace zb32 {

namespace {

constexpr int kLogHeader = 32; // the log's own header, at its start
constexpr int kFrameHeader = 24; // each frame's, before its page
constexpr sqlite3_int64 kGathered = 1024 * 1024; // gathered at most before they go
// The most the platform's files take in one write: SQLite itself writes a page at a time, 64 KiB
// at most, and the Unix VFS cuts a larger write short.
constexpr sqlite3_int64 kPiece = 64 * 1024;

sqlite3_vfs* g_platform = nullptr; // the VFS wrapped
sqlite3_vfs g_vfs; // ours: the platform's, with our szOsFile and xOpen

unsigned bigEndian32(const void* at)
{
    const auto* b = static_cast<const unsigned char*>(at);
    return (unsigned(b[0]) << 24) | (unsigned(b[1]) << 16) | (unsigned(b[2]) << 8) | unsigned(b[3]);
}

// An open log. SQLite hands `base`'s address to every method; the platform's file follows.
struct LogFile
{
    sqlite3_file base;
    sqlite3_file* platform = nullptr;
    char* gathered = nullptr; // kGathered bytes, taken at the first write gathered
    sqlite3_int64 start = 0; // where the gathered bytes go in the file
    sqlite3_int64 used = 0;
    int pageSize = 0; // from the log's header; 0 not known yet, -1 not to be had (nothing gathered)
    sqlite3_int64 commitEnd = 0; // the end of a frame whose header says it ends a commit

    sqlite3_int64 end() const { return start + used; }
    int hand()
    {
        if (used == 0) {
            return SQLITE_OK;
        }
        int rc = SQLITE_OK;
        for (sqlite3_int64 at = 0; at < used && rc == SQLITE_OK; at += kPiece) {
            rc = platform->pMethods->xWrite(platform, gathered + at, int(std::min(kPiece, used - at)), start + at);
        }
        used = 0; // (after a failure too: SQLite rolls back, and writes those frames again if at all)
        return rc;
    }
};

constexpr sqlite3_int64 platformOffset()
{
    return (sqlite3_int64(sizeof(LogFile)) + 15) / 16 * 16;
}

LogFile* logOf(sqlite3_file* f)
{
    return reinterpret_cast<LogFile*>(f);
}

// The page size a log's header gives; -1 when it gives none.
int pageSizeOf(const void* header)
{
    const unsigned size = bigEndian32(static_cast<const char*>(header) + 8);
    const unsigned pageSize = size == 1 ? 65536 : size;
    return pageSize >= 512 && pageSize <= 65536 && (pageSize & (pageSize - 1)) == 0 ? int(pageSize) : -1;
}

int logClose(sqlite3_file* f)
{
    LogFile* log = logOf(f);
    const int handed = log->hand();
    const int closed = log->platform->pMethods->xClose(log->platform);
    delete[] log->gathered;
    log->~LogFile();
    return handed != SQLITE_OK ? handed : closed;
}

int logRead(sqlite3_file* f, void* to, int amount, sqlite3_int64 offset)
{
    LogFile* log = logOf(f);
    const int rc = log->hand();
    return rc != SQLITE_OK ? rc : log->platform->pMethods->xRead(log->platform, to, amount, offset);
}

int logWrite(sqlite3_file* f, const void* from, int amount, sqlite3_int64 offset)
{
    LogFile* log = logOf(f);
    if (log->pageSize == 0 && offset == 0 && amount == kLogHeader) {
        log->pageSize = pageSizeOf(from);
    } else if (log->pageSize == 0) {
        // A log another connection began: its header is in the file (nothing is gathered yet).
        unsigned char header[kLogHeader];
        log->pageSize = log->platform->pMethods->xRead(log->platform, header, kLogHeader, 0) == SQLITE_OK
            ? pageSizeOf(header)
            : -1;
    }
    // Only the writes SQLite makes one frame after another are gathered: the log's header, a
    // frame's header, its page. Any other goes as it comes, after what was gathered.
    bool frameHeader = false;
    bool inTurn = false;
    if (log->pageSize > 0) {
        const sqlite3_int64 frame = kFrameHeader + log->pageSize;
        const sqlite3_int64 intoFrame = offset < kLogHeader ? -1 : (offset - kLogHeader) % frame;
        frameHeader = amount == kFrameHeader && intoFrame == 0;
        inTurn = (offset == 0 && amount == kLogHeader) || frameHeader
            || (amount == log->pageSize && intoFrame == kFrameHeader);
    }
    if (!inTurn) {
        const int rc = log->hand();
        log->commitEnd = 0;
        return rc != SQLITE_OK ? rc : log->platform->pMethods->xWrite(log->platform, from, amount, offset);
    }
    if (frameHeader) {
        // A commit's frame gives the database's size in pages after it; every other frame 0.
        log->commitEnd
            = bigEndian32(static_cast<const char*>(from) + 4) != 0 ? offset + kFrameHeader + log->pageSize : 0;
    }
    if (log->used > 0 && offset >= log->start && offset + amount <= log->end()) {
        std::memcpy(log->gathered + (offset - log->start), from, size_t(amount)); // a frame written again
    } else {
        if (log->used > 0 && (offset != log->end() || log->used + amount > kGathered)) {
            const int rc = log->hand();
            if (rc != SQLITE_OK) {
                return rc;
            }
        }
        if (!log->gathered) {
            log->gathered = new (std::nothrow) char[kGathered];
            if (!log->gathered) {
                return log->platform->pMethods->xWrite(log->platform, from, amount, offset);
            }
        }
        if (log->used == 0) {
            log->start = offset;
        }
        std::memcpy(log->gathered + log->used, from, size_t(amount));
        log->used += amount;
    }
    // The page of the frame that ends a commit: everything goes now, before SQLite makes it visible.
    if (log->commitEnd > 0 && offset + amount >= log->commitEnd) {
        log->commitEnd = 0;
        return log->hand();
    }
    return SQLITE_OK;
}

int logTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    LogFile* log = logOf(f);
    const int rc = log->hand();
    return rc != SQLITE_OK ? rc : log->platform->pMethods->xTruncate(log->platform, size);
}

int logSync(sqlite3_file* f, int flags)
{
    LogFile* log = logOf(f);
    const int rc = log->hand();
    return rc != SQLITE_OK ? rc : log->platform->pMethods->xSync(log->platform, flags);
}

int logFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    LogFile* log = logOf(f);
    const int rc = log->hand();
    return rc != SQLITE_OK ? rc : log->platform->pMethods->xFileSize(log->platform, size);
}

int logLock(sqlite3_file* f, int level)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xLock(log->platform, level);
}

int logUnlock(sqlite3_file* f, int level)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xUnlock(log->platform, level);
}

int logCheckReservedLock(sqlite3_file* f, int* out)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xCheckReservedLock(log->platform, out);
}

int logFileControl(sqlite3_file* f, int op, void* arg)
{
    LogFile* log = logOf(f);
    const int rc = log->hand();
    return rc != SQLITE_OK ? rc : log->platform->pMethods->xFileControl(log->platform, op, arg);
}

int logSectorSize(sqlite3_file* f)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xSectorSize(log->platform);
}

int logDeviceCharacteristics(sqlite3_file* f)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xDeviceCharacteristics(log->platform);
}

int logShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xShmMap(log->platform, region, size, extend, out);
}

int logShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xShmLock(log->platform, offset, n, flags);
}

void logShmBarrier(sqlite3_file* f)
{
    LogFile* log = logOf(f);
    log->platform->pMethods->xShmBarrier(log->platform);
}

int logShmUnmap(sqlite3_file* f, int deleteFlag)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xShmUnmap(log->platform, deleteFlag);
}

int logFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out)
{
    LogFile* log = logOf(f);
    const int rc = log->hand();
    return rc != SQLITE_OK ? rc : log->platform->pMethods->xFetch(log->platform, offset, amount, out);
}

int logUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* at)
{
    LogFile* log = logOf(f);
    return log->platform->pMethods->xUnfetch(log->platform, offset, at);
}

// One table for each version the platform's files may have: a log's methods are never more
// than its platform file's.
const sqlite3_io_methods kLogMethods[3] = {
    { 1, logClose, logRead, logWrite, logTruncate, logSync, logFileSize, logLock, logUnlock, logCheckReservedLock,
        logFileControl, logSectorSize, logDeviceCharacteristics, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr },
    { 2, logClose, logRead, logWrite, logTruncate, logSync, logFileSize, logLock, logUnlock, logCheckReservedLock,
        logFileControl, logSectorSize, logDeviceCharacteristics, logShmMap, logShmLock, logShmBarrier, logShmUnmap,
        nullptr, nullptr },
    { 3, logClose, logRead, logWrite, logTruncate, logSync, logFileSize, logLock, logUnlock, logCheckReservedLock,
        logFileControl, logSectorSize, logDeviceCharacteristics, logShmMap, logShmLock, logShmBarrier, logShmUnmap,
        logFetch, logUnfetch },
};

int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    if (!(flags & SQLITE_OPEN_WAL)) {
        // Every other file is the platform's own, in the room SQLite gave (ours is larger).
        return g_platform->xOpen(g_platform, name, file, flags, outFlags);
    }
    LogFile* log = new (file) LogFile;
    log->base.pMethods = nullptr;
    log->platform = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + platformOffset());
    const int rc = g_platform->xOpen(g_platform, name, log->platform, flags, outFlags);
    const sqlite3_io_methods* methods = log->platform->pMethods;
    if (rc != SQLITE_OK || !methods) {
        if (methods) {
            methods->xClose(log->platform);
        }
        log->~LogFile();
        file->pMethods = nullptr;
        return rc != SQLITE_OK ? rc : SQLITE_CANTOPEN;
    }
    log->base.pMethods = &kLogMethods[std::clamp(methods->iVersion, 1, 3) - 1];
    return SQLITE_OK;
}

} // namespace

bool installSqliteLogWrites()
{
    static const bool installed = [] {
        sqlite3_vfs* platform = sqlite3_vfs_find(nullptr);
        if (!platform) {
            return false;
        }
        g_platform = platform;
        g_vfs = *platform; // its other functions, and its own data, as they are
        g_vfs.pNext = nullptr;
        g_vfs.zName = "zb32-log";
        g_vfs.szOsFile = int(std::max<sqlite3_int64>(platform->szOsFile, platformOffset() + platform->szOsFile));
        g_vfs.xOpen = open;
        return sqlite3_vfs_register(&g_vfs, 1) == SQLITE_OK;
    }();
    return installed;
}

} // namespace zb32
