#include "log/log_file.hpp"

namespace wutally::log {

std::string log_path(std::string_view log_directory) {
    return std::string(log_directory).append(log_file_name);
}

std::optional<platform::File> open_log(const std::string& path) {
    return platform::File::open_exclusive(path);
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
