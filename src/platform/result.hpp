// What an operation that can fail gives back: its value, or the reason it
// has none, as its module's own error enum.
#pragma once

#include <optional>
#include <utility>
#include <variant>

namespace wutally {

template <typename T, typename E> class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    [[nodiscard]] bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    [[nodiscard]] T& value() & { return std::get<0>(state_); }
    [[nodiscard]] const T& value() const& { return std::get<0>(state_); }
    [[nodiscard]] T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T&& operator*() && { return std::move(*this).value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    // Only where there is no value.
    [[nodiscard]] const E& error() const& { return std::get<1>(state_); }
    [[nodiscard]] E error() && { return std::get<1>(std::move(state_)); }

  private:
    std::variant<T, E> state_;
};

// An operation that gives nothing back but may fail.
template <typename E> class [[nodiscard]] Result<void, E> {
  public:
    Result() = default;
    Result(E error) : error_(std::move(error)) {}

    [[nodiscard]] bool has_value() const { return !error_; }
    explicit operator bool() const { return has_value(); }
    [[nodiscard]] const E& error() const& { return *error_; }
    [[nodiscard]] E error() && { return *std::move(error_); }

  private:
    std::optional<E> error_;
};

} // namespace wutally
