// Writing pictures as the bytes of a .bmp file.
#include "bitmap.h"

#include <QVector>
#include <cstring>

namespace bitmap {
namespace {

void put16(QByteArray& out, quint32 v) {
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}
void put32(QByteArray& out, quint32 v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

QByteArray headers(const QImage& image, int bpp, int colours, quint32 pixelBytes) {
    const quint32 offset = 14 + 40 + 4 * colours;
    QByteArray out;
    out.reserve(qsizetype(offset) + pixelBytes); // the whole file: one allocation
    out.append("BM", 2);
    put32(out, offset + pixelBytes);
    put32(out, 0); // reserved
    put32(out, offset);
    put32(out, 40);
    put32(out, quint32(image.width()));
    put32(out, quint32(image.height())); // bottom-up
    put16(out, 1);                       // planes
    put16(out, quint32(bpp));
    put32(out, 0); // no compression
    put32(out, pixelBytes);
    put32(out, 2835); // 72 dpi
    put32(out, 2835);
    put32(out, quint32(colours));
    put32(out, 0);
    return out;
}

} // namespace

QByteArray encodeBitmap(const QImage& source) {
    if (source.isNull())
        return QByteArray();
    checkLimits(source.size()); // before a conversion could allocate the whole picture again
    QImage image = source;
    const bool indexed = image.colorCount() > 0 && image.colorCount() <= 256;
    if (indexed && image.format() != QImage::Format_Indexed8)
        image = image.convertToFormat(QImage::Format_Indexed8, image.colorTable());
    else if (!indexed && image.format() != QImage::Format_RGB32)
        image = image.convertToFormat(QImage::Format_RGB32);
    const int bpp = indexed ? 8 : 24;
    const qint64 stride = (qint64(image.width()) * bpp + 31) / 32 * 4;
    const quint32 pixelBytes = quint32(stride * image.height());
    const QVector<QRgb> table = indexed ? image.colorTable() : QVector<QRgb>();
    QByteArray out = headers(image, bpp, int(table.size()), pixelBytes);
    for (QRgb c : table) {
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append(char(0));
    }
    // Rows are written in place, bottom row first, each padded with zeros to its stride.
    const qsizetype start = out.size();
    out.resize(start + qsizetype(pixelBytes));
    uchar* p = reinterpret_cast<uchar*>(out.data()) + start;
    const int width = image.width();
    const size_t written = size_t(indexed ? width : 3 * qint64(width));
    for (int y = image.height() - 1; y >= 0; --y, p += stride) {
        const uchar* line = image.constScanLine(y);
        if (indexed) {
            memcpy(p, line, size_t(width));
        } else {
            const QRgb* px = reinterpret_cast<const QRgb*>(line);
            uchar* q = p;
            for (int x = 0; x < width; ++x) {
                *q++ = uchar(qBlue(px[x]));
                *q++ = uchar(qGreen(px[x]));
                *q++ = uchar(qRed(px[x]));
            }
        }
        memset(p + written, 0, size_t(stride) - written);
    }
    return out;
}

} // namespace bitmap
