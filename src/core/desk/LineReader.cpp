// Line reading over a device, in chunks, with the byte position kept for progress bars.
#include "core/desk/LineReader.h"

#include "core/desk/Cp1252.h"
#include "core/desk/Sha256.h"

#include <QElapsedTimer>
#include <algorithm>
#include <bit>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zb32 {

namespace {

constexpr qint64 kChunk = 256 * 1024;

const char kUtf8Bom[] = "\xEF\xBB\xBF";

// Files are read a word of eight bytes at a time where no byte of the word needs a closer look.
constexpr quint64 kOnes = 0x0101010101010101ULL;
constexpr quint64 kHighBits = 0x8080808080808080ULL;

quint64 wordAt(const char* data)
{
    quint64 w = 0;
    std::memcpy(&w, data, sizeof w);
    return w;
}

// Nonzero when a byte of `w` is `byte`.
quint64 hasByte(quint64 w, unsigned char byte)
{
    const quint64 x = w ^ (kOnes * byte);
    return (x - kOnes) & ~x & kHighBits;
}

// The offset of the first CR or LF of data[from, size), or `size`.
qsizetype lineBreak(const char* data, qsizetype from, qsizetype size)
{
    qsizetype i = from;
#if defined(__SSE2__)
    // Sixteen bytes a step: the search runs over every byte of the file.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= size; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
        const int hits = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (hits != 0) {
            return i + std::countr_zero(unsigned(hits));
        }
    }
#endif
    for (; i + 8 <= size; i += 8) {
        const quint64 w = wordAt(data + i);
        if (hasByte(w, '\r') || hasByte(w, '\n')) {
            break;
        }
    }
    while (i < size && data[i] != '\r' && data[i] != '\n') {
        ++i;
    }
    return i;
}

// Nonzero when a byte of `w` is below 0x20 or has its high bit set.
quint64 hasControlOrHigh(quint64 w)
{
    return ((w - kOnes * 0x20) | w) & kHighBits;
}

// True when the bytes are UTF-8 (plain ASCII included); `multiByte` tells whether they held a
// sequence of more than one byte.
bool validUtf8(const char* data, qsizetype size, bool* multiByteSeen)
{
    bool multiByte = false;
    for (qsizetype i = Cp1252::asciiEnd(data, 0, size); i < size; i = Cp1252::asciiEnd(data, i, size)) {
        const auto b = static_cast<unsigned char>(data[i]);
        int extra = 0;
        unsigned int cp = 0;
        if (b >= 0xC2 && b <= 0xDF) {
            extra = 1;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3;
            cp = b & 0x07;
        } else {
            *multiByteSeen = multiByte;
            return false;
        }
        if (i + extra >= size) {
            *multiByteSeen = multiByte;
            return false; // a sequence cut short by the end of the line
        }
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(data[i + k]);
            if ((c & 0xC0) != 0x80) {
                *multiByteSeen = multiByte;
                return false;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            *multiByteSeen = multiByte;
            return false;
        }
        multiByte = true;
        i += extra + 1;
    }
    *multiByteSeen = multiByte;
    return true;
}

// True when the bytes hold at least one multi-byte UTF-8 sequence and nothing that is not UTF-8.
bool looksLikeUtf8(const char* data, qsizetype size)
{
    bool multiByte = false;
    return validUtf8(data, size, &multiByte) && multiByte;
}

// A file saved as "Unicode": a UTF-16 BOM, or text whose every other byte is 0.
bool looksLikeUtf16(const QByteArray& head)
{
    if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        return true;
    }
    return head.size() >= 4
        && ((head[0] != 0 && head[1] == 0 && head[2] != 0 && head[3] == 0)
            || (head[0] == 0 && head[1] != 0 && head[2] == 0 && head[3] != 0));
}

// The offset of the first byte that no text line holds, or -1.
qsizetype firstControlByte(const char* data, qsizetype size)
{
    qsizetype i = 0;
    while (i + 8 <= size && !hasControlOrHigh(wordAt(data + i))) {
        i += 8;
    }
    for (; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != 0x1a) {
            return i;
        }
    }
    return -1;
}

