// A small JSON writer: objects and arrays indented by two spaces, members
// in the order they are written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace wutally::report {

class JsonWriter {
  public:
    void begin_object();
    void end_object();
    void begin_array();
    void end_array();
    // The next value is this member of the object being written.
    void key(std::string_view name);

    // Bytes as a JSON string: what is not valid UTF-8 is shown as U+FFFD.
    void string(std::string_view text);
    void count(std::uint64_t value);
    // A whole number without a fraction, anything else as the shortest text
    // that reads back to the same double; a value that is not finite has no
    // JSON form and is written as null.
    void number(double value);
    void null();
    void boolean(bool value);

    template <class T> void optional(const std::optional<T>& value) {
        if (!value) {
            null();
        } else if constexpr (std::is_same_v<T, std::string>) {
            string(*value);
        } else {
            number(*value);
        }
    }

    // A member and its value, in one call.
    void field(std::string_view name, std::string_view text) {
        key(name);
        string(text);
    }
    void field(std::string_view name, std::uint64_t value) {
        key(name);
        count(value);
    }
    void field(std::string_view name, double value) {
        key(name);
        number(value);
    }
    void field(std::string_view name, bool value) {
        key(name);
        boolean(value);
    }
    template <class T> void field(std::string_view name, const std::optional<T>& value) {
        key(name);
        optional(value);
    }

    // The document, ended by a line break.
    [[nodiscard]] std::string finish() const { return out_ + "\n"; }

  private:
    void begin_value();
    void open(char bracket);
    void close(char bracket);

    std::string out_;
    std::vector<bool> has_items_; // one per open container
    bool after_key_ = false;
};

// The JSON string of the bytes, quotes included.
std::string json_string(std::string_view text);
// The JSON form of a number, as JsonWriter::number writes it.
std::string json_number(double value);

} // namespace wutally::report
