// One run: take the command line, load the client files, log the work unit.
#pragma once

#include "client/client_text.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace wutally::run {

enum ExitStatus : int { exit_success = 0, exit_failure = 1, exit_already_logged = 2 };

// Everything a run acquires. Its destructor is the run's single clean-up:
// it releases the texts that were loaded and closes the log if it is open.
struct RunContext {
    std::string log_directory;
    std::optional<client::ClientText> state;
    std::optional<client::ClientText> result;
    std::optional<client::ClientText> user_info;
    std::optional<platform::File> log;
};

// Where a run prints, and the clock it waits for a held log by.
struct Services {
    platform::Console& console;
    platform::Clock& clock;
};

// Takes the arguments after the program's name, prints what the run did or
// why it stopped, and returns the exit status.
int run(std::span<const std::string_view> arguments, const Services& services);

} // namespace wutally::run
