// A stand-in for the reader program (jetbank::setReader): whatever file it is given, it streams
// a table of the most columns a table can have whose records are all NULL, as many as make
// KV_STANDIN_BYTES bytes. Such a stream is the one that costs the program most per byte.
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

int main() {
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
