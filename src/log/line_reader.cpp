#include "log/line_reader.hpp"

#include "log/byte_mask.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

namespace wutally::log {

namespace {

std::size_t find_byte(const std::vector<char>& bytes, std::size_t from, std::size_t to, char byte) {
    const void* found = std::memchr(bytes.data() + from, byte, to - from);
    return found == nullptr
               ? to
               : static_cast<std::size_t>(static_cast<const char*>(found) - bytes.data());
}

} // namespace

LogReader::LogReader(const platform::File& log, std::size_t read_size)
    : log_(log), read_size_(std::max<std::size_t>(read_size, 2)), record_buffer_(read_size_) {}

LogReader::LogReader(const platform::File& log, ByteRange range, std::size_t read_size)
    : log_(log), range_(range), offset_(range.first), buffer_offset_(range.first),
      read_size_(std::max<std::size_t>(read_size, 2)), record_buffer_(read_size_),
      at_log_start_(range.first == 0) {}

LogReader::LogReader(const platform::File& log, std::vector<char> buffer)
    : log_(log), read_size_(default_read_size), record_buffer_(std::move(buffer)) {
    record_buffer_.resize(std::max(record_buffer_.size(), read_size_));
}

LogReader::LogReader(const platform::File& log, ByteRange range, std::vector<char> buffer)
    : log_(log), range_(range), offset_(range.first), buffer_offset_(range.first),
      read_size_(default_read_size), record_buffer_(std::move(buffer)),
      at_log_start_(range.first == 0) {
    record_buffer_.resize(std::max(record_buffer_.size(), read_size_));
}

std::optional<std::uint64_t> line_start_after(std::uint64_t at, std::span<const char> from_before) {
    for (std::size_t index = 0; index < from_before.size(); ++index) {
        const char byte = from_before[index];
        const bool pair =
            byte == '\r' && index + 1 < from_before.size() && from_before[index + 1] == '\n';
        if ((byte == '\r' || byte == '\n') && !pair) {
            if (byte == '\r' && index + 1 == from_before.size()) {
                return std::nullopt; // a LF may follow
            }
            return at + index;
        }
    }
    return std::nullopt;
}

// The first CR or LF at or after begin_, or end_ if neither has been read yet.
std::size_t LogReader::line_end() {
    // The line feed position is remembered, so a log without line feeds is
    // not searched again from each line's start.
    if (lf_search_at_ < begin_) {
        lf_search_at_ = begin_;
    }
    if (lf_search_at_ < end_ && record_buffer_[lf_search_at_] != '\n') {
        lf_search_at_ = find_byte(record_buffer_, lf_search_at_, end_, '\n');
    }
    return find_byte(record_buffer_, begin_, lf_search_at_, '\r');
}

// The unread bytes hold no line end when more must be read: they are the
// start of one line, whose zero bytes would be left out anyway. Leaving them
// out now keeps a long run of zero bytes from growing the buffer.
void LogReader::drop_zero_bytes() {
    if (!has_zero_byte()) {
        return;
    }
    const auto first = record_buffer_.begin() + static_cast<std::ptrdiff_t>(begin_);
    const auto last = record_buffer_.begin() + static_cast<std::ptrdiff_t>(end_);
    end_ = static_cast<std::size_t>(std::remove(first, last, '\0') - record_buffer_.begin());
    offsets_known_ = false; // bytes no longer stand where they stood in the file
    zero_search_at_ = end_;
    lf_search_at_ = end_;
    line_had_zero_bytes_ = true;
}

// Moves the unread bytes to the front, growing the buffer if they fill it.
// They go where the next read lands in step with the file, at the place in
// a 64-byte line that its first byte has in the file: the kernel copies up
// to five times slower where the two stand from 1 to 32 bytes apart in a
// page, which a read behind a line's start would otherwise meet now and
// then.
void LogReader::move_unread_to_front() {
    constexpr std::size_t alignment = 64;
    if (record_buffer_.size() - (end_ - begin_) < read_size_ / 2 + alignment) {
        drop_zero_bytes();
    }
    const std::size_t unread = end_ - begin_;
    if (record_buffer_.size() - unread < read_size_ / 2 + alignment) {
        record_buffer_.resize(std::max(record_buffer_.size() * 2, unread + read_size_ + alignment));
    }
    const auto address = reinterpret_cast<std::uintptr_t>(record_buffer_.data());
    const std::size_t in_step = static_cast<std::size_t>(offset_ % alignment);
    const std::size_t front = (alignment + in_step - (address + unread) % alignment) % alignment;
    std::memmove(record_buffer_.data() + front, record_buffer_.data() + begin_, unread);
    // Unsigned arithmetic: the offset may pass below zero and back.
    buffer_offset_ = buffer_offset_ + begin_ - front;
    lf_search_at_ = front + (std::max(lf_search_at_, begin_) - begin_);
    zero_search_at_ = front + (std::max(zero_search_at_, begin_) - begin_);
    begin_ = front;
    end_ = front + unread;
}

// Reads behind the unread bytes. False at the end of the log or on a failed
// read.
bool LogReader::read_more() {
    if (at_end_ || failure_) {
        return false;
    }
    move_unread_to_front();
    std::span<char> free = std::span(record_buffer_).subspan(end_);
    if (range_) {
        free = free.first(
            static_cast<std::size_t>(std::min<std::uint64_t>(free.size(), range_->end - offset_)));
    }
    const auto count = free.empty() ? Result<std::size_t, platform::FileError>(std::size_t{0})
                       : range_     ? log_.read_at(offset_, free)
                                    : log_.read(free);
    if (!count) {
        failure_ = ReadError::failed;
        return false;
    }
    if (*count == 0) {
        at_end_ = true;
        return false;
    }
    end_ += *count;
    offset_ += *count;
    line_bytes_read_ += *count;
    last_byte_read_ = record_buffer_[end_ - 1];
    has_read_ = true;
    return true;
}

LogReader::Line LogReader::line_or_failure(std::optional<std::span<char>> line) const {
    if (failure_) {
        return *failure_;
    }
    return line;
}

LogReader::Line LogReader::read_log_line() {
    return line_or_failure(next_line());
}

LogReader::Line LogReader::read_log_line_holding(const SearchText& text) {
    return line_or_failure(next_line_holding(text));
}

std::optional<std::span<char>> LogReader::next_line() {
    if (skip_lf_ && (begin_ < end_ || read_more())) {
        if (record_buffer_[begin_] == '\n') {
            ++begin_;
        }
        skip_lf_ = false;
    }
    std::size_t end = line_end();
    while (end == end_) {
        if (line_limit_ && line_bytes_read_ > *line_limit_) {
            failure_ = ReadError::line_too_long;
            return std::nullopt;
        }
        // Reading more may move the unread bytes, so the end is found anew.
        const bool more = read_more();
        end = line_end();
        if (!more) {
            break;
        }
    }
    if (failure_ || (end == end_ && begin_ == end_ && !line_had_zero_bytes_)) {
        return std::nullopt;
    }
    line_had_zero_bytes_ = false;
    // What is read beyond this line counts toward the lines after it.
    line_bytes_read_ = end_ - end;
    const std::size_t line_start = begin_;
    line_offset_ = offsets_known_ ? std::optional(buffer_offset_ + line_start) : std::nullopt;
    begin_ = end;
    if (end < end_) {
        skip_lf_ = record_buffer_[end] == '\r';
        ++begin_;
    }
    auto first = record_buffer_.begin() + static_cast<std::ptrdiff_t>(line_start);
    auto last = record_buffer_.begin() + static_cast<std::ptrdiff_t>(end);
    if (find_byte(record_buffer_, line_start, end, '\0') != end) {
        last = std::remove(first, last, '\0');
    }
    // A byte-order mark, as a spreadsheet's "CSV UTF-8" puts before the
    // header, is not part of the first line; zero bytes are left out first,
    // as they are wherever a read happens to end.
    constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
    if (std::exchange(at_log_start_, false) &&
        std::string_view(record_buffer_.data() + (first - record_buffer_.begin()),
                         static_cast<std::size_t>(last - first))
            .starts_with(byte_order_mark)) {
        first += static_cast<std::ptrdiff_t>(byte_order_mark.size());
    }
    return std::span<char>(first, last);
}

bool LogReader::has_zero_byte() {
    zero_search_at_ = std::max(zero_search_at_, begin_);
    if (zero_search_at_ < end_ && record_buffer_[zero_search_at_] != '\0') {
        zero_search_at_ = find_byte(record_buffer_, zero_search_at_, end_, '\0');
    }
    return zero_search_at_ < end_;
}

// Moves past every line that ends before `until`, keeping the line that
// `until` falls in.
void LogReader::skip_lines_before(std::size_t until) {
    const auto first = record_buffer_.begin() + static_cast<std::ptrdiff_t>(begin_);
    const auto last = record_buffer_.begin() + static_cast<std::ptrdiff_t>(until);
    const auto is_break = [](char byte) { return byte == '\r' || byte == '\n'; };
    const auto line_break =
        std::find_if(std::make_reverse_iterator(last), std::make_reverse_iterator(first), is_break);
    if (line_break.base() != first) {
        line_had_zero_bytes_ = false;
        at_log_start_ = false;
        begin_ = static_cast<std::size_t>(line_break.base() - record_buffer_.begin());
        skip_lf_ = record_buffer_[begin_ - 1] == '\r';
    }
}

std::optional<std::span<char>> LogReader::next_line_holding(const SearchText& text) {
    for (;;) {
        // A zero byte, left out of a line, could split the text: no skipping
        // over it.
        if (has_zero_byte()) {
            return next_line();
        }
        const char* data = record_buffer_.data();
        const char* found = text.find(data + begin_, data + end_);
        if (found != data + end_) {
            skip_lines_before(static_cast<std::size_t>(found - data));
            return next_line();
        }
        // The unfinished last line may still hold the text once more is read.
        skip_lines_before(end_);
        if (!read_more()) {
            begin_ = end_;
            return std::nullopt;
        }
    }
}

} // namespace wutally::log
