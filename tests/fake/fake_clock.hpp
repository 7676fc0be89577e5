// A clock that moves only when the code under test sleeps.
#pragma once

#include "platform/clock.hpp"

#include <chrono>
#include <functional>
#include <vector>

namespace wutally::fake {

class FakeClock final : public platform::Clock {
  public:
    TimePoint now() override { return start_ + elapsed_; }
    void sleep_for(std::chrono::milliseconds duration) override {
        pauses_.push_back(duration);
        elapsed_ += duration;
        if (after_sleep) {
            after_sleep(elapsed_);
        }
    }
    // From 2026-12-09 12:00:00 UTC, as the in-memory files count.
    std::chrono::system_clock::time_point wall_now() override {
        return std::chrono::system_clock::time_point(std::chrono::seconds{1796817600} + elapsed_);
    }
    [[nodiscard]] std::chrono::milliseconds elapsed() const { return elapsed_; }
    [[nodiscard]] const std::vector<std::chrono::milliseconds>& pauses() const { return pauses_; }

    // Called with the time slept so far after each sleep.
    std::function<void(std::chrono::milliseconds)> after_sleep;

  private:
    TimePoint start_{};
    std::chrono::milliseconds elapsed_{0};
    std::vector<std::chrono::milliseconds> pauses_;
};

} // namespace wutally::fake
