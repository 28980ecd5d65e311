// Template packages for the zipped workbook targets.
#include "PackageFuzz.h"

#include "FuzzSupport.h"
#include "SheetBuilder.h"
#include "WorkbookFile.h"

#include <QBuffer>
#include <QFile>
#include <cstdlib>
#include <cstring>
#include <zip.h>

namespace zb32::fuzz {

namespace {

// A copy that libzip owns and frees: a writable buffer source may free or replace its data.
void* owned(const QByteArray& bytes)
{
    void* copy = std::malloc(static_cast<size_t>(bytes.size()) + 1);
    std::memcpy(copy, bytes.constData(), static_cast<size_t>(bytes.size()));
    return copy;
}

QByteArray withPart(const QByteArray& package, const char* part, const QByteArray& content)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(owned(package), zip_uint64_t(package.size()), 1, &error);
    ZB32_FUZZ_CHECK(buffer != nullptr, QString::fromUtf8(zip_error_strerror(&error)));
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, 0, &error);
    ZB32_FUZZ_CHECK(archive != nullptr, QString::fromUtf8(zip_error_strerror(&error)));
    // An empty buffer is not taken over by libzip.
    zip_source_t* source = content.isEmpty()
        ? zip_source_buffer_create(nullptr, 0, 0, &error)
        : zip_source_buffer_create(owned(content), zip_uint64_t(content.size()), 1, &error);
    const zip_int64_t index = zip_file_add(archive, part, source, ZIP_FL_OVERWRITE);
    ZB32_FUZZ_CHECK(index >= 0, QString::fromUtf8(zip_strerror(archive)));
    zip_set_file_compression(archive, zip_uint64_t(index), ZIP_CM_STORE, 0);
    ZB32_FUZZ_CHECK(zip_close(archive) == 0, QString::fromUtf8(zip_strerror(archive)));
    QByteArray out;
    zip_stat_t st;
    ZB32_FUZZ_CHECK(zip_source_stat(buffer, &st) == 0 && zip_source_open(buffer) == 0, QStringLiteral("zip buffer"));
    out.resize(static_cast<qsizetype>(st.size));
    const zip_int64_t n = zip_source_read(buffer, out.data(), st.size);
    ZB32_FUZZ_CHECK(n == zip_int64_t(st.size), QStringLiteral("zip buffer read"));
    zip_source_close(buffer);
    zip_source_free(buffer);
    return out;
}

} // namespace

void readPackage(const uint8_t* data, size_t size, const char* templateFixture, const char* mainPart)
{
    static const QByteArray templ = [&] {
        QFile f(QStringLiteral(ZB32_SOURCE_DIR "/tests/data/workbooks/") + QString::fromLatin1(templateFixture));
        if (!f.open(QIODevice::ReadOnly)) {
            fail("the template package is missing", f.fileName());
        }
        return f.readAll();
    }();
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    readAndCheck(input.startsWith("PK") ? input : withPart(templ, mainPart, input));
}

void readAndCheck(const QByteArray& bytes)
{
    WorkbookData book;
    QString error;
    if (!sheets::readWorkbook(bytes, &book, &error)) {
        ZB32_FUZZ_CHECK(!error.isEmpty() && book.sheets.isEmpty(), error);
        return;
    }
    qint64 cells = 0;
    for (const WorkbookSheet& s : std::as_const(book.sheets)) {
        cells += s.cells.size();
        for (auto it = s.cells.constBegin(); it != s.cells.constEnd(); ++it) {
            ZB32_FUZZ_CHECK(it.key() / 65536 < s.rows && it.key() % 65536 < s.columns && it.value().isValid(), s.name);
        }
    }
    ZB32_FUZZ_CHECK(cells <= sheets::Limits::kMaxCells, QString::number(cells));
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    {
        QDataStream out(&buffer);
        book.write(out);
    }
    buffer.seek(0);
    QDataStream in(&buffer);
    WorkbookData back;
    ZB32_FUZZ_CHECK(back.read(in) && back.sheets.size() == book.sheets.size(), QStringLiteral("dump"));
}

} // namespace zb32::fuzz
