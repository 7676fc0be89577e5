#include "sim/coroutine.hpp"

#include <cstdint>
#include <stdexcept>
#include <ucontext.h>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define WUTALLY_ASAN_FIBERS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WUTALLY_ASAN_FIBERS 1
#endif
#endif

#ifdef WUTALLY_ASAN_FIBERS
#include <sanitizer/common_interface_defs.h>
#endif

namespace wutally::sim {

namespace {

// Enough for a run of the program: its buffers live on the heap.
constexpr std::size_t stack_size = std::size_t{512} * 1024;

// Stacks are kept for the next coroutine rather than given back, as a
// simulation makes hundreds of thousands of them.
std::vector<std::vector<char>>& spare_stacks() {
    static std::vector<std::vector<char>> spare; // NOLINT: a test's own pool
    return spare;
}

} // namespace

struct Coroutine::Context {
    ucontext_t context{};
    void* fake_stack = nullptr;
    const void* stack_bottom = nullptr;
    std::size_t stack_size = 0;
};

Coroutine::Coroutine(std::function<void()> body)
    : body_(std::move(body)), own_(std::make_unique<Context>()),
      caller_(std::make_unique<Context>()) {
    if (!spare_stacks().empty()) {
        stack_ = std::move(spare_stacks().back());
        spare_stacks().pop_back();
    } else {
        stack_.resize(stack_size);
    }
    if (::getcontext(&own_->context) != 0) {
        throw std::runtime_error("getcontext failed");
    }
    own_->context.uc_stack.ss_sp = stack_.data();
    own_->context.uc_stack.ss_size = stack_.size();
    own_->context.uc_link = nullptr;
    own_->stack_bottom = stack_.data();
    own_->stack_size = stack_.size();
    const auto self = reinterpret_cast<std::uintptr_t>(this);
    // makecontext passes only ints.
    ::makecontext(&own_->context, reinterpret_cast<void (*)()>(&Coroutine::enter), 2,
                  static_cast<unsigned>(self >> 32U), static_cast<unsigned>(self & 0xFFFFFFFFU));
}

Coroutine::~Coroutine() {
    spare_stacks().push_back(std::move(stack_));
}

void Coroutine::enter(unsigned high, unsigned low) {
    auto* self = reinterpret_cast<Coroutine*>((std::uintptr_t{high} << 32U) | low);
#ifdef WUTALLY_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(nullptr, &self->caller_->stack_bottom,
                                    &self->caller_->stack_size);
#endif
    try {
        self->body_();
    } catch (...) {
        self->failure_ = std::current_exception();
    }
    self->done_ = true;
    self->switch_to(*self->own_, *self->caller_, true);
}

void Coroutine::switch_to(Context& from, Context& to, bool leaving) {
#ifdef WUTALLY_ASAN_FIBERS
    __sanitizer_start_switch_fiber(leaving ? nullptr : &from.fake_stack, to.stack_bottom,
                                   to.stack_size);
#else
    (void)leaving;
#endif
    ::swapcontext(&from.context, &to.context);
#ifdef WUTALLY_ASAN_FIBERS
    __sanitizer_finish_switch_fiber(from.fake_stack, &to.stack_bottom, &to.stack_size);
#endif
}

void Coroutine::resume() {
    if (done_) {
        return;
    }
    inside_ = true;
    switch_to(*caller_, *own_, false);
    inside_ = false;
    if (failure_) {
        std::rethrow_exception(std::exchange(failure_, nullptr));
    }
}

void Coroutine::yield() {
    switch_to(*own_, *caller_, false);
}

} // namespace wutally::sim
