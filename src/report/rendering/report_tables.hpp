// The report's tables, built once from the figures; the text and the page
// each render them.
#pragma once

#include "report/figures/figures.hpp"

#include <string>
#include <vector>

namespace wutally::report {

struct Table {
    std::vector<std::string> head; // none for a list of terms and values
    // 'r' for each right-aligned column, 'l' for a left-aligned one, 'w' for
    // a left-aligned one whose long texts (paths) may wrap
    std::string alignment;
    std::vector<std::vector<std::string>> rows; // texts as read, not yet made safe to show
    bool ends_in_total = false;                 // the last row adds up the others
};

// A row per log, and one for all logs together where there are several.
Table summary_table(const Figures& figures);
Table versions_table(const std::vector<VersionFigures>& versions);
// The places in order; chisq for the gaussians only.
Table best_table(const std::vector<BestUnit>& units, const std::vector<LogFigures>& logs,
                 bool chisq);
Table account_table(const Account& account);

} // namespace wutally::report
