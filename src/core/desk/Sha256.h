// The SHA-256 of a file's bytes, fed as they are read: the register's fingerprint of a file.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <memory>

class QIODevice;

namespace zb32 {

// The processor's own SHA-256 instructions through libcrypto where it has them: the whole
// file goes through here before its first line is written, so the hash must cost next to
// nothing beside the import.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Q_DISABLE_COPY_MOVE(Sha256)

    void addData(QByteArrayView bytes);
    // Reads the device to its end into the hash; false when a read fails.
    bool addData(QIODevice* device);
    // The digest as lower-case hex; the hash cannot take more data afterwards.
    QByteArray hexResult();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

} // namespace zb32
