#include "log/small_file.hpp"

#include <array>

namespace wutally::log {

namespace {

constexpr std::size_t largest_small_file = std::size_t{1} << 20;

} // namespace

Result<std::string, platform::FileError> read_small_file(platform::FileSystem& files,
                                                         const std::string& path) {
    auto file = files.open_read(path);
    if (!file) {
        return file.error();
    }
    std::string text;
    std::array<char, 4096> buffer{};
    while (text.size() < largest_small_file) {
        const auto count = (*file)->read(buffer);
        if (!count) {
            return count.error();
        }
        if (*count == 0) {
            break;
        }
        text.append(buffer.data(), *count);
    }
    return text;
}

Result<void, platform::FileError> write_new_file(platform::FileSystem& files,
                                                 const std::string& path, std::string_view bytes,
                                                 platform::Readers readers) {
    auto file = files.create_new(path, readers);
    if (!file) {
        return file.error();
    }
    auto written = (*file)->write_all(bytes);
    if (written) {
        written = (*file)->sync();
    }
    // Closed before anything else is done with it: Windows moves and
    // removes no open file.
    file->reset();
    if (!written) {
        (void)files.remove(path);
    }
    return written;
}

Result<std::string, platform::FileError> read_range(const platform::File& file, std::uint64_t start,
                                                    std::uint64_t count) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    std::size_t taken = 0;
    while (taken < bytes.size()) {
        const auto read = file.read_at(start + taken, std::span(bytes).subspan(taken));
        if (!read) {
            return read.error();
        }
        if (*read == 0) {
            break;
        }
        taken += *read;
    }
    bytes.resize(taken);
    return bytes;
}

} // namespace wutally::log
