// What the desk asks of the operating system that Qt does not answer: the one place for such calls.
#pragma once

#include <QtGlobal>

namespace zb32 {

// Whether a process with this id runs on this machine.
bool processAlive(qint64 pid);

} // namespace zb32
