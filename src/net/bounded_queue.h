// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace talphex {

// A queue of at most `capacity` items: a push into a full queue drops the oldest item and counts
// it, so that a sink that cannot deliver holds bounded memory and says what it lost.
template <typename T>
class BoundedQueue {
 public:
  explicit BoundedQueue(std::size_t capacity) : capacity_(capacity) {}

  // Adds the newest item.
  void Push(T item) {
    if (capacity_ == 0) {
      ++dropped_;
      return;
    }
    if (items_.size() == capacity_) Drop();
    items_.push_back(std::move(item));
  }
  // Puts back an item older than every queued one (sent, but never acknowledged); in a full queue
  // it is the oldest, so it is the one dropped.
  void PushOldest(T item) {
    if (items_.size() >= capacity_) {
      ++dropped_;
      return;
    }
    items_.push_front(std::move(item));
  }
  // Takes the oldest item; none when empty.
  std::optional<T> Pop() {
    if (items_.empty()) return std::nullopt;
    std::optional<T> item(std::move(items_.front()));
    items_.pop_front();
    return item;
  }
  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  std::int64_t dropped() const { return dropped_; }

 private:
  void Drop() {
    items_.pop_front();
    ++dropped_;
  }

  std::size_t capacity_;
  std::deque<T> items_;
  std::int64_t dropped_ = 0;
};

}  // namespace talphex
