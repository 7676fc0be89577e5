#include "run/run.hpp"

#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    const std::span all_arguments(argv, static_cast<std::size_t>(argc));
    std::vector<std::string_view> arguments;
    for (const char* argument : all_arguments.subspan(all_arguments.empty() ? 0 : 1)) {
        arguments.emplace_back(argument);
    }
    wutally::platform::StandardOutput console;
    wutally::platform::SteadyClock clock;
    return wutally::run::run(arguments, {console, clock});
}
