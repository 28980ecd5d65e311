// A VFS around the platform's own that gathers the writes of a database's log (see the header).
#include "core/desk/SqliteLogWrites.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <sqlite3.h>
#include <vector>

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

// What every wrapped file begins with. SQLite hands `base`'s address to every method; the
// platform's file follows in the same room.
struct Wrapped
{
    sqlite3_file base;
    sqlite3_file* platform = nullptr;
};

struct DbFile;

// An open log.
struct LogFile
{
    Wrapped head;
    DbFile* db = nullptr; // the database file of the same connection; nullptr: nothing is gathered
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
        sqlite3_file* to = head.platform;
        for (sqlite3_int64 at = 0; at < used && rc == SQLITE_OK; at += kPiece) {
            rc = to->pMethods->xWrite(to, gathered + at, int(std::min(kPiece, used - at)), start + at);
        }
        used = 0; // (after a failure too: SQLite rolls back, and writes those frames again if at all)
        return rc;
    }
};

// An open database file: wrapped only to see its connection give the log's writing lock back.
struct DbFile
{
    Wrapped head;
    sqlite3_filename name = nullptr; // as SQLite gave it: its log's name leads back to it
    LogFile* log = nullptr;
};

// The database files open in this process, for their logs to find. Their links are then used
// by one connection's thread only.
std::mutex g_openMutex;
std::vector<DbFile*> g_openDbs;

constexpr sqlite3_int64 platformOffset()
{
    return (sqlite3_int64(std::max(sizeof(LogFile), sizeof(DbFile))) + 15) / 16 * 16;
}

LogFile* logOf(sqlite3_file* f)
{
    return reinterpret_cast<LogFile*>(f);
}

DbFile* dbOf(sqlite3_file* f)
{
    return reinterpret_cast<DbFile*>(f);
}

sqlite3_file* platformOf(sqlite3_file* f)
{
    return reinterpret_cast<Wrapped*>(f)->platform;
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
    sqlite3_file* platform = log->head.platform;
    const int closed = platform->pMethods->xClose(platform);
    if (log->db) {
        log->db->log = nullptr;
    }
    delete[] log->gathered;
    log->~LogFile();
    return handed != SQLITE_OK ? handed : closed;
}

int logRead(sqlite3_file* f, void* to, int amount, sqlite3_int64 offset)
{
    LogFile* log = logOf(f);
    const int rc = log->hand();
    return rc != SQLITE_OK ? rc : platformOf(f)->pMethods->xRead(platformOf(f), to, amount, offset);
}

int logWrite(sqlite3_file* f, const void* from, int amount, sqlite3_int64 offset)
{
    LogFile* log = logOf(f);
    if (!log->db) {
        log->pageSize = -1;
    } else if (log->pageSize == 0 && offset == 0 && amount == kLogHeader) {
        log->pageSize = pageSizeOf(from);
    } else if (log->pageSize == 0) {
        // A log another connection began: its header is in the file (nothing is gathered yet).
        unsigned char header[kLogHeader];
        log->pageSize = log->head.platform->pMethods->xRead(log->head.platform, header, kLogHeader, 0) == SQLITE_OK
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
        return rc != SQLITE_OK ? rc : log->head.platform->pMethods->xWrite(log->head.platform, from, amount, offset);
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
                return log->head.platform->pMethods->xWrite(log->head.platform, from, amount, offset);
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
    const int rc = logOf(f)->hand();
    return rc != SQLITE_OK ? rc : platformOf(f)->pMethods->xTruncate(platformOf(f), size);
}

int logSync(sqlite3_file* f, int flags)
{
    const int rc = logOf(f)->hand();
    return rc != SQLITE_OK ? rc : platformOf(f)->pMethods->xSync(platformOf(f), flags);
}

int logFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    const int rc = logOf(f)->hand();
    return rc != SQLITE_OK ? rc : platformOf(f)->pMethods->xFileSize(platformOf(f), size);
}

int logFileControl(sqlite3_file* f, int op, void* arg)
{
    const int rc = logOf(f)->hand();
    return rc != SQLITE_OK ? rc : platformOf(f)->pMethods->xFileControl(platformOf(f), op, arg);
}

int logFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out)
{
    const int rc = logOf(f)->hand();
    return rc != SQLITE_OK ? rc : platformOf(f)->pMethods->xFetch(platformOf(f), offset, amount, out);
}

// The database file's methods, and those the log passes on as they are.
int dbClose(sqlite3_file* f)
{
    DbFile* db = dbOf(f);
    {
        const std::lock_guard<std::mutex> lock(g_openMutex);
        g_openDbs.erase(std::remove(g_openDbs.begin(), g_openDbs.end(), db), g_openDbs.end());
    }
    if (db->log) {
        db->log->db = nullptr; // (SQLite closes the log first)
    }
    sqlite3_file* platform = db->head.platform;
    db->~DbFile();
    return platform->pMethods->xClose(platform);
}

int passRead(sqlite3_file* f, void* to, int amount, sqlite3_int64 offset)
{
    return platformOf(f)->pMethods->xRead(platformOf(f), to, amount, offset);
}

int passWrite(sqlite3_file* f, const void* from, int amount, sqlite3_int64 offset)
{
    return platformOf(f)->pMethods->xWrite(platformOf(f), from, amount, offset);
}

int passTruncate(sqlite3_file* f, sqlite3_int64 size)
{
    return platformOf(f)->pMethods->xTruncate(platformOf(f), size);
}

int passSync(sqlite3_file* f, int flags)
{
    return platformOf(f)->pMethods->xSync(platformOf(f), flags);
}

int passFileSize(sqlite3_file* f, sqlite3_int64* size)
{
    return platformOf(f)->pMethods->xFileSize(platformOf(f), size);
}

int passLock(sqlite3_file* f, int level)
{
    return platformOf(f)->pMethods->xLock(platformOf(f), level);
}

int passUnlock(sqlite3_file* f, int level)
{
    return platformOf(f)->pMethods->xUnlock(platformOf(f), level);
}

int passCheckReservedLock(sqlite3_file* f, int* out)
{
    return platformOf(f)->pMethods->xCheckReservedLock(platformOf(f), out);
}

int passFileControl(sqlite3_file* f, int op, void* arg)
{
    return platformOf(f)->pMethods->xFileControl(platformOf(f), op, arg);
}

int passSectorSize(sqlite3_file* f)
{
    return platformOf(f)->pMethods->xSectorSize(platformOf(f));
}

int passDeviceCharacteristics(sqlite3_file* f)
{
    return platformOf(f)->pMethods->xDeviceCharacteristics(platformOf(f));
}

int passShmMap(sqlite3_file* f, int region, int size, int extend, void volatile** out)
{
    return platformOf(f)->pMethods->xShmMap(platformOf(f), region, size, extend, out);
}

int passShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    return platformOf(f)->pMethods->xShmLock(platformOf(f), offset, n, flags);
}

void passShmBarrier(sqlite3_file* f)
{
    platformOf(f)->pMethods->xShmBarrier(platformOf(f));
}

int passShmUnmap(sqlite3_file* f, int deleteFlag)
{
    return platformOf(f)->pMethods->xShmUnmap(platformOf(f), deleteFlag);
}

int passFetch(sqlite3_file* f, sqlite3_int64 offset, int amount, void** out)
{
    return platformOf(f)->pMethods->xFetch(platformOf(f), offset, amount, out);
}

int passUnfetch(sqlite3_file* f, sqlite3_int64 offset, void* at)
{
    return platformOf(f)->pMethods->xUnfetch(platformOf(f), offset, at);
}

// The connection gives back the log's writing lock (the lock at the shared index's first slot):
// its transaction has ended. A commit's frames went to the file as it was made, so whatever is
// still gathered belongs to no commit (a transaction rolled back after its pages spilled into
// the log) and is dropped: once the lock is free another connection may write frames there.
int dbShmLock(sqlite3_file* f, int offset, int n, int flags)
{
    DbFile* db = dbOf(f);
    if (db->log && offset == 0 && flags == (SQLITE_SHM_UNLOCK | SQLITE_SHM_EXCLUSIVE)) {
        db->log->used = 0;
        db->log->commitEnd = 0;
    }
    return passShmLock(f, offset, n, flags);
}

