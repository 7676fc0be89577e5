#include "report/rendering/svg_chart.hpp"

#include "report/figures/log_time.hpp"
#include "report/rendering/markup.hpp"
#include "report/rendering/number_format.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace wutally::report {

namespace {

constexpr double width = 720;
constexpr double height = 320;
constexpr double left = 76;
constexpr double right = 700;
constexpr double top = 28;
constexpr double bottom = 256;
// Fewer points than this are drawn as large dots.
constexpr std::size_t large_dots_below = 300;

// Okabe and Ito's colours, which stay apart in every common colour
// blindness; the yellow is left to last, as it is faint on white.
constexpr std::array<std::string_view, 8> palette{"#0072B2", "#E69F00", "#009E73", "#CC79A7",
                                                  "#56B4E9", "#D55E00", "#000000", "#F0E442"};

// As a style, which the page's own style sheet does not override.
std::string fill_of(std::optional<std::size_t> series) {
    return series ? " style=\"fill: " + std::string(palette.at(*series % palette.size())) + "\""
                  : "";
}

std::string attribute(std::string_view name, double value) {
    std::string text = " ";
    return text.append(name).append("=\"").append(coordinate(value)).append("\"");
}

std::string open_svg(const ChartText& text, double svg_height) {
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + coordinate(width) + " " +
           coordinate(svg_height) + "\" role=\"img\"><title>" + escape_markup(text.title) +
           "</title>\n";
}

std::string label(double x, double y, std::string_view text, std::string_view anchor,
                  std::string_view extra = "") {
    return "<text" + attribute("x", x) + attribute("y", y) + " text-anchor=\"" +
           std::string(anchor) + "\"" + std::string(extra) + ">" + escape_markup(text) +
           "</text>\n";
}

// Digits enough to tell the ticks apart.
int decimals_for(double step) {
    int decimals = 0;
    while (decimals < 6 && std::fabs(step * std::pow(10, decimals) -
                                     std::round(step * std::pow(10, decimals))) > 1e-9) {
        ++decimals;
    }
    return decimals;
}

// The y axis: grid lines, tick labels and the axis title. Returns the
// value at the top of the plot.
double y_axis(std::string& svg, const ChartText& text, double largest, bool whole) {
    const std::vector<double> ticks = nice_ticks(largest, 5, whole);
    const double highest = ticks.back();
    const int decimals = decimals_for(ticks.size() > 1 ? ticks[1] : 1);
    for (const double tick : ticks) {
        const double y = bottom - (bottom - top) * tick / highest;
        svg += "<line class=\"grid\"" + attribute("x1", left) + attribute("x2", right) +
               attribute("y1", y) + attribute("y2", y) + "/>\n";
        svg += label(left - 8, y + 5, format_fixed(tick, decimals), "end");
    }
    const double middle = (top + bottom) / 2;
    svg += label(20, middle, text.y_label, "middle",
                 " transform=\"rotate(-90 20 " + coordinate(middle) + ")\"");
    return highest;
}

std::string x_title(const ChartText& text) {
    return label((left + right) / 2, height - 8, text.x_label, "middle");
}

std::string axis_line() {
    return "<line class=\"axis\"" + attribute("x1", left) + attribute("x2", right) +
           attribute("y1", bottom) + attribute("y2", bottom) + "/>\n";
}

double y_of(double value, double highest) {
    return bottom - (bottom - top) * std::clamp(value / highest, 0.0, 1.0);
}

// The largest value the plot must show, leaving out the top half per cent
// of points so that a few outliers do not flatten the rest.
double plotted_top(std::span<const TimePoint> points, std::span<const Step> steps) {
    std::vector<double> values;
    values.reserve(points.size());
    for (const TimePoint& point : points) {
        values.push_back(point.value);
    }
    double top_value = 0;
    if (!values.empty()) {
        const auto at = values.begin() +
                        static_cast<std::ptrdiff_t>(static_cast<double>(values.size() - 1) * 0.995);
        std::nth_element(values.begin(), at, values.end());
        top_value = *at * 1.1;
    }
    for (const Step& step : steps) {
        top_value = std::max(top_value, step.value * 1.1);
    }
    return top_value;
}

struct TimeAxis {
    double first;
    double last;
    double first_point = 0; // the span of the points within the padding
    double last_point = 0;
    [[nodiscard]] double x_of(double day) const {
        return left + (right - left) * (day - first) / (last - first);
    }
};

// Ticks at month starts, or at days for a short span; at most about eight.
void time_ticks(std::string& svg, const TimeAxis& axis) {
    const double span = axis.last - axis.first;
    std::vector<std::pair<double, std::string>> ticks;
    if (span < 62) {
        double step = 1;
        for (const double candidate : {1.0, 2.0, 7.0, 14.0, 31.0}) {
            step = candidate;
            if (span / candidate <= 5) {
                break;
            }
        }
        for (double day = std::floor(axis.first_point); day <= axis.last_point; day += step) {
            ticks.emplace_back(day + 0.5, format_day(day));
        }
    } else {
        int step = 1;
        for (const int candidate : {1, 2, 3, 6, 12, 24, 60, 120}) {
            step = candidate;
            if (span / (30.44 * candidate) <= 6) {
                break;
            }
        }
        Month month = month_of_day(axis.first);
        for (int i = month_index(month); month_start_days(month) <= axis.last; ++i) {
            month = month_of_index(i);
            const double day = month_start_days(month);
            if (day >= axis.first && day <= axis.last && i % step == 0) {
                ticks.emplace_back(day, step >= 12 ? format_month(month).substr(0, 4)
                                                   : format_month(month));
            }
        }
    }
    for (const auto& [day, text] : ticks) {
        const double x = axis.x_of(day);
        svg += "<line class=\"tick\"" + attribute("x1", x) + attribute("x2", x) +
               attribute("y1", bottom) + attribute("y2", bottom + 5) + "/>\n";
        svg += label(x, bottom + 22, text, "middle");
    }
}

bool is_drawable(const TimePoint& point) {
    return std::isfinite(point.day) && std::isfinite(point.value);
}

// Each point on its own, with its title: for few points, which are drawn
// larger where there are very few, so that one on the line still shows.
std::string single_dots(std::span<const TimePoint> points, std::span<const std::string> titles,
                        const TimeAxis& axis, double highest, bool coloured) {
    const std::string radius = points.size() < large_dots_below ? "4.5" : "2.2";
    std::string svg = "<g class=\"dots\">\n";
    for (std::size_t at = 0; at < points.size(); ++at) {
        const TimePoint& point = points[at];
        if (!is_drawable(point)) {
            continue;
        }
        const std::string_view title = at < titles.size() ? titles[at] : std::string_view();
        svg += "<circle" + attribute("cx", axis.x_of(point.day)) +
               attribute("cy", y_of(point.value, highest)) + " r=\"" + radius +
               "\" fill-opacity=\"0.75\"" +
               fill_of(coloured ? std::optional(point.series) : std::nullopt);
        svg += title.empty() ? "/>\n" : "><title>" + escape_markup(title) + "</title></circle>\n";
    }
    return svg + "</g>\n";
}

// Dots on a grid of cells two units wide, one grid a series; a cell's
// darkness grows with the number of points in it, so a million points stay
// a small picture.
std::string dense_dots(std::span<const TimePoint> points, const TimeAxis& axis, double highest,
                       std::size_t series_count, bool coloured) {
    constexpr double cell = 2;
    const auto columns = static_cast<std::size_t>((right - left) / cell) + 1;
    const auto rows = static_cast<std::size_t>((bottom - top) / cell) + 1;
    const std::size_t cells = columns * rows;
    std::vector<std::uint32_t> counts(cells * series_count, 0);
    for (const TimePoint& point : points) {
        if (!is_drawable(point) || point.series >= series_count) {
            continue;
        }
        const auto column = static_cast<std::size_t>((axis.x_of(point.day) - left) / cell);
        const auto row = static_cast<std::size_t>((y_of(point.value, highest) - top) / cell);
        ++counts[point.series * cells + std::min(row, rows - 1) * columns +
                 std::min(column, columns - 1)];
    }
    const double most = std::log1p(*std::max_element(counts.begin(), counts.end()));
    std::string svg = "<g class=\"dots\">\n";
    for (std::size_t at = 0; at < counts.size(); ++at) {
        if (counts[at] == 0) {
            continue;
        }
        const double darkness = 0.35 + 0.65 * std::log1p(counts[at]) / std::max(most, 1e-9);
        const std::size_t column = at % cells % columns;
        const std::size_t row = at % cells / columns;
        svg += "<circle" + attribute("cx", left + (static_cast<double>(column) + 0.5) * cell) +
               attribute("cy", top + (static_cast<double>(row) + 0.5) * cell) +
               " r=\"1.6\" fill-opacity=\"" + format_plain(darkness, 2) + "\"" +
               fill_of(coloured ? std::optional(at / cells) : std::nullopt) + "/>\n";
    }
    return svg + "</g>\n";
}

// The steps of one series, or of all, as one path.
std::string step_line(std::span<const Step> steps, const TimeAxis& axis, double highest,
                      std::optional<std::size_t> series) {
    std::string path;
    double previous_end = -1e300;
    for (const Step& step : steps) {
        if (series && step.series != *series) {
            continue;
        }
        const double from = std::max(step.from_day, axis.first);
        const double to = std::min(step.to_day, axis.last);
        const std::string y = coordinate(y_of(step.value, highest));
        path += (step.from_day == previous_end ? " V" + y
                                               : " M" + coordinate(axis.x_of(from)) + " " + y) +
                " H" + coordinate(axis.x_of(to));
        previous_end = step.to_day;
    }
    if (path.empty()) {
        return "";
    }
    const std::string stroke =
        series ? " style=\"stroke: " + std::string(series_colour(*series)) + "\"" : "";
    const std::string d = " d=\"" + path.substr(1) + "\"/>\n";
    return "<path class=\"halo\"" + d + "<path class=\"steps\"" + stroke + d;
}

// A thin upright line at each marker's day, its text beside its top.
std::string marker_lines(std::span<const Marker> markers, const TimeAxis& axis) {
    std::string svg = "<g class=\"markers\">\n";
    for (const Marker& marker : markers) {
        if (marker.day < axis.first || marker.day > axis.last) {
            continue;
        }
        const double x = axis.x_of(marker.day);
        svg += "<line" + attribute("x1", x) + attribute("x2", x) + attribute("y1", top) +
               attribute("y2", bottom) + "/>\n";
        svg += label(x + 3, top + 12, marker.text, "start");
    }
    return svg + "</g>\n";
}

} // namespace

