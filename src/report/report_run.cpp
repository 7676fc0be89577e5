#include "report/report_run.hpp"

#include "log/small_file.hpp"
#include "report/figures/figure_collector.hpp"
#include "report/log_labels.hpp"
#include "report/log_paths.hpp"
#include "report/reading/log_source.hpp"
#include "report/reading/scan_logs.hpp"
#include "report/reading/skipped_rows.hpp"
#include "report/rendering/html_report.hpp"
#include "report/rendering/json_report.hpp"
#include "report/rendering/metrics_report.hpp"
#include "report/rendering/svg_chart.hpp"
#include "report/rendering/text_report.hpp"
#include "report/report_options.hpp"

#include <new>

namespace wutally::report {

namespace {

// A message on standard error: where it cannot be printed, there is no one
// left to tell.
void say(platform::Console& errors, std::string_view line) {
    (void)errors.print(line);
}

std::string message(std::string_view path, std::string_view reason) {
    return "wutally-report: " + printable(path) + ": " + std::string(reason) + "\n";
}

const std::string_view help_pointer = "Try 'wutally-report --help' for the options.\n";

// The log that a file the report writes would be written over, whatever
// path names both: the same path, a directory and its log, a link.
std::optional<std::string> log_under(platform::FileSystem& files, const std::string& target,
                                     const std::vector<std::string>& paths) {
    const auto page = files.state_of(target);
    if (!page) {
        return std::nullopt;
    }
    for (const std::string& path : paths) {
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

// Writes a file beside its place first and puts it there only when it is
// whole, so that a failed write leaves an earlier file as it was, and a
// reader never sees half of one.
Result<void, platform::FileError> write_whole(platform::FileSystem& files, const std::string& path,
                                              std::string_view bytes) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string partial = path + ".partial" + std::to_string(attempt);
        auto written =
            log::write_new_file(files, partial, bytes, platform::Readers::as_mask_allows);
        if (!written && written.error() == platform::FileError::exists) {
            continue; // left by an earlier run
        }
        if (written) {
            written = files.rename(partial, path);
            if (!written) {
                (void)files.remove(partial);
            }
        }
        return written;
    }
    return platform::FileError::exists;
}

// Lists the skipped rows of every log; a log that fails is named with the
// reason, and the others are still listed.
ReportStatus list_skipped_rows(const std::vector<std::string>& paths,
                               const ReportServices& services) {
    platform::Console& out = services.out;
    platform::Console& errors = services.errors;
    bool failed = false;
    bool listed_any = false;
    for (const std::string& path : paths) {
        std::string listing;
        const auto listed = list_skipped(services.files, path,
                                         [&](std::string_view line) { listing.append(line); });
        if (!out.print(listing)) {
            say(errors, "wutally-report: cannot write to standard output\n");
            return ReportStatus::failure;
        }
        if (!listed) {
            say(errors, message(path, describe(listed.error())));
            failed = true;
        }
        listed_any = listed_any || !listing.empty();
    }
    if (!failed && !listed_any) {
        say(errors, "wutally-report: nothing skipped\n");
    }
    return failed ? ReportStatus::failure : ReportStatus::success;
}

UnixSecondsOf unix_seconds(const ReportServices& services) {
    return [&zone = services.zone](Stamp stamp) {
        const std::chrono::year_month_day day{stamp.day};
        return zone.unix_seconds({static_cast<int>(day.year()), static_cast<unsigned>(day.month()),
                                  static_cast<unsigned>(day.day()), stamp.time_of_day.count()});
    };
}

ReportStatus report(const ReportOptions& options, const ReportServices& services) {
    platform::Console& out = services.out;
    platform::Console& errors = services.errors;
    platform::FileSystem& files = services.files;
    const LogPaths logs = log_paths(files, options.paths, platform::wildcards_left_to_programs);
    const std::vector<std::string>& paths = logs.paths;
    if (options.skipped) {
        return list_skipped_rows(paths, services);
    }
    for (const auto* target : {&options.html_file, &options.metrics_file}) {
        if (!*target) {
            continue;
        }
        if (const auto log = log_under(files, **target, paths)) {
            say(errors, "wutally-report: " + printable(**target) +
                            " would be written over the log " + printable(*log) +
                            "; nothing is written\n");
            return ReportStatus::usage_error;
        }
    }
    // The logs' labels are known before their figures are made.
    std::vector<std::string> log_files;
    log_files.reserve(paths.size());
    for (const std::string& path : paths) {
        log_files.push_back(log_file_of(files, path));
    }
    // Where the working folder cannot be told, relative paths label as given.
    const auto here = files.current_directory();
    const std::vector<std::string> labels = log_labels(files, log_files, here ? *here : "");
    // Only the page draws each work unit, and names each while they are few.
    FigureCollector collector({options.since, options.until, options.html_file.has_value(),
                               options.html_file ? single_points_at_most : 0,
                               options.silent_after_days});
    std::vector<LogToScan> to_scan;
    for (std::size_t at = 0; at < paths.size(); ++at) {
        to_scan.push_back({paths[at], {log_files[at], labels[at]}});
    }
    // Among several, a machine of the farm that has not logged yet is a log
    // with no work units, which the report marks silent.
    const auto scanned = scan_logs(files, to_scan, collector,
                                   logs.several ? MissingLog::counts_as_empty : MissingLog::fails);
    bool failed = false;
    for (std::size_t at = 0; at < paths.size(); ++at) {
        if (!scanned[at]) {
            say(errors, message(paths[at], describe(scanned[at].error())));
            failed = true;
        } else if (*scanned[at] == LogScanned::not_written_yet) {
            say(errors, message(paths[at], "no WUTally.csv yet: counted as a log with no "
                                           "work units"));
        }
    }
    if (failed) {
        return ReportStatus::failure;
    }
    const Figures figures = collector.finish();
    if (!out.print(options.json ? json_report(figures) : text_report(figures))) {
        say(errors, "wutally-report: cannot write to standard output\n");
        return ReportStatus::failure;
    }
    if (options.html_file && !write_whole(files, *options.html_file, html_report(figures))) {
        say(errors, message(*options.html_file, "cannot write the page"));
        return ReportStatus::failure;
    }
    if (options.metrics_file && !write_whole(files, *options.metrics_file,
                                             metrics_report(figures, unix_seconds(services)))) {
        say(errors, message(*options.metrics_file, "cannot write the metrics"));
        return ReportStatus::failure;
    }
    return ReportStatus::success;
}

ReportStatus run_parsed(std::span<const std::string_view> arguments,
                        const ReportServices& services) {
    platform::Console& out = services.out;
    platform::Console& errors = services.errors;
    const auto parsed = parse_report_options(arguments);
    if (!parsed) {
        say(errors, "wutally-report: " + printable(parsed.error().message) + "\n" +
                        std::string(help_pointer));
        return ReportStatus::usage_error;
    }
    if (parsed->request != Request::report) {
        const auto printed =
            out.print(parsed->request == Request::help ? std::string(usage_text) : version_text());
        return printed ? ReportStatus::success : ReportStatus::failure;
    }
    return report(*parsed, services);
}

} // namespace

int run_report(std::span<const std::string_view> arguments, const ReportServices& services) {
    try {
        return static_cast<int>(run_parsed(arguments, services));
    } catch (const std::bad_alloc&) {
        say(services.errors, "wutally-report: out of memory\n");
        return static_cast<int>(ReportStatus::failure);
    }
}

} // namespace wutally::report
