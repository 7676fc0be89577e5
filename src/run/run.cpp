#include "run/run.hpp"

#include "log/duplicate_check.hpp"
#include "log/log_file.hpp"
#include "log/log_hold.hpp"
#include "log/row_format.hpp"
#include "run/command_line.hpp"

#include <array>
#include <chrono>
#include <ctime>
#include <new>

namespace wutally::run {

namespace {

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

// Loads the three client files in order; the first that fails ends the run
// and the ones after it are never opened.
std::optional<Outcome> load_client_files(RunContext& context, platform::FileSystem& file_system) {
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
    return std::nullopt;
}

std::tm local_time_now() {
    const std::time_t now = std::time(nullptr);
    const std::tm* local = std::localtime(&now);
    return local != nullptr ? *local : std::tm{};
}

// The line a run ends with when the duplicate check refuses the row; none
// when the row may be written.
std::optional<Outcome> refusal(const log::DuplicateCheck& check, const std::string& path) {
    switch (check.outcome) {
    case log::CheckOutcome::not_logged:
        return std::nullopt;
    case log::CheckOutcome::no_name_value:
        return failure(lookup_message("name", check.name_failure));
    case log::CheckOutcome::no_name_column:
        return failure("WUTally: Could not find name in CSV file.\n");
    case log::CheckOutcome::already_logged:
        return Outcome{"WUTally: Work Unit " + check.name + " has already been logged.\n",
                       ExitStatus::already_logged};
    case log::CheckOutcome::read_error:
        break;
    }
    return failure("WUTally: Error reading " + path + "\n");
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

// What this run did about other runs that left the log held or a row half
// written: said on standard error, as standard output keeps its lines.
void tell_about_other_runs(const log::LogHold& hold, platform::Console& errors) {
    for (const log::BrokenLock& broken : hold.broken_locks()) {
        std::string line = "WUTally: broke the stale lock of " + holder_text(broken.holder) +
                           ", made " + local_timestamp(broken.made) + ": ";
        switch (broken.reason) {
        case log::StaleReason::process_ended:
            line += "its process has ended";
            break;
        case log::StaleReason::machine_restarted:
            line += "its machine has restarted";
            break;
        case log::StaleReason::too_old:
            line += "it was held for " + std::to_string(broken.age.count()) + " s";
            break;
        }
        errors.print(line + "\n");
    }
    for (const log::TakenBackRow& row : hold.taken_back()) {
        errors.print("WUTally: took back " + std::to_string(row.bytes) + " bytes of a row that " +
                     holder_text(row.holder) + " left unfinished\n");
    }
}

// Takes the log and appends the row, taking the log again where another
// run broke this one's hold before anything was written.
Outcome log_work_unit(RunContext& context, const Services& services) {
    const std::string path = log::log_path(context.log_directory);
    const std::string_view result = context.result->searchable();
    // Reading the log before holding it keeps the hold short however long
    // the log is: under the hold, only what was appended since is read.
    const auto earlier = log::check_before_hold(services.files, path, result);
    const log::HoldServices hold_services{services.files, services.machine, services.clock};
    const auto deadline = services.clock.now() + log::outer_wait_bound;
    std::optional<std::tm> time;
    std::optional<log::DataRow> row;
    for (;;) {
        auto held = log::LogHold::take(path, hold_services, deadline);
        if (!held) {
            return failure(held.error() == log::HoldFailure::read_error
                               ? "WUTally: Error reading " + path + "\n"
                               : "WUTally: Could not open " + path + "\n");
        }
        context.log = std::move(*held);
        tell_about_other_runs(*context.log, services.errors);
        const auto size = context.log->log().size();
        if (!size) {
            return failure("WUTally: Error reading " + path + "\n");
        }
        std::string bytes;
        bool ends_with_line_break = false;
        if (*size == 0) {
            bytes = log::header_row();
        } else {
            const auto check = log::check_under_hold(context.log->log(), *size, result, earlier);
            if (auto refused = refusal(check, path)) {
                return *std::move(refused);
            }
            ends_with_line_break = check.ends_with_line_break;
        }
        if (!ends_with_line_break) {
            bytes += log::row_separator;
        }
        if (!row) {
            const log::ClientTexts texts{context.user_info->searchable(), result,
                                         context.state->searchable()};
            time = local_time_now();
            row = log::data_row(texts, *time);
            for (const log::MissingValue& missing : row->missing) {
                services.console.print(lookup_message(missing.key, missing.failure));
            }
        }
        bytes += row->bytes;
        const auto appended = context.log->append(*size, bytes);
        if (appended) {
            context.log->release();
            return {"WUTally: work unit saved successfully on " + log::format_timestamp(*time) +
                        "\r\n",
                    ExitStatus::success};
        }
        if (appended.error() == log::AppendFailure::failed) {
            return failure("WUTally: Error writing " + path + "\n");
        }
        context.log.reset(); // nothing was written: the log is taken again
    }
}

Outcome run_stages(std::span<const std::string_view> arguments, RunContext& context,
                   const Services& services) {
    CommandLine command_line = parse_command_line(arguments);
    switch (command_line.request) {
    case Request::help:
        return {help_text(), ExitStatus::success};
    case Request::version:
        return {version_line(), ExitStatus::success};
    case Request::log:
        break;
    }
    for (const std::string& option : command_line.unknown_options) {
        services.errors.print(unknown_option_warning(option));
    }
    context.log_directory = std::move(command_line.log_directory);
    if (!context.log_directory.empty()) {
        services.console.print("WUTally: Path to WUTally.csv set to: " + context.log_directory +
                               "\n");
    }
    if (auto failed = load_client_files(context, services.files)) {
        return *std::move(failed);
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
    services.console.print(outcome.line);
    return static_cast<int>(outcome.status);
}

} // namespace wutally::run
