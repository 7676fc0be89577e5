#include "report/figures/latest_row.hpp"

#include "report/figures/field_values.hpp"

namespace wutally::report {

namespace {

std::optional<double> number_in(const std::optional<std::string>& field) {
    return field ? parse_number(*field) : std::nullopt;
}

} // namespace

void keep_if_latest(std::optional<LatestRow>& latest, const RowFields& row, Stamp stamp,
                    ColumnSet columns) {
    if (latest && stamp < latest->date) {
        return;
    }
    if (!latest) {
        latest.emplace();
    }
    latest->date = stamp;
    constexpr std::array<Column, 4> account{Column::user_name, Column::nwus, Column::nresults,
                                            Column::total_cpu};
    for (std::size_t at = 0; at < account.size(); ++at) {
        if (columns[index_of(account[at])]) {
            latest->fields[at] = row[account[at]];
        } else {
            latest->fields[at].reset();
        }
    }
}

void keep_if_latest(std::optional<LatestRow>& latest, const LatestRow& row) {
    if (!latest || !(row.date < latest->date)) {
        latest = row;
    }
}

Account account_of(const LatestRow& row) {
    return Account{row.date, row.fields[0], number_in(row.fields[1]), number_in(row.fields[2]),
                   number_in(row.fields[3])};
}

} // namespace wutally::report
