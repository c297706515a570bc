#pragma once

#include <cstdint>
#include <span>

// The order in which a test run presents a bank's records.
namespace questionorder {

// The largest bank a run supports: the order has positions 1 ... maxQuestions.
constexpr std::int32_t maxQuestions = 10000;

// Draws the order of a run of n records into order[1 .. n] (order[0] is not used) with the
// process-wide generator: positions 1 .. n - 1 get the record numbers 1 .. n - 1 in drawn
// order, position n gets n. A draw of 0 or of a number already placed is drawn again.
//
// The draws, and so the order, are exactly those of the plain method that compares every draw
// with all n positions; instead of that scan, `taken` (at least n + 1 entries, scratch) marks
// the numbers placed so far, which makes a 10000-record order a matter of a millisecond.
// Positions after n are left alone. Returns the number of draws made.
std::int64_t draw(std::span<std::int32_t> order, std::span<std::uint8_t> taken, std::int32_t n);

} // namespace questionorder
