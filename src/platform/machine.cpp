#include "platform/machine.hpp"

#include <array>
#include <chrono>
#include <random>
#include <string_view>

namespace wutally::platform {

std::string draw_random_token() {
    std::random_device device;
    // Mixed with the time, should a system's source of randomness repeat
    // itself from one process to the next.
    std::seed_seq seed{device(), device(), device(), device(),
                       static_cast<unsigned>(
                           std::chrono::high_resolution_clock::now().time_since_epoch().count())};
    std::array<std::uint32_t, 4> words{};
    seed.generate(words.begin(), words.end());
    constexpr std::string_view digits = "0123456789abcdef";
    std::string token;
    for (std::uint32_t bits : words) {
        for (int digit = 0; digit < 8; ++digit, bits >>= 4U) {
            token += digits[bits & 0xFU];
        }
    }
    return token;
}

} // namespace wutally::platform
