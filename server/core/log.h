#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The daemon's log: one line per event on standard error (the journal under systemd), each
// written whole and bounded, so that no request can fill the log or split another's line.
namespace kvserver {

inline constexpr std::size_t maxLogLine = 400;

// `text` fit for one log line: control characters shown as "?", cut (at a character's
// boundary) to `limit` bytes with "…" after.
std::string boundedText(std::string_view text, std::size_t limit);

// Writes "kviront-server: " and `line`, bounded to maxLogLine, as one line.
void logLine(std::string_view line);

} // namespace kvserver
