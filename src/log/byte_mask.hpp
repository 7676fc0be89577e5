// The processor's own instructions, behind plain functions that every build
// can fall back to: where a byte stands in a block of 64, and a hint to
// fetch memory that will soon be read.
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

// Asks for the cache line at `address` to be loaded, without waiting for it;
// nothing else changes, so a build without the hint loses only time.
inline void prefetch(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#else
    (void)address;
#endif
}

} // namespace wutally::log
