#include "platform/machine.hpp"

#include <array>
#include <chrono>
#include <exception>
#include <random>
#include <string_view>

namespace wutally::platform {

std::uint64_t random_word() {
    // The time keeps draws apart where the system has no source of
    // randomness, whose absence the standard library reports by throwing.
    std::uint64_t word = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        word ^= (std::uint64_t{device()} << 32U) ^ device();
    } catch (const std::exception&) {
        word ^= reinterpret_cast<std::uintptr_t>(&word);
    }
    std::seed_seq seed{static_cast<std::uint32_t>(word), static_cast<std::uint32_t>(word >> 32U)};
    std::array<std::uint32_t, 2> mixed{};
    seed.generate(mixed.begin(), mixed.end());
    return (std::uint64_t{mixed[0]} << 32U) | mixed[1];
}

std::string draw_random_token() {
    constexpr std::string_view digits = "0123456789abcdef";
    std::string token;
    for (int word = 0; word < 2; ++word) {
        std::uint64_t bits = random_word();
        for (int digit = 0; digit < 16; ++digit, bits >>= 4U) {
            token += digits[bits & 0xFU];
        }
    }
    return token;
}

} // namespace wutally::platform
