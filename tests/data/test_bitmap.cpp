#include "bitmap.h"
#include "error.h"

#include <QBuffer>
#include <QRandomGenerator>
#include <QTest>

namespace {
void le(QByteArray& out, quint32 v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xff));
}

// A bitmap file image put together field by field, so each header value can be forged.
struct Bmp {
    Bmp(qint32 w, qint32 h, quint16 pl, quint16 depth, quint32 comp = 0, QVector<QRgb> pal = {},
        QVector<quint32> m = {})
        : width(w), height(h), planes(pl), bpp(depth), compression(comp), palette(pal), masks(m) {}
    qint32 width = 2, height = 2;
    quint16 planes = 1, bpp = 24;
    quint32 compression = 0;
    QVector<QRgb> palette;
    QVector<quint32> masks; // written after a 40-byte header
    QByteArray pixels;
    qint64 offsetAdjust = 0;

    QByteArray bytes() const {
        QByteArray info;
        le(info, 40, 4);
        le(info, quint32(width), 4);
        le(info, quint32(height), 4);
        le(info, planes, 2);
        le(info, bpp, 2);
        le(info, compression, 4);
        le(info, quint32(pixels.size()), 4);
        le(info, 2835, 4);
        le(info, 2835, 4);
        le(info, quint32(palette.size()), 4);
        le(info, 0, 4);
        for (quint32 m : masks)
            le(info, m, 4);
        for (QRgb c : palette)
            le(info, quint32(c) & 0xffffff, 4);
        QByteArray out("BM");
        le(out, quint32(14 + info.size() + pixels.size()), 4);
        le(out, 0, 4);
        le(out, quint32(14 + info.size() + offsetAdjust), 4);
        return out + info + pixels;
    }
};

QString errorOf(const QByteArray& bytes) {
    try {
        bitmap::decodeGraph(bytes);
    } catch (const Error& e) {
        return e.message();
    }
    return QString();
}

QByteArray prefixed(const QByteArray& bytes, int adjust = 0) {
    QByteArray out("\x01\x00\x00\x01", 4);
    le(out, quint32(bytes.size() + adjust), 4);
    return out + bytes;
}

QImage sample(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x * 40 % 256, y * 70 % 256, (x + y) * 25 % 256));
    return image;
}

QVector<QRgb> pixelsOf(const QImage& image) {
    QVector<QRgb> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            out << image.pixel(x, y);
    return out;
}
} // namespace

