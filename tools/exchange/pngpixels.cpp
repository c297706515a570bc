#include "pngpixels.h"

#include "bitmap.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace exchange {
namespace {

quint32 be32(const uchar* p) {
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

#ifdef __SSE2__
// A pixel's channels at once, each in 16 bits: the filters that depend on the pixel to the
// left are a chain from pixel to pixel, not from byte to byte. Three-byte pixels are put
// together by shifts, not through memory: a wide read of narrow writes stalls.
template <int bpp> __m128i loadPixel(const uchar* p) {
    quint32 v = quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16;
    if constexpr (bpp == 4)
        v |= quint32(p[3]) << 24;
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
}
template <int bpp> void storePixel(uchar* p, __m128i v) {
    const quint32 bytes = quint32(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    for (int k = 0; k < bpp; ++k)
        p[k] = uchar(bytes >> 8 * k);
}
__m128i choose(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <int type, int bpp> void unfilterPixels(uchar* row, const uchar* prior, qsizetype size) {
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    for (qsizetype i = 0; i < size; i += bpp) {
        const __m128i x = loadPixel<bpp>(row + i);
        const __m128i b = loadPixel<bpp>(prior + i);
        __m128i predicted;
        if constexpr (type == 1) {
            predicted = a;
        } else if constexpr (type == 3) {
            predicted = _mm_srli_epi16(_mm_add_epi16(a, b), 1);
        } else {
            // Paeth: of a, b and c the nearest to a + b - c, ties to a, then b. Put as
            // comparisons with 3c - (a + b), which give the same choice in fewer steps that
            // wait for the pixel to the left.
            const __m128i threshold =
                _mm_sub_epi16(_mm_add_epi16(c, _mm_add_epi16(c, c)), _mm_add_epi16(a, b));
            const __m128i lo = _mm_min_epi16(a, b), hi = _mm_max_epi16(a, b);
            const __m128i nearer = choose(_mm_cmpgt_epi16(hi, threshold), c, lo);
            predicted = choose(_mm_cmpgt_epi16(threshold, lo), nearer, hi);
            c = b;
        }
        a = _mm_add_epi8(x, predicted); // modulo 256; the upper bytes stay 0

        storePixel<bpp>(row + i, a);
    }
}
#else
uchar paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return uchar(pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
}
#endif

// Undoes the row's filter in place; `prior` is the row above, unfiltered (zeros for the first).
template <int bpp> bool unfilter(uchar type, uchar* row, const uchar* prior, qsizetype size) {
    switch (type) {
    case 0:
        return true;
    case 2:
        for (qsizetype i = 0; i < size; ++i)
            row[i] = uchar(row[i] + prior[i]);
        return true;
#ifdef __SSE2__
    case 1:
        unfilterPixels<1, bpp>(row, prior, size);
        return true;
    case 3:
        unfilterPixels<3, bpp>(row, prior, size);
        return true;
    case 4:
        unfilterPixels<4, bpp>(row, prior, size);
        return true;
#else
    case 1:
        for (qsizetype i = bpp; i < size; ++i)
            row[i] = uchar(row[i] + row[i - bpp]);
        return true;
    case 3:
        for (qsizetype i = 0; i < bpp; ++i)
            row[i] = uchar(row[i] + (prior[i] >> 1));
        for (qsizetype i = bpp; i < size; ++i)
            row[i] = uchar(row[i] + ((row[i - bpp] + prior[i]) >> 1));
        return true;
    case 4:
        for (qsizetype i = 0; i < bpp; ++i)
            row[i] = uchar(row[i] + prior[i]);
        for (qsizetype i = bpp; i < size; ++i)
            row[i] = uchar(row[i] + paeth(row[i - bpp], prior[i], prior[i - bpp]));
        return true;
#endif
    default:
        return false;
    }
}

void put16(uchar*& p, quint32 v) {
    *p++ = uchar(v);
    *p++ = uchar(v >> 8);
}
void put32(uchar*& p, quint32 v) {
    put16(p, v);
    put16(p, v >> 16);
}

// The headers encodeBitmap() gives a picture without a colour table.
QByteArray bitmapHeaders(quint32 width, quint32 height, quint32 pixelBytes) {
    constexpr quint32 offset = 14 + 40;
    QByteArray out(offset, Qt::Uninitialized);
    out.reserve(offset + pixelBytes);
    auto* p = reinterpret_cast<uchar*>(out.data());
    *p++ = 'B';
    *p++ = 'M';
    put32(p, offset + pixelBytes);
    put32(p, 0); // reserved
    put32(p, offset);
    put32(p, 40);
    put32(p, width);
    put32(p, height); // bottom-up
    put16(p, 1);      // planes
    put16(p, 24);     // bits a pixel
    put32(p, 0);      // no compression
    put32(p, pixelBytes);
    put32(p, 2835); // 72 dpi
    put32(p, 2835);
    put32(p, 0); // colours
    put32(p, 0);
    return out;
}

#ifdef __SSE2__
// zlib's checksum of the inflated bytes, 16 at a time: zlib's own, a byte at a time, took as
// long as the inflating itself.
quint32 adler32Of(const uchar* p, size_t n) {
    constexpr quint32 base = 65521;
    constexpr size_t most = 5552 / 16; // blocks between reductions: the sums stay in 32 bits
    const __m128i zero = _mm_setzero_si128();
    const __m128i first = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i second = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    const auto total = [](__m128i v) {
        alignas(16) quint32 lanes[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(lanes), v);
        return quint64(lanes[0]) + lanes[1] + lanes[2] + lanes[3];
    };
    quint64 s1 = 1, s2 = 0;
    while (n >= 16) {
        const size_t blocks = std::min(n / 16, most);
        n -= blocks * 16;
        __m128i sums = zero, before = zero, weighted = zero;
        for (size_t k = 0; k < blocks; ++k, p += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            before = _mm_add_epi32(before, sums);
            sums = _mm_add_epi32(sums, _mm_sad_epu8(bytes, zero));
            weighted = _mm_add_epi32(
                weighted, _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), first),
                                        _mm_madd_epi16(_mm_unpackhi_epi8(bytes, zero), second)));
        }
        s2 = (s2 + 16 * blocks * s1 + 16 * total(before) + total(weighted)) % base;
        s1 = (s1 + total(sums)) % base;
    }
    for (; n > 0; --n, ++p) {
        s1 += *p;
        s2 += s1;
    }
    return quint32(s2 % base) << 16 | quint32(s1 % base);
}
#endif

// The concatenated IDAT data inflated into exactly `out`, the stream ending with the last of
// it and its checksum right.
bool inflateExactly(const QByteArrayList& parts, QByteArray& out) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
#ifdef __SSE2__
    inflateValidate(&z, 0); // checked below, faster
#endif
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    int status = Z_OK;
    for (qsizetype i = 0; i < parts.size() && status == Z_OK; ++i) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(parts[i].constData()));
        z.avail_in = uInt(parts[i].size());
        status = inflate(&z, Z_NO_FLUSH);
        if (status == Z_BUF_ERROR && z.avail_out > 0)
            status = Z_OK; // this part used up: the next one goes on
        if (status == Z_OK && z.avail_in != 0)
            status = Z_DATA_ERROR; // more pixels than the header gives room for
        if (status == Z_STREAM_END && (z.avail_in != 0 || i + 1 != parts.size()))
            status = Z_DATA_ERROR; // data beyond the stream's end
    }
    inflateEnd(&z);
    if (status != Z_STREAM_END || z.avail_out != 0)
        return false;
