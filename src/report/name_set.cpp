#include "report/name_set.hpp"

#include "log/byte_mask.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <random>

namespace wutally::report {

namespace {

constexpr int size_bits = 40; // names up to a terabyte; the other bits tag the hash
constexpr std::uint64_t size_mask = (std::uint64_t{1} << size_bits) - 1;

std::uint64_t mix(std::uint64_t value) {
    value ^= value >> 31;
    value *= 0x94d049bb133111ebULL;
    return value ^ (value >> 32);
}

} // namespace

NameSet::NameSet() {
    std::uint64_t key = 0x9e3779b97f4a7c15ULL;
    try {
        std::random_device device;
        key = (std::uint64_t{device()} << 32) ^ device();
    } catch (const std::exception&) {
        // No source of randomness: the address of this set still differs
        // from run to run where addresses are randomised.
        key ^= reinterpret_cast<std::uintptr_t>(this);
    }
    key_ = key;
}

// Eight bytes at a time; names differ mostly in their digits, which every
// word carries into the whole hash.
std::uint64_t NameSet::hash(std::string_view name) const {
    std::uint64_t hash = key_ ^ name.size();
    if (name.size() < 8) {
        std::uint64_t bytes = 0;
        for (const char byte : name) {
            bytes = (bytes << 8) | static_cast<unsigned char>(byte);
        }
        return mix(mix(hash ^ bytes) ^ key_);
    }
    std::uint64_t word = 0;
    for (std::size_t at = 0; at + 8 < name.size(); at += 8) {
        std::memcpy(&word, name.data() + at, 8);
        hash = mix(hash ^ word);
    }
    // The last eight bytes, overlapping the word before where the size is
    // not a multiple of eight.
    std::memcpy(&word, name.data() + name.size() - 8, 8);
    return mix(mix(hash ^ word) ^ key_);
}

namespace {

std::uint64_t size_and_tag(std::string_view name, std::uint64_t hash) {
    return (hash & ~size_mask) | name.size();
}

} // namespace

std::size_t NameSet::slot_of(std::string_view name, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    const std::uint64_t wanted = size_and_tag(name, hash);
    for (auto slot = static_cast<std::size_t>(hash) & mask;; slot = (slot + 1) & mask) {
        ++probes_;
        const Slot& candidate = slots_[slot];
        if (candidate.data == nullptr ||
            (candidate.size_and_tag == wanted &&
             std::memcmp(candidate.data, name.data(), name.size()) == 0)) {
            return slot;
        }
    }
}

std::string_view NameSet::keep(std::string_view name) {
    if (name.size() > block_left_) {
        const std::size_t size = std::max(block_size, name.size());
        blocks_.push_back(std::make_unique<char[]>(size));
        block_used_ = 0;
        block_left_ = size;
    }
    char* place = blocks_.back().get() + block_used_;
    std::memcpy(place, name.data(), name.size());
    block_used_ += name.size();
    block_left_ -= name.size();
    return {place, name.size()};
}

void NameSet::grow() {
    const std::vector<Slot> old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(1024, old.size() * 2), Slot{});
    for (const Slot& slot : old) {
        if (slot.data != nullptr) {
            const std::string_view name(slot.data, slot.size_and_tag & size_mask);
            slots_[slot_of(name, hash(name))] = slot;
        }
    }
}

void NameSet::prefetch(std::uint64_t hash) const {
    if (!slots_.empty()) {
        log::prefetch(&slots_[static_cast<std::size_t>(hash) & (slots_.size() - 1)]);
    }
}

std::optional<std::string_view> NameSet::insert(std::string_view name, std::uint64_t hash) {
    // At most half full, so that probes stay short.
    if ((count_ + 1) * 2 > slots_.size()) {
        grow();
    }
    Slot& slot = slots_[slot_of(name, hash)];
    if (slot.data != nullptr) {
        return std::nullopt;
    }
    // An empty name still needs a place that is not null.
    slot.data = name.empty() ? "" : keep(name).data();
    slot.size_and_tag = size_and_tag(name, hash);
    ++count_;
    return std::string_view(slot.data, name.size());
}

} // namespace wutally::report
