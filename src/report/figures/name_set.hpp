// The work units' names seen so far, as 128-bit hashes keyed afresh for
// each report: a name needs 16 bytes however long it is, and two names that
// differ share a hash with a chance far below any hardware fault's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace wutally::report {

struct NameHash {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    bool operator==(const NameHash&) const = default;
};

// The key of the names' hashes, drawn for each report, so that no names can
// be made beforehand to share a place in the set and slow the report down,
// nor to share a hash.
class NameKey {
  public:
    NameKey();
    // A key as given, for tests.
    NameKey(std::uint64_t low, std::uint64_t high) : low_(low), high_(high) {}

    [[nodiscard]] NameHash hash(std::string_view name) const;

  private:
    std::uint64_t low_;
    std::uint64_t high_;
};

class NameSet {
  public:
    // Room for this many names before the set grows.
    void reserve(std::size_t names);
    // True where the name was not there yet.
    bool insert(const NameHash& name);
    [[nodiscard]] bool contains(const NameHash& name) const;
    // Starts loading the place where the name would be looked for, so that
    // inserting it soon after does not wait for memory.
    void prefetch(const NameHash& name) const;
    [[nodiscard]] std::size_t size() const { return count_; }
    // How many places the inserts looked at in all, to show that the work
    // stays linear.
    [[nodiscard]] std::uint64_t probes() const { return probes_; }

  private:
    [[nodiscard]] std::size_t place_of(const NameHash& name) const;
    void grow(std::size_t places);
    static bool has_room(std::size_t names, std::size_t places);

    std::vector<NameHash> places_; // a zero hash marks a free place
    std::size_t count_ = 0;
    bool has_zero_ = false; // the one hash that cannot have a place
    mutable std::uint64_t probes_ = 0;
};

} // namespace wutally::report
