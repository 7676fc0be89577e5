// Where a long log is split so that two threads can each read a part.
#pragma once

#include "platform/file_system.hpp"

#include <cstdint>
#include <optional>

namespace wutally::log {

// The start of the first line that starts at or after `at`, found in the
// 64 KiB from there; none where no line break stands in them, or they cannot
// be read (the readers meet that failure themselves).
std::optional<std::uint64_t> line_start_near(const platform::File& log, std::uint64_t at);

} // namespace wutally::log
