#pragma once

#include <cstdint>
#include <functional>

// The process-wide pseudo-random generator: 32-bit state, 0 at start, never reseeded (a run
// whose order the class server chose draws from a state of its own, see drawFrom).
namespace rng {

// state := state * 134775813 + 1 (mod 2^32); returns floor(state * n / 2^32).
std::int32_t random(std::int32_t n);

// Runs `draws` with the generator at `start`, then gives it back the state it had: the runs
// after it follow the program's own sequence as if that run had not been.
void drawFrom(std::uint32_t start, const std::function<void()>& draws);

std::uint32_t state(); // tests set it (tests/support/seams): the program never reseeds

} // namespace rng
