#include "log/search_text.hpp"

#include <algorithm>
#include <cstring>

namespace wutally::log {

namespace {

constexpr std::size_t largest_shift = 255;
constexpr std::size_t pair_slots = 4096;

// The slot of the two bytes at `bytes`. Pairs that share a slot share the
// smaller of their shifts, which is always safe.
std::size_t pair_slot(const char* bytes) {
    const auto first = static_cast<unsigned char>(bytes[0]);
    const auto second = static_cast<unsigned char>(bytes[1]);
    return ((std::size_t{first} << 4) ^ second) % pair_slots;
}

} // namespace

// A Horspool search keyed on the window's last two bytes rather than one:
// in a log made mostly of digits, single bytes recur in every name, pairs far
// less, so the window mostly moves by nearly the whole text's length.
SearchText::SearchText(std::string_view text) : text_(text) {
    if (text_.size() < 2) {
        return;
    }
    const std::size_t last_pair = text_.size() - 2;
    const auto no_match_shift = static_cast<std::uint8_t>(std::min(last_pair + 1, largest_shift));
    shift_by_pair_.assign(pair_slots, no_match_shift);
    shift_after_match_ = no_match_shift;
    const std::size_t final_slot = pair_slot(text_.data() + last_pair);
    // Later pairs give smaller shifts, so each slot ends with the smallest.
    for (std::size_t at = 0; at < last_pair; ++at) {
        const auto shift = static_cast<std::uint8_t>(std::min(last_pair - at, largest_shift));
        shift_by_pair_[pair_slot(text_.data() + at)] = shift;
        if (pair_slot(text_.data() + at) == final_slot) {
            shift_after_match_ = shift;
        }
    }
    shift_by_pair_[final_slot] = 0;
}

const char* SearchText::find(const char* first, const char* last) const {
    const std::size_t size = text_.size();
    if (size < 2) {
        const void* found =
            size == 0 ? first
                      : std::memchr(first, text_.front(), static_cast<std::size_t>(last - first));
        return found == nullptr ? last : static_cast<const char*>(found);
    }
    for (const char* window = first; static_cast<std::size_t>(last - window) >= size;) {
        const std::size_t shift = shift_by_pair_[pair_slot(window + size - 2)];
        if (shift != 0) {
            window += shift;
        } else if (std::memcmp(window, text_.data(), size) == 0) {
            return window;
        } else {
            window += shift_after_match_;
        }
    }
    return last;
}

} // namespace wutally::log
