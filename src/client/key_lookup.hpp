// Looking a value up by its key in a client text.
#pragma once

#include "platform/result.hpp"

#include <string_view>

namespace wutally::client {

// Why a key has no value: "key=" is nowhere in the text, or no line feed
// follows it.
enum class LookupFailure { no_key, no_end };

using Lookup = Result<std::string_view, LookupFailure>;

// The value of the first "key=" anywhere in the text (inside a longer key or
// a value alike), up to but not including the next line feed. Nothing is
// trimmed.
//
// The value is a view into the text, which outlives every lookup, so it stays
// valid until the text is released.
Lookup find_value(std::string_view text, std::string_view key);

} // namespace wutally::client