class TestBitmap : public QObject {
    Q_OBJECT
private slots:
    void roundTripKeepsEveryPixel() {
        for (QSize size : {QSize(1, 1), QSize(3, 2), QSize(7, 5)}) {
            const QImage image = sample(size.width(), size.height());
            const QByteArray bytes = encodeBitmap(image);
            QCOMPARE(bytes.left(2), QByteArray("BM"));
            QCOMPARE(pixelsOf(decodeGraph(bytes)), pixelsOf(image));
            // An independent reader agrees with what we write.
            QCOMPARE(pixelsOf(QImage::fromData(bytes, "BMP").convertToFormat(QImage::Format_RGB32)),
                     pixelsOf(image));
        }
        QImage indexed(5, 3, QImage::Format_Indexed8);
        indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(9, 9, 9)});
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                indexed.setPixel(x, y, uint((x + y) % 3));
        const QImage back = decodeGraph(encodeBitmap(indexed));
        QCOMPARE(pixelsOf(back), pixelsOf(indexed));
        QVERIFY(encodeBitmap(QImage()).isEmpty());
    }

    // The file's bytes, field by field: rows bottom-up, each padded with zeros to four bytes
    // (the writer fills a buffer in place, where nothing else would clear the padding).
    void writesEveryByteOfTheFile() {
        QImage rgb(1, 2, QImage::Format_RGB32);
        rgb.setPixel(0, 0, qRgb(1, 2, 3));
        rgb.setPixel(0, 1, qRgb(4, 5, 6));
        Bmp truecolour(1, 2, 1, 24);
        truecolour.pixels = QByteArray("\x06\x05\x04\0\x03\x02\x01\0", 8);
        QCOMPARE(encodeBitmap(rgb), truecolour.bytes());

        QImage indexed(2, 2, QImage::Format_Indexed8);
        indexed.setColorTable({qRgb(10, 20, 30), qRgb(40, 50, 60)});
        indexed.setPixel(0, 0, 1);
        indexed.setPixel(1, 0, 0);
        indexed.setPixel(0, 1, 0);
        indexed.setPixel(1, 1, 1);
        Bmp paletted(2, 2, 1, 8, 0, indexed.colorTable());
        paletted.pixels = QByteArray("\0\x01\0\0\x01\0\0\0", 8);
        QCOMPARE(encodeBitmap(indexed), paletted.bytes());
    }

    // What the writer takes, the reader takes back; a larger picture (a phone photo) is
    // refused by the writer with the size and the limits, not stored for the reader to refuse.
    void writerKeepsToTheReadersLimits() {
        auto refusal = [](const QImage& image) {
            try {
                encodeBitmap(image);
            } catch (const Error& e) {
                return e.message();
            }
            return QString();
        };
        QCOMPARE(refusal(QImage(8000, 6000, QImage::Format_Mono)), // 6 MB, not 192
                 QStringLiteral("Рисунок слишком велик: 8000 × 6000 точек, а допустимо не больше "
                                "32768 точек по стороне и не больше 33554432 точек всего"));
        QVERIFY(!refusal(QImage(bitmap::maxSide + 1, 1, QImage::Format_Mono)).isEmpty());
        QImage widest(bitmap::maxSide, 2, QImage::Format_Mono);
        widest.fill(1);
        QCOMPARE(decodeGraph(encodeBitmap(widest)).size(), widest.size());
    }

    void readsWhatOtherWritersWrite() {
        const QImage image = sample(6, 4);
        QByteArray saved;
        QBuffer buffer(&saved);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(image.save(&buffer, "BMP"));
        QCOMPARE(pixelsOf(decodeGraph(saved)), pixelsOf(image));
    }

    void readsEveryDepthAndLayout() {
        const QRgb k = qRgb(0, 0, 0), w = qRgb(255, 255, 255), r = qRgb(255, 0, 0);
        Bmp mono{3, 2, 1, 1, 0, {k, w}};
        mono.pixels = QByteArray("\xa0\0\0\0\x40\0\0\0", 8); // bottom row 1,0,1; top 0,1,0
        QCOMPARE(pixelsOf(decodeGraph(mono.bytes())), (QVector<QRgb>{k, w, k, w, k, w}));

        Bmp four{3, 1, 1, 4, 0, {k, w, r}};
        four.pixels = QByteArray("\x21\x00\0\0", 4);
        QCOMPARE(pixelsOf(decodeGraph(four.bytes())), (QVector<QRgb>{r, w, k}));

        Bmp topDown{2, -2, 1, 24};
        topDown.pixels = QByteArray("\0\0\xff\xff\xff\xff\0\0" // top: red, white
                                    "\0\0\0\0\0\0\0\0",        // bottom: black, black
                                    16);
        QCOMPARE(pixelsOf(decodeGraph(topDown.bytes())), (QVector<QRgb>{r, w, k, k}));

        Bmp rgb555{2, 1, 1, 16};
        rgb555.pixels = QByteArray("\x00\x7c\xff\x7f", 4);
        QCOMPARE(pixelsOf(decodeGraph(rgb555.bytes())), (QVector<QRgb>{r, w}));

        Bmp rgb565{1, 1, 1, 16, 3, {}, {0xf800, 0x07e0, 0x001f}};
        rgb565.pixels = QByteArray("\xe0\x07\0\0", 4); // pure green
        QCOMPARE(pixelsOf(decodeGraph(rgb565.bytes())), (QVector<QRgb>{qRgb(0, 255, 0)}));

        Bmp rle8{4, 2, 1, 8, 1, {k, w, r}};
        // bottom row: 3 x red then absolute [1]; end of line; top row: delta 1, 1 x white.
        rle8.pixels = QByteArray("\x03\x02\x00\x03\x01\x00\x00\x00\x00\x00\x00\x02\x01\x00\x01"
                                 "\x01\x00\x01",
                                 18);
        QCOMPARE(pixelsOf(decodeGraph(rle8.bytes())), (QVector<QRgb>{k, w, k, k, r, r, r, w}));

        Bmp rle4{4, 1, 1, 4, 2, {k, w, r}};
        rle4.pixels = QByteArray("\x04\x12\x00\x01", 4); // alternating white, red
        QCOMPARE(pixelsOf(decodeGraph(rle4.bytes())), (QVector<QRgb>{w, r, w, r}));
    }

    void prefixIsSkippedOnlyWhenItMatches() {
        const QByteArray bmp = encodeBitmap(sample(3, 3));
        QVERIFY(bitmap::hasGraphPrefix(prefixed(bmp)));
        QCOMPARE(pixelsOf(decodeGraph(prefixed(bmp))), pixelsOf(decodeGraph(bmp)));
        QCOMPARE(errorOf(prefixed(bmp, 1)), QStringLiteral("Bitmap image is not valid"));
        QCOMPARE(errorOf(prefixed(bmp, -1)), QStringLiteral("Bitmap image is not valid"));
        QVERIFY(!bitmap::hasGraphPrefix(bmp));
        QVERIFY(decodeGraph(QByteArray()).isNull());
        QVERIFY(decodeGraph(prefixed(QByteArray())).isNull()); // a prefix and nothing else
        QVERIFY(!encodeBitmap(sample(2, 2)).startsWith(QByteArray("\x01\x00\x00\x01", 4)));
    }

    void refusesAnythingElse_data() {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        sample(2, 2).save(&buffer, "PNG");
        const QByteArray good = encodeBitmap(sample(4, 4));
        QTest::newRow("jpeg") << QByteArray("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11);
        QTest::newRow("png") << png;
        QTest::newRow("text") << QByteArray("not a picture");
        QTest::newRow("signature only") << QByteArray("BM");
        QTest::newRow("truncated pixels") << good.left(good.size() - 1);
        QTest::newRow("truncated header") << good.left(30);
        Bmp b{2, 2, 1, 24};
        b.pixels = QByteArray(16, '\0');
        auto forged = [&](auto change) {
            Bmp copy = b;
            change(copy);
            return copy.bytes();
        };
        QTest::newRow("two planes") << forged([](Bmp& x) { x.planes = 2; });
        QTest::newRow("zero width") << forged([](Bmp& x) { x.width = 0; });
        QTest::newRow("negative width") << forged([](Bmp& x) { x.width = -2; });
        QTest::newRow("lowest height") << forged([](Bmp& x) { x.height = INT32_MIN; });
        QTest::newRow("huge") << forged([](Bmp& x) { x.width = x.height = 30000; });
        QTest::newRow("depth 7") << forged([](Bmp& x) { x.bpp = 7; });
        QTest::newRow("jpeg inside") << forged([](Bmp& x) { x.compression = 4; });
        QTest::newRow("png inside") << forged([](Bmp& x) { x.compression = 5; });
        QTest::newRow("rle of 24 bits") << forged([](Bmp& x) { x.compression = 1; });
        QTest::newRow("offset past end") << forged([](Bmp& x) { x.offsetAdjust = 100; });
        QTest::newRow("offset in header") << forged([](Bmp& x) { x.offsetAdjust = -20; });
        QTest::newRow("palette past end") << forged([](Bmp& x) {
            x.bpp = 8;
            x.palette = {};
            x.pixels = QByteArray(8, '\0');
        });
        QByteArray headerSize = good;
        headerSize[14] = char(64); // an OS/2 header is not taken
        QTest::newRow("header size 64") << headerSize;
    }
    void refusesAnythingElse() {
        QFETCH(QByteArray, bytes);
        QCOMPARE(errorOf(bytes), QStringLiteral("Bitmap image is not valid"));
    }

    // Deciding from the first bytes and the size agrees with deciding from all of them.
    void checkFromTheHeadAgreesWithTheWhole() {
        QRandomGenerator random(99);
        const QByteArray big = encodeBitmap(sample(120, 60)); // over headBytes
        QVERIFY(big.size() > bitmap::headBytes);
        int settled = 0;
        for (int i = 0; i < 2000; ++i) {
            QByteArray bytes = i % 3 ? big : prefixed(big);
            for (int n = random.bounded(3); n > 0; --n)
                bytes[random.bounded(60)] = char(random.bounded(256)); // the headers
            if (random.bounded(3) == 0)
                bytes.truncate(bytes.size() - 1 - random.bounded(200));
            const bool whole = errorOf(bytes).isEmpty();
            bool fromHead = false;
            try {
                if (!bitmap::checkGraphHead(bytes.left(bitmap::headBytes), bytes.size()))
                    continue; // needs the whole value
                fromHead = true;
            } catch (const Error&) {
            }
            QCOMPARE(fromHead, whole);
            ++settled;
        }
        QVERIFY(settled > 1000);
    }

    // Damaged bitmaps decode or are refused; nothing else may happen (run it under the
    // sanitizers to see reads past the buffer).
    void damagedBitmapsNeverCrash() {
        QRandomGenerator random(1234);
        Bmp rle{9, 7, 1, 8, 1, {qRgb(1, 1, 1)}};
        rle.pixels = QByteArray("\x05\x00\x00\x02\x03\x01\x00\x04\x01\x02\x03\x04\x00\x00", 14);
        const QVector<QByteArray> seeds{encodeBitmap(sample(5, 3)), rle.bytes()};
        int refused = 0;
        for (int i = 0; i < 3000; ++i) {
            QByteArray bytes = seeds[i % seeds.size()];
            for (int n = 1 + random.bounded(4); n > 0; --n)
                bytes[random.bounded(int(bytes.size()))] = char(random.bounded(256));
            if (random.bounded(4) == 0)
                bytes.truncate(random.bounded(int(bytes.size())));
            refused += errorOf(bytes).isEmpty() ? 0 : 1;
        }
        QVERIFY(refused > 0);
    }
};

QTEST_GUILESS_MAIN(TestBitmap)
#include "test_bitmap.moc"
