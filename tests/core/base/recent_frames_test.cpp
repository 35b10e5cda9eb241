// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/recent_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <list>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace talphex {
namespace {

using namespace std::string_view_literals;

// Frame n of each case is seen on line n + 1; it is a repeat when its first line is not 0.
TEST(RecentFrames, RepeatsWithinTheWindowAreFound) {
  struct Case {
    const char* name;
    std::size_t capacity;
    std::vector<std::string_view> frames;
    std::vector<std::uint64_t> first_lines;
  };
  const Case kCases[] = {
      {"a repeat inside the window, with the line first seen",
       3,
       {"a", "b", "a", "a"},
       {0, 0, 1, 1}},
      {"a repeat beyond the window is new, and taken with its new line",
       3,
       {"a", "b", "c", "d", "a", "a"},
       {0, 0, 0, 0, 0, 5}},
      {"the least recently seen goes first",
       3,
       {"a", "b", "c", "d", "e", "c", "e", "d", "b", "c", "b"},
       {0, 0, 0, 0, 0, 3, 5, 4, 0, 0, 9}},
      {"seeing a frame again keeps it",
       3,
       {"a", "b", "c", "a", "d", "a", "e", "a", "b"},
       {0, 0, 0, 1, 0, 1, 0, 1, 0}},
      {"a window of one", 1, {"a", "a", "b", "a"}, {0, 1, 0, 0}},
      {"a window of none holds one", 0, {"a", "a"}, {0, 1}},
      {"every byte counts, past the first eight and up to the last",
       8,
       {"12345678abcdefgh+", "12345678abcdefgh-", "12345678abcdefgX+", "12345678", "12345678\0"sv,
        "", "\0"sv, "12345678abcdefgh+", "12345678\0"sv, ""},
       {0, 0, 0, 0, 0, 0, 0, 1, 5, 6}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.frames.size(), c.first_lines.size());
    RecentFrames recent(c.capacity);
    for (std::size_t n = 0; n < c.frames.size(); ++n) {
      const std::optional<std::uint64_t> first = recent.See(c.frames[n], n + 1);
      EXPECT_EQ(first.value_or(0), c.first_lines[n]) << "line " << n + 1;
    }
    EXPECT_LE(recent.size(), std::max<std::size_t>(c.capacity, 1));
  }
}

TEST(RecentFrames, ClearForgetsEveryFrame) {
  RecentFrames recent(4);
  for (std::uint64_t line = 1; line <= 6; ++line) (void)recent.See(std::to_string(line), line);
  EXPECT_EQ(recent.size(), 4u);
  recent.Clear();
  EXPECT_EQ(recent.size(), 0u);
  for (std::uint64_t line = 1; line <= 6; ++line) {
    EXPECT_FALSE(recent.See(std::to_string(line), 10 + line)) << line;
  }
  EXPECT_EQ(recent.See("6", 20), 16u);
}

// Against a plain list kept in order of recency, over hashes that share their low bits, so that
// probes run long and erasing shifts entries: every answer and the size agree.
TEST(RecentFrames, AgreesWithAListInOrderOfRecency) {
  for (const std::size_t capacity : {std::size_t{1}, std::size_t{7}, std::size_t{64}}) {
    SCOPED_TRACE(capacity);
    std::mt19937_64 random(capacity);
    RecentFrames recent(capacity);
    std::list<std::pair<std::uint64_t, std::uint64_t>> model;  // most recent first
    for (std::uint64_t line = 1; line <= 100000; ++line) {
      // Low bits of sixteen values, half at each end of the index, so that many hashes aim at
      // one position and runs of probes wrap around.
      const std::uint64_t key = random() % (capacity * 3 + 2);
      const std::uint64_t hash = key << 32 | (key % 2 == 0 ? key % 8 : 0xFFFFFFFF - key % 8);
      const auto found = std::find_if(model.begin(), model.end(),
                                      [hash](const auto& entry) { return entry.first == hash; });
      std::optional<std::uint64_t> expected;
      if (found != model.end()) {
        expected = found->second;
        model.splice(model.begin(), model, found);
      } else {
        model.emplace_front(hash, line);
        if (model.size() > capacity) model.pop_back();
      }
      ASSERT_EQ(recent.SeeHash(hash, line), expected) << "line " << line;
      ASSERT_EQ(recent.size(), model.size());
    }
  }
}

// Flipping any one bit of a frame, or cutting it anywhere, gives a hash of its own; the bytes past
// the frame's end take no part.
TEST(RecentFrames, HashTakesEveryByteOfTheFrame) {
  std::mt19937 random(7);
  std::string buffer(200, '\0');
  for (char& byte : buffer) byte = static_cast<char>(random());
  const std::string_view frame = std::string_view(buffer).substr(0, 125);
  std::set<std::uint64_t> hashes;
  for (std::size_t bit = 0; bit < frame.size() * 8; ++bit) {
    std::string flipped(frame);
    flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
    hashes.insert(FrameHash(flipped));
  }
  for (std::size_t size = 0; size <= frame.size(); ++size) {
    hashes.insert(FrameHash(frame.substr(0, size)));
  }
  EXPECT_EQ(hashes.size(), frame.size() * 8 + frame.size() + 1);
  std::string copy(frame);
  copy.append(75, 'x');
  EXPECT_EQ(FrameHash(std::string_view(copy).substr(0, frame.size())), FrameHash(frame));
}

// The key takes part in every hash, so that a frame crafted to collide under one key does not
// under the run's; and the run's key is not a fixed one.
TEST(RecentFrames, HashDependsOnTheKey) {
  std::mt19937 random(11);
  for (std::size_t size : {0, 1, 8, 125}) {
    std::string frame(size, '\0');
    for (char& byte : frame) byte = static_cast<char>(random());
    std::set<std::uint64_t> hashes;
    for (std::uint64_t key = 0; key < 64; ++key) hashes.insert(FrameHash(frame, key));
    EXPECT_EQ(hashes.size(), 64U) << size << " bytes";
    EXPECT_EQ(hashes.count(FrameHash(frame)), 0U) << size << " bytes";
  }
}

}  // namespace
}  // namespace talphex
