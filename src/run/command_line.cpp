#include "run/command_line.hpp"

#include "platform/file_system.hpp"

#include <version.hpp>

#include <optional>

namespace wutally::run {

std::string version_line() {
    return "WUTally Version " + std::string(version) + "\n";
}

std::string help_text() {
    return version_line() +
           "Saves information about a completed Starsweep work unit into WUTally.csv\n\n"
           "WUTally [/?] [/Ppath]\n\n"
           "/? - Displays this help text.\n"
           "/P - Path to the WUTally.csv file. If WUTally.csv does not exist one will be "
           "created.\n\n"
           "Example: WUTally /Pc:\\temp\\sweep\n"
           "     or: WUTally /P\"c:\\program files\\starsweep\"\n";
}

std::string normalise_directory(std::string directory, char separator) {
    if (directory.ends_with('"')) {
        directory.pop_back();
    }
    if (!directory.empty() && !directory.ends_with(separator)) {
        directory += separator;
    }
    return directory;
}

std::string unknown_option_warning(std::string_view option) {
    return "WUTally: ignored the unknown option " + std::string(option) +
           "; the log's folder is set with /P DIR or /PDIR\n";
}

std::string usage_error_line(std::string_view argument) {
    return "WUTally: " + std::string(argument) +
           " is no option, and nothing was logged; the log's folder is set with /P DIR, "
           "and /? shows the help\n";
}

namespace {

bool asks_for_help(std::string_view argument) {
    return argument.find("/?") != std::string_view::npos || argument == "--help" ||
           argument == "-h";
}

} // namespace

CommandLine parse_command_line(std::span<const std::string_view> arguments) {
    std::string directory;
    std::vector<std::string> unknown;
    std::optional<std::string_view> bad;
    for (std::size_t at = 0; at < arguments.size(); ++at) {
        const std::string_view argument = arguments[at];
        if (asks_for_help(argument)) {
            return {Request::help, {}, {}, {}};
        }
        if (argument == "--version") {
            return {Request::version, {}, {}, {}};
        }
        if (argument == "/P") {
            // "/P DIR", as a POSIX shell user types it.
            directory = at + 1 < arguments.size() ? arguments[++at] : std::string_view{};
        } else if (argument.find("/P") != std::string_view::npos) {
            // Everything after the first two characters, wherever "/P" stands.
            directory = argument.substr(2);
        } else if (argument.starts_with('-')) {
            bad = bad.value_or(argument);
        } else if (argument.starts_with('/')) {
            unknown.emplace_back(argument);
        }
    }
    // Only once no argument asked for the help or the version: those never
    // log anything.
    if (bad) {
        return {Request::usage_error, {}, {}, std::string(*bad)};
    }
    return {Request::log,
            normalise_directory(std::move(directory), platform::directory_separator),
            std::move(unknown),
            {}};
}

} // namespace wutally::run