// A wrapped file's methods are never more than its platform file's: each table in the three
// versions a platform's file may have.
struct Methods
{
    sqlite3_io_methods version[3];

    explicit constexpr Methods(sqlite3_io_methods all)
        : version { upTo(1, all), upTo(2, all), all }
    { }
    static constexpr sqlite3_io_methods upTo(int v, sqlite3_io_methods m)
    {
        m.iVersion = v;
        if (v < 3) {
            m.xFetch = nullptr;
            m.xUnfetch = nullptr;
        }
        if (v < 2) {
            m.xShmMap = nullptr;
            m.xShmLock = nullptr;
            m.xShmBarrier = nullptr;
            m.xShmUnmap = nullptr;
        }
        return m;
    }
    const sqlite3_io_methods* forPlatform(const sqlite3_io_methods* platform) const
    {
        return &version[std::clamp(platform->iVersion, 1, 3) - 1];
    }
};

constexpr Methods kLogMethods { { 3, logClose, logRead, logWrite, logTruncate, logSync, logFileSize, passLock,
    passUnlock, passCheckReservedLock, logFileControl, passSectorSize, passDeviceCharacteristics, passShmMap,
    passShmLock, passShmBarrier, passShmUnmap, logFetch, passUnfetch } };

constexpr Methods kDbMethods { { 3, dbClose, passRead, passWrite, passTruncate, passSync, passFileSize, passLock,
    passUnlock, passCheckReservedLock, passFileControl, passSectorSize, passDeviceCharacteristics, passShmMap,
    dbShmLock, passShmBarrier, passShmUnmap, passFetch, passUnfetch } };

// Opens the platform's file behind `head`, in the room after it; its methods or nullptr.
const sqlite3_io_methods* openPlatform(
    Wrapped& head, sqlite3_file* file, sqlite3_filename name, int flags, int* outFlags, int* rc)
{
    head.base.pMethods = nullptr;
    head.platform = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(file) + platformOffset());
    *rc = g_platform->xOpen(g_platform, name, head.platform, flags, outFlags);
    const sqlite3_io_methods* methods = head.platform->pMethods;
    if (*rc != SQLITE_OK || !methods) {
        if (methods) {
            methods->xClose(head.platform);
        }
        if (*rc == SQLITE_OK) {
            *rc = SQLITE_CANTOPEN;
        }
        return nullptr;
    }
    return methods;
}

int open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags)
{
    int rc = SQLITE_OK;
    if (flags & SQLITE_OPEN_MAIN_DB) {
        DbFile* db = new (file) DbFile;
        const sqlite3_io_methods* methods = openPlatform(db->head, file, name, flags, outFlags, &rc);
        if (!methods) {
            db->~DbFile();
            file->pMethods = nullptr;
            return rc;
        }
        db->name = name;
        if (name) {
            const std::lock_guard<std::mutex> lock(g_openMutex);
            g_openDbs.push_back(db);
        }
        db->head.base.pMethods = kDbMethods.forPlatform(methods);
        return SQLITE_OK;
    }
    if (!(flags & SQLITE_OPEN_WAL)) {
        // Every other file is the platform's own, in the room SQLite gave (ours is larger).
        return g_platform->xOpen(g_platform, name, file, flags, outFlags);
    }
    LogFile* log = new (file) LogFile;
    const sqlite3_io_methods* methods = openPlatform(log->head, file, name, flags, outFlags, &rc);
    if (!methods) {
        log->~LogFile();
        file->pMethods = nullptr;
        return rc;
    }
    if (name) {
        // A log's name is kept with its database's: the same connection's file.
        const sqlite3_filename dbName = sqlite3_filename_database(name);
        const std::lock_guard<std::mutex> lock(g_openMutex);
        for (DbFile* db : g_openDbs) {
            if (db->name == dbName && !db->log) {
                db->log = log;
                log->db = db;
                break;
            }
        }
    }
    log->head.base.pMethods = kLogMethods.forPlatform(methods);
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
