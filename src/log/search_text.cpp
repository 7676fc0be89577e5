#include "log/search_text.hpp"

#include "log/byte_mask.hpp"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

namespace wutally::log {

namespace {

// How common a byte is in a log before any of it is seen: digits and the
// separators stand in every row, letters far less.
std::uint64_t prior_weight(char byte) {
    if (byte >= '0' && byte <= '9') {
        return 16;
    }
    if (std::string_view(".,\"-: \r\n").find(byte) != std::string_view::npos) {
        return 12;
    }
    const bool letter = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
    return letter ? 2 : 0;
}

// The place in the text of the byte that is rarest by the weights, other
// than `other`.
std::size_t rarest_place(std::string_view text, const std::array<std::uint64_t, 256>& weights,
                         std::size_t other) {
    std::size_t best = other;
    std::uint64_t best_weight = std::numeric_limits<std::uint64_t>::max();
    for (std::size_t at = 0; at < text.size(); ++at) {
        const std::uint64_t weight = weights[static_cast<unsigned char>(text[at])];
        if (at != other && weight < best_weight) {
            best = at;
            best_weight = weight;
        }
    }
    return best;
}

} // namespace

SearchText::SearchText(std::string_view text, std::span<const char> sample) : text_(text) {
    if (text_.size() < 2) {
        return; // both places are 0
    }
    std::array<std::uint64_t, 256> weights{};
    for (const char byte : sample) {
        ++weights[static_cast<unsigned char>(byte)];
    }
    for (std::size_t byte = 0; byte < weights.size(); ++byte) {
        weights[byte] = weights[byte] * 64 + prior_weight(static_cast<char>(byte));
    }
    first_place_ = rarest_place(text_, weights, text_.size());
    second_place_ = rarest_place(text_, weights, first_place_);
}

// Every place where the text starts has both its tested bytes, so a block's
// candidates are all the places where it can start there; each is confirmed
// by comparing the whole text. A block covers the places [block, block + 64),
// whose tested bytes lie before block + 64 + size - 1 <= last, so no byte
// past the range is read; the places left over are tested one by one.
template <class ByteMask>
const char* SearchText::find_with(const char* first, const char* last, ByteMask byte_mask) const {
    const std::size_t size = text_.size();
    if (static_cast<std::size_t>(last - first) < size) {
        return size == 0 ? first : last;
    }
    if (size == 0) {
        return first;
    }
    const char* const end = last - size + 1; // one past the last place a match can start
    const char first_byte = text_[first_place_];
    const char second_byte = text_[second_place_];
    const char* block = first;
    for (; static_cast<std::size_t>(end - block) >= mask_block; block += mask_block) {
        std::uint64_t candidates = byte_mask(block + first_place_, first_byte) &
                                   byte_mask(block + second_place_, second_byte);
        while (candidates != 0) {
            const char* place = block + std::countr_zero(candidates);
            if (std::memcmp(place, text_.data(), size) == 0) {
                return place;
            }
            candidates &= candidates - 1;
        }
    }
    for (; block < end; ++block) {
        if (block[first_place_] == first_byte && block[second_place_] == second_byte &&
            std::memcmp(block, text_.data(), size) == 0) {
            return block;
        }
    }
    return last;
}

const char* SearchText::find(const char* first, const char* last) const {
    return find_with(first, last,
                     [](const char* block, char byte) { return byte_mask(block, byte); });
}

const char* SearchText::find_plain(const char* first, const char* last) const {
    return find_with(first, last,
                     [](const char* block, char byte) { return byte_mask_plain(block, byte); });
}

} // namespace wutally::log
