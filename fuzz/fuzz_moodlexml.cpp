// libFuzzer target for the Moodle XML reader; what it takes must survive the writer.
#include "exchange_checks.h"
#include "moodlexml.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    exchange::Result r;
    exchange::moodlexml::read(bytes, r);
    checkResult(r, bytes.count('\n') + bytes.count('\r') + 1);
    if (r.questions.isEmpty())
        return 0;
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    exchange::moodlexml::Writer writer(&out);
    int replaced = 0;
    for (const exchange::Question& q : r.questions)
        replaced += writer.add(q);
    writer.finish();
    if (replaced > 0)
        return 0; // characters XML cannot carry were replaced: texts differ by design
    exchange::Result again;
    exchange::moodlexml::read(out.data(), again);
    checkSame(r, again);
    return 0;
}
