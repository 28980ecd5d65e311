// Choosing the reader by the first bytes, and the operator's messages for each way of failing.
#include "WorkbookFile.h"

#include "BiffReader.h"
#include "CompoundFile.h"
#include "XmlPackage.h"
#include "ZipArchive.h"

#include <QFile>

namespace zb32::sheets {

namespace {

const QString kSaveAgain
    = QStringLiteral("aprirla con il programma di fogli di calcolo e salvarla di nuovo come .xls o .xlsx");

QString message(const ReadFailure& f)
{
    switch (f.kind) {
    case ReadFailure::Kind::Encrypted:
        return QStringLiteral("la cartella di lavoro è protetta da password: salvarla senza password");
    case ReadFailure::Kind::NotAWorkbook:
        return QStringLiteral("il file non è una cartella di lavoro (.xls, .xlsx o .ods)");
    case ReadFailure::Kind::TooOld:
        return QStringLiteral("la cartella di lavoro è nel formato di Excel 4.0 o precedente, che non si legge: ")
            + kSaveAgain;
    case ReadFailure::Kind::TooLarge:
        return QStringLiteral("la cartella di lavoro è troppo grande per essere letta (%1): dividerla in più file")
            .arg(f.detail);
    case ReadFailure::Kind::Damaged:
        break;
    }
    return QStringLiteral("la cartella di lavoro non si legge, il file è danneggiato (%1): ").arg(f.detail)
        + kSaveAgain;
}

// The BOF record of a stream of records saved without the container: 09 00, 09 02, 09 04, 09 08.
bool isBiffStream(const QByteArray& bytes)
{
    return bytes.size() >= 8 && bytes[0] == '\x09'
        && (bytes[1] == '\x00' || bytes[1] == '\x02' || bytes[1] == '\x04' || bytes[1] == '\x08');
}

} // namespace

bool readWorkbook(const QByteArray& bytes, WorkbookData* out, QString* error)
{
    out->sheets.clear();
    ReadFailure failure;
    bool ok = false;
    if (CompoundFile::isCompoundFile(bytes)) {
        ok = readXls(bytes, out, &failure);
    } else if (ZipArchive::isZip(bytes)) {
        ok = isOds(bytes) ? readOds(bytes, out, &failure) : readXlsx(bytes, out, &failure);
    } else if (isBiffStream(bytes)) {
        ok = readBiffStream(bytes, out, &failure);
    } else {
        failure.kind = ReadFailure::Kind::NotAWorkbook;
    }
    if (!ok) {
        out->sheets.clear();
        *error = message(failure);
        return false;
    }
    // A sheet saved without a name is still a sheet: it is called by its place.
    for (qsizetype i = 0; i < out->sheets.size(); ++i) {
        if (out->sheets[i].name.isEmpty()) {
            out->sheets[i].name = QStringLiteral("Foglio%1").arg(i + 1);
        }
    }
    return true;
}

bool readWorkbookFile(const QString& path, WorkbookData* out, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("il file non si apre: %1").arg(file.errorString());
        return false;
    }
    if (file.size() > Limits::kMaxFileBytes) {
        *error = message(tooLarge(QStringLiteral("più di %1 MiB").arg(Limits::kMaxFileBytes >> 20)));
        return false;
    }
    const QByteArray bytes = file.read(Limits::kMaxFileBytes + 1);
    if (bytes.isEmpty()) {
        *error = QStringLiteral("il file è vuoto (0 byte): non è una cartella di lavoro (.xls, .xlsx o .ods)");
        return false;
    }
    return readWorkbook(bytes, out, error);
}

} // namespace zb32::sheets
