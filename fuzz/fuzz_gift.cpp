// libFuzzer target for the GIFT reader.
#include "exchange_checks.h"
#include "gift.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    exchange::Result r;
    exchange::gift::read(bytes, r);
    checkResult(r, bytes.count('\n') + bytes.count('\r') + 1);
    return 0;
}
