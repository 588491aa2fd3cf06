#pragma once
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace orbelune {

// Why something failed, in words fit to show the user (file names and the
// system's reason included).
struct Error {
  std::string message;
};

// How library code reports failure: a value, or the reason there is none.
// A Result<void> is an action that either happened or says why not. The reason
// is an Error unless the caller needs to tell reasons apart (number parsing
// reports an enum), in which case E is that small type. Exceptions stay inside
// the command-line parsing of the hosts.
template <typename T, typename E = Error>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(E error) : v_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }
  // Only when ok().
  T& value() { return std::get<0>(v_); }
  const T& value() const { return std::get<0>(v_); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  // Only when !ok().
  const E& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, E> v_;
};

template <typename E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  Result(E error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  // Only when !ok().
  const E& error() const { return *error_; }

 private:
  std::optional<E> error_;
};

}  // namespace orbelune
