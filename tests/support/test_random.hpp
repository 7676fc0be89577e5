// A small seeded generator for the tests that try many inputs: one seed
// gives the same inputs on every machine and every run.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wutally::testing_support {

class TestRandom {
  public:
    explicit TestRandom(std::uint64_t seed) : state_(seed) {}

    std::uint64_t next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return state_;
    }
    // A number in [0, bound).
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() >> 33U) % bound; }
    // The top byte of the next number, the best mixed.
    unsigned top_byte() { return static_cast<unsigned>(next() >> 56U); }

  private:
    std::uint64_t state_;
};

} // namespace wutally::testing_support
