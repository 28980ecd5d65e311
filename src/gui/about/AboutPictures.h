// The About box's four hidden pictures, painted by code so they are ours and always the same.
#pragma once

#include <QImage>
#include <QSize>

namespace zb32 {

constexpr int kAboutPictures = 4;

// Size of picture `index` (0..3) in pixels.
QSize aboutPictureSize(int index);
// Picture `index` (0..3); a null image for any other index.
QImage aboutPicture(int index);

} // namespace zb32
