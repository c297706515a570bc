#pragma once

#include <QByteArray>
#include <QImage>
#include <optional>

namespace exchange {

// The pixels of a plain PNG file, read with zlib alone: 8 bits a channel, RGB or RGB with
// alpha, not interlaced, every chunk whole and no transparency chunk, within the picture
// limits. Transparent pixels are shown over white, as for any picture taken. Nothing for any
// other file: the general reader, slower, decides about those.
std::optional<QImage> plainPng(const QByteArray& file);

} // namespace exchange
