// The vector code that finds bytes in blocks of 64 against the plain loop,
// on bytes of every value, so that signedness and lane order cannot differ.
#include "log/byte_mask.hpp"
#include "support/test_random.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace wutally::log {
namespace {

TEST(ByteMask, AgreesWithThePlainLoopForEveryByteValue) {
    testing_support::TestRandom random(0x5eed);
    std::array<char, mask_block> block{};
    for (int round = 0; round < 2000; ++round) {
        for (char& byte : block) {
            // Mostly a few bytes, so that each wanted byte stands in many places.
            const unsigned draw = random.top_byte();
            byte = static_cast<char>(draw < 192 ? ",\"\r\n\0\x80\xff"[draw % 7] : draw);
        }
        const char wanted = static_cast<char>(round % 256);
        for (const char byte : {wanted, ',', '"', '\0', '\x80', '\xff'}) {
            ASSERT_EQ(byte_mask(block.data(), byte), byte_mask_plain(block.data(), byte))
                << "round " << round << ", byte " << int(static_cast<unsigned char>(byte));
        }
    }
}

TEST(ByteMask, SetsBitIForByteI) {
    std::array<char, mask_block> block{};
    block.fill('x');
    block[0] = ',';
    block[17] = ',';
    block[63] = ',';
    EXPECT_EQ(byte_mask(block.data(), ','),
              (std::uint64_t{1} << 0) | (std::uint64_t{1} << 17) | (std::uint64_t{1} << 63));
}

} // namespace
} // namespace wutally::log
