#pragma once

#include <QByteArray>

// Pictures between the files of other systems and the bitmap file images of records.
namespace exchange {

// Largest picture file taken from a source.
constexpr qint64 maxPictureBytes = 16 * 1024 * 1024;

// The kind of picture the bytes hold, by their signature: "png", "jpeg", "gif", "bmp", or
// empty for anything else.
QByteArray pictureFormat(const QByteArray& data);

// A PNG, JPEG, GIF (its first frame) or BMP file as a bitmap file image that the program's
// own decoder reads back pixel for pixel. A bitmap the decoder already reads is kept as it
// is; transparent pixels are shown over white. Throws Error with the reason in Russian: not
// such a picture, unreadable, or beyond the program's picture limits.
QByteArray pictureToGraph(const QByteArray& data);

// A record's picture as a PNG file (lossless). Throws Error when the program would refuse the
// picture.
QByteArray graphToPng(const QByteArray& graph);

} // namespace exchange
