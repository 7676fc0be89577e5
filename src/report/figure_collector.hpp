// Gathers the rows of one log after another and works out their figures.
#pragma once

#include "log/log_reader.hpp"
#include "report/figures.hpp"
#include "report/name_set.hpp"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::report {

// Where a log keeps the columns the report reads, found by header text.
struct ReportColumns {
    std::size_t date = 0;
    std::size_t name = 0;
    std::optional<std::size_t> cpu;
    std::optional<std::size_t> version;
    std::optional<std::size_t> bg_score;
    std::optional<std::size_t> bg_power;
    std::optional<std::size_t> bg_chisq;
    std::optional<std::size_t> bs_score;
    std::optional<std::size_t> bs_power;
    std::optional<std::size_t> user_name;
    std::optional<std::size_t> nwus;
    std::optional<std::size_t> nresults;
    std::optional<std::size_t> total_cpu;

    // How many fields of a row must be split to reach every column.
    [[nodiscard]] std::size_t fields_needed() const;
};

// The columns of a header that has "date" and "name".
ReportColumns find_columns(const log::HeaderTable& header, std::size_t date, std::size_t name);

class FigureCollector {
  public:
    // The rows added next belong to this log.
    void begin_log(std::string path, const ReportColumns& columns);
    // A line after the header, split up to columns.fields_needed(); blank
    // lines are not rows and are not added.
    void add_row(const log::Record& record);
    Figures finish();

  private:
    struct Unit {
        Stamp date;
        double cpu_s; // NaN when "cpu" is not a number
        std::uint32_t version;
        std::uint32_t log;
    };
    static constexpr std::uint32_t no_version = UINT32_MAX;

    void add_work_unit(const log::Record& record, Stamp date, std::string_view name);
    void take_account(const log::Record& record, Stamp date);
    std::uint32_t version_id(std::string_view version);
    void offer_best(std::vector<BestUnit>& best, std::optional<std::size_t> score,
                    std::optional<std::size_t> power, std::optional<std::size_t> chisq,
                    const log::Record& record, Stamp date, std::string_view name) const;

    ReportColumns columns_;
    std::vector<LogFigures> logs_;
    NameSet names_;
    std::vector<Unit> units_;
    std::map<std::string, std::uint32_t, std::less<>> version_ids_;
    std::vector<std::string> versions_;
    bool any_version_column_ = false;
    std::optional<std::vector<BestUnit>> best_gaussians_;
    std::optional<std::vector<BestUnit>> best_spikes_;
    std::optional<Account> account_;
};

} // namespace wutally::report
