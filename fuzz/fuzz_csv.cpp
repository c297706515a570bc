// libFuzzer target for the CSV reader; what it takes must survive the writer. Picture files
// are not read from disk: "p.png" and "p.bmp" name small pictures, anything else is missing.
#include "csvbank.h"
#include "exchange_checks.h"

#include <QBuffer>

namespace {
QByteArray picture(const QString& path) {
    static const QByteArray png = [] {
        QImage image(2, 3, QImage::Format_ARGB32);
        image.fill(qRgba(200, 10, 30, 128));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "png");
        return buffer.data();
    }();
    if (path == QLatin1String("p.png"))
        return png;
    if (path == QLatin1String("p.bmp")) {
        QImage image(3, 2, QImage::Format_RGB32);
        image.fill(qRgb(10, 200, 30));
        return encodeBitmap(image);
    }
    throw Error(QStringLiteral("нет файла"));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    exchange::Result r;
    exchange::csvbank::read(bytes, picture, r);
    checkResult(r, bytes.count('\n') + bytes.count('\r') + 1);
    if (r.questions.isEmpty())
        return 0;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    exchange::csvbank::Writer writer(&out);
    for (const exchange::Question& q : r.questions)
        writer.add(q, QString());
    writer.finish();
    exchange::Result again;
    exchange::csvbank::read(out.data(), picture, again);
    checkSame(r, again);
    return 0;
}
