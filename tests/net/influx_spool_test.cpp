// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/influx_spool.h"

#include <chrono>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

using std::chrono::milliseconds;
using testing::ReadFile;
using testing::WriteFile;

// "p,n=I v=1i I\n" for I from `first` on: distinct lines of one length (for I below 10).
InfluxBatch Points(int first, int count) {
  InfluxBatch batch;
  for (int i = first; i < first + count; ++i) {
    batch.lines += "p,n=" + std::to_string(i) + " v=1i " + std::to_string(i) + "\n";
  }
  batch.points = count;
  return batch;
}

TEST(InfluxBatcher, SealsAtTheLineLimitOrWhenTheFirstLineIsOldEnough) {
  InfluxBatcher batcher(3, milliseconds(1000));
  const auto start = InfluxBatcher::Clock::time_point() + std::chrono::hours(1);
  EXPECT_FALSE(batcher.Deadline());
  for (int i = 0; i < 7; ++i) batcher.Add(Points(i, 1).lines, start + milliseconds(i));
  // Two full batches; the seventh line waits, its deadline a second after it came.
  ASSERT_EQ(batcher.sealed().size(), 2u);
  EXPECT_EQ(batcher.sealed()[0].lines, Points(0, 3).lines);
  EXPECT_EQ(batcher.sealed()[1].lines, Points(3, 3).lines);
  EXPECT_EQ(batcher.points(), 7);
  EXPECT_EQ(batcher.Deadline(), start + milliseconds(1006));
  batcher.Seal(start + milliseconds(1005));
  EXPECT_EQ(batcher.sealed().size(), 2u);
  batcher.Seal(start + milliseconds(1006));
  ASSERT_EQ(batcher.sealed().size(), 3u);
  EXPECT_EQ(batcher.sealed()[2].lines, Points(6, 1).lines);
  EXPECT_FALSE(batcher.Deadline());
  EXPECT_EQ(batcher.sealed_bytes(), Points(0, 7).lines.size());
  EXPECT_EQ(batcher.TakeSealed().size(), 3u);
  EXPECT_EQ(batcher.points(), 0);
  EXPECT_EQ(batcher.sealed_bytes(), 0u);
}

// Takes every batch of the spool, oldest first.
std::vector<InfluxBatch> Drain(InfluxSpool& spool) {
  std::vector<InfluxBatch> batches;
  while (auto front = spool.Front()) {
    batches.push_back(front->second);
    spool.Pop(front->first);
  }
  return batches;
}

TEST(InfluxSpool, KeepsOrderJoinsSmallBatchesAndEmptiesTheFileWhenDrained) {
  const testing::TempDir dir;
  InfluxSpool spool(dir.File("spool.lp"), 1 << 20, 4);
  ASSERT_TRUE(spool.Open().ok());
  for (const auto& [first, count] : {std::pair{0, 1}, {1, 2}, {3, 2}, {5, 4}}) {
    EXPECT_EQ(spool.Append(Points(first, count)), "");
  }
  EXPECT_EQ(spool.points(), 9);
  EXPECT_EQ(ReadFile(dir.File("spool.lp")), Points(0, 9).lines);
  // 1 + 2 fit a batch of 4; 2 more would not.
  const std::vector<InfluxBatch> batches = Drain(spool);
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0].lines, Points(0, 3).lines);
  EXPECT_EQ(batches[0].points, 3);
  EXPECT_EQ(batches[1].lines, Points(3, 2).lines);
  EXPECT_EQ(batches[2].lines, Points(5, 4).lines);
  EXPECT_TRUE(spool.empty());
  EXPECT_EQ(ReadFile(dir.File("spool.lp")), "");
}

