#include "log/fast_record.hpp"

#include "log/byte_mask.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

namespace wutally::log {

namespace {

// Bit i: whether an odd number of the mask's bits stand at i or below.
std::uint64_t prefix_parity(std::uint64_t mask) {
    mask ^= mask << 1U;
    mask ^= mask << 2U;
    mask ^= mask << 4U;
    mask ^= mask << 8U;
    mask ^= mask << 16U;
    mask ^= mask << 32U;
    return mask;
}

// The quotes and commas of one block of the line, and which bytes are in
// it; a last, short block is copied out, so no byte past the line is read.
struct Block {
    std::uint64_t quotes;
    std::uint64_t commas;
    std::uint64_t in_line;
};

Block block_at(std::span<const char> line, std::size_t at) {
    if (line.size() - at >= mask_block) {
        return {byte_mask(line.data() + at, '"'), byte_mask(line.data() + at, ','),
                ~std::uint64_t{0}};
    }
    std::array<char, mask_block> tail{};
    std::copy(line.begin() + static_cast<std::ptrdiff_t>(at), line.end(), tail.begin());
    const std::uint64_t in_line = (std::uint64_t{1} << (line.size() - at)) - 1;
    return {byte_mask(tail.data(), '"') & in_line, byte_mask(tail.data(), ',') & in_line, in_line};
}

// The text of the field in [start, end): a quoted one without its quotes.
std::string_view field_text(std::span<const char> line, std::size_t start, std::size_t end) {
    const bool quoted = start < end && line[start] == '"';
    return {line.data() + start + (quoted ? 1 : 0), end - start - (quoted ? 2 : 0)};
}

// How many bits are set, without the instruction older processors lack.
std::size_t bits_set(std::uint64_t mask) {
    mask -= (mask >> 1U) & 0x5555555555555555ULL;
    mask = (mask & 0x3333333333333333ULL) + ((mask >> 2U) & 0x3333333333333333ULL);
    mask = (mask + (mask >> 4U)) & 0x0f0f0f0f0f0f0f0fULL;
    return static_cast<std::size_t>((mask * 0x0101010101010101ULL) >> 56U);
}

} // namespace

// Quotes are paired by their parity from the line's start: a quote after an
// even number of them opens a field, after an odd number closes one. Where
// every opening quote follows a separator and every closing quote is
// followed by a separator or the line's end, the commas outside the pairs
// are exactly the separators the plain parser finds. A doubled quote, or
// any other quote, sends the line to the plain parser. Each block's
// separators are counted, and only the fields wanted are looked for.
bool pick_fields_fast(std::span<const char> line, std::span<const std::size_t> places,
                      std::span<const std::size_t> slots, std::span<std::string_view> fields) {
    std::size_t wanted = 0;
    std::size_t field = 0; // the field that starts at field_start
    std::size_t field_start = 0;
    std::uint64_t odd_carry = 0;       // all ones after an odd number of quotes
    std::uint64_t separator_carry = 1; // the line's start stands for a separator
    std::uint64_t closing_carry = 0;
    for (std::size_t at = 0; at < line.size() && wanted < places.size(); at += mask_block) {
        const Block block = block_at(line, at);
        const std::uint64_t odd_through =
            block.quotes == 0 ? odd_carry : prefix_parity(block.quotes) ^ odd_carry;
        const std::uint64_t odd_before = odd_through ^ block.quotes;
        const std::uint64_t separators = block.commas & ~odd_before;
        const std::uint64_t opening = block.quotes & ~odd_before;
        const std::uint64_t closing = block.quotes & odd_before;
        const std::uint64_t after_separator = (separators << 1U) | separator_carry;
        const std::uint64_t after_closing = (closing << 1U) | closing_carry;
        // An opening quote inside a field, or a doubled one; a byte other
        // than a separator right after a closing quote.
        if ((opening & ~after_separator) != 0 ||
            (after_closing & block.in_line & ~separators) != 0) {
            return false;
        }
        // The fields that end in this block are field to field + count - 1;
        // its separators are walked only as far as the last one wanted.
        const std::size_t count = bits_set(separators);
        if (places[wanted] < field + count) {
            std::uint64_t left = separators;
            std::size_t walked = field;
            std::size_t start = field_start;
            while (wanted < places.size() && places[wanted] < field + count) {
                for (; walked < places[wanted]; ++walked, left &= left - 1) {
                    start = at + static_cast<std::size_t>(std::countr_zero(left)) + 1;
                }
                const std::size_t end = at + static_cast<std::size_t>(std::countr_zero(left));
                fields[slots[wanted++]] = field_text(line, start, end);
            }
            if (wanted == places.size()) {
                return true;
            }
        }
        if (count > 0) {
            field += count;
            field_start = at + mask_block - static_cast<std::size_t>(std::countl_zero(separators));
        }
        odd_carry = (odd_through >> 63U) != 0 ? ~std::uint64_t{0} : 0;
        separator_carry = separators >> 63U;
        closing_carry = closing >> 63U;
    }
    if (odd_carry != 0) {
        return false; // a quoted field that never closes
    }
    if (wanted < places.size() && field == places[wanted]) {
        fields[slots[wanted++]] = field_text(line, field_start, line.size());
    }
    for (; wanted < places.size(); ++wanted) {
        fields[slots[wanted]] = {};
    }
    return true;
}

} // namespace wutally::log
