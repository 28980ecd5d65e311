// The shared configuration file, read as the platform's private-profile reader reads it.
#pragma once

#include <QString>

namespace zb32 {

// The value of `key` in `section` of `file`: sections and keys without regard to case, the
// first section and the first key of that name win, the value after "=" trimmed, taken out of
// a pair of enclosing quotes and cut to 511 characters, everything else as it stands. The file
// in the code page, or UTF-8 or UTF-16 with a byte-order mark. Empty when file, section or key
// is missing.
QString LeggiIni(const QString& file, const QString& section, const QString& key);
// The same reading over the file's bytes.
QString iniValue(const QByteArray& content, const QString& section, const QString& key);

} // namespace zb32
