// The command line as the C runtime hands it over.
#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace wutally::platform {

// The arguments after the program's name.
inline std::vector<std::string_view> arguments_of(int argc, char** argv) {
    const std::span all(argv, static_cast<std::size_t>(argc));
    std::vector<std::string_view> arguments;
    for (const char* argument : all.subspan(all.empty() ? 0 : 1)) {
        arguments.emplace_back(argument);
    }
    return arguments;
}

} // namespace wutally::platform
