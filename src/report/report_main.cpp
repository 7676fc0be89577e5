#include "report/report_run.hpp"

#include <span>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    const std::span all_arguments(argv, static_cast<std::size_t>(argc));
    std::vector<std::string_view> arguments;
    for (const char* argument : all_arguments.subspan(all_arguments.empty() ? 0 : 1)) {
        arguments.emplace_back(argument);
    }
    wutally::platform::StandardOutput out;
    wutally::platform::StandardError errors;
    return wutally::report::run_report(arguments, out, errors);
}
