// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace talphex {

// A failure that is reported to the user: the message names the file and the reason.
struct Error {
  std::string message;
};

// Value-or-error result of core operations that can fail; the core never throws across its API.
template <typename T>
class [[nodiscard]] Expected {
 public:
  Expected(T value) : data_(std::move(value)) {}      // NOLINT(google-explicit-constructor)
  Expected(Error error) : data_(std::move(error)) {}  // NOLINT(google-explicit-constructor)

  bool ok() const { return std::holds_alternative<T>(data_); }
  explicit operator bool() const { return ok(); }
  const T& value() const { return std::get<T>(data_); }
  T& value() { return std::get<T>(data_); }
  const std::string& error() const { return std::get<Error>(data_).message; }

 private:
  std::variant<T, Error> data_;
};

struct Done {};
using Status = Expected<Done>;

inline Status Ok() { return Done{}; }

}  // namespace talphex
