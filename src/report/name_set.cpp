#include "report/name_set.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace wutally::report {

namespace {

// FNV-1a: simple, and good enough for names that differ in many places.
std::uint64_t hash_of(std::string_view name) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const char byte : name) {
        hash = (hash ^ static_cast<unsigned char>(byte)) * 1099511628211ULL;
    }
    return hash ^ (hash >> 29);
}

} // namespace

std::size_t NameSet::slot_of(std::string_view name) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = static_cast<std::size_t>(hash_of(name)) & mask;
    while (!slots_[slot].empty() && slots_[slot] != name) {
        slot = (slot + 1) & mask;
    }
    return slot;
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
    std::vector<std::string_view> old = std::move(slots_);
    slots_.assign(std::max<std::size_t>(1024, old.size() * 2), std::string_view{});
    for (const std::string_view name : old) {
        if (!name.empty()) {
            slots_[slot_of(name)] = name;
        }
    }
}

bool NameSet::insert(std::string_view name) {
    if (name.empty()) {
        const bool added = !has_empty_name_;
        has_empty_name_ = true;
        count_ += added ? 1 : 0;
        return added;
    }
    // At most three quarters full, so that probes stay short.
    if ((count_ + 1) * 4 > slots_.size() * 3) {
        grow();
    }
    const std::size_t slot = slot_of(name);
    if (!slots_[slot].empty()) {
        return false;
    }
    slots_[slot] = keep(name);
    ++count_;
    return true;
}

} // namespace wutally::report
