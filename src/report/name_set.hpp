// The work units' names seen so far, in little memory: each name is kept
// once, in blocks that never move, and found through an open-addressing table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace wutally::report {

class NameSet {
  public:
    // The hash is keyed afresh for each set, so that names cannot be made
    // to collide in advance and slow the report down to quadratic time.
    NameSet();
    // A set keyed as given, for tests.
    explicit NameSet(std::uint64_t key) : key_(key) {}

    [[nodiscard]] std::uint64_t hash(std::string_view name) const;

    // Adds the name and gives the set's own copy of it, which lives as long
    // as the set; none if it was there already.
    std::optional<std::string_view> insert(std::string_view name) {
        return insert(name, hash(name));
    }
    std::optional<std::string_view> insert(std::string_view name, std::uint64_t hash);
    // Starts loading the place where a name of this hash would be looked
    // for, so that inserting it soon after does not wait for memory.
    void prefetch(std::uint64_t hash) const;
    [[nodiscard]] std::size_t size() const { return count_; }
    // How many slots the inserts looked at in all, to show that the work
    // stays linear.
    [[nodiscard]] std::uint64_t probes() const { return probes_; }

  private:
    // A kept name and a few bits of its hash, so that most slots that hold
    // another name are passed over without comparing bytes.
    struct Slot {
        const char* data = nullptr; // none for a free slot
        std::uint64_t size_and_tag = 0;
    };

    std::string_view keep(std::string_view name);
    void grow();
    [[nodiscard]] std::size_t slot_of(std::string_view name, std::uint64_t hash) const;

    static constexpr std::size_t block_size = std::size_t{1} << 20;

    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t block_used_ = 0;
    std::size_t block_left_ = 0;
    std::uint64_t key_;
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    mutable std::uint64_t probes_ = 0;
};

} // namespace wutally::report
