#include "log/header_table.hpp"

namespace wutally::log {

void HeaderTable::load_header_table(const Record& record) {
    slots_.assign(record.begin(), record.end());
}

std::optional<std::size_t> HeaderTable::column_of(std::string_view header_text) const {
    for (std::size_t index = 0; index < slots_.size() && !slots_[index].empty(); ++index) {
        if (slots_[index] == header_text) {
            return index;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> value_by_header(const Record& record, const HeaderTable& header,
                                                std::string_view header_text) {
    const auto column = header.column_of(header_text);
    if (!column) {
        return std::nullopt;
    }
    return field_at(record, *column);
}

} // namespace wutally::log
