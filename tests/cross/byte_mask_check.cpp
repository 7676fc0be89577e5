// The vector byte masks and the search on a build whose vector code is not
// the host's (NEON on arm64, run under an emulator in CI): the masks
// against the plain loop on bytes of every value, and the search against a
// plain one. Needs no test framework, so a bare cross compiler builds it.
#include "log/byte_mask.hpp"
#include "log/search_text.hpp"
#include "support/test_random.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

int main() {
    wutally::testing_support::TestRandom random(1);
    const auto next = [&random] { return random.top_byte(); };
    std::array<char, wutally::log::mask_block> block{};
    int mismatches = 0;
    for (int round = 0; round < 100000; ++round) {
        for (char& byte : block) {
            const unsigned draw = next();
            byte = static_cast<char>(draw < 192 ? ",\"\r\n\0\x80\xff"[draw % 7] : draw);
        }
        for (const char byte : {static_cast<char>(round), ',', '"', '\0', '\x80', '\xff'}) {
            if (wutally::log::byte_mask(block.data(), byte) !=
                wutally::log::byte_mask_plain(block.data(), byte)) {
                ++mismatches;
            }
        }
    }
    for (std::size_t place = 0; place < 300; ++place) {
        std::string haystack(300, 'x');
        haystack.replace(place, 3, "a,b");
        const wutally::log::SearchText search("a,b", haystack);
        const char* first = haystack.data();
        const char* found = search.find(first, first + haystack.size());
        if (static_cast<std::size_t>(found - first) !=
            std::min(haystack.find("a,b"), haystack.size())) {
            ++mismatches;
        }
    }
#if defined(WUTALLY_BYTE_MASK_NEON)
    const char* path = "NEON";
#elif defined(WUTALLY_BYTE_MASK_SSE2)
    const char* path = "SSE2";
#else
    const char* path = "plain";
#endif
    std::printf("byte masks (%s): %d mismatches\n", path, mismatches);
    return mismatches == 0 ? 0 : 1;
}
