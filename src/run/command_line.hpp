// The command line: the help text, the version and the log directory.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::run {

std::string help_text();
// The help text's first line.
std::string version_line();

enum class Request { log, help, version };

struct CommandLine {
    Request request = Request::log;
    std::string log_directory; // empty for the working directory
    // Arguments that look like options but are none of the above; they are
    // ignored, as they always were, and named on standard error.
    std::vector<std::string> unknown_options;
};

// Takes the arguments after the program's name, left to right. The first
// argument asking for help ("/?" anywhere in it, or exactly "--help" or
// "-h") or the version (exactly "--version") decides the request. Otherwise
// the log directory is the rest of the last argument holding "/P" after its
// first two characters, or, for an argument that is exactly "/P", the next
// argument whatever it holds; it ends in the separator unless empty.
// Any other argument beginning with "-" or "/" is an unknown option.
CommandLine parse_command_line(std::span<const std::string_view> arguments);

// Drops one trailing double quote (left by a shell that kept a quoted path's
// closing quote), then ends a non-empty directory with the separator.
std::string normalise_directory(std::string directory, char separator);

// What standard error says of an unknown option.
std::string unknown_option_warning(std::string_view option);

} // namespace wutally::run
