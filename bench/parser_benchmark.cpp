// Splitting log lines into fields, in MB/s: a whole row, and the row up to
// the name column as the duplicate check does.
#include "log/record_parser.hpp"
#include "log/row_format.hpp"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string sample_row() {
    std::string row = "\"2026.12.08 21:15:58\"";
    for (const char* value : {"3175520",
                              "82741093",
                              "volunteer@example.org",
                              "Ada Volunteer",
                              "",
                              "Netherlands",
                              "3511 AB",
                              "1",
                              "0",
                              "home",
                              "2451342.61802 (Wed Jun 09 02:49:57 1999)",
                              "2452331.58810 (Sat Feb 23 02:06:52 2002)",
                              "2452331.21504 (Fri Feb 22 17:09:39 2002)",
                              "1284",
                              "1279",
                              "31844511.470000",
                              "0",
                              "sweep",
                              "4.12",
                              "14fe06ac.27316.8322.429034.219",
                              "16bit",
                              "0",
                              "0.71",
                              "17.402933",
                              "-4.117801",
                              "17.552019",
                              "-3.924466",
                              "0.429788",
                              "2452331.73112 (Sat Feb 23 05:32:49 2002)",
                              "1420141601.5625",
                              "1420000000",
                              "9765.625",
                              "2048",
                              "8",
                              "14",
                              "ao1420",
                              "1048576",
                              "4.2",
                              "81920",
                              "1.215623e+01",
                              "65536",
                              "35112.453125",
                              "1.000000",
                              "23.418512",
                              "1.524316",
                              "40192",
                              "12",
                              "-3.862915",
                              "32768",
                              "2.117283",
                              "1.306628",
                              "0.968114",
                              "7",
                              "211",
                              "0.512330",
                              "16"}) {
        row += ',';
        wutally::log::append_value_field(row, value);
    }
    return row;
}

void parse_row(benchmark::State& state) {
    const std::string row = sample_row();
    const auto field_limit = static_cast<std::size_t>(state.range(0));
    std::string line;
    wutally::log::Record record;
    for (auto _ : state) {
        line = row;
        wutally::log::parse_log_record(line, record, field_limit);
        benchmark::DoNotOptimize(record.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * row.size()));
}

BENCHMARK(parse_row)->Arg(57)->Arg(21);

} // namespace

BENCHMARK_MAIN();
