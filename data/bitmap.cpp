#include "bitmap.h"

#include "error.h"

#include <QVector>
#include <bit>

namespace bitmap {
namespace {

[[noreturn]] void invalid() {
    throw Error(QStringLiteral("Bitmap image is not valid"));
}

// Little-endian reads that never go past the buffer: callers check has() first.
struct Bytes {
    const uchar* p;
    qint64 n;
    bool has(qint64 at, qint64 len) const { return at >= 0 && len >= 0 && at <= n - len; }
    quint32 u8(qint64 at) const { return p[at]; }
    quint32 u16(qint64 at) const { return p[at] | (quint32(p[at + 1]) << 8); }
    quint32 u32(qint64 at) const { return u16(at) | (u16(at + 2) << 16); }
    qint32 s32(qint64 at) const { return qint32(u32(at)); }
};

enum Compression : quint32 { Rgb = 0, Rle8 = 1, Rle4 = 2, BitFields = 3, AlphaBitFields = 6 };

// A colour channel held in a bit mask of a 16- or 32-bit pixel, scaled to 8 bits.
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Channel(quint32 m = 0) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    quint32 get(quint32 pixel) const {
        if (!bits)
            return 0;
        const quint32 v = (pixel & mask) >> shift;
        if (bits >= 8)
            return (v >> (bits - 8)) & 0xff;
        const quint32 max = (1u << bits) - 1;
        return qMin<quint32>(v, max) * 255 / max;
    }
};

struct Header {
    qint64 width = 0;
    qint64 height = 0;
    bool topDown = false;
    int bpp = 0;
    quint32 compression = Rgb;
    qint64 colours = 0;   // entries of the colour table
    qint64 paletteAt = 0; // where the colour table starts
    int paletteEntry = 4; // bytes a table entry
    Channel red, green, blue, alpha;
    qint64 pixelsAt = 0;
};

void readMasks(const Bytes& b, Header& h, quint32 headerSize) {
    // The masks sit inside a version 2+ header, or follow a plain 40-byte one.
    const qint64 at = 14 + 40;
    const bool withAlpha = headerSize >= 56 || h.compression == AlphaBitFields;
    const qint64 count = withAlpha ? 4 : 3;
    if (!b.has(at, 4 * count))
        invalid();
    h.red = Channel(b.u32(at));
    h.green = Channel(b.u32(at + 4));
    h.blue = Channel(b.u32(at + 8));
    if (withAlpha)
        h.alpha = Channel(b.u32(at + 12));
    if (headerSize == 40)
        h.paletteAt += 4 * count;
}

void defaultMasks(Header& h) {
    if (h.bpp == 16) {
        h.red = Channel(0x7c00);
        h.green = Channel(0x03e0);
        h.blue = Channel(0x001f);
    } else {
        h.red = Channel(0x00ff0000);
        h.green = Channel(0x0000ff00);
        h.blue = Channel(0x000000ff);
    }
}

bool validDepth(const Header& h) {
    switch (h.compression) {
    case Rgb:
        return h.bpp == 1 || h.bpp == 4 || h.bpp == 8 || h.bpp == 16 || h.bpp == 24 || h.bpp == 32;
    case Rle8:
        return h.bpp == 8 && !h.topDown;
    case Rle4:
        return h.bpp == 4 && !h.topDown;
    case BitFields:
    case AlphaBitFields:
        return h.bpp == 16 || h.bpp == 32;
    default: // JPEG or PNG inside, or unknown
        return false;
    }
}

Header readHeader(const Bytes& b) {
    if (!b.has(0, 18) || b.p[0] != 'B' || b.p[1] != 'M')
        invalid();
    Header h;
    const quint32 headerSize = b.u32(14);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 108 && headerSize != 124)
        invalid();
    if (!b.has(14, headerSize))
        invalid();
    quint32 planes = 0;
    if (headerSize == 12) {
        h.width = b.u16(18);
        h.height = b.u16(20);
        planes = b.u16(22);
        h.bpp = int(b.u16(24));
        h.paletteEntry = 3;
    } else {
        h.width = b.s32(18);
        const qint32 height = b.s32(22);
        h.topDown = height < 0;
        h.height = qAbs(qint64(height));
        planes = b.u16(26);
        h.bpp = int(b.u16(28));
        h.compression = b.u32(30);
        h.colours = b.u32(46);
    }
    if (planes != 1 || !withinLimits(h.width, h.height) || !validDepth(h))
        invalid();
    h.paletteAt = 14 + headerSize;
    if (h.compression == BitFields || h.compression == AlphaBitFields)
        readMasks(b, h, headerSize);
    else if (h.bpp > 8)
        defaultMasks(h);
    if (h.bpp <= 8) {
        if (h.colours == 0 || h.colours > (qint64(1) << h.bpp))
            h.colours = qint64(1) << h.bpp;
    } else {
        h.colours = 0; // an optional table for display devices; not needed
    }
    if (!b.has(h.paletteAt, h.colours * h.paletteEntry))
        invalid();
    h.pixelsAt = b.u32(10);
    if (h.pixelsAt < h.paletteAt || h.pixelsAt > b.n)
        invalid();
    return h;
}