// Items handed from one thread to another, at most `limit` waiting: the side that puts waits
// for room, the side that takes waits for an item. Once closed, nothing waits any more.
template<typename T> class Handoff
{
public:
    explicit Handoff(size_t limit)
        : m_limit(limit)
    { }

    // False when closed; the item is kept all the same, for drain().
    bool put(T item)
    {
        {
            std::unique_lock lock(m_mutex);
            m_room.wait(lock, [this] { return m_closed || m_items.size() < m_limit; });
            m_items.push_back(std::move(item));
            if (m_closed) {
                return false;
            }
        }
        m_ready.notify_one();
        return true;
    }
    // The next item; none once closed and empty.
    std::optional<T> take()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return m_closed || !m_items.empty(); });
        if (m_items.empty()) {
            return std::nullopt;
        }
        T item = std::move(m_items.front());
        m_items.pop_front();
        lock.unlock();
        m_room.notify_one();
        return item;
    }
    void close()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
        m_room.notify_all();
    }
    // What was put and not taken, in order; once no other thread uses the handoff.
    std::deque<T> drain() { return std::move(m_items); }

private:
    const size_t m_limit;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_room;
    std::deque<T> m_items;
    bool m_closed = false;
};

} // namespace

// The file's bytes go to the hash on a thread of their own while the scan looks at its lines: a
// few chunks at most are waiting, so memory stays flat.
struct LineReader::HashFeed
{
    explicit HashFeed(Sha256* hash)
        : thread([this, hash] {
            while (std::optional<QByteArray> bytes = chunks.take()) {
                hash->addData(*bytes);
            }
        })
    { }
    ~HashFeed() { finish(); }
    HashFeed(const HashFeed&) = delete;
    HashFeed& operator=(const HashFeed&) = delete;

    void push(QByteArray bytes) { chunks.put(std::move(bytes)); }
    // Waits until every byte pushed is in the hash.
    void finish()
    {
        if (thread.joinable()) {
            chunks.close();
            thread.join();
        }
    }

    Handoff<QByteArray> chunks { 16 };
    std::thread thread; // last: it starts once the rest is there
};

// The file is read a couple of chunks ahead on a thread of its own: the copy out of the system's
// file cache, a tenth of a case import's time on the desk's thread, goes there. The reading then
// keeps each chunk as its buffer, with the start of the line the chunk before ended in copied in
// front of it, so the desk's thread copies no more than that. Nobody else uses the device meanwhile.
struct LineReader::ReadAhead
{
    struct Chunk
    {
        QByteArray bytes; // `headroom` free bytes, then what was read
        bool end = false; // nothing after it: the file's end, or `error`
        QString error;
    };

    // `headroom`: free bytes before each chunk's data, where the line the chunk before ends in
    // is copied, so the chunk itself becomes the buffer.
    ReadAhead(QIODevice* device, qsizetype bytesBefore)
        : headroom(bytesBefore)
        , thread([this, device] { read(device); })
    { }
    ~ReadAhead() { stop(); }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    void read(QIODevice* device)
    {
        for (bool end = false; !end;) {
            Chunk chunk;
            chunk.bytes.resize(headroom + kChunk);
            // A whole chunk, whatever the device hands at a time.
            qint64 got = 0;
            qint64 n = 0;
            while (got < kChunk && (n = device->read(chunk.bytes.data() + headroom + got, kChunk - got)) > 0) {
                got += n;
            }
            chunk.bytes.resize(headroom + got);
            if (got == 0 && n < 0) {
                chunk.error = device->errorString();
            }
            end = chunk.end = got == 0;
            if (!chunks.put(std::move(chunk))) {
                return; // stopped: the chunk is handed over by stop()
            }
        }
    }
    // The next chunk; not asked again after one that ends the file.
    Chunk take()
    {
        std::optional<Chunk> chunk = chunks.take();
        return chunk ? std::move(*chunk) : Chunk { {}, true, {} };
    }
    // Stops the reading; the chunks read and not taken, in order.
    std::deque<Chunk> stop()
    {
        if (thread.joinable()) {
            chunks.close();
            thread.join();
        }
        return chunks.drain();
    }

