// The command-line document and the manual pages describe the same
// programs: the same messages, in the same order, and the same exit
// statuses.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string read_source(const std::string& name) {
    std::ifstream in(std::string(WUTALLY_SOURCE_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// The lines of a section of the command-line document, from its heading to
// the next of its level.
std::vector<std::string> readme_section(const std::string& heading) {
    std::vector<std::string> section;
    bool inside = false;
    for (const std::string& line : lines_of(read_source("docs/commands.md"))) {
        if (line.starts_with("## ")) {
            inside = line == "## " + heading;
        } else if (inside) {
            section.push_back(line);
        }
    }
    return section;
}

// The first cells of the table rows whose first cell starts with `start`,
// without their backticks.
std::vector<std::string> table_column(const std::vector<std::string>& section,
                                      const std::string& start) {
    std::vector<std::string> cells;
    for (const std::string& line : section) {
        if (!line.starts_with("| " + start)) {
            continue;
        }
        std::string cell = line.substr(2, line.find(" |", 2) - 2);
        if (cell.starts_with('`')) {
            cell = cell.substr(1, cell.find('`', 1) - 1);
        }
        cells.push_back(cell);
    }
    return cells;
}

std::string unescape_roff(std::string text) {
    for (const auto& [escape, plain] : std::vector<std::pair<std::string, std::string>>{
             {"\\(dq", "\""}, {"\\-", "-"}, {"\\e", "\\"}, {"\\&", ""}}) {
        for (std::size_t at = 0; (at = text.find(escape, at)) != std::string::npos;) {
            text.replace(at, escape.size(), plain);
            at += plain.size();
        }
    }
    return text;
}

// The tags of the .TP paragraphs of a manual page's section.
std::vector<std::string> man_tags(const std::string& page, const std::string& section) {
    std::vector<std::string> tags;
    const std::vector<std::string> lines = lines_of(read_source(page));
    bool inside = false;
    for (std::size_t at = 0; at < lines.size(); ++at) {
        if (lines[at].starts_with(".SH ")) {
            inside = lines[at] == ".SH " + section;
        } else if (inside && lines[at] == ".TP" && at + 1 < lines.size() &&
                   lines[at + 1].starts_with(".B ")) {
            std::string tag = lines[at + 1].substr(3);
            if (tag.starts_with('"') && tag.ends_with('"')) {
                tag = tag.substr(1, tag.size() - 2);
            }
            tags.push_back(unescape_roff(tag));
        }
    }
    return tags;
}

std::vector<std::string> report_tables(const std::string& start) {
    return table_column(readme_section("wutally-report"), start);
}

// The exit statuses of a section's tables: the first cells that are digits.
std::vector<std::string> statuses_in(const std::vector<std::string>& section) {
    std::vector<std::string> statuses;
    for (const std::string& cell : table_column(section, "")) {
        if (!cell.empty() && cell.find_first_not_of("0123456789") == std::string::npos) {
            statuses.push_back(cell);
        }
    }
    return statuses;
}

TEST(Docs, LoggerMessagesAgree) {
    const auto readme = table_column(readme_section("Messages"), "`WUTally: ");
    EXPECT_EQ(readme.size(), 23U); // 13 on standard output, 10 on standard error
    EXPECT_EQ(readme, man_tags("man/wutally.1", "DIAGNOSTICS"));
}

TEST(Docs, LoggerExitStatusesAgree) {
    const std::vector<std::string> statuses{"0", "1", "2"};
    EXPECT_EQ(statuses_in(readme_section("Exit status")), statuses);
    EXPECT_EQ(man_tags("man/wutally.1", "EXIT STATUS"), statuses);
}

TEST(Docs, ReportMessagesAgree) {
    const auto readme = report_tables("`wutally-report: ");
    EXPECT_EQ(readme.size(), 24U);
    EXPECT_EQ(readme, man_tags("man/wutally-report.1", "DIAGNOSTICS"));
}

TEST(Docs, ReportExitStatusesAgree) {
    const std::vector<std::string> statuses{"0", "1", "2"};
    EXPECT_EQ(statuses_in(readme_section("wutally-report")), statuses);
    EXPECT_EQ(man_tags("man/wutally-report.1", "EXIT STATUS"), statuses);
}

} // namespace
