// Reads Windows-1252 lines that end at CR or CR LF; a lone LF stays inside the line.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace zb32 {

class LineReader
{
public:
    enum class Status { Line, End, Error };

    // A line longer than this stops the reading with an error: the longest record of the files
    // is a few hundred characters, and a file without line ends must not fill memory.
    static constexpr qsizetype kMaxLineBytes = 1024 * 1024;

    explicit LineReader(QIODevice* device);

    Status readLine(QString* line);
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
    // Why reading stopped, and the number of the line it stopped at.
    QString errorString() const { return m_error; }
    int errorLine() const { return m_lineNumber + 1; }

private:
    bool fill();
    Status deliver(qsizetype end, qsizetype next, QString* line);
    Status tooLong();

    QIODevice* m_device;
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    qint64 m_position = 0;
    int m_lineNumber = 0;
    bool m_atEnd = false;
    bool m_refuseUtf8 = true;
    bool m_refuseControl = true;
    QString m_error;
};

} // namespace zb32
