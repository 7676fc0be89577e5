// Logs in the in-memory file layer, and reports of them, for the report's
// tests.
#pragma once

#include "fake/captured_output.hpp"
#include "fake/fake_file_system.hpp"
#include "fake/utc_zone.hpp"
#include "report/reading/scan_logs.hpp"
#include "report/report_run.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace wutally::report {

inline const std::string header = "\"date\",\"name\",\"cpu\",\"version\",\"bg_score\",\"bg_power\","
                                  "\"bg_chisq\",\"bs_score\",\"bs_power\",\"user_name\",\"nwus\"";

// A row of the header above, with the values given as the log holds them.
inline std::string row(const std::string& date, const std::string& name, const std::string& cpu,
                       const std::string& rest = "\"4.12\",1,2,3,4,5,\"Ada\",7") {
    return "\r\n\"" + date + "\",\"" + name + "\"," + cpu + "," + rest;
}

// The figures of the logs, each its path and label, read as the report
// reads them: in pieces of the sizes given, of all logs at once.
inline Figures scanned_figures(platform::FileSystem& files, const std::vector<LogName>& logs,
                               const CollectorOptions& options = {},
                               const log::PieceSizes& sizes = {}) {
    FigureCollector collector(options);
    std::vector<LogToScan> to_scan;
    for (const LogName& log : logs) {
        to_scan.push_back({log.path, log});
    }
    for (const auto& scanned : scan_logs(files, to_scan, collector, MissingLog::fails, sizes)) {
        EXPECT_TRUE(scanned) << describe(scanned.error());
    }
    return collector.finish();
}

struct ReportRun {
    int status;
    std::string out;
    std::string errors;
};

// Logs in the in-memory file layer, and reports of them.
class Logs {
  public:
    // Puts the file, with the directories above it; gives its path.
    std::string add(const std::string& path, const std::string& bytes) {
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            files_.put_directory(path.substr(0, slash));
        }
        files_.put_file(path, bytes);
        return path;
    }
    void add_directory(const std::string& path) { files_.put_directory(path); }
    [[nodiscard]] fake::FakeFileSystem& files() { return files_; }

    ReportRun report(const std::vector<std::string>& arguments) {
        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        fake::CapturedOutput out;
        fake::CapturedOutput errors;
        const int status = run_report(views, {out, errors, files_, zone_});
        return {status, out.text(), errors.text()};
    }

  private:
    fake::FakeFileSystem files_;
    fake::UtcZone zone_;
};

} // namespace wutally::report
