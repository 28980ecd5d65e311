// The Gravix tiles.
#include "gui/game/GravixTiles.h"

#include <cstdlib>

namespace zb32 {

namespace {

const QColor kPianoVuoto(0xC0, 0xC0, 0xFF);

struct Colori
{
    QRgb faccia;
    QRgb scuro;
};

bool colorato(int index)
{
    return (index >= 1 && index <= 7) || index == 10;
}

Colori coloriBlocco(int index)
{
    switch (index) {
    case 1:
        return { 0xFF00FF00, 0xFF008000 };
    case 2:
        return { 0xFF0080FF, 0xFF004080 };
    case 3:
        return { 0xFFFF0000, 0xFF800000 };
    case 4:
        return { 0xFFFF00FF, 0xFF800080 };
    case 5:
        return { 0xFFFFFF00, 0xFF808040 };
    case 6:
        return { 0xFFFF8040, 0xFF804000 };
    case 7:
        return { 0xFF8080FF, 0xFF000080 };
    case 10:
        return { 0xFF808080, 0xFF000000 };
    default:
        return { kPianoVuoto.rgb(), kPianoVuoto.rgb() };
    }
}

// A raised square: light edge at top and left, dark at bottom and right, split on the diagonal
// at the two other corners.
void bevel(QImage& img, int left, int top, int size, int edge, QRgb light, QRgb dark, QRgb face)
{
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool nearTopLeft = x < edge || y < edge;
            const bool nearBottomRight = x >= size - edge || y >= size - edge;
            QRgb c = face;
            if (nearTopLeft && nearBottomRight) {
                c = (x + y < size - 1) ? light : dark;
            } else if (nearTopLeft) {
                c = light;
            } else if (nearBottomRight) {
                c = dark;
            }
            img.setPixel(left + x, top + y, c);
        }
    }
}

// Which colour of the palette each pixel of a background takes.
enum class Motivo {
    Punti,
    Diagonali,
    Griglia,
    Mattoni,
    Scacchi,
    Rombi,
    Croci,
    Incroci,
    Onde,
    ScacchiPunti,
    GrigliaPunti
};

int motivo(Motivo m, int x, int y)
{
    const int x10 = x % 10;
    const int y10 = y % 10;
    switch (m) {
    case Motivo::Punti:
        return (x % 5 == 2 && y % 5 == 2) ? 1 : 0;
    case Motivo::Diagonali:
        return (x + y) % 5 == 0 ? 1 : 0;
    case Motivo::Griglia:
        return (x10 == 0 || y10 == 0) ? 1 : 0;
    case Motivo::Mattoni: {
        if (y % 5 == 4) {
            return 1;
        }
        return ((y / 5) % 2 == 0 ? x10 == 9 : x10 == 4) ? 1 : 0;
    }
    case Motivo::Scacchi:
        return ((x / 5) + (y / 5)) % 2;
    case Motivo::Rombi: {
        const int d = std::abs(x10 - 5) + std::abs(y10 - 5);
        return d == 0 ? 2 : (d == 4 ? 1 : 0);
    }
    case Motivo::Croci:
        if (x10 == 5 && y10 == 5) {
            return 2;
        }
        return ((x10 == 5 && std::abs(y10 - 5) <= 2) || (y10 == 5 && std::abs(x10 - 5) <= 2)) ? 1 : 0;
    case Motivo::Incroci:
        return (x10 == y10 || x10 == 9 - y10) ? 1 : 0;
    case Motivo::Onde: {
        static const int onda[10] = { 2, 3, 4, 4, 3, 2, 1, 0, 0, 1 };
        return y % 5 == onda[x10] ? 1 : 0;
    }
    case Motivo::ScacchiPunti:
        if (x % 5 == 2 && y % 5 == 2) {
            return 2;
        }
        return ((x / 5) + (y / 5)) % 2;
    case Motivo::GrigliaPunti:
        if (x10 == 5 && y10 == 5) {
            return 2;
        }
        return (x10 == 0 || y10 == 0) ? 1 : 0;
    }
    return 0;
}

