// Where a byte stands in a block of 64: the one place that uses the
// processor's vector instructions, behind a plain function that every build
// can fall back to.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wutally::log {

inline constexpr std::size_t mask_block = 64;

// Bit i is set when block[i] == byte, for the 64 bytes at `block`, which
// must all be readable.
std::uint64_t byte_mask(const char* block, char byte);

// The same by plain code, for checking the fast one against.
std::uint64_t byte_mask_plain(const char* block, char byte);

} // namespace wutally::log
