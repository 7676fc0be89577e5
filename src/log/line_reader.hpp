// Reading the log back line by line.
#pragma once

#include "log/search_text.hpp"
#include "platform/file_system.hpp"
#include "platform/result.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::log {

enum class ReadError {
    failed,        // a read of the file failed
    line_too_long, // a line had not ended within the limit set
};

// A part of a log, from its first byte to one past its last.
struct ByteRange {
    std::uint64_t first = 0;
    std::uint64_t end = std::numeric_limits<std::uint64_t>::max();
};

// Reads the log line by line through one buffer that grows only to hold the
// longest line, so memory does not grow with the log.
class LogReader {
  public:
    // The next line without its line end, zero bytes left out, ready to be
    // split in place; none at the end of the log. A line ends at CR LF, at
    // a lone LF or at a lone CR.
    using Line = Result<std::optional<std::span<char>>, ReadError>;

    static constexpr std::size_t default_read_size = std::size_t{128} * 1024;

    // Reads `read_size` bytes at a time (at least 2), the whole log from
    // where the file stands.
    explicit LogReader(const platform::File& log, std::size_t read_size = default_read_size);
    // Reads only the range, by offset, so that readers of other ranges of
    // the same file may read at the same time. A range should start at the
    // start of a line (see line_start_after).
    LogReader(const platform::File& log, ByteRange range,
              std::size_t read_size = default_read_size);
    // Either, in the buffer that a reader before it gave up (see
    // give_up_buffer): a thread that reads many pieces one after another
    // then makes room for them once.
    LogReader(const platform::File& log, std::vector<char> buffer);
    LogReader(const platform::File& log, ByteRange range, std::vector<char> buffer);
    [[nodiscard]] std::vector<char> give_up_buffer() && { return std::move(record_buffer_); }

    Line read_log_line();

    // The next line that may hold the text; every line that holds it is
    // returned, and lines that cannot are skipped unsplit, at the speed of a
    // plain text search. The text must not be empty nor hold CR, LF or a zero.
    Line read_log_line_holding(const SearchText& text);

    // The bytes read but not yet handed out: a sample of what is to come.
    [[nodiscard]] std::span<const char> buffered() const {
        return std::span(record_buffer_).subspan(begin_, end_ - begin_);
    }
    // Once the end is reached: whether the log's last byte is a CR or a LF.
    [[nodiscard]] bool ends_with_line_break() const {
        return last_byte_read_ == '\r' || last_byte_read_ == '\n';
    }
    // Whether any byte has been read.
    [[nodiscard]] bool has_read() const { return has_read_; }
    // Where in the file reading a range has come to.
    [[nodiscard]] std::uint64_t read_to() const { return offset_; }
    // Where in the file the line last handed out starts, where the reader
    // reads a range and has left no zero byte out before it.
    [[nodiscard]] std::optional<std::uint64_t> line_offset() const {
        return range_ ? line_offset_ : std::nullopt;
    }

    // Gives up on a line (line_too_long) once this many bytes have been read
    // without its end, so that endless input without a line break is left
    // in little time and memory; none for no limit.
    void limit_line_length(std::optional<std::uint64_t> bytes) { line_limit_ = bytes; }

  private:
    std::optional<std::span<char>> next_line();
    std::optional<std::span<char>> next_line_holding(const SearchText& text);
    Line line_or_failure(std::optional<std::span<char>> line) const;
    std::size_t line_end();
    bool has_zero_byte();
    void drop_zero_bytes();
    void skip_lines_before(std::size_t until);
    void move_unread_to_front();
    bool read_more();

    const platform::File& log_;
    std::optional<ByteRange> range_;
    std::uint64_t offset_ = 0;        // where the next read of a range starts
    std::uint64_t buffer_offset_ = 0; // where the buffer's first byte stood in the file
    bool offsets_known_ = true;
    std::optional<std::uint64_t> line_offset_;
    std::size_t read_size_;
    std::vector<char> record_buffer_;
    std::size_t begin_ = 0;            // first byte not yet handed out
    std::size_t end_ = 0;              // end of the bytes read
    std::size_t lf_search_at_ = 0;     // no line feed in [begin_, lf_search_at_)
    std::size_t zero_search_at_ = 0;   // no zero byte in [begin_, zero_search_at_)
    bool line_had_zero_bytes_ = false; // the unread line has taken zero bytes
    bool skip_lf_ = false;             // a CR ended the last line; a LF after it belongs to it
    bool at_end_ = false;
    std::optional<ReadError> failure_;
    char last_byte_read_ = '\0';
    bool has_read_ = false;
    bool at_log_start_ = true; // the next line is the log's first
    std::optional<std::uint64_t> line_limit_;
    std::uint64_t line_bytes_read_ = 0; // bytes read since the line began
};

// Hands each line to `take` in turn, until the end or until `take` returns
// false.
template <class Take> Result<void, ReadError> for_each_line(LogReader& reader, Take take) {
    for (;;) {
        const LogReader::Line line = reader.read_log_line();
        if (!line) {
            return line.error();
        }
        if (!*line || !take(**line)) {
            return {};
        }
    }
}

// The same for the lines that may hold the text (see read_log_line_holding).
template <class Take>
Result<void, ReadError> for_each_line_holding(LogReader& reader, const SearchText& text,
                                              Take take) {
    for (;;) {
        const LogReader::Line line = reader.read_log_line_holding(text);
        if (!line) {
            return line.error();
        }
        if (!*line || !take(**line)) {
            return {};
        }
    }
}

// Where the first line that starts at or after `at` starts: just after the
// first line break at or after at - 1 that is not the CR of a CR LF pair,
// given the bytes from at - 1 on. None if they hold no such line break.
std::optional<std::uint64_t> line_start_after(std::uint64_t at, std::span<const char> from_before);

} // namespace wutally::log
