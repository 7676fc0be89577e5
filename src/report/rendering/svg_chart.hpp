// Charts as inline SVG: bars, and points over time with a step line.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace wutally::report {

struct ChartText {
    std::string title; // also the SVG's own title, for screen readers
    std::string x_label;
    std::string y_label;
};

// A colour for each series, here each log, that people with any common
// form of colour-blind vision can tell apart; after eight they repeat.
std::string_view series_colour(std::size_t series);

// A part of a stacked bar.
struct BarPart {
    double value = 0;
    std::size_t series = 0;
    std::string title; // shown on hover
};

struct Bar {
    std::string label;
    double value = 0;
    std::string value_text;            // shown on hover, and beside horizontal bars
    std::optional<std::size_t> series; // the bar's colour; none for the page's own
    std::vector<BarPart> parts;        // stacked, bottom first, where there are any
};

// Upright bars, one per category, left to right.
std::string column_chart(const ChartText& text, std::span<const Bar> bars);

// Lying bars with their labels to the left: for a few long labels.
std::string bar_chart(const ChartText& text, std::span<const Bar> bars);

// 24 bytes, as a page may draw a million.
struct TimePoint {
    double day = 0; // days since 1970-01-01
    double value = 0;
    std::uint32_t series = 0;
};

struct Step {
    double from_day = 0;
    double to_day = 0;
    double value = 0;
    std::size_t series = 0;
};

// A moment marked across the plot with a thin line and a short text.
struct Marker {
    double day = 0;
    std::string text;
};

// Up to this many points, each is drawn on its own, with its title.
inline constexpr std::size_t single_points_at_most = 2000;

// One dot per point, or, for more points than single_points_at_most, one
// per small cell of each series, drawn darker where more fall together;
// with a line of steps for each series, on a pale halo so that it stands out
// of a cloud of dots of its colour (a few large dots are drawn over it), and
// the markers. With one series the page's own colours are used, with more
// one colour each. Values far above the rest are drawn at the top edge, and
// a note says how many.
// The time axis names days where the points span a few weeks, each at its
// noon, and only the days from the first point's to the last one's.
// `titles`, one a point or none, are shown on hover where the points are
// drawn one by one.
std::string time_chart(const ChartText& text, std::span<const TimePoint> points,
                       std::span<const Step> steps, std::span<const Marker> markers,
                       std::size_t series_count = 1, std::span<const std::string> titles = {});

// Round tick values from 0 up to at least `largest`, at most about `count`;
// whole numbers only where `whole`, as for counts.
std::vector<double> nice_ticks(double largest, int count, bool whole = false);

} // namespace wutally::report
