#pragma once

#include <cstdint>

// The process-wide pseudo-random generator: 32-bit state, 0 at start, never reseeded.
namespace rng {

// state := state * 134775813 + 1 (mod 2^32); returns floor(state * n / 2^32).
std::int32_t random(std::int32_t n);

std::uint32_t state(); // tests set it (tests/support/seams): the program never reseeds

} // namespace rng
