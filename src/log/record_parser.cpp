#include "log/record_parser.hpp"

#include "log/byte_mask.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace wutally::log {

namespace {

// One byte's places in a line, found a block of 64 bytes at a time: a row
// has some fifty short fields, and finding each one's end by a library
// search would cost more in starting the search than in searching.
//
// A quoted field is compacted in place, but only into bytes before the
// place the next search starts from, so what the finder saw of the bytes
// after it still holds.
class ByteFinder {
  public:
    ByteFinder(std::span<const char> line, char byte) : line_(line), byte_(byte) {}

    // The first place of the byte at or after `from`, or the line's size.
    std::size_t next(std::size_t from) {
        while (from < line_.size()) {
            const std::size_t block = from - from % mask_block;
            if (block != block_) {
                block_ = block;
                mask_ = mask_at(block);
            }
            const std::uint64_t ahead = mask_ >> (from - block);
            if (ahead != 0) {
                return from + static_cast<std::size_t>(std::countr_zero(ahead));
            }
            from = block + mask_block;
        }
        return line_.size();
    }

  private:
    // A last, short block is copied out, so no byte past the line is read.
    [[nodiscard]] std::uint64_t mask_at(std::size_t block) const {
        if (line_.size() - block >= mask_block) {
            return byte_mask(line_.data() + block, byte_);
        }
        std::array<char, mask_block> tail{};
        std::copy(line_.begin() + static_cast<std::ptrdiff_t>(block), line_.end(), tail.begin());
        const std::uint64_t in_line = (std::uint64_t{1} << (line_.size() - block)) - 1;
        return byte_mask(tail.data(), byte_) & in_line;
    }

    std::span<const char> line_;
    char byte_;
    std::size_t block_ = std::numeric_limits<std::size_t>::max();
    std::uint64_t mask_ = 0;
};

struct Field {
    std::size_t start; // the field's text is [start, end)
    std::size_t end;
    std::size_t next; // where the next field begins
    bool last;        // the line ends with this field
};

// A quoted field from the byte after its opening quote. A doubled quote is one
// quote; a quote followed by a comma or by the end of the line closes the
// field; any other quote is an ordinary byte, as older logs hold such values.
// The text is compacted in place, within the field.
Field quoted_field(std::span<char> line, std::size_t at, ByteFinder& quotes) {
    const std::size_t size = line.size();
    const std::size_t start = at;
    std::size_t out = at;
    for (;;) {
        const std::size_t quote = quotes.next(at);
        if (out != at) {
            std::memmove(line.data() + out, line.data() + at, quote - at);
        }
        out += quote - at;
        if (quote + 1 >= size) {
            return {start, out, size, true};
        }
        if (line[quote + 1] == ',') {
            return {start, out, quote + 2, false};
        }
        line[out++] = '"';
        at = line[quote + 1] == '"' ? quote + 2 : quote + 1;
    }
}

Field bare_field(std::span<char> line, std::size_t at, ByteFinder& commas) {
    const std::size_t comma = commas.next(at);
    return {at, comma, comma + 1, comma == line.size()};
}

} // namespace

void parse_log_record(std::span<char> line, Record& record, std::size_t field_limit) {
    record.clear();
    ByteFinder commas(line, ',');
    ByteFinder quotes(line, '"');
    std::size_t at = 0;
    while (record.size() < field_limit) {
        const bool quoted = at < line.size() && line[at] == '"';
        if (quoted && at + 1 == line.size()) {
            break; // a lone quote at the end of the line is no field
        }
        const Field field =
            quoted ? quoted_field(line, at + 1, quotes) : bare_field(line, at, commas);
        record.emplace_back(line.data() + field.start, field.end - field.start);
        if (field.last) {
            break;
        }
        at = field.next;
    }
}

std::string_view field_at(const Record& record, std::size_t index) {
    return index < record.size() ? record[index] : std::string_view{};
}

} // namespace wutally::log
