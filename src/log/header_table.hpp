// The header row's texts, and finding a field by the text that heads it.
#pragma once

#include "log/record_parser.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::log {

// The header row's texts. The first empty slot ends the table.
class HeaderTable {
  public:
    void load_header_table(const Record& record);
    // The index of the first slot equal to the text, byte for byte.
    [[nodiscard]] std::optional<std::size_t> column_of(std::string_view header_text) const;

  private:
    std::vector<std::string> slots_;
};

// Where a header row with no "name" among its comma-separated texts holds
// it among texts separated by semicolons or tabs, as spreadsheets in
// several languages save CSV: that separator.
std::optional<char> other_separator(std::string_view header_row);

// The field of the record under the first slot equal to the header text.
std::optional<std::string_view> value_by_header(const Record& record, const HeaderTable& header,
                                                std::string_view header_text);

} // namespace wutally::log
