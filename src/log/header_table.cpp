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

std::optional<char> other_separator(std::string_view header_row) {
    for (const char separator : {';', '\t'}) {
        std::string_view rest = header_row;
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find(separator), rest.size());
            std::string_view text = rest.substr(0, end);
            if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
                text = text.substr(1, text.size() - 2);
            }
            if (text == "name") {
                return separator;
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    return std::nullopt;
}

} // namespace wutally::log
