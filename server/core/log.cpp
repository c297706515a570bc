#include "log.h"

#include <mutex>
#include <unistd.h>

namespace kvserver {

std::string boundedText(std::string_view text, std::size_t limit) {
    std::string out;
    std::size_t i = 0;
    for (; i < text.size() && out.size() < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += c < 0x20 || c == 0x7f ? '?' : char(c);
    }
    if (i == text.size())
        return out;
    while (!out.empty() && (static_cast<unsigned char>(out.back()) & 0xC0) == 0x80)
        out.pop_back(); // a character cut in two
    if (!out.empty() && static_cast<unsigned char>(out.back()) >= 0xC0)
        out.pop_back();
    return out + "…";
}

void logLine(std::string_view line) {
    static std::mutex mutex;
    const std::string whole = "kviront-server: " + boundedText(line, maxLogLine) + "\n";
    std::lock_guard lock(mutex);
    std::size_t done = 0;
    while (done < whole.size()) {
        const ssize_t n = ::write(STDERR_FILENO, whole.data() + done, whole.size() - done);
        if (n <= 0)
            return;
        done += std::size_t(n);
    }
}

} // namespace kvserver
