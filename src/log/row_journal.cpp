#include "log/row_journal.hpp"

#include "log/small_file.hpp"

namespace wutally::log {

namespace {

constexpr std::string_view journal_suffix = ".row";

} // namespace

std::string journal_name(std::string_view token) {
    return std::string(token).append(journal_suffix);
}

bool is_journal_name(std::string_view name) {
    return name.size() > journal_suffix.size() && name.ends_with(journal_suffix);
}

Result<void, platform::FileError> write_journal(platform::FileSystem& files,
                                                const std::string& path,
                                                const platform::ProcessIdentity& holder,
                                                std::string_view token, const PendingRow& row) {
    return write_new_file(files, path, format_lock_record(holder, token) + format_pending_row(row),
                          platform::Readers::everyone);
}

Result<std::uint64_t, platform::FileError>
take_back(const platform::File& log, const PendingRow& row, bool whole_too, const Fence& fence) {
    const auto size = log.size();
    if (!size) {
        return size.error();
    }
    const std::uint64_t end = row.start + row.bytes.size();
    if (*size <= row.start || *size > end || (*size == end && !whole_too)) {
        return std::uint64_t{0}; // nothing of it at the end, or whole, or more follows
    }
    const auto found = read_range(log, row.start, *size - row.start);
    if (!found) {
        return found.error();
    }
    if (found->size() != *size - row.start || !std::string_view(row.bytes).starts_with(*found)) {
        return std::uint64_t{0};
    }
    if (!fence()) {
        return platform::FileError::held;
    }
    if (auto cut = log.truncate(row.start); !cut) {
        return cut.error();
    }
    if (auto synced = log.sync(); !synced) {
        return synced.error();
    }
    return std::uint64_t{found->size()};
}

Result<std::optional<TakenBackRow>, platform::FileError> recover_row(platform::FileSystem& files,
                                                                     const platform::File& log,
                                                                     const std::string& path,
                                                                     const Fence& fence) {
    const auto text = read_small_file(files, path);
    if (!text) {
        return text.error();
    }
    const auto record = parse_lock_record(*text);
    std::optional<TakenBackRow> taken;
    // A journal cut short was being written when its writer stopped, before
    // its row was begun.
    if (record && record->row) {
        const auto bytes = take_back(log, *record->row, false, fence);
        if (!bytes) {
            return bytes.error();
        }
        if (*bytes > 0) {
            taken = TakenBackRow{record->holder, *bytes};
        }
    }
    if (auto removed = files.remove(path);
        !removed && removed.error() != platform::FileError::not_found) {
        return removed.error();
    }
    return taken;
}

} // namespace wutally::log
