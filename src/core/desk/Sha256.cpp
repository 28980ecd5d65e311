// SHA-256 through libcrypto's digest interface.
#include "core/desk/Sha256.h"

#include <QIODevice>
#include <openssl/evp.h>

namespace zb32 {

struct Sha256::Context
{
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(ctx); }
};

Sha256::Sha256()
    : m_context(std::make_unique<Context>())
{
    EVP_DigestInit_ex(m_context->ctx, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::addData(QByteArrayView bytes)
{
    EVP_DigestUpdate(m_context->ctx, bytes.data(), static_cast<size_t>(bytes.size()));
}

bool Sha256::addData(QIODevice* device)
{
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    for (;;) {
        const qint64 got = device->read(chunk.data(), chunk.size());
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        addData(QByteArrayView(chunk.constData(), got));
    }
}

QByteArray Sha256::hexResult()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_DigestFinal_ex(m_context->ctx, digest, &size);
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(size)).toHex();
}

} // namespace zb32
