// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/capture/frame_facts.h"
#include "core/decode/decoder_state.h"
#include "core/monitor/alarms.h"
#include "core/view/field_catalogue.h"

namespace talphex {

// Records whose receive times lie more than this many seconds apart belong to different passes.
inline constexpr std::int64_t kPassGapSeconds = 600;
// A summary lists at most this many alarms and as many flag changes per pass, and at most this
// many passes (later records join the last one): a capture of noise cannot make it grow without
// end. What was left out is counted.
inline constexpr std::size_t kMaxListedPerPass = 10000;
inline constexpr std::size_t kMaxPasses = 1000;

// A record of a summary: its kind and number (1 for the first of its kind since the reset).
struct RecordRef {
  Kind kind = Kind::kBeacon;
  std::int64_t number = 0;
};

// A receive time as a record carries it: "YYYY-MM-DD hh:mm:ss" and its milliseconds (-1: none).
struct RxTime {
  std::string text;
  int millisecond = -1;
};

// Minimum, maximum, mean and last value of one field over a pass: the first record to reach the
// minimum or the maximum is named. Values that are not finite are left out.
struct FieldStats {
  std::int64_t count = 0;
  double min = 0, max = 0, sum = 0, last = 0;
  RecordRef min_at, max_at, last_at;
  double mean() const { return count > 0 ? sum / static_cast<double>(count) : 0; }
};

// A status flag that differs from the one of the payload record before it.
struct FlagChange {
  int lamp = 0;
  bool from = false;
  bool to = false;
  std::int64_t record = 0;  // a payload record
  RxTime rx_time;
};

struct Pass {
  // The earliest and latest receive time that is a date; empty text while there is none.
  RxTime first_rx_time, last_rx_time;
  std::int64_t first_seconds = 0, last_seconds = 0;
  std::int64_t beacon_frames = 0, payload_frames = 0;
  std::array<std::int64_t, kSkipReasons> skipped{};
  std::array<FieldStats, kFieldCount> fields{};
  std::vector<Alarm> alarms;
  std::vector<FlagChange> flag_changes;
  std::int64_t alarms_left_out = 0;
  std::int64_t flag_changes_left_out = 0;

  bool has_time() const { return !first_rx_time.text.empty(); }
  std::int64_t duration_seconds() const { return last_seconds - first_seconds; }
};

struct PassSummary {
  std::vector<Pass> passes;
  // False for a summary of stored records, whose skipped frames were not counted with them.
  bool skipped_counted = true;
  // More than kMaxPasses passes were met: the later ones joined the last.
  bool passes_merged = false;
};

// Builds a summary as records arrive, in arrival order. A record whose receive time is more than
// kPassGapSeconds from the last receive time met (before or after it) starts a new pass; a record
// without a receive time, or with one that is not a date, joins the pass it arrives in.
class PassSummaryBuilder {
 public:
  // Record `number` of `kind`, with the alarms the judge raised for it.
  void Add(Kind kind, std::int64_t number, const TelemetryRecord& record,
           std::span<const Alarm> alarms = {});
  // A frame skipped for `reason`, counted in the pass open when it was met.
  void Skip(SkipReason reason);

  const PassSummary& summary() const { return summary_; }

 private:
  Pass& CurrentPass();

  PassSummary summary_;
  std::optional<std::int64_t> last_seconds_;
  // The status bytes of the last payload record, for its flags' changes.
  std::optional<std::array<double, kValueSlots - kFieldCount>> last_status_;
};

// Visits the records stored in `state` from record number `first[kind]` of each kind on, both
// stores merged in receive-time order (a beacon record first when the times are equal; a record
// without a time after the record before it in its store), each kind in record order.
using StoredRecordVisitor =
    std::function<void(Kind kind, std::int64_t number, const TelemetryRecord& record)>;
void VisitStoredRecords(const DecoderState& state, std::array<std::int64_t, 2> first,
                        const StoredRecordVisitor& visit);

// The summary of the records stored in `state`, judged against `limits`, visited as above.
PassSummary SummarizeStoredRecords(const DecoderState& state, const Limits& limits);

// The summary as Markdown: a section per pass with its counts, a table of the fields, its alarms
// and its flag changes. UTF-8.
std::string PassSummaryMarkdown(const PassSummary& summary);
// The summary as one JSON object: {"passes": [...]}, UTF-8, every string escaped, null where a
// value is unknown.
std::string PassSummaryJson(const PassSummary& summary);

}  // namespace talphex
