#include "log/split_point.hpp"

#include "log/line_reader.hpp"

#include <vector>

namespace wutally::log {

std::optional<std::uint64_t> line_start_near(const platform::File& log, std::uint64_t at) {
    if (at == 0) {
        return std::nullopt;
    }
    constexpr std::size_t look_ahead = std::size_t{64} * 1024;
    std::vector<char> bytes(look_ahead);
    const auto count = log.read_at(at - 1, bytes);
    if (!count) {
        return std::nullopt;
    }
    return line_start_after(at, std::span(bytes).first(*count));
}

} // namespace wutally::log
