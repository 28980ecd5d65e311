// A piece of Gravix: four blocks, the pivot they turn about, the template it came from, its colour.
#pragma once

#include <QtGlobal>
#include <array>

namespace zb32 {

struct Punto
{
    qint16 x = 0;
    qint16 y = 0;

    friend bool operator==(const Punto&, const Punto&) = default;
};

struct Pezzo
{
    std::array<Punto, 4> blocchi {};
    Punto perno {};
    qint16 tipo = 0; // 1..7; 0 means no piece yet
    qint16 colore = 0; // the cell value written for each block

    friend bool operator==(const Pezzo&, const Pezzo&) = default;
};

} // namespace zb32