std::string_view series_colour(std::size_t series) {
    return palette.at(series % palette.size());
}

std::vector<double> nice_ticks(double largest, int count, bool whole) {
    if (!(largest > 0) || !std::isfinite(largest)) {
        return {0, 1};
    }
    const double rough = largest / count;
    const double power = std::pow(10, std::floor(std::log10(rough)));
    double step = power * 10;
    for (const double factor : {1.0, 2.0, 2.5, 5.0}) {
        const bool fits = !whole || std::fmod(power * factor, 1.0) == 0;
        if (fits && power * factor >= rough) {
            step = power * factor;
            break;
        }
    }
    if (whole) {
        step = std::max(step, 1.0); // no fraction of a work unit
    }
    std::vector<double> ticks;
    for (int i = 0; ticks.empty() || ticks.back() < largest; ++i) {
        ticks.push_back(step * i);
    }
    return ticks;
}

std::string column_chart(const ChartText& text, std::span<const Bar> bars) {
    std::string svg = open_svg(text, height);
    double largest = 0;
    for (const Bar& bar : bars) {
        largest = std::max(largest, bar.value);
    }
    const double highest = y_axis(svg, text, largest, true);
    const double band = (right - left) / static_cast<double>(std::max<std::size_t>(bars.size(), 1));
    const std::size_t label_every = (bars.size() + 6) / 7;
    for (std::size_t at = 0; at < bars.size(); ++at) {
        const double x = left + band * static_cast<double>(at);
        const auto rect = [&](double from, double to, std::optional<std::size_t> series,
                              const std::string& title) {
            const double y = y_of(to, highest);
            svg += "<rect class=\"bar\"" + attribute("x", x + band * 0.1) + attribute("y", y) +
                   attribute("width", std::max(band * 0.8, 0.5)) +
                   attribute("height", y_of(from, highest) - y) + fill_of(series) + "><title>" +
                   escape_markup(title) + "</title></rect>\n";
        };
        if (bars[at].parts.empty()) {
            rect(0, bars[at].value, bars[at].series, bars[at].label + ": " + bars[at].value_text);
        }
        double stacked = 0;
        for (const BarPart& part : bars[at].parts) {
            rect(stacked, stacked + part.value, part.series, part.title);
            stacked += part.value;
        }
        if (at % std::max<std::size_t>(label_every, 1) == 0) {
            svg += label(x + band / 2, bottom + 22, bars[at].label, "middle");
        }
    }
    return svg + axis_line() + x_title(text) + "</svg>\n";
}

