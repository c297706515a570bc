#include "pictures.h"

#include "bitmap.h"
#include "error.h"
#include "pngpixels.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>

namespace exchange {
namespace {

[[noreturn]] void refuse(const QString& why) {
    throw Error(why);
}

bool withinLimits(const QSize& size) {
    return size.width() > 0 && size.height() > 0 && size.width() <= bitmap::maxSide &&
           size.height() <= bitmap::maxSide &&
           qint64(size.width()) * size.height() <= bitmap::maxPixels;
}

QString tooLarge(const QSize& size) {
    return QStringLiteral("рисунок %1×%2 точек больше допустимого (сторона до %3, всего до %4 "
                          "точек)")
        .arg(size.width())
        .arg(size.height())
        .arg(bitmap::maxSide)
        .arg(bitmap::maxPixels);
}

// Transparent pixels over white, as a picture box without a background shows them best.
QImage opaque(QImage image) {
    if (!image.hasAlphaChannel())
        return image;
    const auto overWhite = [](QRgb c) {
        const int a = qAlpha(c);
        const auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
        return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
    };
    if (image.format() == QImage::Format_Indexed8) {
        QVector<QRgb> table = image.colorTable();
        for (QRgb& c : table)
            c = overWhite(c);
        image.setColorTable(table);
        return image;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = overWhite(line[x]);
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

QByteArray pictureFormat(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (data.startsWith("\xff\xd8\xff"))
        return "jpeg";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return "gif";
    if (data.startsWith("BM"))
        return "bmp";
    return QByteArray();
}

QByteArray pictureToGraph(const QByteArray& data) {
    if (data.size() > maxPictureBytes)
        refuse(QStringLiteral("файл рисунка больше %1 МБ").arg(maxPictureBytes >> 20));
    const QByteArray format = pictureFormat(data);
    if (format.isEmpty())
        refuse(QStringLiteral("рисунок не в формате PNG, JPEG, GIF или BMP"));
    if (format == "bmp") {
        try {
            bitmap::checkGraph(data);
            if (!bitmap::hasGraphPrefix(data))
                return data; // the program reads it as it is
        } catch (const Error&) {
            // Not one the program reads: Qt's reader may still make sense of it.
        }
    }
    if (format == "png") { // most pictures: read from the bytes, without the general reader
        if (std::optional<QByteArray> graph = plainPngToBitmap(data))
            return *std::move(graph);
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && !withinLimits(size))
        refuse(tooLarge(size));
    QImage image;
    if (!reader.read(&image) || image.isNull())
        refuse(QStringLiteral("рисунок %1 не читается: %2")
                   .arg(QString::fromLatin1(format.toUpper()), reader.errorString()));
    if (!withinLimits(image.size()))
        refuse(tooLarge(image.size()));
    return encodeBitmap(opaque(image));
}

QByteArray graphToPng(const QByteArray& graph) {
    const QImage image = decodeGraph(graph);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (image.isNull() || !writer.write(image))
        throw Error(QStringLiteral("рисунок не записывается в PNG: %1").arg(writer.errorString()));
    return buffer.data();
}

} // namespace exchange
