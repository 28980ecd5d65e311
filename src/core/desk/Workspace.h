// The demo workspace a first start creates where drive Z has no folder at all.
#pragma once

#include <QString>

namespace zb32 {

// When the folder of drive Z does not exist, creates the configuration file pointing at an
// SQLite database in "dati", the database with its tables, and the import folder with the
// sample files. An existing folder is never changed. Returns false with the reason on failure.
bool ensureDemoWorkspace(bool* created, QString* error);

} // namespace zb32
