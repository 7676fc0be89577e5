// The command line over arbitrary arguments. Input: the arguments, separated
// by zero bytes.
#include "run/command_line.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string_view> arguments;
    while (!input.empty()) {
        const std::size_t end = std::min(input.find('\0'), input.size());
        arguments.push_back(input.substr(0, end));
        input.remove_prefix(std::min(end + 1, input.size()));
    }
    using wutally::run::Request;
    const auto command_line = wutally::run::parse_command_line(arguments);
    const std::string& directory = command_line.log_directory;
    if (command_line.request != Request::log) {
        if (!directory.empty()) {
            std::abort();
        }
        return 0;
    }
    // A request to log never comes from an argument that asks for help or
    // the version, unless "/P" took it as the directory.
    if (!directory.empty() && !directory.ends_with('/')) {
        std::abort();
    }
    return 0;
}
