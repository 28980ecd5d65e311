// The zip package of .xlsx and .ods workbooks, read from memory with libzip; every entry is
// inflated only up to what the package as a whole may inflate to.
#pragma once

#include "SheetBuilder.h"

#include <QByteArray>
#include <QString>

struct zip;

namespace zb32::sheets {

class ZipArchive
{
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    static bool isZip(const QByteArray& bytes);

    bool open(const QByteArray& bytes, ReadFailure* failure);
    // Entry names compare exactly, then without regard to case (some writers change it).
    bool contains(const QString& name) const { return locate(name) >= 0; }
    // The inflated entry. An encrypted entry fails as Encrypted.
    bool read(const QString& name, QByteArray* out, ReadFailure* failure);

private:
    qint64 locate(const QString& name) const;

    zip* m_zip = nullptr;
    qint64 m_inflated = 0;
};

} // namespace zb32::sheets