QVector<QRgb> colourTable(const Bytes& b, const Header& h) {
    QVector<QRgb> table(qsizetype(1) << h.bpp, qRgb(0, 0, 0));
    for (qint64 i = 0; i < h.colours; ++i) {
        const qint64 at = h.paletteAt + i * h.paletteEntry;
        table[i] = qRgb(int(b.u8(at + 2)), int(b.u8(at + 1)), int(b.u8(at)));
    }
    return table;
}

QImage newImage(const Header& h) {
    QImage::Format format = QImage::Format_RGB32;
    if (h.bpp <= 8)
        format = QImage::Format_Indexed8;
    else if (h.alpha.bits)
        format = QImage::Format_ARGB32;
    QImage image(int(h.width), int(h.height), format);
    if (image.isNull()) // out of memory
        invalid();
    if (h.bpp <= 8)
        image.fill(0);
    return image;
}

void readRow(const Bytes& b, const Header& h, qint64 at, uchar* out) {
    const qint64 w = h.width;
    if (h.bpp <= 8) {
        const int perByte = 8 / h.bpp;
        const quint32 mask = (1u << h.bpp) - 1;
        for (qint64 x = 0; x < w; ++x) {
            const int shift = 8 - h.bpp * int(x % perByte + 1);
            out[x] = uchar((b.p[at + x / perByte] >> shift) & mask);
        }
        return;
    }
    QRgb* line = reinterpret_cast<QRgb*>(out);
    if (h.bpp == 24 && h.compression == Rgb) { // the common case, without the mask arithmetic
        const uchar* px = b.p + at;
        for (qint64 x = 0; x < w; ++x, px += 3)
            line[x] = 0xff000000u | (quint32(px[2]) << 16) | (quint32(px[1]) << 8) | px[0];
        return;
    }
    for (qint64 x = 0; x < w; ++x) {
        quint32 px = 0;
        if (h.bpp == 16)
            px = b.u16(at + 2 * x);
        else if (h.bpp == 24)
            px = b.u8(at + 3 * x) | (b.u8(at + 3 * x + 1) << 8) | (b.u8(at + 3 * x + 2) << 16);
        else
            px = b.u32(at + 4 * x);
        const int a = h.alpha.bits ? int(h.alpha.get(px)) : 255;
        line[x] = qRgba(int(h.red.get(px)), int(h.green.get(px)), int(h.blue.get(px)), a);
    }
}

void checkUncompressed(const Bytes& b, const Header& h) {
    const qint64 stride = (h.width * h.bpp + 31) / 32 * 4;
    if (!b.has(h.pixelsAt, stride * h.height)) // truncated pixel data
        invalid();
}

void readUncompressed(const Bytes& b, const Header& h, QImage& image) {
    checkUncompressed(b, h);
    const qint64 stride = (h.width * h.bpp + 31) / 32 * 4;
    for (qint64 y = 0; y < h.height; ++y) {
        const qint64 line = h.topDown ? y : h.height - 1 - y;
        readRow(b, h, h.pixelsAt + y * stride, image.scanLine(int(line)));
    }
}

