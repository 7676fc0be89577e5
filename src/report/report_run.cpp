#include "report/report_run.hpp"

#include "report/figure_collector.hpp"
#include "report/html_report.hpp"
#include "report/json_report.hpp"
#include "report/log_scan.hpp"
#include "report/report_options.hpp"
#include "report/text_report.hpp"

#include <fstream>

namespace wutally::report {

namespace {

std::string message(std::string_view path, std::string_view reason) {
    return "wutally-report: " + printable(path) + ": " + std::string(reason) + "\n";
}

bool write_page(const std::string& file, const std::string& page) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    out.close();
    return !out.fail();
}

int report(const ReportOptions& options, platform::Console& out, platform::Console& errors) {
    FigureCollector collector;
    bool failed = false;
    for (const std::string& path : options.paths) {
        if (const auto error = scan_log(path, collector)) {
            errors.print(message(path, describe(*error)));
            failed = true;
        }
    }
    if (failed) {
        return report_failure;
    }
    const Figures figures = collector.finish();
    out.print(options.json ? json_report(figures) : text_report(figures));
    if (options.html_file && !write_page(*options.html_file, html_report(figures))) {
        errors.print(message(*options.html_file, "cannot write the page"));
        return report_failure;
    }
    return report_success;
}

} // namespace

int run_report(std::span<const std::string_view> arguments, platform::Console& out,
               platform::Console& errors) {
    const ParsedOptions parsed = parse_report_options(arguments);
    if (const auto* request = std::get_if<InfoRequest>(&parsed)) {
        out.print(*request == InfoRequest::help ? std::string(usage_text) : version_text());
        return report_success;
    }
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        errors.print("wutally-report: " + printable(error->message) + "\n" +
                     std::string(usage_text));
        return report_usage_error;
    }
    return report(std::get<ReportOptions>(parsed), out, errors);
}

} // namespace wutally::report
