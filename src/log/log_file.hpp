// Opening the log and appending to it without ever leaving half a write.
#pragma once

#include "platform/file.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::log {

inline constexpr std::string_view log_file_name = "WUTally.csv";

// The log directory (empty, or ending in a separator) followed by the name.
std::string log_path(std::string_view log_directory);

// Opens the log, creating it if missing, held by this run alone.
std::optional<platform::File> open_log(const std::string& path);

// Writes the bytes at the end of the log and flushes them to the disk. If any
// step fails, the log is cut back to the size it had before, so it never keeps
// part of a write, and false is returned.
bool append_to_log(const platform::File& log, std::uint64_t size_before, std::string_view bytes);

} // namespace wutally::log
