// What the desk asks of the operating system that Qt does not answer: the one place for such calls.
#pragma once

#include <QString>
#include <QtGlobal>

namespace zb32 {

// Whether a process with this id runs on this machine.
bool processAlive(qint64 pid);

// Called first thing in main(): on an x86-64 processor with AVX-512, the program is started again
// (once, the same process id, name and arguments) with the C library's AVX2 copy and fill functions.
void restartWithAvx2StringFunctions(char* argv[]);

// A file opened only to have what others write to it reach the disk, from any thread: its handle,
// or -1 when it cannot be opened. It is never created.
qintptr openToSync(const QString& path);
// Waits until what was written to the file is on the disk: 0, or the system's error code.
int syncToDisk(qintptr handle);
void closeSynced(qintptr handle);

} // namespace zb32
