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
    wutally::platform::CapturedOutput console;
    const auto directory = wutally::run::parse_command_line(arguments, console);
    if (!directory) {
        if (console.text() != wutally::run::help_text) {
            std::abort();
        }
        return 0;
    }
    const std::string path_line = "WUTally: Path to WUTally.csv set to: " + *directory + "\n";
    if (directory->empty() ? !console.text().empty()
                           : (!directory->ends_with('/') || console.text() != path_line)) {
        std::abort();
    }
    return 0;
}
