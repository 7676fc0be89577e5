#include "platform/console.hpp"

#include <cstdio>

namespace wutally::platform {

namespace {

bool write_whole(std::string_view text, std::FILE* stream) {
    const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    return std::fflush(stream) == 0 && written;
}

} // namespace

bool StandardOutput::print(std::string_view text) {
    return write_whole(text, stdout);
}

bool StandardError::print(std::string_view text) {
    return write_whole(text, stderr);
}

} // namespace wutally::platform
