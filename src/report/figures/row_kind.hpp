// Which rows count: the one rule that the figures and the listing of
// skipped rows share.
#pragma once

#include "report/figures/log_time.hpp"
#include "report/figures/row_fields.hpp"

#include <optional>

namespace wutally::report {

enum class RowKind {
    used,         // a date and time and a name, on the days asked for
    out_of_range, // the same, on other days: counted nowhere
    bad_date,     // skipped: the date is not a date and time
    no_name,      // skipped: the name is empty
};

// The days asked for, both included; none for no bound.
struct DayRange {
    std::optional<Stamp> since;
    std::optional<Stamp> until;

    [[nodiscard]] bool holds(Stamp stamp) const {
        return !(since && stamp < *since) && !(until && *until < stamp);
    }
};

struct SortedRow {
    RowKind kind;
    Stamp stamp{}; // where the date is one
};

// Sorts the rows of one log after another, most of which fall on the day of
// the row before.
class RowClassifier {
  public:
    explicit RowClassifier(DayRange range = {}) : range_(range) {}

    SortedRow classify(const RowFields& row) {
        const auto stamp = stamps_.read(row[Column::date]);
        if (!stamp) {
            return {RowKind::bad_date};
        }
        if (row[Column::name].empty()) {
            return {RowKind::no_name, *stamp};
        }
        return {range_.holds(*stamp) ? RowKind::used : RowKind::out_of_range, *stamp};
    }

  private:
    DayRange range_;
    StampReader stamps_;
};

} // namespace wutally::report
