#include "log/holder_name.hpp"
#include "platform/concat.hpp"

#include <array>
#include <charconv>
#include <system_error>
#include <vector>

namespace wutally::log {

namespace {

constexpr std::string_view hex_digits = "0123456789abcdef";
// So that a name stays within the 255 bytes every file system takes, the
// host is cut where its escaped form runs past this, whatever the other
// fields hold.
constexpr std::size_t longest_host = 80;

// 64-bit FNV-1a, as 16 hex digits: the same text gives the same digits on
// every machine and build.
std::string hashed(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char byte : text) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ULL;
    }
    std::string digits(16, '0');
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit, hash >>= 4U) {
        *digit = hex_digits[hash & 0xFU];
    }
    return digits;
}

bool plain(char byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_';
}

// Each byte escaped as a whole, so that a cut never splits an escape.
std::string escaped(std::string_view text, std::size_t room) {
    std::string out;
    for (const char byte : text) {
        const std::size_t size = plain(byte) ? 1 : 3;
        if (out.size() + size > room) {
            break;
        }
        if (plain(byte)) {
            out += byte;
        } else {
            const auto value = static_cast<unsigned char>(byte);
            out += '%';
            out += hex_digits[value >> 4U];
            out += hex_digits[value & 0xFU];
        }
    }
    return out;
}

int hex_value(char digit) {
    const std::size_t at = hex_digits.find(digit);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

std::optional<std::string> unescaped(std::string_view text) {
    std::string out;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '%') {
            out += text[at];
            continue;
        }
        if (at + 2 >= text.size() || hex_value(text[at + 1]) < 0 || hex_value(text[at + 2]) < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(hex_value(text[at + 1]) * 16 + hex_value(text[at + 2]));
        at += 2;
    }
    return out;
}

std::optional<std::uint64_t> number(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string or_dash(const std::string& text) {
    return text.empty() ? "-" : text;
}

std::string without_dash(std::string_view text) {
    return text == "-" ? std::string() : std::string(text);
}

// The first `count` fields separated by dots, and the rest, which may hold
// dots, as the last.
std::optional<std::vector<std::string_view>> split_fields(std::string_view name,
                                                          std::size_t count) {
    std::vector<std::string_view> fields;
    for (std::size_t field = 0; field < count; ++field) {
        const std::size_t dot = name.find('.');
        if (dot == std::string_view::npos) {
            return std::nullopt;
        }
        fields.push_back(name.substr(0, dot));
        name.remove_prefix(dot + 1);
    }
    fields.push_back(name);
    return fields;
}

} // namespace

Holder holder_of(const platform::ProcessIdentity& process, std::string_view token) {
    const Holder holder{process.host,
                        hashed(process.machine),
                        hashed(process.boot),
                        process.pid,
                        process.start,
                        std::string(token),
                        0};
    // As others will read it back: a long host name is cut in the name.
    return parse_holder_name(holder_name(holder)).value_or(holder);
}

std::string holder_name(const Holder& holder) {
    return concat("h", std::to_string(holder.generation), ".", escaped(holder.token, 40), ".",
                  std::to_string(holder.pid), ".", std::to_string(holder.start), ".",
                  or_dash(holder.boot), ".", or_dash(holder.machine), ".",
                  escaped(holder.host, longest_host));
}

std::optional<Holder> parse_holder_name(std::string_view name) {
    if (!name.starts_with('h')) {
        return std::nullopt;
    }
    const auto fields = split_fields(name.substr(1), 6);
    if (!fields) {
        return std::nullopt;
    }
    const auto& field = *fields;
    const auto generation = number(field[0]);
    const auto token = unescaped(field[1]);
    const auto pid = number(field[2]);
    const auto start = number(field[3]);
    const auto host = unescaped(field[6]);
    if (!generation || !token || token->empty() || !pid || !start || !host) {
        return std::nullopt;
    }
    return Holder{*host,      without_dash(field[5]), without_dash(field[4]), *pid, *start, *token,
                  *generation};
}

bool same_boot(const Holder& holder, const Holder& me) {
    return !holder.boot.empty() && holder.boot == me.boot && holder.host == me.host &&
           holder.machine == me.machine;
}

platform::ProcessIdentity process_of(const Holder& holder) {
    return {holder.host, {}, {}, holder.pid, holder.start};
}

} // namespace wutally::log
