#include "report/reading/scan_error.hpp"

namespace wutally::report {

std::string_view describe(ScanError error) {
    switch (error) {
    case ScanError::missing:
        return "no such file or directory";
    case ScanError::no_log_in_directory:
        return "no WUTally.csv in this directory";
    case ScanError::cannot_open:
        return "cannot be opened for reading";
    case ScanError::read_error:
        return "error reading the log";
    case ScanError::empty:
        return "the log is empty: it has no header row";
    case ScanError::no_name_column:
        return "no \"name\" column in the header row";
    case ScanError::semicolons:
        return "no \"name\" column in the header row, which is separated by semicolons, as "
               "spreadsheets in some languages save CSV: save it again as CSV separated by commas";
    case ScanError::tabs:
        return "no \"name\" column in the header row, which is separated by tabs: save it again "
               "as CSV separated by commas";
    case ScanError::no_date_column:
        return "no \"date\" column in the header row";
    case ScanError::not_a_log:
        break;
    }
    return "not a log: the first line does not end";
}

} // namespace wutally::report
