// The dump format between the workbook reader process and the program.
#include "core/desk/WorkbookData.h"

namespace zb32 {

namespace {
constexpr quint32 kMagic = 0x5A42584C; // "ZBXL"
constexpr qint32 kVersion = 1;
constexpr qint32 kMaxRows = 1 << 20;
constexpr qint32 kMaxColumns = 1 << 14;
} // namespace

void WorkbookData::write(QDataStream& out) const
{
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << kVersion << qint32(sheets.size());
    for (const WorkbookSheet& s : sheets) {
        out << s.name << s.rows << s.columns << qint32(s.cells.size());
        for (auto it = s.cells.constBegin(); it != s.cells.constEnd(); ++it) {
            out << qint64(it.key()) << it.value();
        }
    }
}

bool WorkbookData::read(QDataStream& in)
{
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    qint32 version = 0;
    qint32 count = 0;
    in >> magic >> version >> count;
    if (in.status() != QDataStream::Ok || magic != kMagic || version != kVersion || count < 0 || count > 65535) {
        return false;
    }
    sheets.clear();
    for (qint32 i = 0; i < count; ++i) {
        WorkbookSheet s;
        qint32 cells = 0;
        in >> s.name >> s.rows >> s.columns >> cells;
        if (in.status() != QDataStream::Ok || s.rows < 0 || s.rows > kMaxRows || s.columns < 0
            || s.columns > kMaxColumns || cells < 0) {
            return false;
        }
        for (qint32 k = 0; k < cells; ++k) {
            qint64 key = 0;
            QVariant value;
            in >> key >> value;
            if (in.status() != QDataStream::Ok) {
                return false;
            }
            s.cells.insert(key, value);
        }
        sheets.append(std::move(s));
    }
    return in.status() == QDataStream::Ok;
}

} // namespace zb32
