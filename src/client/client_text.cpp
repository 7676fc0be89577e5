#include "client/client_text.hpp"

#include "platform/file_system.hpp"

#include <new>

namespace wutally::client {

std::string_view ClientText::searchable() const {
    const std::string_view all = bytes;
    return all.substr(0, all.find('\0'));
}

namespace {

LoadResult read_whole(const platform::File& file, std::uint64_t size) {
    ClientText text;
    if (size > text.bytes.max_size()) {
        return LoadFailure::out_of_memory;
    }
    try {
        text.bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return LoadFailure::out_of_memory;
    }
    std::size_t taken = 0;
    while (taken < text.bytes.size()) {
        const auto count = file.read(std::span(text.bytes).subspan(taken));
        if (!count) {
            return LoadFailure::read_error;
        }
        if (*count == 0) {
            break;
        }
        taken += *count;
    }
    text.bytes.resize(taken);
    return text;
}

} // namespace

LoadResult load_client_file(platform::FileSystem& files, const std::string& file_name) {
    const auto file = files.open_read(file_name);
    if (!file) {
        return LoadFailure::cannot_open;
    }
    const auto size = (*file)->size();
    if (!size) {
        return LoadFailure::read_error;
    }
    if (*size == 0) {
        return LoadFailure::empty;
    }
    return read_whole(**file, *size);
}

} // namespace wutally::client
