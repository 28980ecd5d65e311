// Fixed Windows paths ("Z:\work\kx32\...") mapped onto this machine.
#pragma once

#include <QString>

namespace zb32 {

// The configuration file, the import folder and the root of the print files.
inline const QString kIniPath = QStringLiteral("Z:\\work\\kx32\\dati\\kx32.ini");
inline const QString kImportFolder = QStringLiteral("z:\\work\\kx32\\import\\");
inline const QString kFileListFolder = QStringLiteral("Z:\\work\\kx32\\import");
inline const QString kPostelFolder = QStringLiteral("C:\\");

// On Windows the path as it is. Elsewhere "X:\a\b" lives under $ZB32_DRIVE_X (default
// ~/.local/share/zb32/drives/X), each existing component matched without regard to case.
// A path without a drive letter is returned with its separators turned to "/".
QString resolveDrivePath(const QString& windowsPath);
// The folder standing for drive `letter` ("Z").
QString driveRoot(QChar letter);

} // namespace zb32