    const qsizetype headroom;
    Handoff<Chunk> chunks { 2 };
    std::thread thread; // last: it starts once the rest is there
};

LineReader::LineReader(QIODevice* device)
    : m_device(device)
{ }

LineReader::~LineReader() = default;

bool LineReader::fill()
{
    if (m_atEnd) {
        return false;
    }
    // The scan hands each chunk on to the hash whole; the reading keeps it as its buffer.
    constexpr qsizetype kRoom = 16 * 1024;
    if (!m_ahead) {
        m_ahead = std::make_unique<ReadAhead>(m_device, m_feed ? 0 : kRoom);
    }
    ReadAhead::Chunk chunk = m_ahead->take();
    if (chunk.end) {
        m_error = chunk.error;
        m_atEnd = true;
        m_ahead.reset();
        return false;
    }
    const qsizetype room = m_ahead->headroom;
    const qsizetype rest = m_buffer.size() - m_offset; // the start of a line not read whole yet
    if (!m_feed && rest <= room) {
        std::memcpy(chunk.bytes.data() + room - rest, m_buffer.constData() + m_offset, size_t(rest));
        m_buffer = std::move(chunk.bytes);
        m_offset = room - rest;
        return true;
    }
    if (m_offset > 0) {
        m_buffer.remove(0, m_offset);
        m_offset = 0;
    }
    m_buffer.append(chunk.bytes.constData() + room, chunk.bytes.size() - room); // a copy: nothing is shared
    if (m_feed) {
        QElapsedTimer hashing;
        hashing.start();
        m_feed->push(std::move(chunk.bytes)); // the chunk itself, not a copy
        m_hashNs += hashing.nsecsElapsed();
    }
    return true;
}

LineReader::Status LineReader::decideEncoding(Sha256* hash)
{
    const qint64 start = m_device->pos();
    const QByteArray head = m_device->peek(4);
    const bool utf16 = looksLikeUtf16(head);
    const bool bom = head.startsWith(kUtf8Bom);
    LineReader scan(m_device);
    std::unique_ptr<HashFeed> feed = hash ? std::make_unique<HashFeed>(hash) : nullptr;
    scan.m_feed = feed.get();
    scan.m_scanning = true;
    scan.m_refuseControl = false;
    scan.m_skipBom = bom;
    QString ignored;
    Status status = Status::Line;
    while (!utf16 && (status = scan.readLine(&ignored)) == Status::Line) {
        if (!bom && m_refuseUtf8 && scan.m_firstUtf8Line > 0) {
            break; // the first UTF-8 line of a Windows-1252 file is all we need
        }
    }
    // The rest of a file the scan need not look at still counts for the hash: what was read
    // ahead first, then what the device still holds.
    m_hashNs = scan.m_hashNs;
    QElapsedTimer hashing;
    hashing.start();
    if (scan.m_ahead) {
        for (ReadAhead::Chunk& chunk : scan.m_ahead->stop()) {
            if (feed && !chunk.bytes.isEmpty()) {
                feed->push(std::move(chunk.bytes));
            }
        }
        scan.m_ahead.reset();
    }
    for (QByteArray rest; feed && !(rest = m_device->read(kChunk)).isEmpty();) {
        feed->push(std::move(rest));
    }
    if (feed) {
        feed->finish();
    }
    m_hashNs += hash ? hashing.nsecsElapsed() : 0;
    if (!m_device->seek(start)) {
        return fail(m_device->errorString(), 1);
    }
    if (utf16) {
        return fail(QStringLiteral("il file è in Unicode (UTF-16): salvarlo come testo ANSI"), 1);
    }
    m_skipBom = bom;
    // A read error or an overlong line is met again, in its place, by the reading itself.
    m_utf8 = bom && status == Status::End && scan.m_allUtf8;
    if (!m_utf8 && m_refuseUtf8 && scan.m_firstUtf8Line > 0) {
        return fail(QStringLiteral("la riga è scritta in UTF-8 e non in Windows-1252 (le colonne risulterebbero "
                                   "spostate)"),
            scan.m_firstUtf8Line);
    }
    // Every line the reading can reach has been looked at: none is UTF-8, or all may be.
    m_refuseUtf8 = false;
    return Status::Line;
}

