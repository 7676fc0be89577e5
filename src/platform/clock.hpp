// Time for waiting and for dating rows: the real one, or one a test sets.
#pragma once

#include <chrono>

namespace wutally::platform {

class Clock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;

    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    virtual ~Clock() = default;

    virtual TimePoint now() = 0;
    virtual void sleep_for(std::chrono::milliseconds duration) = 0;
    // The time of day, as the machine's clock shows it: the time a row is
    // dated with.
    virtual std::chrono::system_clock::time_point wall_now() = 0;
};

// The steady clock and a real sleep.
class SteadyClock final : public Clock {
  public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
    void sleep_for(std::chrono::milliseconds duration) override;
    std::chrono::system_clock::time_point wall_now() override {
        return std::chrono::system_clock::now();
    }
};

} // namespace wutally::platform
