// SQLite writes each frame of a database's log (its WAL file) in two system calls: the frame's
// 24-byte header, then its page. A case import of a million lines makes some 40,000 of them, and
// on the desks' machines a system call costs about as much as writing a page into the system's
// cache. The log writes gathered here go to the system in large pieces instead.
//
// What other connections and other desks can read does not change: SQLite makes a commit visible
// (through the log's shared-memory index) only once its frames are written, and the gathered
// frames are handed to the system as the frame that ends a commit is written. They go before the
// log is read, synced, truncated, measured or closed as well, and before any write that is not
// the next frame in turn. A hand-over that fails fails the write that made it, so the commit is
// refused as it would be without the gathering. When the connection gives back the log's writing
// lock, whatever is still gathered belongs to no commit (a transaction rolled back after its pages
// spilled into the log) and is dropped, so it cannot land later over the frames another
// connection writes there. The database file is wrapped only to see that lock given back; its
// reads and writes, and every other file, are the platform's own, as they are.
#pragma once

namespace zb32 {

// Makes the gathering SQLite's default VFS for the connections opened from now on, around the
// platform's own. Idempotent; false (nothing changed) when the library refuses it.
bool installSqliteLogWrites();

} // namespace zb32
