#include "log/share_clock.hpp"

namespace wutally::log {

Result<std::chrono::nanoseconds, platform::FileError> share_time(platform::FileSystem& files,
                                                                 const std::string& probe) {
    if (auto made = files.create_new(probe); !made) {
        return made.error();
    }
    const auto state = files.state_of(probe);
    (void)files.remove(probe);
    if (!state) {
        return state.error();
    }
    return state->changed;
}

} // namespace wutally::log
