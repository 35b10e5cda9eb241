// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/status_texts.h"

#include <gtest/gtest.h>

#include <vector>

#include "testkit/test_support.h"

namespace talphex {
namespace {

// Five digits and more are grouped in the window, never in the command-line summaries; four
// digits stay together so that a store of 1000 and a count of 1000 read alike.
TEST(StatusTexts, NumbersGroupFromFiveDigits) {
  const std::tuple<std::int64_t, const char*, const char*> kCases[] = {
      {0, "0", "0"},
      {9999, "9999", "9999"},
      {10000, "10000", "10,000"},
      {37258, "37258", "37,258"},
      {-10000, "-10000", "-10,000"},
      {1234567, "1234567", "1,234,567"},
  };
  for (const auto& [value, plain, grouped] : kCases) {
    EXPECT_EQ(NumberText(value, Digits::kPlain), plain);
    EXPECT_EQ(NumberText(value, Digits::kGrouped), grouped);
  }
  EXPECT_EQ(CountText(1, "frame", Digits::kGrouped), "1 frame");
  EXPECT_EQ(CountText(0, "frame", Digits::kGrouped), "0 frames");
}

// The words both front ends say for the link; the retry counts down a second at a time from the
// rounded wait (the first text is the command-line tool's, byte for byte) and never says 0.
TEST(StatusTexts, LinkStatesAndTheRetryCountdown) {
  using Phase = LinkState::Phase;
  const LinkState lost{Phase::kRetrying, "tnc:8001", "closed by the TNC", 2400};
  const std::tuple<LinkState, std::int64_t, const char*> kCases[] = {
      {{}, 0, "disconnected"},
      {{.phase = Phase::kConnecting, .where = "[::1]:8001"}, 0, "connecting to [::1]:8001"},
      {{.phase = Phase::kConnected, .where = "tnc:8001"}, 5000, "connected to tnc:8001"},
      {lost, 0, "connection lost: closed by the TNC, retrying in 2 s"},
      {lost, 999, "connection lost: closed by the TNC, retrying in 2 s"},
      {lost, 1000, "connection lost: closed by the TNC, retrying in 1 s"},
      {lost, 2399, "connection lost: closed by the TNC, retrying in 1 s"},
      {lost, 9000, "connection lost: closed by the TNC, retrying in 1 s"},
      {{Phase::kRetrying, "h:1", "Connection refused", 1250},
       0,
       "connection lost: Connection refused, retrying in 1 s"},
      {{Phase::kRetrying, "h:1", "x", 2500}, 0, "connection lost: x, retrying in 3 s"},
      {{Phase::kRetrying, "h:1", "x", 37500}, 29999, "connection lost: x, retrying in 9 s"},
  };
  for (const auto& [link, elapsed, text] : kCases) {
    EXPECT_EQ(LinkStateText(link, elapsed), text) << elapsed;
  }
  EXPECT_EQ(CutOffLogLine(30), "-- connection lost, a frame cut off after 30 bytes dropped");
}

// Regression: "last frame N s ago" went 40, 41, 43, 43 on a free-running one-second timer whose
// ticks, a little late or early, fell on either side of the last frame's second. Ticks aimed by
// MsToNextSecond show every second once, however late each tick comes (up to half a second).
TEST(StatusTexts, TicksAimedAtTheNextSecondShowEverySecondOnce) {
  for (const std::int64_t lateness_ms : {0, 1, 17, 499}) {
    for (const std::int64_t start_ms : {0, 1, 500, 999}) {
      std::int64_t elapsed = start_ms;
      std::vector<std::int64_t> shown;
      while (shown.size() < 8) {
        elapsed += MsToNextSecond(elapsed) + (shown.size() % 2 == 0 ? lateness_ms : 0);
        shown.push_back(elapsed / 1000);
      }
      const std::vector<std::int64_t> expected{1, 2, 3, 4, 5, 6, 7, 8};
      EXPECT_EQ(shown, expected) << "start " << start_ms << ", late " << lateness_ms;
    }
  }
  EXPECT_EQ(MsToNextSecond(-250), 250);  // a clock stepped back waits for the event's time
}

// The live status line names every skip reason with its count, says the time since the last
// frame only while the link is active, and groups all its numbers alike.
TEST(StatusTexts, LiveStatusLine) {
  LoadResult counts;
  counts.beacon_frames = 12345;
  counts.payload_frames = 1;
  LoadResult skipping;
  skipping.skipped_by_reason[static_cast<std::size_t>(SkipReason::kPartTooLong)] = 1;
  skipping.skipped_by_reason[static_cast<std::size_t>(SkipReason::kBodyNotDecoded)] = 10000;
  const std::tuple<LiveStatus, const char*> kCases[] = {
      {{.link = "connecting to h:1", .active = true}, ""},
      {{.link = "connected to h:1", .counts = &skipping, .active = true},
       "connected to h:1; 0 beacon frames, 0 payload frames since connecting; no frame yet; "
       "skipped: 10,000 body does not decode, 1 KISS frame longer than 65536 bytes"},
      {{.link = "connected to h:1",
        .counts = &counts,
        .active = true,
        .since_last_frame_ms = 41999},
       "connected to h:1; 12,345 beacon frames, 1 payload frame since connecting; last frame 41 "
       "s ago"},
      {{.link = "connection lost: x, retrying in 4 s",
        .counts = &counts,
        .active = true,
        .since_last_frame_ms = 123456789},
       "connection lost: x, retrying in 4 s; 12,345 beacon frames, 1 payload frame since "
       "connecting; last frame 123,456 s ago"},
      {{.link = "disconnected", .counts = &counts, .since_last_frame_ms = 5000},
       "disconnected; 12,345 beacon frames, 1 payload frame since connecting"},
      {{.link = "connected to h:1",
        .counts = &counts,
        .active = true,
        .since_last_frame_ms = 0,
        .dropped = "oldest 11,345 beacon records dropped (not recorded)"},
       "connected to h:1; 12,345 beacon frames, 1 payload frame since connecting; oldest 11,345 "
       "beacon records dropped (not recorded); last frame 0 s ago"},
  };
  for (const auto& [status, text] : kCases) EXPECT_EQ(LiveStatusText(status), text);
}

// A recording is named while it runs; a refused one says why, and the line says so.
TEST(StatusTexts, LiveStatusNamesTheRecording) {
  testing::TempDir dir;
  CaptureRecorder recording;
  ASSERT_TRUE(recording.Open(dir.File("pass.kss")).ok());
  CaptureRecorder refused;
  ASSERT_FALSE(refused.Open(dir.File("missing/pass.kss")).ok());
  const LoadResult counts;
  EXPECT_EQ(LiveStatusText({.link = "disconnected", .counts = &counts, .recorder = &recording}),
            "disconnected; 0 beacon frames, 0 payload frames since connecting; recording to " +
                dir.File("pass.kss"));
  const std::string failed =
      LiveStatusText({.link = "disconnected", .counts = &counts, .recorder = &refused});
  EXPECT_EQ(failed.rfind("; recording failed: " + dir.File("missing/pass.kss") + ": "),
            failed.find("; recording failed: "))
      << failed;
  CaptureRecorder none;
  EXPECT_EQ(RecordingText(none), "");
}

// A state that counted `beacons` and `payloads` frames and stored at most `capacity` of each.
DecoderState Filled(std::int64_t beacons, std::int64_t payloads, std::size_t capacity = 1000) {
  DecoderState state;
  state.store_capacity = capacity;
  state.BeaconCount = beacons;
  state.PayloadCount = payloads;
  state.BeaconStore.resize(std::min(static_cast<std::size_t>(beacons), capacity));
  state.PayloadStore.resize(std::min(static_cast<std::size_t>(payloads), capacity));
  return state;
}

LoadResult Result(std::string path) {
  LoadResult result;
  result.path = std::move(path);
  return result;
}

struct OpenCase {
  const char* name;
  std::vector<LoadResult> results;
  bool cancelled;
  DecoderState state;
  std::vector<std::string> brief;
  std::vector<std::string> full;
};

// What the window's status line says after an open command, in short and in full.
TEST(StatusTexts, OpenCommandSentences) {
  LoadResult skips = Result("/d/a.kss");
  skips.skipped_frames = 12000;
  skips.duplicate_frames = 1;
  skips.malformed_lines = 2;
  LoadResult unrecognised = Result("/d/notes.txt");
  unrecognised.unrecognised = true;
  LoadResult failed = Result("/d/gone.kss");
  failed.error = PathError(ErrorKind::kReadFailed, "/d/gone.kss", "Input/output error");
  const std::vector<OpenCase> kCases = {
      {"regression: the cancel said \"37258 frames; 17,629 beacon\"",
       {Result("/d/big.kss")},
       true,
       Filled(18629, 18629),
       {"loading cancelled after 37,258 frames",
        "17,629 beacon and 17,629 payload frames not kept: a store holds 1000"},
       {"loading cancelled after 37,258 frames",
        "17,629 beacon frames beyond the 1000 records a store keeps were not kept",
        "17,629 payload frames beyond the 1000 records a store keeps were not kept"}},
      {"a live-sized store is grouped like its counts",
       {Result("/d/big.kss")},
       false,
       Filled(10001, 0, 10000),
       {"1 beacon frame not kept: a store holds 10,000"},
       {"1 beacon frame beyond the 10,000 records a store keeps was not kept"}},
      {"every problem of every file, in order",
       {skips, unrecognised, failed},
       false,
       Filled(3, 0),
       {"/d/a.kss: 12,000 frames could not be decoded (listed on the debug page)",
        "/d/a.kss: 1 duplicate frame skipped",
        "/d/a.kss: 2 malformed lines skipped (listed on the debug page)",
        "/d/notes.txt: no KISS frames and no SatNOGS lines", failed.error->message},
       {}},
      {"nothing to show, said only when nothing else is",
       {Result("/d/a.kss"), Result("/d/b.kss")},
       false,
       Filled(0, 0),
       {"no TALPHEX or VAVE frames in /d/a.kss, /d/b.kss"},
       {}},
      {"a good load says nothing", {Result("/d/a.kss")}, false, Filled(5, 5), {}, {}},
  };
  for (const OpenCase& c : kCases) {
    SCOPED_TRACE(c.name);
    const OpenStatus status = OpenCommandStatus(c.results, c.cancelled, c.state);
    EXPECT_EQ(status.brief, c.brief);
    EXPECT_EQ(status.full, c.full.empty() ? c.brief : c.full);
  }
}

}  // namespace
}  // namespace talphex
