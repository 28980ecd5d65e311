// libzip on a buffer; no entry's own size field is trusted for the amount read.
#include "ZipArchive.h"

#include <zip.h>

namespace zb32::sheets {

ZipArchive::~ZipArchive()
{
    if (m_zip) {
        zip_discard(m_zip);
    }
}

bool ZipArchive::isZip(const QByteArray& bytes)
{
    return bytes.startsWith("PK\x03\x04") || bytes.startsWith("PK\x05\x06");
}

bool ZipArchive::open(const QByteArray& bytes, ReadFailure* failure)
{
    zip_error_t error;
    zip_error_init(&error);
    // The buffer outlives the archive: the reader holds the file's bytes until it has finished.
    zip_source_t* source = zip_source_buffer_create(bytes.constData(), zip_uint64_t(bytes.size()), 0, &error);
    if (source) {
        m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
        if (!m_zip) {
            zip_source_free(source);
        }
    }
    const QString why = QString::fromUtf8(zip_error_strerror(&error));
    zip_error_fini(&error);
    if (!m_zip) {
        *failure = damaged(QStringLiteral("l'archivio zip è danneggiato (%1)").arg(why));
        return false;
    }
    return true;
}

qint64 ZipArchive::locate(const QString& name) const
{
    const QByteArray utf8 = name.toUtf8();
    zip_int64_t index = zip_name_locate(m_zip, utf8.constData(), ZIP_FL_ENC_GUESS);
    if (index < 0) {
        index = zip_name_locate(m_zip, utf8.constData(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
    }
    return index;
}

bool ZipArchive::read(const QString& name, QByteArray* out, ReadFailure* failure)
{
    out->clear();
    const qint64 index = locate(name);
    if (index < 0) {
        *failure = damaged(QStringLiteral("manca la parte %1").arg(name));
        return false;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_zip, zip_uint64_t(index), 0, &st) == 0 && (st.valid & ZIP_STAT_ENCRYPTION_METHOD)
        && st.encryption_method != ZIP_EM_NONE) {
        *failure = { ReadFailure::Kind::Encrypted, {} };
        return false;
    }
    zip_file_t* file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!file) {
        const int code = zip_error_code_zip(zip_get_error(m_zip));
        if (code == ZIP_ER_NOPASSWD || code == ZIP_ER_WRONGPASSWD) {
            *failure = { ReadFailure::Kind::Encrypted, {} };
        } else {
            *failure = damaged(
                QStringLiteral("la parte %1 non si apre (%2)").arg(name, QString::fromUtf8(zip_strerror(m_zip))));
        }
        return false;
    }
    char chunk[65536];
    bool ok = true;
    for (;;) {
        const zip_int64_t n = zip_fread(file, chunk, sizeof chunk);
        if (n < 0) {
            *failure = damaged(
                QStringLiteral("la parte %1 è danneggiata (%2)").arg(name, QString::fromUtf8(zip_file_strerror(file))));
            ok = false;
            break;
        }
        if (n == 0) {
            break;
        }
        m_inflated += n;
        if (m_inflated > Limits::kMaxInflatedBytes) {
            *failure = tooLarge(QStringLiteral("decompressa supera %1 MiB").arg(Limits::kMaxInflatedBytes >> 20));
            ok = false;
            break;
        }
        out->append(chunk, static_cast<qsizetype>(n));
    }
    zip_fclose(file);
    return ok;
}

} // namespace zb32::sheets
