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

// `usage_error`: an argument that begins with "-" is no option, and may be
// a mistyped one; the run does nothing rather than log the work unit where
// it was not meant to go.
enum class Request { log, help, version, usage_error };

struct CommandLine {
    Request request = Request::log;
    std::string log_directory; // empty for the working directory
    // Arguments that begin with "/" but are no option; they are ignored, as
    // they always were (on POSIX systems they may be paths), and named on
    // standard error.
    std::vector<std::string> unknown_options;
    std::string bad_argument; // with usage_error
};

// Takes the arguments after the program's name, left to right. The first
// argument asking for help ("/?" anywhere in it, or exactly "--help" or
// "-h") or the version (exactly "--version") decides the request. Otherwise
// an argument that begins with "-" and holds neither "/P" nor "/?" is a
// usage error. Otherwise the log directory is the rest of the last argument
// holding "/P" after its first two characters, or, for an argument that is
// exactly "/P", the next argument whatever it holds; it ends in the
// separator unless empty. Any other argument beginning with "/" is an
// unknown option.
CommandLine parse_command_line(std::span<const std::string_view> arguments);

// Drops one trailing double quote (left by a shell that kept a quoted path's
// closing quote), then ends a non-empty directory with the separator.
std::string normalise_directory(std::string directory, char separator);

// What standard error says of an unknown option, and of an argument that
// is a usage error.
std::string unknown_option_warning(std::string_view option);
std::string usage_error_line(std::string_view argument);

} // namespace wutally::run
