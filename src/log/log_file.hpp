// Opening the log and appending to it without ever leaving half a write.
#pragma once

#include "platform/clock.hpp"
#include "platform/file.hpp"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wutally::log {

inline constexpr std::string_view log_file_name = "WUTally.csv";

// How long a run waits for a log that another run holds while the log does
// not change; a log that grows or is replaced meanwhile is busy, not stuck,
// and the wait goes on.
inline constexpr std::chrono::seconds log_wait_bound{10};

// The pauses between attempts while waiting grow from the first to the
// longest: a short hold costs little delay, a long one little polling.
inline constexpr std::chrono::milliseconds first_wait_pause{1};
inline constexpr std::chrono::milliseconds longest_wait_pause{25};
// Where every try is a request to the server of a share that many machines'
// runs wait on, fewer tries leave it free for the run that holds the log.
inline constexpr std::chrono::milliseconds longest_share_wait_pause{200};

// The log directory (empty, or ending in a separator) followed by the name.
std::string log_path(std::string_view log_directory);

// Opens the log, creating it if missing, held by this run alone. A log held
// by another run is waited for until it has stayed unchanged for
// log_wait_bound; any other failure gives none at once.
std::optional<platform::File> open_log(const std::string& path, platform::Clock& clock);

// Writes the bytes at the end of the log and flushes them to the disk. If any
// step fails, the log is cut back to the size it had before, so it never keeps
// part of a write, and false is returned.
bool append_to_log(const platform::File& log, std::uint64_t size_before, std::string_view bytes);

} // namespace wutally::log
