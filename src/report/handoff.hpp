// Hands items from one thread to another through a few places, so that a
// fast producer waits rather than fills memory.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace wutally::report {

template <class Item> class Handoff {
  public:
    explicit Handoff(std::size_t places) : places_(places) {}

    // Waits for a free place; false, with the item dropped, once the
    // consumer has given up.
    bool push(Item item) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return items_.size() < places_ || abandoned_; });
        if (abandoned_) {
            return false;
        }
        items_.push_back(std::move(item));
        changed_.notify_all();
        return true;
    }

    // The next item, waiting for one; none once the producer has finished
    // and every item has been taken.
    std::optional<Item> pop() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !items_.empty() || finished_; });
        if (items_.empty()) {
            return std::nullopt;
        }
        Item item = std::move(items_.front());
        items_.pop_front();
        changed_.notify_all();
        return item;
    }

    void finish() {
        const std::lock_guard lock(mutex_);
        finished_ = true;
        changed_.notify_all();
    }

    // The consumer takes no more: a waiting producer is let go.
    void abandon() {
        const std::lock_guard lock(mutex_);
        abandoned_ = true;
        changed_.notify_all();
    }

  private:
    std::size_t places_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> items_;
    bool finished_ = false;
    bool abandoned_ = false;
};

} // namespace wutally::report
