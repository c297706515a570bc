// libFuzzer target for the picture decoder: bank files are untrusted input.
#include "bitmap.h"
#include "error.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                                     qsizetype(size));
    QImage image;
    try {
        image = bitmap::decodeGraph(bytes);
    } catch (const Error&) {
        return 0; // refused: "Bitmap image is not valid"
    }
    if (image.isNull())
        return 0;
    // What was accepted must survive being written back, as the editor does.
    const QImage again = bitmap::decodeGraph(bitmap::encodeBitmap(image));
    if (again.size() != image.size())
        std::abort();
    return 0;
}
