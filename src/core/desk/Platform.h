// What the desk asks of the operating system that Qt does not answer: the one place for such calls.
#pragma once

#include <QtGlobal>

namespace zb32 {

// Whether a process with this id runs on this machine.
bool processAlive(qint64 pid);

// Called first thing in main(): on an x86-64 processor with AVX-512, the program is started again
// (once, the same process id, name and arguments) with the C library's AVX2 copy and fill functions.
void restartWithAvx2StringFunctions(char* argv[]);

} // namespace zb32
