#include "client/key_lookup.hpp"

#include <string>

namespace wutally::client {

Lookup find_value(std::string_view text, std::string_view key) {
    const std::string pattern = std::string(key) + '=';
    const std::size_t key_at = text.find(pattern);
    if (key_at == std::string_view::npos) {
        return LookupFailure::no_key;
    }
    const std::size_t value_at = key_at + pattern.size();
    const std::size_t end_at = text.find('\n', value_at);
    if (end_at == std::string_view::npos) {
        return LookupFailure::no_end;
    }
    return text.substr(value_at, end_at - value_at);
}

} // namespace wutally::client
