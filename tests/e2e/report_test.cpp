// The report over logs that the program under test wrote: its figures, a
// page that a real parser reads as well formed, and, for a Windows build,
// the same JSON as the POSIX report's.
#include "client_fixture.hpp"
#include "harness.hpp"

#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <filesystem>
#include <map>

namespace wutally::e2e {
namespace {

namespace fs = std::filesystem;

// Reads a JSON document with Python's parser, which refuses anything that is
// not JSON (NaN and Infinity included), and flattens it into one entry per
// value: "logs[0].work_units" -> "4", texts in their JSON form.
const char* const flatten_json = R"(
import json, sys
def refuse(constant):
    raise ValueError(constant)
def walk(value, path):
    if isinstance(value, dict):
        for key, item in value.items():
            walk(item, path + "." + key if path else key)
    elif isinstance(value, list):
        print(path + ".size=" + str(len(value)))
        for at, item in enumerate(value):
            walk(item, path + "[" + str(at) + "]")
    else:
        print(path + "=" + json.dumps(value, ensure_ascii=False))
with open(sys.argv[1], encoding="utf-8") as document:
    walk(json.load(document, parse_constant=refuse), "")
)";

using Flat = std::map<std::string, std::string>;

// None where this machine has no python3.
std::optional<Flat> parsed_json(const ScratchDirectory& scratch, const std::string& document) {
    if (StartedRun(scratch.path(), {"python3", "-c", "pass"}).finish().status != 0) {
        return std::nullopt;
    }
    write_file(scratch / "report.json", document);
    const RunResult run =
        StartedRun(scratch.path(), {"python3", "-c", flatten_json, "report.json"}).finish();
    EXPECT_EQ(run.status, 0) << run.output;
    Flat flat;
    std::string_view lines = run.output;
    while (!lines.empty()) {
        const std::string_view line = lines.substr(0, lines.find('\n'));
        lines.remove_prefix(std::min(line.size() + 1, lines.size()));
        const std::size_t equals = line.find('=');
        flat.emplace(line.substr(0, equals), line.substr(equals + 1));
    }
    return flat;
}

struct Unit {
    std::string name;
    std::string cpu;
    std::string version;
    std::string bg_score;
};

// Two machines' logs, each written by runs of the program in its own client
// directory. The laptop also logs one of the desktop's work units.
class TwoMachines : public testing::Test {
  protected:
    void SetUp() override {
        log_units("desktop", {{"u.1", "3600", "4.08", "1.5"},
                              {"u.2", "7200", "4.08", "2.25"},
                              {"u.3", "1800", "4.12", "0.5"},
                              {"u.4", "bad", "4.12", "3.0"}});
        log_units("laptop", {{"u.5", "10800", "4.12", "1.0"}, {"u.2", "9000", "4.12", "9.0"}});
    }

    void log_units(const std::string& machine, const std::vector<Unit>& units) {
        fs::create_directory(root / machine);
        ClientFiles files;
        for (const Unit& unit : units) {
            ClientFiles::set(files.result, "name", unit.name);
            ClientFiles::set(files.result, "version", unit.version);
            ClientFiles::set(files.state, "cpu", unit.cpu);
            ClientFiles::set(files.state, "bg_score", unit.bg_score);
            files.write_to(root / machine);
            ASSERT_EQ(run_program(root / machine).status, 0);
        }
        // Run again for the last unit: refused, so still one row.
        ASSERT_EQ(run_program(root / machine).status, 2);
    }

    [[nodiscard]] std::string report_json(bool reference = false) const {
        const RunResult run = run_report(
            root.path(), {"--json", "desktop/WUTally.csv", "laptop/WUTally.csv"}, reference);
        EXPECT_EQ(run.status, 0);
        return run.output;
    }

    ScratchDirectory root;
};

TEST_F(TwoMachines, ReportWorksOutTheFiguresOfBothLogs) {
    const auto report = parsed_json(root, report_json());
    if (!report) {
        GTEST_SKIP() << "JSON not parsed: this machine has no python3";
    }
    const Flat expected{
        {"rows", "6"},
        {"repeated", "1"},
        {"work_units", "5"},
        {"cpu_hours", "6.5"},     // u.4 has no number
        {"cpu_median_s", "5400"}, // 1800 3600 7200 10800
        {"logs[0].work_units", "4"},
        {"logs[0].label", "\"desktop\""},
        {"logs[1].label", "\"laptop\""},
        {"best_gaussians[0].log", "\"desktop\""},
        {"logs[1].work_units", "1"},
        {"logs[1].repeated", "1"},
        {"logs[1].cpu_median_s", "10800"},
        {"versions[0].version", "\"4.12\""},
        {"versions[0].work_units", "3"},
        {"versions[0].cpu_median_s", "6300"},
        {"best_gaussians[0].name", "\"u.4\""},
        {"best_gaussians[1].name", "\"u.2\""}, // from the desktop's row, not 9.0
        {"best_gaussians[1].score", "2.25"},
        {"account.user_name", "\"Ada Volunteer\""},
        {"account.nwus", "1284"},
        {"months.size", "1"},
        {"months[0].work_units", "5"},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(report->contains(key) ? report->at(key) : "(missing)", value) << key;
    }
    EXPECT_EQ(report->at("first").size(), 21U);
}

// libxml2 reports what it finds through this; the page must give nothing.
void count_error(void* errors, const char* /*format*/, ...) {
    ++*static_cast<int*>(errors);
}

TEST_F(TwoMachines, PageIsWellFormedAndSelfContained) {
    const RunResult run = run_report(
        root.path(), {"--html", "page.html", "desktop/WUTally.csv", "laptop/WUTally.csv"});
    ASSERT_EQ(run.status, 0);
    const std::string page = read_file(root / "page.html");
    int errors = 0;
    xmlSetGenericErrorFunc(&errors, count_error);
    xmlDocPtr document = xmlReadMemory(page.data(), static_cast<int>(page.size()), "page.html",
                                       "UTF-8", XML_PARSE_NONET);
    EXPECT_NE(document, nullptr);
    EXPECT_EQ(errors, 0);
    xmlFreeDoc(document);
    xmlSetGenericErrorFunc(nullptr, nullptr);
    for (const char* outside : {"<script", "src=", "href=", "url(", "@import", "<link"}) {
        EXPECT_EQ(page.find(outside), std::string::npos) << outside;
    }
    EXPECT_NE(page.find("Work units per log"), std::string::npos) << "several logs, per-log charts";
}

TEST_F(TwoMachines, WindowsReportGivesThePosixReportsJson) {
    if (program_under_test().reference_report.empty()) {
        GTEST_SKIP() << "no reference report for this build";
    }
    EXPECT_EQ(report_json(), console_text(report_json(true)));
}

} // namespace
} // namespace wutally::e2e
