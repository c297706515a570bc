#pragma once

#include <QByteArray>
#include <optional>

namespace exchange {

// A plain PNG file as the bitmap file image that encodeBitmap() makes of its pixels, read with
// zlib alone: 8 bits a channel, RGB or RGB with alpha, not interlaced, every chunk whole and
// no transparency chunk, within the picture limits. Transparent pixels are shown over white,
// as for any picture taken. Nothing for any other file: the general reader, slower, decides
// about those.
std::optional<QByteArray> plainPngToBitmap(const QByteArray& file);

} // namespace exchange
