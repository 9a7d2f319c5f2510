#pragma once

#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

namespace velk {

// The error side of a Result, as std::unexpected spells it: `return Unexpected(reason);`.
template <typename E>
class Unexpected {
 public:
  explicit Unexpected(E error) : error_(std::move(error)) {}
  E& error() & { return error_; }
  const E& error() const& { return error_; }
  E&& error() && { return std::move(error_); }

 private:
  E error_;
};

template <typename E>
Unexpected(E) -> Unexpected<E>;

// Thrown by value() on a Result that holds an error: a caller that did not look first.
class BadResultAccess : public std::logic_error {
 public:
  BadResultAccess() : std::logic_error("value() of a Result that holds an error") {}
};

// A value, or why there is none. The members are std::expected's (C++23), so the type can
// give way to it once every compiler that builds the project has it.
template <typename T, typename E>
class [[nodiscard]] Result {
 public:
  using value_type = T;
  using error_type = E;

  Result() requires std::is_default_constructible_v<T> : held_(std::in_place_index<0>) {}
  template <typename U = T>
  requires std::is_constructible_v<T, U&&> &&(!std::is_same_v<std::remove_cvref_t<U>, Result>)&&(
      !std::is_same_v<std::remove_cvref_t<U>, Unexpected<E>>)Result(U&& value)
      : held_(std::in_place_index<0>, std::forward<U>(value)) {}
  template <typename G>
  Result(Unexpected<G> error) : held_(std::in_place_index<1>, std::move(error).error()) {}

  bool has_value() const { return held_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { return Checked(*this); }
  const T& value() const& { return Checked(*this); }
  T&& value() && { return std::move(Checked(*this)); }
  T& operator*() & { return std::get<0>(held_); }
  const T& operator*() const& { return std::get<0>(held_); }
  T&& operator*() && { return std::get<0>(std::move(held_)); }
  T* operator->() { return &std::get<0>(held_); }
  const T* operator->() const { return &std::get<0>(held_); }
  template <typename U>
  T value_or(U&& otherwise) const& {
    return has_value() ? std::get<0>(held_) : static_cast<T>(std::forward<U>(otherwise));
  }

  E& error() & { return std::get<1>(held_); }
  const E& error() const& { return std::get<1>(held_); }
  E&& error() && { return std::get<1>(std::move(held_)); }

 private:
  template <typename Self>
  static auto& Checked(Self& self) {
    if (!self.has_value()) throw BadResultAccess();
    return std::get<0>(self.held_);
  }

  std::variant<T, E> held_;
};

// Success with nothing to carry, or why not.
template <typename E>
class [[nodiscard]] Result<void, E> {
 public:
  using value_type = void;
  using error_type = E;

  Result() = default;
  template <typename G>
  Result(Unexpected<G> error) : error_(std::in_place_index<1>, std::move(error).error()) {}

  bool has_value() const { return error_.index() == 0; }
  explicit operator bool() const { return has_value(); }
  void value() const {
    if (!has_value()) throw BadResultAccess();
  }

  E& error() & { return std::get<1>(error_); }
  const E& error() const& { return std::get<1>(error_); }
  E&& error() && { return std::get<1>(std::move(error_)); }

 private:
  std::variant<std::monostate, E> error_;
};

}  // namespace velk
