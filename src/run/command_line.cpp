#include "run/command_line.hpp"

#include "platform/file.hpp"

namespace wutally::run {

const std::string_view help_text =
    "WUTally Version 1.2\n"
    "Saves information about a completed Starsweep work unit into WUTally.csv\n\n"
    "WUTally [/?] [/Ppath]\n\n"
    "/? - Displays this help text.\n"
    "/P - Path to the WUTally.csv file. If WUTally.csv does not exist one will be created.\n\n"
    "Example: WUTally /Pc:\\temp\\sweep\n"
    "     or: WUTally /P\"c:\\program files\\starsweep\"\n";

std::string normalise_directory(std::string directory, char separator) {
    if (directory.ends_with('"')) {
        directory.pop_back();
    }
    if (!directory.empty() && !directory.ends_with(separator)) {
        directory += separator;
    }
    return directory;
}

std::optional<std::string> parse_command_line(std::span<const std::string_view> arguments,
                                              platform::Console& console) {
    std::string directory;
    for (const std::string_view argument : arguments) {
        if (argument.find("/?") != std::string_view::npos) {
            console.print(help_text);
            return std::nullopt;
        }
        // Everything after the first two characters, wherever "/P" stands.
        if (argument.find("/P") != std::string_view::npos) {
            directory = argument.substr(2);
        }
    }
    directory = normalise_directory(std::move(directory), platform::directory_separator);
    if (!directory.empty()) {
        console.print("WUTally: Path to WUTally.csv set to: " + directory + "\n");
    }
    return directory;
}

} // namespace wutally::run
