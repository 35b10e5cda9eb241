// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace talphex {

// A 64-bit hash of all the bytes of a frame: each 8-byte word is folded in through a bijective
// mix (the SplitMix64 finaliser), after the length and a key, so two frames of one length that
// differ in a single word never collide, and frames that differ only by trailing zero bytes differ
// by length. Frames that differ more collide as two random 64-bit values do.
std::uint64_t FrameHash(std::string_view bytes, std::uint64_t key);
// The same with a key drawn at random once a run. Anyone can transmit a frame, and whoever knows
// the key can work a frame out whose hash equals that of a frame still to come, which would then
// be taken for a repeat and skipped; a key that changes every run cannot be known.
std::uint64_t FrameHash(std::string_view bytes);

// The frames seen most recently, at most `capacity` of them, each kept as its hash and the line it
// was first seen on, so that a repeat within the window is found in fixed memory whatever the
// input: 24 bytes a frame plus an index of 8 bytes a frame (2 MiB for 65,536 frames), taken on
// first use. Seeing a frame again makes it the most recent; the least recently seen is forgotten
// when a new one needs room. A distinct frame is taken for a repeat only when its hash equals one
// of the window's: at most capacity / 2^64 per frame, 3.6e-15 for 65,536.
class RecentFrames {
 public:
  static constexpr std::size_t kDefaultCapacity = 65536;

  RecentFrames() : RecentFrames(kDefaultCapacity) {}
  // A capacity below 1 is taken as 1.
  explicit RecentFrames(std::size_t capacity);

  // For a frame in the window: marks it seen now and returns the line it was first seen on.
  // Otherwise remembers it with `line` and returns nothing.
  std::optional<std::uint64_t> See(std::string_view frame, std::uint64_t line) {
    return SeeHash(FrameHash(frame), line);
  }
  // The same by the hash itself.
  std::optional<std::uint64_t> SeeHash(std::uint64_t hash, std::uint64_t line);

  // Forgets every frame; the memory is kept for the next load.
  void Clear();
  std::size_t size() const { return slots_.size(); }
  std::size_t capacity() const { return capacity_; }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;
  struct Slot {
    std::uint64_t hash;
    std::uint64_t line;
    std::uint32_t newer;  // towards the most recently seen; kNone for it
    std::uint32_t older;  // towards the least recently seen; kNone for it
  };

  // The index position holding slot `slot`'s hash, or the empty position where it would go.
  std::size_t Find(std::uint64_t hash) const;
  void EraseAt(std::size_t position);
  void Unlink(std::uint32_t slot);
  void LinkNewest(std::uint32_t slot);

  std::size_t capacity_;
  std::vector<Slot> slots_;
  // Open addressing with linear probing: slot number + 1, or 0 for an empty position. Twice the
  // capacity or more, a power of two, so probes stay short.
  std::vector<std::uint32_t> index_;
  std::size_t mask_ = 0;
  std::uint32_t newest_ = kNone;
  std::uint32_t oldest_ = kNone;
};

}  // namespace talphex
