#pragma once

#include "core_hook.h"

#include <QDateTime>
#include <cstdint>

// The seams of the platform's core, for tests and benchmarks only: nothing here is built into
// the programs.
namespace clock_ {
void setFixed(const QDateTime& when); // freeze the clock at this moment
void advance(qint64 msecs);           // move a frozen clock
void useSystem();
} // namespace clock_

namespace rng {
void setState(std::uint32_t state);
} // namespace rng

namespace textfile {
// The call that writes a staged file's bytes; nullptr restores ::write.
using WriteCall = corehook::WriteCall;
void setWriteCall(WriteCall call);
} // namespace textfile
