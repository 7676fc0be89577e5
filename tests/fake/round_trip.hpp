// Logs one work unit from the given client files twice over the in-memory
// file layer, and reads the log back: the row must read back as one line
// of all its fields, and the second run must find the work unit.
#pragma once

#include "fake/fake_run.hpp"
#include "log/line_reader.hpp"
#include "log/record_parser.hpp"

#include <string>
#include <vector>

namespace wutally::fake {

struct RoundTrip {
    int first_status = -1;
    int second_status = -1;
    std::vector<std::size_t> fields; // per line of the log after the first run
};

inline RoundTrip log_twice(const std::string& state, const std::string& result,
                           const std::string& user_info) {
    FakeRun runs;
    runs.files.put_file("state.txt", state);
    runs.files.put_file("result.txt", result);
    runs.files.put_file("user_info.txt", user_info);
    RoundTrip trip;
    trip.first_status = runs.run();
    if (const auto file = runs.files.open_read("WUTally.csv")) {
        log::LogReader reader(**file);
        log::Record record;
        (void)log::for_each_line(reader, [&](std::span<char> line) {
            log::parse_log_record(line, record);
            trip.fields.push_back(record.size());
            return true;
        });
    }
    trip.second_status = runs.run();
    return trip;
}

} // namespace wutally::fake
