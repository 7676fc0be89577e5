// The account as the latest used row shows it, kept as rows are read.
#pragma once

#include "report/figures/figures.hpp"
#include "report/figures/log_time.hpp"
#include "report/figures/row_fields.hpp"

#include <array>
#include <optional>
#include <string>

namespace wutally::report {

// The latest used row's account fields, read as numbers at the end.
struct LatestRow {
    Stamp date{};
    std::array<std::optional<std::string>, 4> fields; // user_name to total_cpu
};

// Keeps the row's account fields where it is the latest used row so far; of
// equal dates the row read last stands, as the later one logged.
void keep_if_latest(std::optional<LatestRow>& latest, const RowFields& row, Stamp stamp,
                    ColumnSet columns);
void keep_if_latest(std::optional<LatestRow>& latest, const LatestRow& row);

Account account_of(const LatestRow& row);

} // namespace wutally::report