// Run-length encoded 4- and 8-bit pictures (bottom-up). Pixels outside the picture are
// dropped; data that ends without an end-of-bitmap mark ends the picture there.
void readRle(const Bytes& b, const Header& h, QImage* image) {
    const bool four = h.compression == Rle4;
    qint64 x = 0, y = 0, at = h.pixelsAt;
    auto put = [&](quint32 index) {
        if (image && x < h.width && y < h.height)
            image->scanLine(int(h.height - 1 - y))[x] = uchar(index);
        ++x;
    };
    while (y < h.height && b.has(at, 2)) {
        const quint32 count = b.u8(at), value = b.u8(at + 1);
        at += 2;
        if (count > 0) { // a run of one value (two alternating nibbles for 4 bits)
            for (quint32 i = 0; i < count && x < h.width; ++i)
                put(four ? ((i % 2) ? value & 0x0f : value >> 4) : value);
            continue;
        }
        if (value == 0) { // end of line
            x = 0;
            ++y;
        } else if (value == 1) { // end of bitmap
            break;
        } else if (value == 2) { // delta
            if (!b.has(at, 2))
                invalid();
            x += b.u8(at);
            y += b.u8(at + 1);
            at += 2;
        } else { // absolute run of `value` pixels, padded to a 16-bit boundary
            const qint64 bytes = four ? (value + 1) / 2 : value;
            if (!b.has(at, bytes))
                invalid();
            for (quint32 i = 0; i < value; ++i) {
                const quint32 byte = b.u8(at + (four ? i / 2 : i));
                put(four ? ((i % 2) ? byte & 0x0f : byte >> 4) : byte);
            }
            at += bytes + (bytes % 2);
        }
    }
}

} // namespace

bool withinLimits(qint64 width, qint64 height) {
    return width > 0 && height > 0 && width <= maxSide && height <= maxSide &&
           width * height <= maxPixels;
}

void checkLimits(QSize size) {
    if (withinLimits(size.width(), size.height()))
        return;
    throw Error(QStringLiteral("Рисунок слишком велик: %1 × %2 точек, а допустимо не больше %3 "
                               "точек по стороне и не больше %4 точек всего")
                    .arg(size.width())
                    .arg(size.height())
                    .arg(maxSide)
                    .arg(maxPixels));
}

QImage decodeBitmap(const uchar* data, qint64 size) {
    const Bytes b{data, size};
    const Header h = readHeader(b);
    QImage image = newImage(h);
    if (h.bpp <= 8)
        image.setColorTable(colourTable(b, h));
    if (h.compression == Rle8 || h.compression == Rle4)
        readRle(b, h, &image);
    else
        readUncompressed(b, h, image);
    return image;
}

bool checkGraphHead(const QByteArray& head, qint64 totalSize) {
    if (head.size() >= totalSize) {
        checkGraph(head);
        return true;
    }
    // Headers and colour table end within 14 + 124 + 16 + 256 * 4 bytes of the start.
    if (head.size() < headBytes)
        return false;
    const Bytes h8{reinterpret_cast<const uchar*>(head.constData()), head.size()};
    const bool prefixed = h8.u16(0) == 1 && h8.u16(2) == 256 && h8.u32(4) == totalSize - 8;
    const qint64 skip = prefixed ? 8 : 0;
    const Bytes b{h8.p + skip, totalSize - skip}; // reads stay in the head, bounds use the size
    const Header h = readHeader(b);
    if (h.compression == Rle8 || h.compression == Rle4)
        return false;
    checkUncompressed(b, h);
    return true;
}

void checkGraph(const QByteArray& bytes) {
    const qint64 skip = hasGraphPrefix(bytes) ? 8 : 0;
    if (bytes.size() == skip)
        return;
    const Bytes b{reinterpret_cast<const uchar*>(bytes.constData()) + skip, bytes.size() - skip};
    const Header h = readHeader(b);
    if (h.compression == Rle8 || h.compression == Rle4)
        readRle(b, h, nullptr);
    else
        checkUncompressed(b, h);
}

bool hasGraphPrefix(const QByteArray& bytes) {
    if (bytes.size() < 8)
        return false;
    const Bytes b{reinterpret_cast<const uchar*>(bytes.constData()), bytes.size()};
    return b.u16(0) == 1 && b.u16(2) == 256 && qint64(b.u32(4)) == bytes.size() - 8;
}

QImage decodeGraph(const QByteArray& bytes) {
    const qint64 skip = hasGraphPrefix(bytes) ? 8 : 0;
    if (bytes.size() == skip)
        return QImage();
    return decodeBitmap(reinterpret_cast<const uchar*>(bytes.constData()) + skip,
                        bytes.size() - skip);
}

} // namespace bitmap
