// The command line: the help text and the log directory.
#pragma once

#include "platform/console.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace wutally::run {

extern const std::string_view help_text;

// Takes the arguments after the program's name. Returns the log directory
// (empty for the working directory), after printing the path line when it is
// not empty; or prints the help text and returns none.
std::optional<std::string> parse_command_line(std::span<const std::string_view> arguments,
                                              platform::Console& console);

// Drops one trailing double quote (left by a shell that kept a quoted path's
// closing quote), then ends a non-empty directory with the separator.
std::string normalise_directory(std::string directory, char separator);

} // namespace wutally::run
