// libFuzzer target for the Aiken reader.
#include "aiken.h"
#include "exchange_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    exchange::Result r;
    exchange::aiken::read(bytes, r);
    checkResult(r, bytes.count('\n') + bytes.count('\r') + 1);
    return 0;
}
