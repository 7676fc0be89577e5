#include "report/report_run.hpp"

#include "report/figures/figure_collector.hpp"
#include "report/log_labels.hpp"
#include "report/reading/log_scan.hpp"
#include "report/reading/log_source.hpp"
#include "report/rendering/html_report.hpp"
#include "report/rendering/json_report.hpp"
#include "report/rendering/svg_chart.hpp"
#include "report/rendering/text_report.hpp"
#include "report/report_options.hpp"

#include <new>

namespace wutally::report {

namespace {

std::string message(std::string_view path, std::string_view reason) {
    return "wutally-report: " + printable(path) + ": " + std::string(reason) + "\n";
}

// The log that the page would be written over, whatever path names both:
// the same path, a directory and its log, a link.
std::optional<std::string> log_under_page(platform::FileSystem& files,
                                          const ReportOptions& options) {
    const auto page = files.state_of(*options.html_file);
    if (!page) {
        return std::nullopt;
    }
    for (const std::string& path : options.paths) {
        const std::string file = log_file_of(files, path);
        if (file == standard_input_path) {
            continue;
        }
        if (const auto log = files.state_of(file); log && log->identity == page->identity) {
            return file;
        }
    }
    return std::nullopt;
}

// Writes the page beside its place first and puts it there only when it is
// whole, so that a failed write leaves an earlier page as it was.
bool write_page(platform::FileSystem& files, const std::string& path, std::string_view page) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string partial = path + ".partial" + std::to_string(attempt);
        auto file = files.create_new(partial);
        if (!file) {
            continue; // left by an earlier run, or not writable at all
        }
        const bool written = (*file)->write_all(page) && (*file)->sync();
        file->reset(); // closed before it is moved: Windows moves no open file
        if (written && files.rename(partial, path)) {
            return true;
        }
        (void)files.remove(partial);
        return false;
    }
    return false;
}

// Lists the skipped rows of every log; a log that fails is named with the
// reason, and the others are still listed.
ReportStatus list_skipped_rows(const ReportOptions& options, const ReportServices& services) {
    platform::Console& out = services.out;
    platform::Console& errors = services.errors;
    bool failed = false;
    for (const std::string& path : options.paths) {
        std::string listing;
        const auto listed = list_skipped(services.files, path, listing);
        if (!out.print(listing)) {
            errors.print("wutally-report: cannot write to standard output\n");
            return ReportStatus::failure;
        }
        if (!listed) {
            errors.print(message(path, describe(listed.error())));
            failed = true;
        }
    }
    return failed ? ReportStatus::failure : ReportStatus::success;
}

ReportStatus report(const ReportOptions& options, const ReportServices& services) {
    platform::Console& out = services.out;
    platform::Console& errors = services.errors;
    platform::FileSystem& files = services.files;
    if (options.skipped) {
        return list_skipped_rows(options, services);
    }
    if (options.html_file) {
        if (const auto log = log_under_page(files, options)) {
            errors.print("wutally-report: the page " + printable(*options.html_file) +
                         " would be written over the log " + printable(*log) +
                         "; no page is written\n");
            return ReportStatus::usage_error;
        }
    }
    // The logs' labels are known before their figures are made.
    std::vector<std::string> log_files;
    for (const std::string& path : options.paths) {
        log_files.push_back(log_file_of(files, path));
    }
    const std::vector<std::string> labels = log_labels(files, log_files, files.current_directory());
    // Only the page draws each work unit, and names each while they are few.
    FigureCollector collector({options.since, options.until, options.html_file.has_value(),
                               options.html_file ? single_points_at_most : 0});
    bool failed = false;
    for (std::size_t at = 0; at < options.paths.size(); ++at) {
        const auto scanned =
            scan_log(files, options.paths[at], {log_files[at], labels[at]}, collector);
        if (!scanned) {
            errors.print(message(options.paths[at], describe(scanned.error())));
            failed = true;
        }
    }
    if (failed) {
        return ReportStatus::failure;
    }
    const Figures figures = collector.finish();
    if (!out.print(options.json ? json_report(figures) : text_report(figures))) {
        errors.print("wutally-report: cannot write to standard output\n");
        return ReportStatus::failure;
    }
    if (options.html_file && !write_page(files, *options.html_file, html_report(figures))) {
        errors.print(message(*options.html_file, "cannot write the page"));
        return ReportStatus::failure;
    }
    return ReportStatus::success;
}

ReportStatus run_parsed(std::span<const std::string_view> arguments,
                        const ReportServices& services) {
    platform::Console& out = services.out;
    platform::Console& errors = services.errors;
    const ParsedOptions parsed = parse_report_options(arguments);
    if (const auto* request = std::get_if<InfoRequest>(&parsed)) {
        const bool written =
            out.print(*request == InfoRequest::help ? std::string(usage_text) : version_text());
        return written ? ReportStatus::success : ReportStatus::failure;
    }
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        errors.print("wutally-report: " + printable(error->message) + "\n" +
                     std::string(usage_text));
        return ReportStatus::usage_error;
    }
    return report(std::get<ReportOptions>(parsed), services);
}

} // namespace

int run_report(std::span<const std::string_view> arguments, const ReportServices& services) {
    try {
        return static_cast<int>(run_parsed(arguments, services));
    } catch (const std::bad_alloc&) {
        services.errors.print("wutally-report: out of memory\n");
        return static_cast<int>(ReportStatus::failure);
    }
}

} // namespace wutally::report
