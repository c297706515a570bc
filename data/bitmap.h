#pragma once

#include <QByteArray>
#include <QImage>

// The pictures of question records: Windows bitmap file images, optionally behind an 8-byte
// prefix (16-bit 1, 16-bit 256, 32-bit length of the rest, all little-endian) that older
// banks carry. The bytes come from bank files, so the decoder trusts none of them.
namespace bitmap {

// The one set of limits for pictures, for reading and writing alike: a forged header cannot
// make us allocate without bound, and no picture goes into a bank that could not be read back.
constexpr int maxSide = 32768;
constexpr qint64 maxPixels = 32 * 1024 * 1024;
bool withinLimits(qint64 width, qint64 height);
// Throws Error("Рисунок слишком велик: …") naming the size and the limits when a picture of
// `size` is beyond them.
void checkLimits(QSize size);

// The value of a picture field: no bytes (after the prefix) give a null image; anything but
// a valid bitmap throws Error("Bitmap image is not valid").
QImage decodeGraph(const QByteArray& bytes);
// A bitmap file image alone, without the prefix rule.
QImage decodeBitmap(const uchar* data, qint64 size);
// Whether decodeGraph() would accept the bytes, found without making the picture: throws
// the same error. Only allocating the picture can still fail afterwards.
void checkGraph(const QByteArray& bytes);
// The same check from the first headBytes bytes of a value of totalSize bytes: true when
// they settle it, false when the whole value is needed (run-length encoded pictures).
constexpr qint64 headBytes = 4096;
bool checkGraphHead(const QByteArray& head, qint64 totalSize);

// True when `bytes` starts with the prefix and its length matches the rest.
bool hasGraphPrefix(const QByteArray& bytes);

// The picture as the bytes of a .bmp file (no prefix); a null image gives no bytes; a picture
// beyond the limits throws (checkLimits), before anything is converted.
// Images with a colour table of at most 256 entries keep it (8 bits a pixel); any other
// becomes 24-bit colour.
QByteArray encodeBitmap(const QImage& image);

} // namespace bitmap

using bitmap::decodeGraph;
using bitmap::encodeBitmap;