LineReader::Status LineReader::readLine(QString* line)
{
    qsizetype searchFrom = m_offset;
    for (;;) {
        const char* data = m_buffer.constData();
        const qsizetype size = m_buffer.size();
        const qsizetype brk = lineBreak(data, searchFrom, size);
        if (brk < size) {
            if (data[brk] == '\n') {
                return deliver(brk, brk + 1, line);
            }
            // A CR at the very end of the buffer may be followed by an LF not read yet.
            if (brk + 1 >= size && !m_atEnd) {
                const qsizetype rel = brk - m_offset;
                fill();
                searchFrom = m_offset + rel;
                continue;
            }
            qsizetype end = brk + 1;
            if (end < m_buffer.size() && m_buffer.at(end) == '\n') {
                ++end;
            }
            return deliver(brk, end, line);
        }
        if (m_buffer.size() - m_offset > kMaxLineBytes) {
            return tooLong();
        }
        searchFrom = m_buffer.size() - m_offset;
        if (!fill()) {
            if (!m_error.isEmpty()) {
                m_errorLine = m_lineNumber + 1;
                return Status::Error;
            }
            if (m_offset >= m_buffer.size()) {
                return Status::End;
            }
            return deliver(m_buffer.size(), m_buffer.size(), line);
        }
        searchFrom += m_offset; // fill() moved the data to the front
    }
}

LineReader::Status LineReader::fail(const QString& why, int line)
{
    m_error = why;
    m_errorLine = line;
    return Status::Error;
}

LineReader::Status LineReader::tooLong()
{
    return fail(QStringLiteral("riga più lunga di %1 byte: il file non è un file di testo a righe").arg(kMaxLineBytes),
        m_lineNumber + 1);
}

LineReader::Status LineReader::deliver(qsizetype end, qsizetype next, QString* line)
{
    const char* data = m_buffer.constData() + m_offset;
    qsizetype size = end - m_offset;
    if (size > kMaxLineBytes) {
        return tooLong();
    }
    if (m_skipBom && m_lineNumber == 0 && size >= 3 && std::memcmp(data, kUtf8Bom, 3) == 0) {
        data += 3;
        size -= 3;
    }
    if (m_refuseControl) {
        const qsizetype at = firstControlByte(data, size);
        if (at >= 0) {
            return fail(QStringLiteral("la riga contiene il carattere di controllo 0x%1 alla colonna %2: il file "
                                       "non è un file di testo")
                            .arg(static_cast<unsigned char>(data[at]), 2, 16, QLatin1Char('0'))
                            .arg(at + 1),
                m_lineNumber + 1);
        }
    }
    if (m_scanning) {
        bool multiByte = false;
        const bool valid = validUtf8(data, size, &multiByte);
        m_allUtf8 = m_allUtf8 && valid;
        if (valid && multiByte && m_firstUtf8Line == 0) {
            m_firstUtf8Line = m_lineNumber + 1;
        }
    } else if (m_utf8) {
        *line = QString::fromUtf8(data, size);
    } else if (m_refuseUtf8 && looksLikeUtf8(data, size)) {
        return fail(
            QStringLiteral("la riga è scritta in UTF-8 e non in Windows-1252 (le colonne risulterebbero spostate)"),
            m_lineNumber + 1);
    } else {
        *line = Cp1252::decode(data, size);
    }
    m_position += next - m_offset;
    m_offset = next;
    ++m_lineNumber;
    return Status::Line;
}

} // namespace zb32
