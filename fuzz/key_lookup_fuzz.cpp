// Key lookup over arbitrary client text, and the row made of such texts.
// Input: one byte giving the key's length, the key, then the text.
//
// Checks that a lookup finds the value after the first "key=" up to the
// next line feed, or says which of the two is missing; and that whatever
// the client files hold, the row reads back as one line of 57 fields and
// is found when the work unit is logged again.
#include "client/key_lookup.hpp"
#include "fake/round_trip.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using namespace wutally;

void check_lookup(std::string_view text, std::string_view key) {
    const client::Lookup lookup = client::find_value(text, key);
    const std::string pattern = std::string(key) + '=';
    const std::size_t at = text.find(pattern);
    if (lookup) {
        const std::string_view* value = &*lookup;
        if (at == std::string_view::npos || value->data() != text.data() + at + pattern.size() ||
            value->find('\n') != std::string_view::npos ||
            text.substr(at + pattern.size() + value->size(), 1) != "\n") {
            std::abort();
        }
        return;
    }
    const auto expected = at == std::string_view::npos ? client::LookupFailure::no_key
                                                       : client::LookupFailure::no_end;
    if (lookup.error() != expected) {
        std::abort();
    }
}

void check_round_trip(std::string_view text) {
    // What a run sees of a client file ends at its first zero byte.
    const std::string bytes(text.substr(0, text.find('\0')));
    const std::string result = "name=" + bytes + "\n" + bytes + "\n";
    const fake::RoundTrip trip = fake::log_twice(bytes + "\n", result, bytes + "\n");
    if (trip.first_status != static_cast<int>(run::ExitStatus::success) ||
        trip.fields != std::vector<std::size_t>{57, 57} ||
        trip.second_status != static_cast<int>(run::ExitStatus::already_logged)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t key_length = std::min<std::size_t>(data[0] % 32, size - 1);
    const std::string_view key = input.substr(1, key_length);
    const std::string_view text = input.substr(1 + key_length);
    check_lookup(text, key);
    check_round_trip(text);
    return 0;
}
