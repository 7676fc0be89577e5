// Two pieces of work at the same time, on two threads.
#pragma once

#include <exception>
#include <system_error>
#include <thread>
#include <utility>

namespace wutally::platform {

// Runs `second` on a second thread while `first` runs on this one, and
// returns once both are done; where no thread can be started, runs `second`
// after `first`. Running out of memory on the second thread is carried to
// this one.
template <class First, class Second> void run_side_by_side(First&& first, Second&& second) {
    std::exception_ptr failure;
    const auto guarded = [&] {
        try {
            second();
        } catch (...) {
            failure = std::current_exception();
        }
    };
    {
        std::jthread thread; // joined on every way out of this block
        try {
            thread = std::jthread(guarded);
        } catch (const std::system_error&) {
            // No thread to be had: the work is done in turn instead.
        }
        first();
        if (!thread.joinable()) {
            guarded();
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace wutally::platform
