#pragma once

#include <QDateTime>
#include <cstdint>
#include <optional>

// What the tests' seams reach (tests/support/seams): the program itself never sets these, and
// nothing that sets them is built into it.
namespace corehook {

// The moment clock_::now() gives while set.
extern std::optional<QDateTime> fixedNow;
// The state of the process-wide generator (rng).
extern std::uint32_t rngState;
// The call that writes a staged file's bytes (::write unless set), so that a disk that fills
// up after N bytes can stand in.
using WriteCall = qint64 (*)(int fd, const char* data, qint64 size);
extern WriteCall writeCall;

} // namespace corehook