// Regression guard: a batch being sent must not grow, nor be removed when it was dropped
// meanwhile.
// The batch being sent is on its way: when the spool fills meanwhile, the oldest behind it go,
// so that a point is never counted both sent and dropped, and nothing dropped is kept in the file
// for the next run.
TEST(InfluxSpool, ABatchBeingSentIsClosedAndNeverDropped) {
  const testing::TempDir dir;
  InfluxSpool spool(dir.File("spool.lp"), 3 * Points(0, 1).lines.size(), 2);
  ASSERT_TRUE(spool.Open().ok());
  EXPECT_EQ(spool.Append(Points(0, 1)), "");
  const auto sending = spool.Front();
  ASSERT_TRUE(sending);
  EXPECT_EQ(spool.Append(Points(1, 1)), "");
  EXPECT_EQ(spool.Front()->second.lines, Points(0, 1).lines);
  // Two more fill the spool beyond its three lines: point 1, behind the batch being sent, goes.
  EXPECT_EQ(spool.Append(Points(2, 2)), "");
  EXPECT_EQ(spool.dropped(), 1);
  EXPECT_EQ(spool.points(), 3);
  spool.Pop(sending->first);
  EXPECT_EQ(spool.points(), 2);
  spool.Compact();
  EXPECT_EQ(ReadFile(dir.File("spool.lp")), Points(2, 2).lines);
  EXPECT_EQ(Drain(spool)[0].lines, Points(2, 2).lines);
}

TEST(InfluxSpool, DropsTheOldestBeyondItsLimitAndCountsThem) {
  const testing::TempDir dir;
  const std::size_t line = Points(0, 1).lines.size();
  InfluxSpool spool(dir.File("spool.lp"), 5 * line, 2);
  ASSERT_TRUE(spool.Open().ok());
  for (int i = 0; i < 9; ++i) EXPECT_EQ(spool.Append(Points(i, 1)), "");
  // Batches of two: 0-1, 2-3, 4-5 dropped whole until at most five lines wait.
  EXPECT_EQ(spool.dropped(), 4);
  EXPECT_EQ(spool.points(), 5);
  EXPECT_LE(spool.bytes(), 5 * line);
  spool.Compact();
  EXPECT_EQ(ReadFile(dir.File("spool.lp")), Points(4, 5).lines);
  EXPECT_EQ(Drain(spool)[0].lines, Points(4, 2).lines);
}

TEST(InfluxSpool, TakesWhatAnEarlierRunLeftInBatches) {
  const testing::TempDir dir;
  // A crash cut the last line short: it is ended, and sent like the others.
  WriteFile(dir.File("spool.lp"), Points(0, 5).lines + "p,n=5 v=");
  InfluxSpool spool(dir.File("spool.lp"), 1 << 20, 2);
  ASSERT_TRUE(spool.Open().ok());
  EXPECT_EQ(spool.points(), 6);
  const std::vector<InfluxBatch> batches = Drain(spool);
  ASSERT_EQ(batches.size(), 3u);
  EXPECT_EQ(batches[0].lines, Points(0, 2).lines);
  EXPECT_EQ(batches[2].lines, Points(4, 1).lines + "p,n=5 v=\n");
  EXPECT_EQ(batches[2].points, 2);
}

TEST(InfluxSpool, OneRunAtATimeAndErrorsNameTheFile) {
  const testing::TempDir dir;
  InfluxSpool first(dir.File("spool.lp"), 1 << 20, 2);
  ASSERT_TRUE(first.Open().ok());
  InfluxSpool second(dir.File("spool.lp"), 1 << 20, 2);
  const Status taken = second.Open();
  ASSERT_FALSE(taken.ok());
  EXPECT_EQ(taken.error().kind, ErrorKind::kWriteFailed);
  EXPECT_EQ(taken.error().message, dir.File("spool.lp") + ": another run is using this spool");
  InfluxSpool missing(dir.File("none/spool.lp"), 1 << 20, 2);
  const Status opened = missing.Open();
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error().message, dir.File("none/spool.lp") + ": No such file or directory");
}

}  // namespace
}  // namespace talphex
