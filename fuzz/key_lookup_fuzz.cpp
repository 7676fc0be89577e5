// Key lookup over arbitrary client text. Input: one byte giving the key's
// length, the key, then the text.
#include "client/key_lookup.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t key_length = std::min<std::size_t>(data[0] % 32, size - 1);
    const std::string_view key = input.substr(1, key_length);
    const std::string_view text = input.substr(1 + key_length);

    wutally::platform::CapturedOutput console;
    const auto value = wutally::client::find_value(text, key, console);
    const std::string pattern = std::string(key) + '=';
    if (value) {
        // The value stands right after the first "key=" and runs to a line feed.
        const std::size_t at = text.find(pattern);
        if (at == std::string_view::npos || value->data() != text.data() + at + pattern.size() ||
            value->find('\n') != std::string_view::npos ||
            text.substr(at + pattern.size() + value->size(), 1) != "\n" ||
            !console.text().empty()) {
            std::abort();
        }
    } else {
        const std::string missing =
            "WUTally: Could not find \"" + std::string(key) + "\" in file.\n\n";
        const std::string unended =
            "WUTally: Could not find end of \"" + std::string(key) + "\" in file.\n";
        const bool found = text.find(pattern) != std::string_view::npos;
        if (console.text() != (found ? unended : missing)) {
            std::abort();
        }
    }
    return 0;
}
