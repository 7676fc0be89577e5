// Picking a few fields out of a line a block of 64 bytes at a time, for
// reading whole logs fast. Every line it takes gives exactly the fields
// that parse_log_record and field_at give; a line it cannot vouch for is
// left to them.
#pragma once

#include "log/record_parser.hpp"

#include <cstddef>
#include <span>
#include <string_view>

namespace wutally::log {

// Puts into fields[slots[i]] the field at places[i] (places rising, each
// once), or an empty text past the line's last field, where every quote of
// the line up to the last field wanted either opens a field, or closes one
// before a comma or the line's end; false, with the fields left to the
// caller, for any other line, which the plain parser must split.
bool pick_fields_fast(std::span<const char> line, std::span<const std::size_t> places,
                      std::span<const std::size_t> slots, std::span<std::string_view> fields);

// The fast way where it can, the plain one otherwise; `record` is room for
// the plain parser.
inline void pick_fields(std::span<char> line, std::span<const std::size_t> places,
                        std::span<const std::size_t> slots, std::span<std::string_view> fields,
                        Record& record) {
    if (pick_fields_fast(line, places, slots, fields) || places.empty()) {
        return;
    }
    parse_log_record(line, record, places.back() + 1);
    for (std::size_t at = 0; at < places.size(); ++at) {
        fields[slots[at]] = field_at(record, places[at]);
    }
}

} // namespace wutally::log
