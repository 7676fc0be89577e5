// A body of code that runs on a stack of its own and hands control back at
// points it chooses, so that one thread can interleave several runs of the
// program exactly as a scheduler decides, the same way every time.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace wutally::sim {

class Coroutine {
  public:
    explicit Coroutine(std::function<void()> body);
    ~Coroutine();
    Coroutine(const Coroutine&) = delete;
    Coroutine& operator=(const Coroutine&) = delete;

    // Runs the body until it yields or ends; rethrows what it threw.
    void resume();
    // From inside the body: back to the code that resumed it.
    void yield();
    [[nodiscard]] bool done() const { return done_; }

  private:
    struct Context;
    static void enter(unsigned high, unsigned low);
    void switch_to(Context& from, Context& to, bool leaving);

    std::function<void()> body_;
    std::unique_ptr<Context> own_;
    std::unique_ptr<Context> caller_;
    std::vector<char> stack_;
    std::exception_ptr failure_;
    bool done_ = false;
    bool inside_ = false;
};

} // namespace wutally::sim
