#include "log/log_file.hpp"

#include <algorithm>

namespace wutally::log {

std::string log_path(std::string_view log_directory) {
    return std::string(log_directory).append(log_file_name);
}

std::optional<platform::File> open_log(const std::string& path, platform::Clock& clock) {
    platform::Clock::TimePoint deadline = clock.now() + log_wait_bound;
    std::optional<platform::FileState> seen = platform::state_of(path);
    std::chrono::milliseconds pause = first_wait_pause;
    for (;;) {
        auto opened = platform::File::open_exclusive(path);
        if (auto* file = std::get_if<platform::File>(&opened)) {
            return std::move(*file);
        }
        const auto failure = std::get<platform::OpenFailure>(opened);
        if (failure == platform::OpenFailure::failed) {
            return std::nullopt;
        }
        const platform::Clock::TimePoint now = clock.now();
        // A log that grew or was replaced has seen a run finish: the log is
        // busy, not stuck, and the bound starts again.
        if (auto state = platform::state_of(path); state != seen) {
            seen = state;
            deadline = now + log_wait_bound;
        }
        if (now >= deadline) {
            return std::nullopt;
        }
        clock.sleep_for(
            std::min(pause, std::chrono::ceil<std::chrono::milliseconds>(deadline - now)));
        pause = std::min(pause * 2, failure == platform::OpenFailure::held_on_share
                                        ? longest_share_wait_pause
                                        : longest_wait_pause);
    }
}

bool append_to_log(const platform::File& log, std::uint64_t size_before, std::string_view bytes) {
    if (log.seek_end() && log.write_all(bytes) && log.sync()) {
        return true;
    }
    // Best effort: there is nothing more to do if the roll-back fails too.
    (void)log.truncate(size_before);
    (void)log.sync();
    return false;
}

} // namespace wutally::log
