#include "report/figures/name_set.hpp"

#include "log/byte_mask.hpp"
#include "platform/machine.hpp"

#include <algorithm>
#include <cstring>

namespace wutally::report {

namespace {

std::uint64_t mix(std::uint64_t value) {
    value ^= value >> 31U;
    value *= 0x94d049bb133111ebULL;
    return value ^ (value >> 32U);
}

std::uint64_t mix_other(std::uint64_t value) {
    value ^= value >> 29U;
    value *= 0xbf58476d1ce4e5b9ULL;
    return value ^ (value >> 33U);
}

} // namespace

NameKey::NameKey() : low_(platform::random_word()), high_(platform::random_word()) {}

// Eight bytes at a time into two chains, each keyed on its own; names
// differ mostly in their digits, which every word carries into both.
NameHash NameKey::hash(std::string_view name) const {
    std::uint64_t low = low_ ^ name.size();
    std::uint64_t high = high_ ^ (name.size() << 32U);
    const auto take = [&](std::uint64_t word) {
        low = mix(low ^ word);
        high = mix_other(high + word);
    };
    if (name.size() < 8) {
        std::uint64_t word = 0;
        for (const char byte : name) {
            word = (word << 8U) | static_cast<unsigned char>(byte);
        }
        take(word);
    } else {
        std::uint64_t word = 0;
        for (std::size_t at = 0; at + 8 < name.size(); at += 8) {
            std::memcpy(&word, name.data() + at, 8);
            take(word);
        }
        // The last eight bytes, overlapping the word before where the size
        // is not a multiple of eight.
        std::memcpy(&word, name.data() + name.size() - 8, 8);
        take(word);
    }
    return {mix(low ^ high_), mix_other(high ^ low_)};
}

std::size_t NameSet::place_of(const NameHash& name) const {
    const std::size_t mask = places_.size() - 1;
    for (auto place = static_cast<std::size_t>(name.low) & mask;; place = (place + 1) & mask) {
        ++probes_;
        const NameHash& there = places_[place];
        if (there == name || there == NameHash{}) {
            return place;
        }
    }
}

// At most seven tenths full: probes stay short, and a million names fit in
// two million places rather than four.
bool NameSet::has_room(std::size_t names, std::size_t places) {
    return names * 10 <= places * 7;
}

void NameSet::grow(std::size_t places) {
    std::vector<NameHash> old(places, NameHash{});
    old.swap(places_);
    for (const NameHash& name : old) {
        if (name != NameHash{}) {
            places_[place_of(name)] = name;
        }
    }
}

void NameSet::reserve(std::size_t names) {
    std::size_t places = 1024;
    while (!has_room(names, places)) {
        places *= 2;
    }
    if (places > places_.size()) {
        grow(places);
    }
}

bool NameSet::insert(const NameHash& name) {
    if (name == NameHash{}) {
        if (has_zero_) {
            return false;
        }
        has_zero_ = true;
        ++count_;
        return true;
    }
    if (!has_room(count_ + 1, places_.size())) {
        grow(std::max<std::size_t>(1024, places_.size() * 2));
    }
    NameHash& place = places_[place_of(name)];
    if (place == name) {
        return false;
    }
    place = name;
    ++count_;
    return true;
}

bool NameSet::contains(const NameHash& name) const {
    if (name == NameHash{}) {
        return has_zero_;
    }
    return !places_.empty() && places_[place_of(name)] == name;
}

void NameSet::prefetch(const NameHash& name) const {
    if (!places_.empty()) {
        log::prefetch(&places_[static_cast<std::size_t>(name.low) & (places_.size() - 1)]);
    }
}

} // namespace wutally::report
