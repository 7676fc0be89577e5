#include "client/key_lookup.hpp"

#include <string>

namespace wutally::client {

std::optional<std::string_view> find_value(std::string_view text, std::string_view key,
                                           platform::Console& console) {
    const std::string pattern = std::string(key) + '=';
    const std::size_t key_at = text.find(pattern);
    if (key_at == std::string_view::npos) {
        console.print("WUTally: Could not find \"" + std::string(key) + "\" in file.\n\n");
        return std::nullopt;
    }
    const std::size_t value_at = key_at + pattern.size();
    const std::size_t end_at = text.find('\n', value_at);
    if (end_at == std::string_view::npos) {
        console.print("WUTally: Could not find end of \"" + std::string(key) + "\" in file.\n");
        return std::nullopt;
    }
    return text.substr(value_at, end_at - value_at);
}

} // namespace wutally::client
