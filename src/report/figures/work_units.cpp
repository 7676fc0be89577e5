#include "report/figures/work_units.hpp"

namespace wutally::report {

std::uint32_t VersionIds::id_of(std::string_view text) {
    if (last_ != nullptr && text == last_->first) {
        return last_->second;
    }
    auto found = ids_.find(text);
    if (found == ids_.end()) {
        found = ids_.emplace(std::string(text), static_cast<std::uint32_t>(texts_.size())).first;
        texts_.push_back(found->first);
    }
    last_ = &*found;
    return found->second;
}

} // namespace wutally::report
