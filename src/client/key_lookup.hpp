// Looking a value up by its key in a client text.
#pragma once

#include "platform/console.hpp"

#include <optional>
#include <string_view>

namespace wutally::client {

// The value of the first "key=" anywhere in the text (inside a longer key or
// a value alike), up to but not including the next line feed. Nothing is
// trimmed. With no value, prints why and returns none.
//
// The value is a view into the text, which outlives every lookup, so it stays
// valid until the text is released.
std::optional<std::string_view> find_value(std::string_view text, std::string_view key,
                                           platform::Console& console);

} // namespace wutally::client
