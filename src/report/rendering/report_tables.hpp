// The report's tables, built once from the figures; the text and the page
// each render them.
#pragma once

#include "report/figures/figures.hpp"

#include <string>
#include <vector>

namespace wutally::report {

// The sections' titles, the same in the summary and on the page.
inline constexpr std::string_view months_title = "Work units per month";
inline constexpr std::string_view versions_title = "By client version";
inline constexpr std::string_view best_gaussians_title = "Best gaussians (bg_score)";
inline constexpr std::string_view best_spikes_title = "Best spikes (bs_score)";
std::string account_title(const Account& account);

struct Table {
    std::vector<std::string> head; // none for a list of terms and values
    // 'r' for each right-aligned column, 'd' for a column of numbers lined up
    // on their decimal points, 'l' for a left-aligned one, 'w' for a
    // left-aligned one whose long texts (paths) may wrap
    std::string alignment;
    std::vector<std::vector<std::string>> rows; // texts as read, not yet made safe to show
    bool ends_in_total = false;                 // the last row adds up the others
    std::vector<bool> set_apart;                // rows to mark, where any is (silent logs)
};

// Pads the 'd' columns' numbers after their last digit with `pad`, so that
// right-aligned they line up on their decimal points.
void line_up_decimals(Table& table, std::string_view pad);

// The range of days the figures were limited to, as a sentence; none where
// they were not.
std::optional<std::string> range_sentence(const Figures& figures);
// The logs that went silent, as a sentence; none where none did.
std::optional<std::string> silent_sentence(const Figures& figures);

// A row per log, and one for all logs together where there are several.
Table summary_table(const Figures& figures);
Table versions_table(const std::vector<VersionFigures>& versions);
// The places in order; chisq for the gaussians only.
Table best_table(const std::vector<BestUnit>& units, const std::vector<LogFigures>& logs,
                 bool chisq);
Table account_table(const Account& account);

// What the report says where no work unit counts: none yet, or none in
// the days asked for.
std::string no_work_units_sentence(const Figures& figures);

} // namespace wutally::report
