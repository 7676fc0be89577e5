// Looking for one text in many bytes, at the speed of reading them.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace wutally::log {

// A text to look for in many lines, prepared once. It refers to the text,
// which must outlive it.
class SearchText {
  public:
    // `sample` holds bytes like those that will be searched (the start of
    // the log, say): the two bytes of the text that are rarest in it are
    // the ones each place is first tested on.
    explicit SearchText(std::string_view text, std::span<const char> sample = {});

    // The first occurrence in [first, last), or last.
    [[nodiscard]] const char* find(const char* first, const char* last) const;
    // The same with the plain byte masks, against which the fast ones are
    // checked.
    [[nodiscard]] const char* find_plain(const char* first, const char* last) const;

    // The two places in the text that are tested first.
    [[nodiscard]] std::size_t first_place() const { return first_place_; }
    [[nodiscard]] std::size_t second_place() const { return second_place_; }

  private:
    template <class ByteMask>
    const char* find_with(const char* first, const char* last, ByteMask byte_mask) const;

    std::string_view text_;
    std::size_t first_place_ = 0;
    std::size_t second_place_ = 0;
};

} // namespace wutally::log
