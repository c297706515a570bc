// libFuzzer target for what the program parses of an old-format bank: the reader process's
// stream (the reader may die anywhere in it) and the OLE objects that wrap pictures.
#include "error.h"
#include "jetstream.h"
#include "oleobject.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const jetstream::Table table = jetstream::parse(bytes);
        for (const auto& row : table.rows)
            if (row.size() != table.names.size())
                std::abort(); // every record has every column
    } catch (const Error&) {
        // refused with a reason
    }
    const QByteArray bitmap = oleobject::embeddedBitmap(bytes);
    if (!bitmap.isNull() && (!bitmap.startsWith("BM") || !oleobject::isOleObject(bytes) ||
                             bitmap.size() > bytes.size()))
        std::abort();
    return 0;
}
