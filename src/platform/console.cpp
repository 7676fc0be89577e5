#include "platform/console.hpp"

#include <cstdio>

namespace wutally::platform {

void StandardOutput::print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void StandardError::print(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

} // namespace wutally::platform
