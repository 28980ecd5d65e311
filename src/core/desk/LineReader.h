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

    // A line longer than this stops the reading with an error instead of filling memory.
    static constexpr qsizetype kMaxLineBytes = 32 * 1024 * 1024;

    explicit LineReader(QIODevice* device);

    Status readLine(QString* line);
    // Bytes consumed so far: the position of the next line.
    qint64 position() const { return m_position; }
    // Number of the line last returned, from 1.
    int lineNumber() const { return m_lineNumber; }
    QString errorString() const { return m_error; }

private:
    bool fill();

    QIODevice* m_device;
    QByteArray m_buffer;
    qsizetype m_offset = 0;
    qint64 m_position = 0;
    int m_lineNumber = 0;
    bool m_atEnd = false;
    QString m_error;
};

} // namespace zb32