std::string bar_chart(const ChartText& text, std::span<const Bar> bars) {
    constexpr double row = 34;
    constexpr double label_right = 290;
    constexpr double bar_right = 640;
    const double svg_height = 40 + row * static_cast<double>(bars.size());
    std::string svg = open_svg(text, svg_height);
    double largest = 0;
    for (const Bar& bar : bars) {
        largest = std::max(largest, bar.value);
    }
    for (std::size_t at = 0; at < bars.size(); ++at) {
        const double y = 10 + row * static_cast<double>(at);
        const double length =
            largest > 0 ? (bar_right - label_right - 10) * bars[at].value / largest : 0;
        std::string name = bars[at].label;
        if (name.size() > 32) {
            name = "\xE2\x80\xA6" + name.substr(name.size() - 31); // its end says most
        }
        svg += label(label_right - 8, y + 18, name, "end");
        svg += "<rect class=\"bar\"" + attribute("x", label_right) + attribute("y", y + 2) +
               attribute("width", std::max(length, 0.5)) + attribute("height", row - 8) +
               fill_of(bars[at].series) + "><title>" +
               escape_markup(bars[at].label + ": " + bars[at].value_text) + "</title></rect>\n";
        svg += label(label_right + length + 6, y + 18, bars[at].value_text, "start");
    }
    return svg + label((label_right + bar_right) / 2, svg_height - 6, text.x_label, "middle") +
           "</svg>\n";
}

