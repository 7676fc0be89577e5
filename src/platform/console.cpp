#include "platform/console.hpp"

#include <cstdio>

namespace wutally::platform {

namespace {

Result<void, PrintError> write_whole(std::string_view text, std::FILE* stream) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    if (std::fflush(stream) != 0 || !written) {
        return PrintError::not_all_written;
    }
    return {};
}

} // namespace

Result<void, PrintError> StandardOutput::print(std::string_view text) {
    return write_whole(text, stdout);
}

Result<void, PrintError> StandardError::print(std::string_view text) {
    return write_whole(text, stderr);
}

} // namespace wutally::platform
