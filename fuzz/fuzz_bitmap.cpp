// libFuzzer target for the picture decoder: bank files are untrusted input.
#include "bitmap.h"
#include "error.h"

#include <cstdint>
#include <cstdlib>

namespace {
// 0: refused, 1: accepted, -1: the head alone does not settle it.
int verdict(const auto& check) {
    try {
        return check() ? 1 : -1;
    } catch (const Error&) {
        return 0;
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    QImage image;
    bool decoded = true;
    try {
        image = bitmap::decodeGraph(bytes);
    } catch (const Error&) {
        decoded = false; // refused: "Bitmap image is not valid"
    }
    // The checks made without the pixels agree with decoding.
    const int whole = verdict([&] { return bitmap::checkGraph(bytes), true; });
    const int head = verdict(
        [&] { return bitmap::checkGraphHead(bytes.left(bitmap::headBytes), bytes.size()); });
    if (whole != (decoded ? 1 : 0) || (head != -1 && head != whole))
        std::abort();
    if (image.isNull())
        return 0;
    // What was accepted must survive being written back, as the editor does.
    const QImage again = bitmap::decodeGraph(bitmap::encodeBitmap(image));
    if (again.size() != image.size())
        std::abort();
    return 0;
}
