#include "textwrap.h"

namespace textwrap {

bool needsWrapAnywhere(const QString& text) {
    constexpr int longestWord = 1000;
    int run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > longestWord)
            return true;
    }
    return false;
}

} // namespace textwrap
