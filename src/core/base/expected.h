// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <utility>
#include <variant>

#include "core/base/error.h"

namespace talphex {

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
  const Error& error() const { return std::get<Error>(data_); }

 private:
  std::variant<T, Error> data_;
};

struct Done {};
using Status = Expected<Done>;

inline Status Ok() { return Done{}; }

}  // namespace talphex
