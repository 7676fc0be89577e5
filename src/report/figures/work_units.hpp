// What the figures keep of each work unit while the logs are read.
#pragma once

#include "report/figures/log_time.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wutally::report {

inline constexpr std::uint32_t no_version = UINT32_MAX;

struct Unit {
    Stamp date;
    double cpu_s;          // NaN when "cpu" is not a plausible CPU time
    std::uint32_t version; // an index into the versions seen, or no_version
    std::uint32_t log;
};

// The versions seen, each with its index, the last one looked up first: rows
// of one version come in long runs.
class VersionIds {
  public:
    std::uint32_t id_of(std::string_view text);
    [[nodiscard]] const std::vector<std::string_view>& texts() const { return texts_; }

  private:
    std::map<std::string, std::uint32_t, std::less<>> ids_;
    std::vector<std::string_view> texts_; // the map's keys, by index
    const std::pair<const std::string, std::uint32_t>* last_ = nullptr;
};

} // namespace wutally::report
