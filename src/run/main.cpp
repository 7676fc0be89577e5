#include "platform/arguments.hpp"
#include "run/run.hpp"

int main(int argc, char** argv) {
    const auto arguments = wutally::platform::arguments_of(argc, argv);
    wutally::platform::StandardOutput console;
    wutally::platform::SteadyClock clock;
    return wutally::run::run(arguments, {console, clock});
}
