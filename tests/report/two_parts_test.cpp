// Logs are read as pieces on two threads, a long log in several pieces and
// every log at least one; read so at any size, the logs must give the
// figures they give read whole, one after another.
#include "by_label.hpp"
#include "platform/concat.hpp"
#include "report/rendering/html_report.hpp"
#include "report/rendering/json_report.hpp"
#include "report/report_logs.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <limits>

namespace wutally::report {
namespace {

// The i-th of a run of dates an hour apart.
std::string date_of(int hour) {
    std::array<char, 32> text{};
    (void)std::snprintf(text.data(), text.size(), "2026.%02d.%02d %02d:00:00", 1 + hour / 672,
                        1 + hour / 24 % 28, hour % 24);
    return text.data();
}

// A row with its gaussian and spike scores, and the user name the account
// shows.
std::string scored_row(int hour, const std::string& name, int score,
                       const std::string& user = "Ada") {
    const std::string value = std::to_string(score);
    std::string rest = "\"4.";
    rest.append(std::to_string(hour / 20)).append("\",").append(value).append(",2,3,");
    rest.append(value).append(",5,\"").append(user).append("\",7");
    return row(date_of(hour), name, std::to_string(3600 + hour * 7), rest);
}

// "u7" and the like.
std::string numbered(std::string_view prefix, int number) {
    return concat(prefix, std::to_string(number));
}

struct PartsCase {
    std::string label;
    std::vector<std::string> logs;
};
PRINT_CASE_BY_LABEL(PartsCase)

std::string distinct_units(int count, int first_hour = 0) {
    std::string rows;
    for (int at = 0; at < count; ++at) {
        rows += scored_row(first_hour + at, numbered("u", first_hour + at), at % 17);
    }
    return rows;
}

// The second part's best scores are all repeats of the first part's units,
// more of them than the candidates a part keeps.
std::string best_scores_repeated() {
    std::string rows = distinct_units(20);
    for (int at = 0; at < 50; ++at) {
        rows += scored_row(20 + at, numbered("u", at % 20), 1000 + at);
    }
    for (int at = 0; at < 10; ++at) {
        rows += scored_row(70 + at, numbered("new", at), 100 + at);
    }
    return rows;
}

// The latest date twice, once in each part: the later row's account stands.
std::string latest_in_both_parts() {
    std::string rows = distinct_units(20) + scored_row(200, "early-latest", 1, "First");
    rows += distinct_units(25, 20) + scored_row(200, "late-latest", 1, "Second");
    return rows;
}

std::string damaged_rows_and_blank_lines() {
    std::string rows = distinct_units(30);
    rows += "\r\n\r\n" + row("2026.13.40 99:00:00", "bad-date", "1") + row(date_of(31), "", "1");
    rows += scored_row(32, "u3", 9) + "\r\n" + distinct_units(30, 40);
    return rows;
}

// A farm: many short logs, whose later ones the second thread prepares; the
// same work units turn up in several, and one machine has another's best.
std::vector<std::string> farm_of_short_logs() {
    std::vector<std::string> logs;
    for (int machine = 0; machine < 12; ++machine) {
        logs.push_back(header + distinct_units(6, machine * 4));
    }
    logs.push_back(header + best_scores_repeated());
    return logs;
}

// The second and later pieces' best rows repeat earlier work units, so the
// best lists need those pieces' rows read again.
const PartsCase parts_cases[] = {
    {"distinct_units", {header + distinct_units(60)}},
    {"repeats_across_parts", {header + distinct_units(30) + distinct_units(30)}},
    {"best_scores_repeated", {header + best_scores_repeated()}},
    {"latest_in_both_parts", {header + latest_in_both_parts()}},
    {"damaged_rows_and_blank_lines", {header + damaged_rows_and_blank_lines()}},
    {"two_logs", {header + distinct_units(40), header + distinct_units(40, 20)}},
    {"farm_of_short_logs", farm_of_short_logs()},
};

class TwoParts : public testing::TestWithParam<PartsCase> {};

enum class Reading { one_by_one, in_two_pieces, in_many_pieces };

// The figures of the case's logs: each read whole, on this thread, one after
// another; or all at once, each in two pieces or in many. Which pieces each
// thread takes varies from run to run.
Figures figures_of(const PartsCase& test, Reading reading, const CollectorOptions& options) {
    constexpr auto never = std::numeric_limits<std::uint64_t>::max();
    Logs logs;
    std::vector<LogName> names;
    for (std::size_t at = 0; at < test.logs.size(); ++at) {
        const std::string path = logs.add("log" + std::to_string(at) + ".csv", test.logs[at]);
        names.push_back({path, path});
    }
    if (reading != Reading::one_by_one) {
        const log::PieceSizes sizes = reading == Reading::in_two_pieces
                                          ? log::PieceSizes{1, never, 2}
                                          : log::PieceSizes{1, 64, 2};
        return scanned_figures(logs.files(), names, options, sizes);
    }
    FigureCollector collector(options);
    for (const LogName& name : names) {
        for (const auto& scanned : scan_logs(logs.files(), {{name.path, name}}, collector,
                                             MissingLog::fails, {never, never, 2})) {
            EXPECT_TRUE(scanned);
        }
    }
    return collector.finish();
}

TEST_P(TwoParts, GiveTheFiguresOfOnePart) {
    const CollectorOptions summary;
    CollectorOptions page;
    page.keep_points = true;
    page.named_points = 50;
    for (const CollectorOptions& options : {summary, page}) {
        const Figures whole = figures_of(GetParam(), Reading::one_by_one, options);
        for (const Reading reading : {Reading::in_two_pieces, Reading::in_many_pieces}) {
            const Figures pieces = figures_of(GetParam(), reading, options);
            EXPECT_EQ(json_report(pieces), json_report(whole));
            if (options.keep_points) {
                EXPECT_EQ(html_report(pieces), html_report(whole));
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TwoParts, testing::ValuesIn(parts_cases),
                         testing_support::ByLabel{});

} // namespace
} // namespace wutally::report
