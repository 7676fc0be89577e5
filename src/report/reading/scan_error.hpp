// Why a log could not be read for the report.
#pragma once

#include <string_view>

namespace wutally::report {

enum class ScanError {
    missing,
    no_log_in_directory,
    cannot_open,
    read_error,
    empty,
    no_name_column,
    semicolons, // no "name" column, but one where texts are separated by semicolons
    tabs,       // or by tabs
    no_date_column,
    not_a_log,
};

// The reason, as the message after "wutally-report: PATH: " gives it.
std::string_view describe(ScanError error);

} // namespace wutally::report
