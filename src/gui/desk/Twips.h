// Positions are designed in twips; 15 twips make one pixel at the design resolution.
#pragma once

#include <QRect>

namespace zb32 {

constexpr int twips(int t)
{
    return t / 15;
}
constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

} // namespace zb32
