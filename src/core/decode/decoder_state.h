// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/recent_frames.h"
#include "core/decode/telemetry_record.h"

namespace talphex {

// Everything the loader, the decoders, the record view and the exports share. The window or the
// command-line tool owns one and passes it by reference.
struct DecoderState {
  // A deque, so that a live store that keeps the newest records drops its oldest in constant time.
  using RecordStore = std::deque<TelemetryRecord>;
  RecordStore BeaconStore;
  RecordStore PayloadStore;
  // Frames decoded since the last reset; they go on counting past the store capacity.
  std::int64_t BeaconCount = 0;
  std::int64_t PayloadCount = 0;
  std::size_t store_capacity = kStoreCapacity;
  // A full store keeps its first records (a file's rule) or, when set, drops its oldest record
  // for each new one (a live station's rule, so that it never shows stale values).
  bool keep_newest = false;
  // Records of each kind dropped from the front of a store that keeps the newest; record number
  // `dropped[kind] + 1` is the first one stored.
  std::array<std::int64_t, 2> dropped{};
  // Earliest and latest well-formed receive time among the frames of each kind counted since the
  // last reset (empty while none had one), kept apart from the stores so that the span is known
  // even for frames that were not stored.
  std::array<std::string, 2> earliest_rx_time;
  std::array<std::string, 2> latest_rx_time;

  // Receives every record as it is decoded, stored or not: exports written while the input is
  // read. A record past the store's capacity is built in `unstored_record`.
  std::function<void(Kind kind, const TelemetryRecord& record)> record_sink;
  TelemetryRecord unstored_record;

  // The capture of each record: every capture read since the last reset, with the counts of
  // both kinds before its first frame.
  struct SourceStart {
    std::array<std::int64_t, 2> counts_before;
    std::string name;
  };
  std::vector<SourceStart> sources;
  // The most recent frames of SatNOGS exports read since the last reset, so that a frame heard
  // by several stations decodes once; kept all when asked. Exports list a frame's copies close
  // together, so a window of recent frames finds them in fixed memory.
  RecentFrames seen_frames;
  bool keep_duplicate_frames = false;

  std::string InputFilePath;
  // Last timestamp part met since start; never reset, so it carries over between files.
  std::string RxTimestamp;
  // The milliseconds of RxTimestamp (0 to 999), for the analysis exports; -1 when its source has
  // none. RxTimestamp itself stays whole seconds, as the capture's CSV and report show it.
  int RxMillisecond = -1;
  std::string BodyText;
  std::vector<std::uint8_t> BodyBytes;
  // Body of the frame in work; bytes past the body read as 0.
  std::array<std::uint8_t, kFrameBytesSize> FrameBytes{};

  RecordStore& Store(Kind kind) { return kind == Kind::kBeacon ? BeaconStore : PayloadStore; }
  const RecordStore& Store(Kind kind) const {
    return kind == Kind::kBeacon ? BeaconStore : PayloadStore;
  }
  std::int64_t Count(Kind kind) const { return kind == Kind::kBeacon ? BeaconCount : PayloadCount; }
  std::int64_t Dropped(Kind kind) const { return dropped[static_cast<std::size_t>(kind)]; }
  // Records of a kind that are stored and may be read: Store(kind)[0] to [StoredCount - 1], record
  // numbers FirstStored to FirstStored + StoredCount - 1.
  std::size_t StoredCount(Kind kind) const;
  std::int64_t FirstStored(Kind kind) const { return Dropped(kind) + 1; }
  // The stored record with number `number` (1 for the first counted since the reset); nullptr
  // when it was dropped, not kept or not counted yet.
  const TelemetryRecord* StoredRecord(Kind kind, std::int64_t number) const;

  // What an open command does before it loads: counts to 0, stored records and sources forgotten.
  void ResetCounts();
  // The frames counted from now on come from the capture `name`.
  void BeginSource(std::string name);
  // The capture of record `number` (1 for the first) of a kind; empty when none was begun.
  std::string_view SourceOf(Kind kind, std::int64_t number) const;
};

}  // namespace talphex
