// The figures the work units make once every log is read: each log's and
// all logs' totals and medians, the silent logs, the months, the versions
// and where each log's versions start.
#pragma once

#include "report/figures/figures.hpp"
#include "report/figures/work_units.hpp"

#include <deque>
#include <vector>

namespace wutally::report {

struct UnitsRead {
    const std::deque<Unit>& units; // in reading order
    const VersionIds& versions;
    bool any_version_column = false;
};

// Fills in each log's work-unit figures and the Figures' totals, months and
// versions; where they are for the page, each log's share of each month and
// where its versions start too, which only the page shows.
void add_unit_totals(const UnitsRead& read, int silent_after_days, bool for_the_page,
                     std::vector<LogFigures>& logs, Figures& figures);

} // namespace wutally::report
