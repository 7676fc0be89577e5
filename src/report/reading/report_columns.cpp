#include "report/reading/report_columns.hpp"

#include "log/fast_record.hpp"

#include <algorithm>
#include <utility>

namespace wutally::report {

ReportColumns::ReportColumns(const log::HeaderTable& header) {
    std::vector<std::pair<std::size_t, Column>> found;
    for (std::size_t column = 0; column < column_count; ++column) {
        places_[column] = header.column_of(column_headers[column]);
        if (places_[column]) {
            found.emplace_back(*places_[column], static_cast<Column>(column));
        }
    }
    std::sort(found.begin(), found.end());
    for (const auto& [place, column] : found) {
        sorted_places_.push_back(place);
        sorted_columns_.push_back(index_of(column));
    }
}

ColumnSet ReportColumns::present() const {
    ColumnSet present;
    for (std::size_t column = 0; column < column_count; ++column) {
        present[column] = places_[column].has_value();
    }
    return present;
}

RowFields ReportColumns::fields_of(std::span<char> line, log::Record& record) const {
    RowFields fields;
    log::pick_fields(line, sorted_places_, sorted_columns_, fields.fields, record);
    return fields;
}

} // namespace wutally::report
