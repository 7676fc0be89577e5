// Charts as inline SVG: bars, and points over time with a step line.
#pragma once

#include <span>
#include <string>
#include <vector>

namespace wutally::report {

struct ChartText {
    std::string title; // also the SVG's own title, for screen readers
    std::string x_label;
    std::string y_label;
};

struct Bar {
    std::string label;
    double value = 0;
    std::string value_text; // shown on hover, and beside horizontal bars
};

// Upright bars, one per category, left to right.
std::string column_chart(const ChartText& text, std::span<const Bar> bars);

// Lying bars with their labels to the left: for a few long labels.
std::string bar_chart(const ChartText& text, std::span<const Bar> bars);

struct TimePoint {
    double day = 0; // days since 1970-01-01
    double value = 0;
};

struct Step {
    double from_day = 0;
    double to_day = 0;
    double value = 0;
};

// One dot per point (dots that fall together are drawn darker), with a
// line of steps over them. Values far above the rest are drawn at the top
// edge, and the caption says how many.
std::string time_chart(const ChartText& text, std::span<const TimePoint> points,
                       std::span<const Step> steps, std::string_view step_label);

// Round tick values from 0 up to at least `largest`, at most about `count`;
// whole numbers only where `whole`, as for counts.
std::vector<double> nice_ticks(double largest, int count, bool whole = false);

} // namespace wutally::report
