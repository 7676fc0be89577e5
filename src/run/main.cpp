#include "platform/arguments.hpp"
#include "platform/native.hpp"
#include "run/run.hpp"

int main(int argc, char** argv) {
    const auto arguments = wutally::platform::arguments_of(argc, argv);
    wutally::platform::StandardOutput console;
    wutally::platform::StandardError errors;
    wutally::platform::SteadyClock clock;
    const auto files = wutally::platform::native_file_system();
    const auto machine = wutally::platform::native_machine();
    return wutally::run::run(arguments, {console, errors, clock, *files, *machine});
}
