// Labels that tell logs apart, and the page's colour for each log.
#include "by_label.hpp"
#include "fake/fake_file_system.hpp"
#include "platform/native.hpp"
#include "report/figures/figure_collector.hpp"
#include "report/log_labels.hpp"
#include "report/reading/log_source.hpp"
#include "report/rendering/html_report.hpp"
#include "report/rendering/svg_chart.hpp"
#include "report/report_logs.hpp"
#include "support/scratch_directory.hpp"

#include <gtest/gtest.h>

#include <set>

namespace wutally::report {
namespace {

namespace fs = std::filesystem;

// Labels resolve links, "." and "..": the files of this machine.
const auto file_system = platform::native_file_system();

struct LabelCase {
    const char* label;
    std::string base; // below the scratch directory
    std::vector<std::string> paths;
    std::vector<std::string> labels;
};
PRINT_CASE_BY_LABEL(LabelCase)

class LogLabels : public testing::TestWithParam<LabelCase> {};

TEST_P(LogLabels, AreShortAndUnique) {
    const testing_support::ScratchDirectory root;
    for (const char* directory : {"home/a/desktop", "home/b/desktop", "x/a/desktop", "logs"}) {
        testing_support::write_file(root / directory / "WUTally.csv", "\"date\",\"name\"");
    }
    std::vector<std::string> files;
    const fs::path base = root / GetParam().base;
    for (const std::string& path : GetParam().paths) {
        // As the command line gives them, from the base directory.
        files.push_back(path == "-" ? path : log_file_of(*file_system, (base / path).string()));
    }
    EXPECT_EQ(log_labels(*file_system, files, base.string()), GetParam().labels);
}

const LabelCase label_cases[] = {
    {"directory_name", "home", {"a/desktop", "logs/WUTally.csv"}, {"desktop", "logs"}},
    {"same_name_under_other_parents",
     "home",
     {"a/desktop", "b/desktop", "../logs"},
     {"a/desktop", "b/desktop", "logs"}},
    {"same_name_two_levels_up",
     "",
     {"home/a/desktop", "x/a/desktop"},
     {"home/a/desktop", "x/a/desktop"}},
    {"working_directory", "home/a/desktop", {"."}, {"desktop"}},
    {"parent_directory", "home/a/desktop/..", {".."}, {"home"}},
    {"trailing_separator", "home/b", {"desktop/"}, {"desktop"}},
    {"file_not_called_wutally", "", {"logs/laptop.csv", "logs/WUTally.csv"}, {"laptop", "logs"}},
    {"standard_input", "", {"-"}, {"standard input"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, LogLabels, testing::ValuesIn(label_cases),
                         testing_support::ByLabel{});

// The distinct colours of the dots on the page.
std::set<std::string> dot_colours(const std::string& page) {
    std::set<std::string> colours;
    const std::string_view marker = "<circle";
    for (std::size_t at = page.find(marker); at != std::string::npos;
         at = page.find(marker, at + 1)) {
        const std::size_t fill = page.find("style=\"fill: ", at);
        const std::size_t end = page.find('>', at);
        if (fill < end) {
            colours.insert(page.substr(fill + 13, 7));
        }
    }
    return colours;
}

// The options of a report that writes the page.
const CollectorOptions page_options{{}, {}, true, single_points_at_most};

std::string page_of(std::size_t logs) {
    fake::FakeFileSystem files;
    std::vector<LogName> names;
    for (std::size_t log = 0; log < logs; ++log) {
        const std::string label = "machine" + std::to_string(log);
        const std::string path = label + ".csv";
        files.put_file(path, "\"date\",\"name\",\"cpu\"\r\n\"2026.01.0" + std::to_string(log + 1) +
                                 " 10:00:00\",\"u" + std::to_string(log) + "\"," +
                                 std::to_string(3600 * (log + 1)) + "\r\n\"2026.02.0" +
                                 std::to_string(log + 1) + " 10:00:00\",\"v" + std::to_string(log) +
                                 "\"," + std::to_string(3600 * (log + 2)));
        names.push_back({path, label});
    }
    return html_report(scanned_figures(files, names, page_options));
}

TEST(PageColours, OneForEachLogWithALegend) {
    const std::string three = page_of(3);
    EXPECT_EQ(dot_colours(three).size(), 3U);
    EXPECT_NE(three.find("<ul class=\"legend\">"), std::string::npos);
    EXPECT_NE(three.find("machine2</li>"), std::string::npos);
    EXPECT_NE(three.find("<title>work unit v1, 2026.02.02 10:00:00, 3.00 CPU hours, machine1"),
              std::string::npos)
        << "each dot names its work unit";
    // With one log, the page keeps its own colours and has no legend.
    const std::string one = page_of(1);
    EXPECT_TRUE(dot_colours(one).empty());
    EXPECT_EQ(one.find("<ul class=\"legend\">"), std::string::npos);
}

// Units without a CPU time are not drawn, so they do not count against the
// dots that are drawn, and named, one by one.
TEST(PageTitles, EveryDotDrawnOnItsOwnHasOne) {
    std::string log = "\"date\",\"name\",\"cpu\"";
    for (int unit = 0; unit < 2500; ++unit) {
        log += "\r\n\"2026.01.01 10:00:00\",\"u" + std::to_string(unit) + "\"," +
               (unit < 1900 ? std::to_string(unit + 1) : "\"n/a\"");
    }
    fake::FakeFileSystem files;
    files.put_file("WUTally.csv", log);
    const Figures figures = scanned_figures(files, {{"WUTally.csv", "machine"}}, page_options);
    const std::string page = html_report(figures);
    std::size_t titles = 0;
    for (std::size_t at = page.find("<title>work unit "); at != std::string::npos;
         at = page.find("<title>work unit ", at + 1)) {
        ++titles;
    }
    EXPECT_EQ(titles, 1900U);
}

} // namespace
} // namespace wutally::report
