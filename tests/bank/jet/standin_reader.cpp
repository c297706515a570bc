// A stand-in for the reader program (jetbank::setReader): whatever file it is given, it streams
// a table of the most columns a table can have whose records are all NULL, as many as make
// KV_STANDIN_BYTES bytes: the stream that costs the program most per byte. With
// KV_STANDIN_PICTURE set, it streams instead one record whose Graph holds that many bytes.
#include "jetstream_format.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void putU32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(char((value >> (8 * i)) & 0xff));
}

} // namespace

int picture(long long bytes) {
    std::string out(jetstream::magic, sizeof jetstream::magic);
    out += char(jetstream::tagFile);
    out += char(4);
    putU32(out, 1252);
    out += char(jetstream::tagColumns);
    putU32(out, 1);
    out += char(jetstream::kindBinary);
    putU32(out, 5);
    out += "Graph";
    out += char(jetstream::tagRecord);
    out += char(1);
    putU32(out, uint32_t(bytes));
    std::fwrite(out.data(), 1, out.size(), stdout);
    const std::string block(1 << 20, 'B');
    for (long long left = bytes; left > 0; left -= (long long)block.size())
        std::fwrite(block.data(), 1, size_t(left < (long long)block.size() ? left : block.size()),
                    stdout);
    out.assign(1, char(jetstream::tagEnd));
    putU32(out, 1);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 3;
}

int main() {
    if (const char* size = std::getenv("KV_STANDIN_PICTURE"))
        return picture(std::atoll(size));
    const char* given = std::getenv("KV_STANDIN_BYTES");
    const long long bytes = given ? std::atoll(given) : 1 << 20;
    std::string out(jetstream::magic, sizeof jetstream::magic);
    out += char(jetstream::tagFile);
    out += char(4);
    putU32(out, 1252);
    out += char(jetstream::tagColumns);
    putU32(out, jetstream::maxColumns);
    for (uint32_t i = 0; i < jetstream::maxColumns; ++i) {
        const std::string name = "c" + std::to_string(i);
        out += char(jetstream::kindText);
        putU32(out, uint32_t(name.size()));
        out += name;
    }
    std::string record(1 + jetstream::maxColumns, '\0'); // every value NULL
    record[0] = char(jetstream::tagRecord);
    long long written = 0;
    uint32_t records = 0;
    while (written + (long long)out.size() < bytes) {
        out += record;
        ++records;
        if (out.size() >= (1 << 20)) {
            if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size())
                return 3;
            written += (long long)out.size();
            out.clear();
        }
    }
    out += char(jetstream::tagEnd);
    putU32(out, records);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 3;
}