std::string time_chart(const ChartText& text, std::span<const TimePoint> points,
                       std::span<const Step> steps, std::span<const Marker> markers,
                       std::size_t series_count, std::span<const std::string> titles) {
    std::string svg = open_svg(text, height);
    const double highest = y_axis(svg, text, plotted_top(points, steps), false);
    TimeAxis axis{1e300, -1e300};
    for (const TimePoint& point : points) {
        axis.first = std::min(axis.first, point.day);
        axis.last = std::max(axis.last, point.day);
    }
    if (axis.first > axis.last) {
        axis = {0, 1};
    }
    axis.first_point = axis.first;
    axis.last_point = axis.last;
    const double pad = std::max((axis.last - axis.first) * 0.02, 0.5);
    axis.first -= pad;
    axis.last += pad;
    time_ticks(svg, axis);
    const bool coloured = series_count > 1;
    const std::string dots =
        points.size() <= single_points_at_most
            ? single_dots(points, titles, axis, highest, coloured)
            : dense_dots(points, axis, highest, std::max<std::size_t>(series_count, 1), coloured);
    std::string lines;
    if (coloured) {
        for (std::size_t series = 0; series < series_count; ++series) {
            lines += step_line(steps, axis, highest, series);
        }
    } else {
        lines += step_line(steps, axis, highest, std::nullopt);
    }
    // A few large dots would hide under the line's halo.
    svg += points.size() < large_dots_below ? lines + dots : dots + lines;
    svg += marker_lines(markers, axis) + axis_line() + x_title(text);
    const auto above = std::count_if(points.begin(), points.end(),
                                     [&](const TimePoint& point) { return point.value > highest; });
    if (above > 0) {
        svg += label(right, 16,
                     format_count(static_cast<std::uint64_t>(above)) +
                         " above the top drawn at its edge",
                     "end", " class=\"legend\"");
    }
    return svg + "</svg>\n";
}

} // namespace wutally::report
