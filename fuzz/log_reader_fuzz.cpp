// The log reader and the duplicate check over arbitrary log bytes. Input: one
// byte giving the work unit name's length, one giving the reader's read size,
// the name, then the log.
//
// Checks that the text search finds what a plain search finds, that skipping
// lines by it never passes over a line that holds the name, that small reads
// yield the same lines as large ones, that a field limit only cuts the record
// short, and that the duplicate check agrees with a plain reading of every
// line.
#include "fake/fake_file_system.hpp"
#include "log/byte_mask.hpp"
#include "log/duplicate_check.hpp"
#include "log/header_table.hpp"
#include "log/line_reader.hpp"
#include "log/record_parser.hpp"
#include "log/row_format.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace wutally;

const std::string log_path = "WUTally.csv";

std::vector<std::string> lines_of(const std::string& bytes, const log::SearchText* search,
                                  std::size_t read_size) {
    fake::FakeFileSystem files;
    files.put_file(log_path, bytes);
    const auto file = files.open_read(log_path);
    log::LogReader reader(**file, read_size);
    std::vector<std::string> lines;
    const auto keep = [&](std::span<char> line) {
        lines.emplace_back(line.begin(), line.end());
        return true;
    };
    if (!(search ? log::for_each_line_holding(reader, *search, keep)
                 : log::for_each_line(reader, keep))) {
        std::abort(); // the in-memory file never fails a read
    }
    return lines;
}

// The vector code that finds bytes, block by block, against the plain loop.
void check_byte_masks(const std::string& bytes) {
    for (std::size_t at = 0; at + log::mask_block <= bytes.size(); at += log::mask_block) {
        for (const char byte : {',', '"', bytes[at]}) {
            if (log::byte_mask(bytes.data() + at, byte) !=
                log::byte_mask_plain(bytes.data() + at, byte)) {
                std::abort();
            }
        }
    }
}

void check_records(std::vector<std::string> lines) {
    for (std::string& line : lines) {
        std::string copy = line;
        log::Record all;
        log::Record some;
        log::parse_log_record(line, all);
        log::parse_log_record(copy, some, 3);
        if (some.size() > 3 || some.size() > all.size()) {
            std::abort();
        }
        for (std::size_t index = 0; index < some.size(); ++index) {
            if (some[index] != all[index]) {
                std::abort();
            }
        }
    }
}

// The duplicate check's answer from every line, read and split in full.
log::CheckOutcome plain_check(const std::vector<std::string>& lines, std::string_view name) {
    log::HeaderTable header;
    std::vector<std::string> copies = lines;
    log::Record record;
    if (!copies.empty()) {
        log::parse_log_record(copies[0], record);
        header.load_header_table(record);
    }
    for (std::size_t index = 1; index < copies.size(); ++index) {
        log::parse_log_record(copies[index], record);
        const auto field = log::value_by_header(record, header, "name");
        if (!field) {
            return log::CheckOutcome::no_name_column;
        }
        if (*field == name) {
            return log::CheckOutcome::already_logged;
        }
    }
    return log::CheckOutcome::not_logged;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t name_length = std::min<std::size_t>(data[0] % 40, size - 2);
    const std::size_t read_size = 2 + data[1] % 64;
    const std::string name = input.substr(2, name_length);
    const std::string bytes = input.substr(2 + name_length);
    const std::vector<std::string> all =
        lines_of(bytes, nullptr, log::LogReader::default_read_size);
    if (lines_of(bytes, nullptr, read_size) != all) {
        std::abort();
    }
    check_records(all);
    check_byte_masks(bytes);
    if (!name.empty() && name.find_first_of(std::string("\r\n\0", 3)) == std::string::npos) {
        const log::SearchText search(name, bytes);
        const char* first = bytes.data();
        const char* last = bytes.data() + bytes.size();
        const std::size_t expected = std::min(bytes.find(name), bytes.size());
        if (static_cast<std::size_t>(search.find(first, last) - first) != expected ||
            static_cast<std::size_t>(search.find_plain(first, last) - first) != expected) {
            std::abort();
        }
        std::vector<std::string> holding;
        for (const std::string& line : all) {
            if (line.find(name) != std::string::npos) {
                holding.push_back(line);
            }
        }
        std::vector<std::string> returned;
        for (const std::string& line : lines_of(bytes, &search, read_size)) {
            if (line.find(name) != std::string::npos) {
                returned.push_back(line);
            }
        }
        if (returned != holding) {
            std::abort();
        }
    }

    if (name.find('\n') == std::string::npos) {
        fake::FakeFileSystem files;
        files.put_file(log_path, bytes);
        const auto file = files.open_read(log_path);
        const std::string result_text = "name=" + name + "\n";
        // Whole, and in pieces from both ends at every size from the read
        // size on.
        const auto check = log::is_already_logged(**file, bytes.size(), result_text);
        const auto split = log::is_already_logged(**file, bytes.size(), result_text,
                                                  log::PieceSizes{read_size, 64, 2});
        const auto expected = plain_check(all, log::stored_form(name));
        const bool ends_with_line_break = bytes.ends_with('\r') || bytes.ends_with('\n');
        if (!check || !split || check->outcome != expected || split->outcome != expected) {
            std::abort();
        }
        // A check that passes has read to the end.
        if (expected == log::CheckOutcome::not_logged &&
            (check->ends_with_line_break != ends_with_line_break ||
             split->ends_with_line_break != ends_with_line_break)) {
            std::abort();
        }
    }
    return 0;
}
