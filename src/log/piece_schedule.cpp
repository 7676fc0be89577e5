#include "log/piece_schedule.hpp"

#include <algorithm>
#include <array>

namespace wutally::log {

namespace {

// The start of the first line that starts at or after `at`, found in the
// bytes from there: a few KiB, and 64 KiB where no line break stands in
// those; none where none stands in these either.
Result<std::optional<std::uint64_t>, platform::FileError> line_start_near(const platform::File& log,
                                                                          std::uint64_t at) {
    for (const std::size_t look_ahead : {std::size_t{4} << 10, std::size_t{64} << 10}) {
        std::vector<char> bytes(look_ahead);
        const auto count = log.read_at(at - 1, bytes);
        if (!count) {
            return count.error();
        }
        if (const auto start = line_start_after(at, std::span(bytes).first(*count))) {
            return start;
        }
        if (*count < look_ahead) {
            break; // the end of the log
        }
    }
    return std::optional<std::uint64_t>();
}

} // namespace

Result<std::vector<ByteRange>, platform::FileError>
cut_into_pieces(const platform::File& log, std::uint64_t size, const PieceSizes& sizes) {
    constexpr std::uint64_t most_pieces = 256;
    if (size < std::max<std::uint64_t>(sizes.split_from, 2)) {
        return std::vector<ByteRange>{ByteRange{}};
    }
    const std::uint64_t count =
        std::min(std::max({size / sizes.piece, sizes.fewest, std::uint64_t{2}}), most_pieces);
    std::vector<ByteRange> pieces{ByteRange{}};
    for (std::uint64_t piece = 1; piece < count; ++piece) {
        const std::uint64_t near = size / count * piece;
        if (near == 0) {
            continue;
        }
        const auto start = line_start_near(log, near);
        if (!start) {
            return start.error();
        }
        if (*start && **start > pieces.back().first && **start < size) {
            pieces.back().end = **start;
            pieces.push_back(ByteRange{**start});
        }
    }
    return pieces;
}

std::optional<std::size_t> PieceClaims::from_front() {
    const std::scoped_lock lock(mutex_);
    return front_ < back_ ? std::optional(front_++) : std::nullopt;
}

std::optional<std::size_t> PieceClaims::from_back() {
    const std::scoped_lock lock(mutex_);
    return front_ < back_ && back_ > back_from_ ? std::optional(--back_) : std::nullopt;
}

void PieceClaims::stop() {
    const std::scoped_lock lock(mutex_);
    back_ = front_;
}

void PieceClaims::front_finished() {
    {
        const std::scoped_lock lock(mutex_);
        front_finished_ = true;
    }
    front_changed_.notify_one();
}

void PieceClaims::wait_for_front() {
    std::unique_lock lock(mutex_);
    front_changed_.wait(lock, [this] { return front_finished_; });
}

} // namespace wutally::log