#ifdef __SSE2__
    // The checksum is the last four bytes of the stream, which ended with the data.
    quint32 stored = 0;
    int got = 0;
    for (qsizetype i = parts.size() - 1; i >= 0 && got < 4; --i)
        for (qsizetype k = parts[i].size() - 1; k >= 0 && got < 4; --k, ++got)
            stored |= quint32(uchar(parts[i][k])) << 8 * got;
    return got == 4 &&
           stored == adler32Of(reinterpret_cast<const uchar*>(out.constData()), size_t(out.size()));
#else
    return true;
#endif
}

} // namespace

std::optional<QByteArray> plainPngToBitmap(const QByteArray& file) {
    const auto* p = reinterpret_cast<const uchar*>(file.constData());
    const qsizetype n = file.size();
    if (n < 8 || memcmp(p, "\x89PNG\r\n\x1a\n", 8) != 0)
        return std::nullopt;
    qsizetype at = 8;
    quint32 width = 0, height = 0;
    int channels = 0;
    QByteArrayList idat;
    bool header = false, ended = false, afterData = false;
    while (!ended) {
        if (n - at < 12)
            return std::nullopt;
        const quint32 length = be32(p + at);
        if (length > quint32(n - at - 12))
            return std::nullopt;
        const uchar* type = p + at + 4;
        const uchar* data = type + 4;
        if (crc32(0, type, 4 + length) != be32(data + length))
            return std::nullopt;
        const QByteArray name(reinterpret_cast<const char*>(type), 4);
        if (!header) {
            // 8 bits a channel, RGB (2) or RGBA (6), compression, filters and no interlace
            if (name != "IHDR" || length != 13 || data[8] != 8 || (data[9] != 2 && data[9] != 6) ||
                data[10] || data[11] || data[12])
                return std::nullopt;
            width = be32(data);
            height = be32(data + 4);
            if (width == 0 || height == 0 || !bitmap::withinLimits(width, height))
                return std::nullopt;
            channels = data[9] == 6 ? 4 : 3;
            header = true;
        } else if (name == "IDAT") {
            if (afterData)
                return std::nullopt; // data chunks apart
            idat << QByteArray::fromRawData(reinterpret_cast<const char*>(data), length);
        } else if (name == "IEND") {
            if (length != 0)
                return std::nullopt;
            ended = true;
        } else if (!(type[0] & 0x20) || name == "tRNS") {
            return std::nullopt; // a palette or another chunk that bears on the pixels
        }
        afterData = !idat.isEmpty() && name != "IDAT";
        at += 12 + length;
    }
    if (idat.isEmpty() || at != n)
        return std::nullopt;
    const qsizetype rowBytes = qsizetype(width) * channels;
    QByteArray pixels(qsizetype(height) * (rowBytes + 1), Qt::Uninitialized);
    if (!inflateExactly(idat, pixels))
        return std::nullopt;
    // As encodeBitmap() writes an opaque picture: 24 bits a pixel, rows bottom first, each
    // padded with zeros to four bytes.
    const qsizetype stride = (qsizetype(width) * 3 + 3) / 4 * 4;
    QByteArray out = bitmapHeaders(width, height, quint32(stride * height));
    const qsizetype start = out.size();
    out.resize(start + stride * height);
    const QByteArray zeros(rowBytes, '\0');
    const uchar* prior = reinterpret_cast<const uchar*>(zeros.constData());
    auto* row = reinterpret_cast<uchar*>(pixels.data());
    for (quint32 y = 0; y < height; ++y, prior = row + 1, row += rowBytes + 1) {
        if (!(channels == 3 ? unfilter<3>(row[0], row + 1, prior, rowBytes)
                            : unfilter<4>(row[0], row + 1, prior, rowBytes)))
            return std::nullopt;
        const uchar* s = row + 1;
        auto* d = reinterpret_cast<uchar*>(out.data()) + start + stride * (height - 1 - y);
        memset(d + stride - 4, 0, 4); // the padding, before the pixels overwrite what is not
        if (channels == 3) {
            for (quint32 x = 0; x < width; ++x, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
            continue;
        }
        for (quint32 x = 0; x < width; ++x, s += 4, d += 3) { // shown over white
            const int a = s[3];
            const auto mix = [a](int v) { return uchar((v * a + 255 * (255 - a) + 127) / 255); };
            d[0] = mix(s[2]);
            d[1] = mix(s[1]);
            d[2] = mix(s[0]);
        }
    }
    return out;
}

} // namespace exchange
