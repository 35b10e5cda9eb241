// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/recent_frames.h"

#include <algorithm>
#include <cstring>
#include <random>

namespace talphex {
namespace {

// Slot numbers and positions are 32-bit.
constexpr std::size_t kMaxCapacity = std::size_t{1} << 30;

std::uint64_t Mix(std::uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9;
  x ^= x >> 27;
  x *= 0x94D049BB133111EB;
  return x ^ (x >> 31);
}

}  // namespace

std::uint64_t FrameHash(std::string_view bytes) {
  static const std::uint64_t key = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
  }();
  return FrameHash(bytes, key);
}

std::uint64_t FrameHash(std::string_view bytes, std::uint64_t key) {
  std::uint64_t hash = Mix(Mix(0x9E3779B97F4A7C15 ^ key) ^ bytes.size());
  std::size_t at = 0;
  for (; at + 8 <= bytes.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + at, 8);
    hash = Mix(hash ^ word);
  }
  if (at < bytes.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + at, bytes.size() - at);
    hash = Mix(hash ^ word);
  }
  return hash;
}

RecentFrames::RecentFrames(std::size_t capacity)
    : capacity_(std::clamp<std::size_t>(capacity, 1, kMaxCapacity)) {}

std::optional<std::uint64_t> RecentFrames::SeeHash(std::uint64_t hash, std::uint64_t line) {
  if (index_.empty()) {
    std::size_t positions = 2;
    while (positions < 2 * capacity_) positions *= 2;
    index_.assign(positions, 0);
    mask_ = positions - 1;
    slots_.reserve(capacity_);
  }
  std::size_t position = Find(hash);
  if (index_[position] != 0) {
    const std::uint32_t slot = index_[position] - 1;
    Unlink(slot);
    LinkNewest(slot);
    return slots_[slot].line;
  }
  std::uint32_t slot;
  if (slots_.size() < capacity_) {
    slot = static_cast<std::uint32_t>(slots_.size());
    slots_.push_back({});
  } else {
    slot = oldest_;
    Unlink(slot);
    EraseAt(Find(slots_[slot].hash));
    // Erasing may have moved the empty position the new hash was to take.
    position = Find(hash);
  }
  slots_[slot].hash = hash;
  slots_[slot].line = line;
  LinkNewest(slot);
  index_[position] = slot + 1;
  return std::nullopt;
}

void RecentFrames::Clear() {
  slots_.clear();
  std::fill(index_.begin(), index_.end(), 0);
  newest_ = oldest_ = kNone;
}

std::size_t RecentFrames::Find(std::uint64_t hash) const {
  std::size_t position = hash & mask_;
  while (index_[position] != 0 && slots_[index_[position] - 1].hash != hash) {
    position = (position + 1) & mask_;
  }
  return position;
}

// Backward-shift deletion: each entry after the hole that may sit there moves up, so that every
// probe still meets its hash before an empty position.
void RecentFrames::EraseAt(std::size_t position) {
  std::size_t hole = position;
  for (std::size_t next = (hole + 1) & mask_; index_[next] != 0; next = (next + 1) & mask_) {
    const std::size_t home = slots_[index_[next] - 1].hash & mask_;
    if (((next - home) & mask_) >= ((next - hole) & mask_)) {
      index_[hole] = index_[next];
      hole = next;
    }
  }
  index_[hole] = 0;
}

void RecentFrames::Unlink(std::uint32_t slot) {
  Slot& s = slots_[slot];
  (s.newer == kNone ? newest_ : slots_[s.newer].older) = s.older;
  (s.older == kNone ? oldest_ : slots_[s.older].newer) = s.newer;
}

void RecentFrames::LinkNewest(std::uint32_t slot) {
  slots_[slot].newer = kNone;
  slots_[slot].older = newest_;
  (newest_ == kNone ? oldest_ : slots_[newest_].newer) = slot;
  newest_ = slot;
}

}  // namespace talphex
