// The whole report over arbitrary logs. Input: one byte whose low bit says
// whether the rest is one log or two, and, for two, the next two bytes give
// where the first ends; then the logs' bytes.
//
// Checks that the JSON parses and holds no number that is not finite, that
// the page is well-formed XML of characters XML allows and without a
// coordinate that is not a number, and that the text shows no raw control
// byte.
#include "fake/fake_file_system.hpp"
#include "report/figures/figure_collector.hpp"
#include "report/reading/scan_logs.hpp"
#include "report/rendering/html_report.hpp"
#include "report/rendering/json_report.hpp"
#include "report/rendering/metrics_report.hpp"
#include "report/rendering/text_report.hpp"
#include "report/rendering/utf8.hpp"

#include <libxml/parser.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace wutally;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A JSON reader that only checks: every value well formed, every number
// finite, nothing after the document but white space.
class JsonCheck {
  public:
    explicit JsonCheck(std::string_view text) : text_(text) {}

    void document() {
        value();
        space();
        require(at_ == text_.size());
    }

  private:
    void space() {
        while (at_ < text_.size() &&
               std::string_view(" \t\r\n").find(text_[at_]) != std::string_view::npos) {
            ++at_;
        }
    }
    bool take(char byte) {
        space();
        if (at_ < text_.size() && text_[at_] == byte) {
            ++at_;
            return true;
        }
        return false;
    }
    void word(std::string_view expected) {
        require(text_.substr(at_, expected.size()) == expected);
        at_ += expected.size();
    }
    void string() {
        require(take('"'));
        while (at_ < text_.size() && text_[at_] != '"') {
            const auto byte = static_cast<unsigned char>(text_[at_]);
            require(byte >= 0x20);
            if (byte == '\\') {
                ++at_;
                require(at_ < text_.size());
                if (text_[at_] == 'u') {
                    require(at_ + 4 < text_.size());
                    at_ += 4;
                } else {
                    require(std::string_view("\"\\/bfnrt").find(text_[at_]) !=
                            std::string_view::npos);
                }
                ++at_;
                continue;
            }
            const std::size_t length = report::utf8_sequence(text_.substr(at_));
            require(length > 0);
            at_ += length;
        }
        require(take('"'));
    }
    void number() {
        double value = 0;
        const char* first = text_.data() + at_;
        const auto [end, error] = std::from_chars(first, text_.data() + text_.size(), value);
        require(error == std::errc{} && end != first && std::isfinite(value));
        at_ += static_cast<std::size_t>(end - first);
    }
    void value() {
        space();
        require(at_ < text_.size());
        const char byte = text_[at_];
        if (byte == '{') {
            ++at_;
            if (take('}')) {
                return;
            }
            do {
                string();
                require(take(':'));
                value();
            } while (take(','));
            require(take('}'));
        } else if (byte == '[') {
            ++at_;
            if (take(']')) {
                return;
            }
            do {
                value();
            } while (take(','));
            require(take(']'));
        } else if (byte == '"') {
            string();
        } else if (byte == 'n') {
            word("null");
        } else if (byte == 't' || byte == 'f') {
            word(byte == 't' ? "true" : "false");
        } else {
            number();
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

void count_error(void* errors, const char* /*format*/, ...) {
    ++*static_cast<int*>(errors);
}

void check_page(const std::string& page) {
    int errors = 0;
    xmlSetGenericErrorFunc(&errors, count_error);
    xmlDocPtr document = xmlReadMemory(page.data(), static_cast<int>(page.size()), "page.html",
                                       "UTF-8", XML_PARSE_NONET);
    require(document != nullptr && errors == 0);
    xmlFreeDoc(document);
    std::string_view rest = page;
    while (!rest.empty()) {
        const std::size_t length = report::utf8_sequence(rest);
        require(length > 0);
        const auto byte = static_cast<unsigned char>(rest[0]);
        require(byte >= 0x20 || byte == '\t' || byte == '\n');
        require(rest.substr(0, length) != "\xEF\xBF\xBE" &&
                rest.substr(0, length) != "\xEF\xBF\xBF");
        rest.remove_prefix(length);
    }
    // Every attribute value of the charts' geometry is a finite number.
    for (std::size_t at = page.find("=\""); at != std::string::npos;
         at = page.find("=\"", at + 2)) {
        const std::size_t name_start = page.find_last_of(' ', at) + 1;
        const std::string_view name(page.data() + name_start, at - name_start);
        const std::size_t value_end = page.find('"', at + 2);
        const std::string_view value(page.data() + at + 2, value_end - at - 2);
        for (const std::string_view geometry :
             {"x", "y", "x1", "x2", "y1", "y2", "cx", "cy", "width", "height", "d", "viewBox"}) {
            if (name == geometry) {
                require(value.find("nan") == std::string_view::npos &&
                        value.find("inf") == std::string_view::npos);
            }
        }
    }
}

void check_text(std::string_view text) {
    while (!text.empty()) {
        const std::size_t length = report::utf8_sequence(text);
        const auto byte = static_cast<unsigned char>(text[0]);
        require((byte >= 0x20 || byte == '\n') && byte != 0x7F);
        require(length > 0 || byte > 0x9F);
        text.remove_prefix(std::max<std::size_t>(length, 1));
    }
}

// Every line a HELP, a TYPE or a sample of ours, with no control byte
// inside it, and valid UTF-8 throughout.
void check_metrics(std::string_view text) {
    require(text.empty() || text.back() == '\n');
    while (!text.empty()) {
        const std::string_view line = text.substr(0, text.find('\n'));
        require(line.starts_with("# HELP wutally_") || line.starts_with("# TYPE wutally_") ||
                line.starts_with("wutally_"));
        check_text(line);
        text.remove_prefix(line.size() + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> logs;
    if ((data[0] & 1) != 0) {
        const std::size_t split =
            std::min<std::size_t>(data[1] | (std::size_t{data[2]} << 8), size - 3);
        logs = {std::string(input.substr(3, split)), std::string(input.substr(3 + split))};
    } else {
        logs = {std::string(input.substr(1))};
    }
    fake::FakeFileSystem files;
    report::FigureCollector collector;
    std::vector<report::LogToScan> to_scan;
    for (std::size_t at = 0; at < logs.size(); ++at) {
        const std::string path = "log" + std::to_string(at) + ".csv";
        files.put_file(path, logs[at]);
        to_scan.push_back({path, {path, path}});
    }
    // Both logs at once, and each in pieces of a few dozen bytes.
    (void)report::scan_logs(files, to_scan, collector, report::MissingLog::fails,
                            log::PieceSizes{1, 48, 2});
    const report::Figures figures = collector.finish();
    JsonCheck(report::json_report(figures)).document();
    check_page(report::html_report(figures));
    check_text(report::text_report(figures));
    check_metrics(report::metrics_report(figures, [](report::Stamp) { return 0; }));
    return 0;
}
