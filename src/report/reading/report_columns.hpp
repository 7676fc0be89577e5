// Where a log keeps the columns the figures are made of.
#pragma once

#include "log/header_table.hpp"
#include "log/record_parser.hpp"
#include "report/figures/row_fields.hpp"

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace wutally::report {

// Each column's place in the log's rows; none where its header lacks it.
class ReportColumns {
  public:
    explicit ReportColumns(const log::HeaderTable& header);

    [[nodiscard]] std::optional<std::size_t> place_of(Column column) const {
        return places_[index_of(column)];
    }
    [[nodiscard]] ColumnSet present() const;
    // The row's fields by column, out of the line; empty where the log has
    // no such column. `record` is room for splitting the line the plain way.
    [[nodiscard]] RowFields fields_of(std::span<char> line, log::Record& record) const;

  private:
    std::array<std::optional<std::size_t>, column_count> places_{};
    // The places the log has, rising, and the column at each.
    std::vector<std::size_t> sorted_places_;
    std::vector<std::size_t> sorted_columns_;
};

} // namespace wutally::report
