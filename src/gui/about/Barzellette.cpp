// The text pool: read once from the resource file, rebuilt at every draw.
#include "gui/about/Barzellette.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>

Q_LOGGING_CATEGORY(lcBarzellette, "zb32.about.barzellette")

static void initAboutResources()
{
    Q_INIT_RESOURCE(about);
}

namespace zb32 {

std::array<QString, kMaxBarzellette + 1> Barzellette;
qint16 NumBarzellette = 0;

namespace {

BarzellettaRandom& randomSource()
{
    static BarzellettaRandom source;
    return source;
}

quint32 drawIndex(quint32 bound)
{
    const BarzellettaRandom& source = randomSource();
    // A generator seeded once from the system: reseeding from the clock at every draw would give
    // the same text for draws within one clock tick.
    const quint32 i = source ? source(bound) : QRandomGenerator::global()->bounded(bound);
    return i < bound ? i : i % bound;
}

} // namespace

bool AggiungiBarzelletta(const QString& t)
{
    if (NumBarzellette >= kMaxBarzellette) {
        qCWarning(lcBarzellette) << "pool full, text left out:" << t.left(40);
        return false;
    }
    NumBarzellette = static_cast<qint16>(NumBarzellette + 1);
    Barzellette[static_cast<size_t>(NumBarzellette)] = t;
    return true;
}

QString Barzelletta()
{
    NumBarzellette = 0;
    for (const QString& t : testiBarzellette()) {
        AggiungiBarzelletta(t);
    }
    if (NumBarzellette == 0) {
        return {};
    }
    const quint32 i = drawIndex(static_cast<quint32>(NumBarzellette));
    return Barzellette[static_cast<size_t>(i) + 1];
}

QStringList leggiBarzellette(const QByteArray& utf8)
{
    QStringList texts;
    QString all = QString::fromUtf8(utf8);
    if (all.startsWith(QChar(0xFEFF))) {
        all.remove(0, 1);
    }
    for (QString line : all.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) {
            line.chop(1);
        }
        if (!line.trimmed().isEmpty()) {
            texts << line;
        }
    }
    return texts;
}

const QStringList& testiBarzellette()
{
    static const QStringList texts = [] {
        initAboutResources();
        QFile file(QStringLiteral(":/about/barzellette.txt"));
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcBarzellette) << "text pool missing:" << file.errorString();
            return QStringList();
        }
        return leggiBarzellette(file.readAll());
    }();
    return texts;
}

void setRandomSource(BarzellettaRandom source)
{
    randomSource() = std::move(source);
}

} // namespace zb32
