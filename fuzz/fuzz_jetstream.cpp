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
    qsizetype rows = -1;
    try {
        const jetstream::Table table = jetstream::parse(bytes);
        for (const auto& row : table.rows)
            if (row.size() != table.names.size())
                std::abort(); // every record has every column
        rows = table.rows.size();
    } catch (const Error&) {
        // refused with a reason
    }
    // Fed as the reader's output arrives, in pieces, the stream reads the same.
    qsizetype pieces = 0;
    try {
        jetstream::Parser parser;
        parser.onRow = [&](QVector<QByteArray>&) { ++pieces; };
        const qsizetype piece = size > 0 ? 1 + data[0] % 13 : 1;
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            parser.feed(QByteArrayView(bytes).sliced(at, qMin(piece, bytes.size() - at)));
        parser.finish();
    } catch (const Error&) {
        pieces = -1;
    }
    if (pieces != rows)
        std::abort();
    const QByteArray bitmap = oleobject::embeddedBitmap(bytes);
    if (!bitmap.isNull() && (!bitmap.startsWith("BM") || !oleobject::isOleObject(bytes) ||
                             bitmap.size() > bytes.size()))
        std::abort();
    return 0;
}
