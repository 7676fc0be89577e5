#include "run/run.hpp"

#include "log/duplicate_check.hpp"
#include "log/log_append.hpp"
#include "log/log_file.hpp"
#include "log/row_format.hpp"
#include "run/command_line.hpp"

#include <array>
#include <chrono>
#include <ctime>
#include <new>

namespace wutally::run {

namespace {

// The program's lines: where one cannot be printed (a closed standard
// output), there is no one left to tell, and the run's outcome stands.
void say(platform::Console& console, std::string_view line) {
    (void)console.print(line);
}

// The line a run ends with and the status it exits with.
struct Outcome {
    std::string line;
    ExitStatus status = ExitStatus::failure;
};

Outcome failure(std::string line) {
    return {std::move(line), ExitStatus::failure};
}

std::string lookup_message(std::string_view key, client::LookupFailure failure) {
    std::string line = failure == client::LookupFailure::no_key
                           ? "WUTally: Could not find \""
                           : "WUTally: Could not find end of \"";
    line.append(key);
    return line.append(failure == client::LookupFailure::no_key ? "\" in file.\n\n"
                                                                : "\" in file.\n");
}

std::string load_failure_line(client::LoadFailure failure, const std::string& file_name,
                              std::string_view empty_line) {
    switch (failure) {
    case client::LoadFailure::cannot_open:
        return "WUTally: Could not open " + file_name + "\n";
    case client::LoadFailure::empty:
        return std::string(empty_line);
    case client::LoadFailure::out_of_memory:
        return "WUTally: Out of memory\n";
    case client::LoadFailure::read_error:
        break;
    }
    return "WUTally: Error reading " + file_name + "\n";
}

// Loads the three client files in order; the first that fails ends the run,
// with the outcome given, and the ones after it are never opened.
Result<void, Outcome> load_client_files(RunContext& context, platform::FileSystem& file_system) {
    struct ClientFile {
        std::string name;
        std::string_view empty_line;
        std::optional<client::ClientText>& text;
    };
    const std::array files{
        ClientFile{"state.txt", "WUTally: state file is empty\n", context.state},
        ClientFile{"result.txt", "WUTally: result.txt is empty\n", context.result},
        ClientFile{"user_info.txt", "WUTally: user_info file is empty\n", context.user_info},
    };
    for (const ClientFile& file : files) {
        auto loaded = client::load_client_file(file_system, file.name);
        if (!loaded) {
            return failure(load_failure_line(loaded.error(), file.name, file.empty_line));
        }
        file.text = *std::move(loaded);
    }
    return {};
}

std::string separator_line(char separator) {
    return std::string("WUTally: the log's header is separated by ") +
           (separator == ';' ? "semicolons" : "tabs") +
           ", as spreadsheets in some languages save CSV; open the log in the spreadsheet "
           "and save it again as CSV separated by commas\n";
}

// Why the log could not be had, where that can be told.
std::optional<std::string> reason_line(log::TakeFailure why, const std::string& folder) {
    const std::string shown = folder.empty() ? "the working folder" : folder;
    switch (why) {
    case log::TakeFailure::no_folder:
        return "WUTally: the folder " + shown + " does not exist; make it first\n";
    case log::TakeFailure::no_permission:
        return "WUTally: this user may not write the log or make files in " + shown + "\n";
    case log::TakeFailure::held_too_long:
        return std::string("WUTally: the log was held too long by another run or program, "
                           "such as a spreadsheet that has it open\n");
    case log::TakeFailure::recovery_failed:
    case log::TakeFailure::failed:
        break;
    }
    return std::nullopt;
}

// The line a run ends with when the duplicate check refuses the row; what
// the log itself gets wrong goes to standard error.
Outcome refusal(const log::DuplicateCheck& check, platform::Console& errors) {
    switch (check.outcome) {
    case log::CheckOutcome::no_name_value:
        return failure(lookup_message("name", check.name_failure));
    case log::CheckOutcome::no_name_column:
        if (check.other_separator) {
            say(errors, separator_line(*check.other_separator));
        }
        return failure("WUTally: Could not find name in CSV file.\n");
    case log::CheckOutcome::already_logged:
        return Outcome{"WUTally: Work Unit " + check.name + " has already been logged.\n",
                       ExitStatus::already_logged};
    case log::CheckOutcome::not_logged:
        break;
    }
    return failure("WUTally: Could not find name in CSV file.\n");
}

std::string local_timestamp(std::chrono::nanoseconds since_epoch) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
    const auto time = static_cast<std::time_t>(seconds.count());
    const std::tm* local = std::localtime(&time);
    return local != nullptr ? log::format_timestamp(*local) : std::string("an unknown time");
}

std::string holder_text(const std::optional<platform::ProcessIdentity>& holder) {
    if (!holder) {
        return "a run that did not say whose it was";
    }
    return "process " + std::to_string(holder->pid) + " on " + holder->host;
}

std::string broken_line(const log::BrokenLock& broken) {
    std::string line = "WUTally: broke the stale lock of " + holder_text(broken.holder) +
                       ", made " + local_timestamp(broken.made) + ": ";
    switch (broken.reason) {
    case log::StaleReason::process_ended:
        return line + "its process has ended\n";
    case log::StaleReason::machine_restarted:
        return line + "its machine has restarted\n";
    case log::StaleReason::too_old:
        break;
    }
    return line + "it was held for " + std::to_string(broken.age.count()) + " s\n";
}

std::string unremovable_line(const log::UnremovableLock& lock) {
    const std::string owner = lock.owner.empty() ? "" : " (owner: " + lock.owner + ")";
    std::string line = "WUTally: the lock " + lock.path + owner + " cannot be ";
    switch (lock.what) {
    case log::UnremovableLock::What::read:
        line += "read";
        break;
    case log::UnremovableLock::What::move:
        line += "moved";
        break;
    case log::UnremovableLock::What::remove:
        line += "removed";
        break;
    }
    return line + " by this user; if no run is logging, ask its owner or an administrator "
                  "to remove it\n";
}

// What this run did about other runs that left the log held or a row half
// written, and, where it could not have the log, what stood in its way:
// said on standard error, as standard output keeps its lines.
void tell_about_other_runs(const log::LockEvents& events, bool had_the_log,
                           platform::Console& errors) {
    for (const log::BrokenLock& broken : events.broken) {
        say(errors, broken_line(broken));
    }
    for (const log::TakenBackRow& row : events.taken_back) {
        say(errors, "WUTally: took back " + std::to_string(row.bytes) + " bytes of a row that " +
                        holder_text(row.holder) + " left unfinished\n");
    }
    if (events.namesake_seen) {
        say(errors, "WUTally: another machine has this machine's name and machine id, so "
                    "their runs cannot be told apart and each waits a minute for the other's "
                    "stale locks; give each machine a name and a machine id of its own (on "
                    "Linux: rm /etc/machine-id && systemd-machine-id-setup)\n");
    }
    if (events.unremovable && !had_the_log) {
        say(errors, unremovable_line(*events.unremovable));
    }
}

Outcome log_work_unit(RunContext& context, const Services& services) {
    const std::string path = log::log_path(context.log_directory);
    const log::ClientTexts texts{context.user_info->searchable(), context.result->searchable(),
                                 context.state->searchable()};
    const log::Appended appended =
        log::append_work_unit(path, texts, {services.files, services.machine, services.clock});
    tell_about_other_runs(appended.events, appended.outcome != log::AppendOutcome::cannot_open,
                          services.errors);
    for (const log::MissingValue& missing : appended.missing) {
        say(services.console, lookup_message(missing.key, missing.failure));
    }
    switch (appended.outcome) {
    case log::AppendOutcome::saved:
        return {"WUTally: work unit saved successfully on " + log::format_timestamp(appended.time) +
                    "\r\n",
                ExitStatus::success};
    case log::AppendOutcome::refused:
        return refusal(appended.check, services.errors);
    case log::AppendOutcome::cannot_open:
        if (const auto reason = reason_line(appended.why, context.log_directory)) {
            say(services.errors, *reason);
        }
        return failure("WUTally: Could not open " + path + "\n");
    case log::AppendOutcome::read_error:
        return failure("WUTally: Error reading " + path + "\n");
    case log::AppendOutcome::write_error:
        break;
    }
    return failure("WUTally: Error writing " + path + "\n");
}

Outcome run_stages(std::span<const std::string_view> arguments, RunContext& context,
                   const Services& services) {
    CommandLine command_line = parse_command_line(arguments);
    switch (command_line.request) {
    case Request::help:
        return {help_text(), ExitStatus::success};
    case Request::version:
        return {version_line(), ExitStatus::success};
    case Request::usage_error:
        say(services.errors, usage_error_line(command_line.bad_argument));
        return {{}, ExitStatus::failure};
    case Request::log:
        break;
    }
    for (const std::string& option : command_line.unknown_options) {
        say(services.errors, unknown_option_warning(option));
    }
    context.log_directory = std::move(command_line.log_directory);
    if (!context.log_directory.empty()) {
        say(services.console,
            "WUTally: Path to WUTally.csv set to: " + context.log_directory + "\n");
    }
    if (auto loaded = load_client_files(context, services.files); !loaded) {
        return std::move(loaded).error();
    }
    return log_work_unit(context, services);
}

} // namespace

int run(std::span<const std::string_view> arguments, const Services& services) {
    Outcome outcome;
    try {
        RunContext context;
        outcome = run_stages(arguments, context, services);
    } catch (const std::bad_alloc&) {
        // Nothing is written to the log before the whole row is in memory,
        // so the log is as it was.
        outcome = failure("WUTally: Out of memory\n");
    }
    say(services.console, outcome.line);
    // A signal that came once the row was saved ends the run only now.
    services.machine.allow_termination();
    return static_cast<int>(outcome.status);
}

} // namespace wutally::run
