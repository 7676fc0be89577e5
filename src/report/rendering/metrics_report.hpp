// The figures for Prometheus, in its text format, as node exporter's
// textfile collector reads them from a *.prom file.
#pragma once

#include "report/figures/figures.hpp"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace wutally::report {

// A log's local time as seconds since 1970-01-01 00:00:00 UTC; none where
// it cannot be told.
using UnixSecondsOf = std::function<std::optional<std::int64_t>(Stamp)>;

// One sample per log, labelled log="LABEL", and one without the label for
// all logs together.
std::string metrics_report(const Figures& figures, const UnixSecondsOf& unix_seconds_of);

// A label's value as the format writes it between its quotes: backslash,
// quote and line feed escaped, other control bytes and what is not valid
// UTF-8 as U+FFFD.
std::string metric_label_value(std::string_view text);

} // namespace wutally::report