struct Sfondo
{
    Motivo motivo;
    QList<QRgb> colori;
};

Sfondo sfondoDi(int index)
{
    const QList<QRgb> lilla = { 0xFFC0C0FF, 0xFF808080 };
    const QList<QRgb> verde = { 0xFF008000, 0xFF00FF00 };
    const QList<QRgb> blu = { 0xFF004080, 0xFF0080FF };
    const QList<QRgb> blu3 = { 0xFF004080, 0xFF0080FF, 0xFF8080FF };
    const QList<QRgb> arancio = { 0xFFFF8040, 0xFF804000 };
    const QList<QRgb> verde3 = { 0xFF008000, 0xFF00FF80, 0xFF004040 };
    const QList<QRgb> oliva3 = { 0xFF808040, 0xFF004040, 0xFFFFFF80 };
    const QList<QRgb> notte3 = { 0xFF000000, 0xFF808080, 0xFFC0C0FF };
    switch (index) {
    case 0:
        return { Motivo::Punti, lilla };
    case 1:
        return { Motivo::Griglia, verde };
    case 2:
        return { Motivo::Diagonali, lilla };
    case 3:
        return { Motivo::Mattoni, blu };
    case 4:
        return { Motivo::Rombi, blu3 };
    case 5:
        return { Motivo::Incroci, arancio };
    case 6:
        return { Motivo::Rombi, verde3 };
    case 7:
        return { Motivo::ScacchiPunti, oliva3 };
    case 8:
        return { Motivo::Scacchi, blu };
    case 9:
        return { Motivo::GrigliaPunti, notte3 };
    case 10:
        return { Motivo::Rombi, oliva3 };
    case 11:
        return { Motivo::Onde, arancio };
    case 12:
        return { Motivo::Croci, blu3 };
    case 13:
        return { Motivo::Rombi, notte3 };
    case 14:
        return { Motivo::Croci, oliva3 };
    case 15:
        return { Motivo::Croci, verde3 };
    default:
        return { Motivo::Punti, {} };
    }
}

} // namespace

QImage GravixTiles::blocco(int index)
{
    if (index == 0 || index == kPiana) {
        QImage img(kLato, kLato, QImage::Format_RGB32);
        img.fill(kPianoVuoto);
        return img;
    }
    if (!colorato(index)) {
        return {};
    }
    const Colori c = coloriBlocco(index);
    QImage img(kLato, kLato, QImage::Format_RGB32);
    bevel(img, 0, 0, kLato, 2, 0xFFFFFFFF, c.scuro, c.faccia);
    bevel(img, 7, 7, 6, 1, 0xFFFFFFFF, c.scuro, c.faccia); // the small dot in the middle
    return img;
}

QImage GravixTiles::sfondo(int index)
{
    if (index < 0 || index >= kSfondi) {
        return {};
    }
    const Sfondo s = sfondoDi(index);
    QImage img(kLato, kLato, QImage::Format_RGB32);
    for (int y = 0; y < kLato; ++y) {
        for (int x = 0; x < kLato; ++x) {
            img.setPixel(x, y, s.colori.at(motivo(s.motivo, x, y)));
        }
    }
    return img;
}

QColor GravixTiles::faccia(int index)
{
    return QColor::fromRgb(coloriBlocco(index).faccia);
}

QColor GravixTiles::bordoScuro(int index)
{
    return QColor::fromRgb(coloriBlocco(index).scuro);
}

QList<QColor> GravixTiles::coloriSfondo(int index)
{
    QList<QColor> out;
    if (index >= 0 && index < kSfondi) {
        for (QRgb c : sfondoDi(index).colori) {
            out.append(QColor::fromRgb(c));
        }
    }
    return out;
}

} // namespace zb32
