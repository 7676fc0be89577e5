// The processor's own instructions, behind plain functions that every build
// can fall back to: where a byte stands in a block of 64, and a hint to
// fetch memory that will soon be read. Inline, as the searches call them
// for every 64 bytes of the log.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define WUTALLY_BYTE_MASK_SSE2 1
#elif defined(__aarch64__) // vaddv_u8 is AArch64 only, not 32-bit NEON
#include <arm_neon.h>
#define WUTALLY_BYTE_MASK_NEON 1
#endif

namespace wutally::log {

inline constexpr std::size_t mask_block = 64;

// Bit i is set when block[i] == byte, for the 64 bytes at `block`, which
// must all be readable. The plain loop, which the fast one must equal.
inline std::uint64_t byte_mask_plain(const char* block, char byte) {
    std::uint64_t mask = 0;
    for (std::size_t at = 0; at < mask_block; ++at) {
        mask |= (block[at] == byte ? std::uint64_t{1} : 0) << at;
    }
    return mask;
}

#if defined(WUTALLY_BYTE_MASK_SSE2)

// Sixteen bytes are compared at once; movemask gathers the comparison's top
// bits, byte i to bit i, the plain mask's order.
inline std::uint64_t byte_mask(const char* block, char byte) {
    const __m128i wanted = _mm_set1_epi8(byte);
    std::uint64_t mask = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + part * 16));
        const auto bits =
            static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)));
        mask |= std::uint64_t{bits} << (part * 16);
    }
    return mask;
}

#elif defined(WUTALLY_BYTE_MASK_NEON)

// NEON has no movemask: each equal byte (all ones) keeps its own bit of
// 1, 2, 4 ... 128, and adding the eight bytes of each half gathers them.
inline std::uint64_t byte_mask(const char* block, char byte) {
    static constexpr std::uint8_t weights[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                                 1, 2, 4, 8, 16, 32, 64, 128};
    const uint8x16_t wanted = vdupq_n_u8(static_cast<std::uint8_t>(byte));
    const uint8x16_t weight = vld1q_u8(weights);
    std::uint64_t mask = 0;
    for (std::size_t part = 0; part < 4; ++part) {
        const uint8x16_t bytes = vld1q_u8(reinterpret_cast<const std::uint8_t*>(block) + part * 16);
        const uint8x16_t bits = vandq_u8(vceqq_u8(bytes, wanted), weight);
        const std::uint64_t low = vaddv_u8(vget_low_u8(bits));
        const std::uint64_t high = vaddv_u8(vget_high_u8(bits));
        mask |= (low | (high << 8)) << (part * 16);
    }
    return mask;
}

#else

inline std::uint64_t byte_mask(const char* block, char byte) {
    return byte_mask_plain(block, byte);
}

#endif

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
