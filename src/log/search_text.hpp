// Looking for one text in many bytes, at the speed of a plain text search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace wutally::log {

// A text to look for in many lines, prepared once. It refers to the text,
// which must outlive it.
class SearchText {
  public:
    explicit SearchText(std::string_view text);
    // The first occurrence in [first, last), or last.
    [[nodiscard]] const char* find(const char* first, const char* last) const;

  private:
    std::string_view text_;
    // How far the window may move on, by the last two bytes under it.
    std::vector<std::uint8_t> shift_by_pair_;
    std::size_t shift_after_match_ = 1;
};

} // namespace wutally::log
