// One run: take the command line, load the client files, log the work unit.
#pragma once

#include "client/client_text.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"
#include "platform/file_system.hpp"
#include "platform/machine.hpp"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace wutally::run {

enum class ExitStatus : int { success = 0, failure = 1, already_logged = 2 };

// Everything a run acquires. Its destructor is the run's single clean-up:
// it releases the texts that were loaded; the log is held and let go
// within the log stage.
struct RunContext {
    std::string log_directory;
    std::optional<client::ClientText> state;
    std::optional<client::ClientText> result;
    std::optional<client::ClientText> user_info;
};

// What a run works with: where it prints its lines and where it says what
// it did about other runs' locks, the clock it waits by, the files and this
// machine.
struct Services {
    platform::Console& console;
    platform::Console& errors;
    platform::Clock& clock;
    platform::FileSystem& files;
    platform::Machine& machine;
};

// Takes the arguments after the program's name, prints what the run did or
// why it stopped, and returns the exit status.
int run(std::span<const std::string_view> arguments, const Services& services);

} // namespace wutally::run
