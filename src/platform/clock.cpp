#include "platform/clock.hpp"

#include <thread>

namespace wutally::platform {

void SteadyClock::sleep_for(std::chrono::milliseconds duration) {
    std::this_thread::sleep_for(duration);
}

} // namespace wutally::platform
