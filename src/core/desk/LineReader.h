// Reads the lines of a text file: Windows-1252, or UTF-8 when the file says so with a BOM and
// all of it is UTF-8. A line ends at CR LF, CR or LF: no record of these fixed-column files
// holds a line break.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <memory>

namespace zb32 {

class Sha256;

class LineReader
{
public:
    enum class Status { Line, End, Error };

    // A line longer than this stops the reading with an error: the longest record of the files
    // is a few hundred characters, and a file without line ends must not fill memory.
    static constexpr qsizetype kMaxLineBytes = 1024 * 1024;

    explicit LineReader(QIODevice* device);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Reads the whole file once, before the first line, and decides its encoding for all of it:
    // UTF-8 when it starts with a UTF-8 BOM and every byte after it is UTF-8, else Windows-1252.
    // Error when the file is UTF-16, or (while UTF-8 lines are refused) a line of a
    // Windows-1252 file is UTF-8 — so such a file stops before anything of it is written.
    // Control characters and line lengths are still checked line by line. The device is seekable.
    // With `hash`, every byte of the file goes through it on the way: one reading serves both.
    Status decideEncoding(Sha256* hash = nullptr);
    Status readLine(QString* line);
    bool isUtf8() const { return m_utf8; }
    // A line whose non-ASCII bytes all form valid UTF-8 sequences was written in UTF-8, not in
    // Windows-1252: its columns would be shifted, so it is refused (on by default).
    void setRefuseUtf8(bool refuse) { m_refuseUtf8 = refuse; }
    // A line holding a control character other than tab, line feed, form feed and the
    // end-of-file mark (Ctrl-Z) is not text: a binary file, or a damaged one (on by default).
    void setRefuseControl(bool refuse) { m_refuseControl = refuse; }
    // Bytes consumed so far: the position of the next line.
    qint64 position() const { return m_position; }
    // Number of the line last returned, from 1.
    int lineNumber() const { return m_lineNumber; }
    // Time the reading spent on the hash of decideEncoding (fed on a thread of its own beside
    // the scan), for the job's timing log.
    qint64 hashNanoseconds() const { return m_hashNs; }
    // Why reading stopped, and the number of the line it stopped at.
    QString errorString() const { return m_error; }
    int errorLine() const { return m_errorLine; }

private:
    struct HashFeed;
    struct ReadAhead;
    bool fill();
    Status deliver(qsizetype end, qsizetype next, QString* line);
    Status tooLong();
    Status fail(const QString& why, int line);

    QIODevice* m_device;
    std::unique_ptr<ReadAhead> m_ahead; // started by the first fill()
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    qint64 m_position = 0;
    int m_lineNumber = 0;
    bool m_atEnd = false;
    bool m_refuseUtf8 = true;
    bool m_refuseControl = true;
    bool m_utf8 = false;
    bool m_skipBom = false; // the file's first bytes are a BOM: not part of line 1
    // Reading only to decide the encoding: lines are checked, not decoded.
    bool m_scanning = false;
    HashFeed* m_feed = nullptr; // what the scan reads goes through it, to the hash
    qint64 m_hashNs = 0;
    bool m_allUtf8 = true;
    int m_firstUtf8Line = 0;
    QString m_error;
    int m_errorLine = 0;
};

} // namespace zb32
