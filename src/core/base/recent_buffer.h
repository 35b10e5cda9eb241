// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talphex {

// The newest entries of a long stream, each a small fixed-size row with some bytes: at most
// `max_entries` of them, and no more than `max_bytes` bytes in all, whatever the input.
// Entries live in blocks that share one byte buffer, so an entry costs its row, its bytes and
// eight bytes of bookkeeping, and no allocation of its own.
template <typename Row>
class RecentBuffer {
 public:
  RecentBuffer(std::size_t max_entries, std::size_t max_bytes)
      : max_entries_(max_entries), max_bytes_(max_bytes) {}
  RecentBuffer(const RecentBuffer&) = default;
  RecentBuffer& operator=(const RecentBuffer&) = default;
  // A buffer moved from is empty.
  RecentBuffer(RecentBuffer&& other) noexcept
      : max_entries_(other.max_entries_), max_bytes_(other.max_bytes_) {
    *this = std::move(other);
  }
  RecentBuffer& operator=(RecentBuffer&& other) noexcept {
    if (this == &other) return *this;
    max_entries_ = other.max_entries_;
    max_bytes_ = other.max_bytes_;
    blocks_ = std::move(other.blocks_);
    first_ = std::exchange(other.first_, 0);
    size_ = std::exchange(other.size_, 0);
    held_bytes_ = std::exchange(other.held_bytes_, 0);
    dropped_ = std::exchange(other.dropped_, 0);
    other.blocks_.clear();
    return *this;
  }

  // How many of the oldest entries an Add of `bytes` bytes pushes out; or `count` Adds of
  // `bytes` in all, for a batch within the limits by itself.
  std::size_t DropsFor(std::size_t bytes, std::size_t count = 1) const {
    if (max_entries_ == 0) return 0;
    bytes = std::min(bytes, max_bytes_);
    std::size_t drops = 0;
    std::size_t held = held_bytes_;
    while (drops < size_ && (size_ - drops + count > max_entries_ || held + bytes > max_bytes_)) {
      held -= Size(drops);
      ++drops;
    }
    return drops;
  }

  // Adds an entry, pushing out the oldest as needed; bytes beyond `max_bytes` are not kept.
  void Add(const Row& row, std::string_view bytes) {
    if (max_entries_ == 0) return;
    if (bytes.size() > max_bytes_) bytes = bytes.substr(0, max_bytes_);
    DropOldest(DropsFor(bytes.size()));
    if (blocks_.empty() || blocks_.back().entries.size() == kBlockEntries) {
      if (!blocks_.empty()) blocks_.back().bytes.shrink_to_fit();
      blocks_.emplace_back();
      blocks_.back().entries.reserve(kBlockEntries);
    }
    Block& block = blocks_.back();
    block.entries.push_back({row, static_cast<std::uint32_t>(block.bytes.size()),
                             static_cast<std::uint32_t>(bytes.size())});
    block.bytes.append(bytes);
    held_bytes_ += bytes.size();
    ++size_;
  }

  void DropOldest(std::size_t count) {
    for (std::size_t i = 0; i < count && size_ > 0; ++i) {
      held_bytes_ -= Size(0);
      --size_;
      ++dropped_;
      if (++first_ == blocks_.front().entries.size() && blocks_.size() > 1) {
        blocks_.pop_front();
        first_ = 0;
      }
    }
    if (size_ == 0) {
      blocks_.clear();
      first_ = 0;
    }
  }

  void Clear() {
    blocks_.clear();
    first_ = 0;
    size_ = 0;
    held_bytes_ = 0;
    dropped_ = 0;
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  // Entry `index`, 0 for the oldest kept.
  const Row& row(std::size_t index) const { return At(index).row; }
  std::string_view bytes(std::size_t index) const {
    const std::size_t at = first_ + index;
    const Block& block = blocks_[at / kBlockEntries];
    const Entry& entry = block.entries[at % kBlockEntries];
    return std::string_view(block.bytes).substr(entry.begin, entry.size);
  }
  // Entries that came but were pushed out by newer ones.
  std::uint64_t dropped() const { return dropped_; }
  std::size_t max_entries() const { return max_entries_; }

 private:
  static constexpr std::size_t kBlockEntries = 4096;
  struct Entry {
    Row row;
    std::uint32_t begin;
    std::uint32_t size;
  };
  struct Block {
    std::vector<Entry> entries;
    std::string bytes;
  };

  const Entry& At(std::size_t index) const {
    const std::size_t at = first_ + index;
    return blocks_[at / kBlockEntries].entries[at % kBlockEntries];
  }
  std::size_t Size(std::size_t index) const { return At(index).size; }

  std::size_t max_entries_;
  std::size_t max_bytes_;
  std::deque<Block> blocks_;
  std::size_t first_ = 0;  // entries of the front block already pushed out
  std::size_t size_ = 0;
  std::size_t held_bytes_ = 0;
  std::uint64_t dropped_ = 0;
};

}  // namespace talphex
