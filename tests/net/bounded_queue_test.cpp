// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/bounded_queue.h"

#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace talphex {
namespace {

// Operations on a queue of ints: "+N" pushes N, "<N" puts N back as the oldest, "-" pops.
struct QueueCase {
  const char* name;
  std::size_t capacity;
  std::vector<std::string> operations;
  std::vector<int> popped;     // what the "-" operations took, in order
  std::vector<int> remaining;  // oldest first
  std::int64_t dropped;
};

TEST(BoundedQueue, KeepsTheNewestAndCountsWhatItDrops) {
  const QueueCase cases[] = {
      {"BelowCapacity", 3, {"+1", "+2"}, {}, {1, 2}, 0},
      {"FullDropsOldest", 3, {"+1", "+2", "+3", "+4", "+5"}, {}, {3, 4, 5}, 2},
      {"PopsOldestFirst", 3, {"+1", "+2", "-", "+3", "-"}, {1, 2}, {3}, 0},
      {"PopEmpty", 2, {"-", "+7", "-", "-"}, {7}, {}, 0},
      // A message sent but not acknowledged goes back before the newer ones.
      {"PutBackGoesFirst", 3, {"+1", "+2", "-", "+3", "<1"}, {1}, {1, 2, 3}, 0},
      // In a full queue the message put back is the oldest, so it is the one dropped.
      {"PutBackIntoFull", 2, {"+1", "+2", "<0"}, {}, {1, 2}, 1},
      {"ZeroCapacity", 0, {"+1", "<2", "-"}, {}, {}, 2},
  };
  for (const QueueCase& c : cases) {
    SCOPED_TRACE(c.name);
    BoundedQueue<int> queue(c.capacity);
    std::vector<int> popped;
    for (const std::string& op : c.operations) {
      if (op == "-") {
        if (const auto item = queue.Pop()) popped.push_back(*item);
      } else if (op[0] == '+') {
        queue.Push(std::stoi(op.substr(1)));
      } else {
        queue.PushOldest(std::stoi(op.substr(1)));
      }
      EXPECT_LE(queue.size(), c.capacity);
    }
    EXPECT_EQ(popped, c.popped);
    EXPECT_EQ(queue.dropped(), c.dropped);
    std::vector<int> remaining;
    while (const auto item = queue.Pop()) remaining.push_back(*item);
    EXPECT_EQ(remaining, c.remaining);
    EXPECT_TRUE(queue.empty());
  }
}

}  // namespace
}  // namespace talphex
