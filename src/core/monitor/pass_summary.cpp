// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/monitor/pass_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/base/utc_time.h"
#include "core/export/analysis_exports.h"
#include "core/view/text_forms.h"

namespace talphex {
namespace {

constexpr std::array<const char*, kSkipReasons> kSkipKeys = {"body_not_decoded", "body_too_long",
                                                             "part_too_long"};

using StatusBytes = std::array<double, kValueSlots - kFieldCount>;

StatusBytes StatusOf(const TelemetryRecord& record) {
  StatusBytes status{};
  for (std::size_t i = 0; i < status.size(); ++i) status[i] = record.Value[kFieldCount + i];
  return status;
}

bool FlagOf(const StatusBytes& status, int lamp) {
  const LampInfo info = Lamp(lamp);
  return (static_cast<int>(status[static_cast<std::size_t>(info.slot - kFieldCount)]) &
          info.mask) != 0;
}

void Include(FieldStats& stats, double value, RecordRef at) {
  if (!std::isfinite(value)) return;
  if (stats.count == 0 || value < stats.min) {
    stats.min = value;
    stats.min_at = at;
  }
  if (stats.count == 0 || value > stats.max) {
    stats.max = value;
    stats.max_at = at;
  }
  ++stats.count;
  stats.sum += value;
  stats.last = value;
  stats.last_at = at;
}

const std::string& FieldColumn(int field) {
  return AnalysisColumns()[kAnalysisLeadColumns + static_cast<std::size_t>(field)];
}

std::string NumberText(double value) { return GeneralText(value, '.'); }

std::string JsonNumber(double value) {
  return std::isfinite(value) ? GeneralText(value, '.') : "null";
}

std::string JsonTime(const RxTime& time) {
  const std::string iso = IsoUtcTime(time.text, time.millisecond);
  return iso.empty() ? "null" : JsonString(iso);
}

// A Markdown table cell: "|" would end the cell, a line end the table.
std::string MarkdownCell(std::string_view text) {
  std::string cell;
  for (const char c : text) {
    if (c == '|' || c == '\\') cell.push_back('\\');
    cell.push_back(c == '\n' || c == '\r' ? ' ' : c);
  }
  return cell;
}

std::string MarkdownTime(const RxTime& time) {
  const std::string iso = IsoUtcTime(time.text, time.millisecond);
  return iso.empty() ? "-" : iso;
}

std::string SkippedText(const Pass& pass) {
  std::int64_t total = 0;
  std::string reasons;
  for (std::size_t r = 0; r < kSkipReasons; ++r) {
    if (pass.skipped[r] == 0) continue;
    total += pass.skipped[r];
    reasons += (reasons.empty() ? " (" : ", ") + std::to_string(pass.skipped[r]) + " " +
               SkipReasonText(static_cast<SkipReason>(r));
  }
  return std::to_string(total) + (reasons.empty() ? "" : reasons + ")");
}

}  // namespace

Pass& PassSummaryBuilder::CurrentPass() {
  if (summary_.passes.empty()) summary_.passes.emplace_back();
  return summary_.passes.back();
}

void PassSummaryBuilder::Add(Kind kind, std::int64_t number, const TelemetryRecord& record,
                             std::span<const Alarm> alarms) {
  const std::optional<std::int64_t> seconds = ParseUtcDateTime(record.RxTime);
  if (seconds && last_seconds_ && std::llabs(*seconds - *last_seconds_) > kPassGapSeconds &&
      !summary_.passes.empty()) {
    if (summary_.passes.size() < kMaxPasses) {
      summary_.passes.emplace_back();
    } else {
      summary_.passes_merged = true;
    }
  }
  Pass& pass = CurrentPass();
  if (seconds) {
    last_seconds_ = seconds;
    const RxTime time{record.RxTime, record.RxMillisecond};
    if (!pass.has_time() || *seconds < pass.first_seconds) {
      pass.first_rx_time = time;
      pass.first_seconds = *seconds;
    }
    if (pass.last_rx_time.text.empty() || *seconds >= pass.last_seconds) {
      pass.last_rx_time = time;
      pass.last_seconds = *seconds;
    }
  }
  ++(kind == Kind::kBeacon ? pass.beacon_frames : pass.payload_frames);
  const RecordRef at{kind, number};
  for (int field = 0; field < kFieldCount; ++field) {
    if (KindOfField(field) != kind) continue;
    Include(pass.fields[static_cast<std::size_t>(field)],
            record.Value[static_cast<std::size_t>(field)], at);
  }
  for (const Alarm& alarm : alarms) {
    if (pass.alarms.size() < kMaxListedPerPass) {
      pass.alarms.push_back(alarm);
    } else {
      ++pass.alarms_left_out;
    }
  }
  if (kind != Kind::kPayload) return;
  const StatusBytes status = StatusOf(record);
  if (last_status_) {
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
      const bool from = FlagOf(*last_status_, lamp);
      const bool to = FlagOf(status, lamp);
      if (from == to) continue;
      if (pass.flag_changes.size() < kMaxListedPerPass) {
        pass.flag_changes.push_back(
            {lamp, from, to, number, {record.RxTime, record.RxMillisecond}});
      } else {
        ++pass.flag_changes_left_out;
      }
    }
  }
  last_status_ = status;
}

void PassSummaryBuilder::Skip(SkipReason reason) {
  ++CurrentPass().skipped[static_cast<std::size_t>(reason)];
}

void VisitStoredRecords(const DecoderState& state, std::array<std::int64_t, 2> first,
                        const StoredRecordVisitor& visit) {
  // Index into each store of the next record to visit, and the store's end.
  std::array<std::size_t, 2> next{};
  std::array<std::size_t, 2> end{};
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    const auto k = static_cast<std::size_t>(kind);
    next[k] =
        static_cast<std::size_t>(std::max<std::int64_t>(first[k] - state.FirstStored(kind), 0));
    end[k] = state.StoredCount(kind);
  }
  // Milliseconds since 1970 of a record's receive time; nothing when it is not a date.
  const auto time_of = [](const TelemetryRecord& record) -> std::optional<std::int64_t> {
    const std::optional<std::int64_t> seconds = ParseUtcDateTime(record.RxTime);
    if (!seconds) return std::nullopt;
    return *seconds * 1000 + (record.RxMillisecond > 0 ? record.RxMillisecond : 0);
  };
  std::size_t& beacon = next[0];
  std::size_t& payload = next[1];
  while (beacon < end[0] || payload < end[1]) {
    bool take_beacon = payload >= end[1];
    if (beacon < end[0] && payload < end[1]) {
      const std::optional<std::int64_t> b = time_of(state.BeaconStore[beacon]);
      const std::optional<std::int64_t> p = time_of(state.PayloadStore[payload]);
      take_beacon = !(b && p && *p < *b);
    }
    const Kind kind = take_beacon ? Kind::kBeacon : Kind::kPayload;
    std::size_t& index = take_beacon ? beacon : payload;
    const TelemetryRecord& record = state.Store(kind)[index];
    const std::int64_t number = state.FirstStored(kind) + static_cast<std::int64_t>(index);
    ++index;
    visit(kind, number, record);
  }
}

PassSummary SummarizeStoredRecords(const DecoderState& state, const Limits& limits) {
  PassSummaryBuilder builder;
  LimitJudge judge(limits);
  std::vector<Alarm> alarms;
  VisitStoredRecords(state, {state.FirstStored(Kind::kBeacon), state.FirstStored(Kind::kPayload)},
                     [&](Kind kind, std::int64_t number, const TelemetryRecord& record) {
                       alarms.clear();
                       judge.Judge(kind, number, record, alarms);
                       builder.Add(kind, number, record, alarms);
                     });
  PassSummary summary = builder.summary();
  summary.skipped_counted = false;
  for (Pass& pass : summary.passes) pass.skipped = {};
  return summary;
}

std::string PassSummaryMarkdown(const PassSummary& summary) {
  std::string out = "# Pass summary\n";
  if (summary.passes.empty()) return out + "\nNo records.\n";
  if (summary.passes_merged) {
    out += "\nMore than " + std::to_string(kMaxPasses) +
           " passes: the records after the last one listed joined it.\n";
  }
  int index = 0;
  for (const Pass& pass : summary.passes) {
    out += "\n## Pass " + std::to_string(++index) + "\n\n";
    out += "| | |\n|---|---|\n";
    out += "| First receive time (UTC) | " + MarkdownTime(pass.first_rx_time) + " |\n";
    out += "| Last receive time (UTC) | " + MarkdownTime(pass.last_rx_time) + " |\n";
    out += "| Duration | " +
           (pass.has_time() ? std::to_string(pass.duration_seconds()) + " s" : std::string("-")) +
           " |\n";
    out += "| Beacon frames | " + std::to_string(pass.beacon_frames) + " |\n";
    out += "| Payload frames | " + std::to_string(pass.payload_frames) + " |\n";
    out += "| Frames skipped | " +
           (summary.skipped_counted ? SkippedText(pass) : std::string("not counted")) + " |\n";

    out += "\n### Fields\n\n";
    out += "| Field | Values | Minimum | Record | Maximum | Record | Mean | Last | Record |\n";
    out += "|---|--:|--:|---|--:|---|--:|--:|---|\n";
    for (int field = 0; field < kFieldCount; ++field) {
      const FieldStats& stats = pass.fields[static_cast<std::size_t>(field)];
      out += "| " + MarkdownCell(FieldColumn(field)) + " | " + std::to_string(stats.count) + " | ";
      if (stats.count == 0) {
        out += "- | | - | | - | - | |\n";
        continue;
      }
      const auto ref = [](const RecordRef& at) {
        return std::string(KindName(at.kind)) + " " + std::to_string(at.number);
      };
      out += NumberText(stats.min) + " | " + ref(stats.min_at) + " | " + NumberText(stats.max) +
             " | " + ref(stats.max_at) + " | " + NumberText(stats.mean()) + " | " +
             NumberText(stats.last) + " | " + ref(stats.last_at) + " |\n";
    }

    out += "\n### Alarms\n\n";
    if (pass.alarms.empty()) {
      out += "None.\n";
    } else {
      out += "| Time (UTC) | Record | Field or flag | Value | From | To |\n";
      out += "|---|---|---|--:|---|---|\n";
      for (const Alarm& alarm : pass.alarms) {
        out += "| " + MarkdownTime({alarm.rx_time, alarm.rx_millisecond}) + " | " +
               std::string(KindName(alarm.kind)) + " " + std::to_string(alarm.record) + " | " +
               MarkdownCell(AlarmSubject(alarm)) + " | " + AlarmValueText(alarm) + " | " +
               std::string(LevelName(alarm.from)) + " | " + std::string(LevelName(alarm.to)) +
               " |\n";
      }
    }
    if (pass.alarms_left_out > 0) {
      out += "\n" + std::to_string(pass.alarms_left_out) + " more alarms not listed.\n";
    }

    out += "\n### Flag changes\n\n";
    if (pass.flag_changes.empty()) {
      out += "None.\n";
    } else {
      out += "| Time (UTC) | Record | Flag | From | To |\n|---|---|---|--:|--:|\n";
      for (const FlagChange& change : pass.flag_changes) {
        out += "| " + MarkdownTime(change.rx_time) + " | payload " + std::to_string(change.record) +
               " | " + MarkdownCell(FlagLimitName(change.lamp)) + " | " +
               (change.from ? "1" : "0") + " | " + (change.to ? "1" : "0") + " |\n";
      }
    }
    if (pass.flag_changes_left_out > 0) {
      out += "\n" + std::to_string(pass.flag_changes_left_out) + " more flag changes not listed.\n";
    }
  }
  return out;
}

std::string PassSummaryJson(const PassSummary& summary) {
  std::string out = "{\"passes\":[";
  bool first_pass = true;
  for (const Pass& pass : summary.passes) {
    if (!first_pass) out += ",";
    first_pass = false;
    out += "\n{\"first_rx_time_utc\":" + JsonTime(pass.first_rx_time);
    out += ",\"last_rx_time_utc\":" + JsonTime(pass.last_rx_time);
    out += ",\"duration_s\":" +
           (pass.has_time() ? std::to_string(pass.duration_seconds()) : std::string("null"));
    out += ",\"beacon_frames\":" + std::to_string(pass.beacon_frames);
    out += ",\"payload_frames\":" + std::to_string(pass.payload_frames);
    out += ",\"skipped_frames\":";
    if (summary.skipped_counted) {
      out += "{";
      for (std::size_t r = 0; r < kSkipReasons; ++r) {
        out += (r > 0 ? ",\"" : "\"") + std::string(kSkipKeys[r]) +
               "\":" + std::to_string(pass.skipped[r]);
      }
      out += "}";
    } else {
      out += "null";
    }
    out += ",\n\"fields\":[";
    for (int field = 0; field < kFieldCount; ++field) {
      const FieldStats& stats = pass.fields[static_cast<std::size_t>(field)];
      const bool any = stats.count > 0;
      const auto number = [any](double value) { return any ? JsonNumber(value) : "null"; };
      const auto record = [any](const RecordRef& at) {
        return any ? std::to_string(at.number) : "null";
      };
      out += field > 0 ? ",\n" : "\n";
      out += "{\"field\":" + JsonString(FieldColumn(field));
      out += ",\"kind\":\"" + std::string(KindName(KindOfField(field))) + "\"";
      out += ",\"values\":" + std::to_string(stats.count);
      out += ",\"min\":" + number(stats.min) + ",\"min_record\":" + record(stats.min_at);
      out += ",\"max\":" + number(stats.max) + ",\"max_record\":" + record(stats.max_at);
      out += ",\"mean\":" + number(stats.mean());
      out += ",\"last\":" + number(stats.last) + ",\"last_record\":" + record(stats.last_at) + "}";
    }
    out += "],\n\"alarms\":[";
    for (std::size_t i = 0; i < pass.alarms.size(); ++i) {
      const Alarm& alarm = pass.alarms[i];
      out += i > 0 ? ",\n" : "\n";
      out += "{\"rx_time_utc\":" + JsonTime({alarm.rx_time, alarm.rx_millisecond});
      out += ",\"record\":" + std::to_string(alarm.record);
      out += ",\"kind\":\"" + std::string(KindName(alarm.kind)) + "\"";
      out +=
          std::string(alarm.flag ? ",\"flag\":" : ",\"field\":") + JsonString(AlarmSubject(alarm));
      out += ",\"value\":" + (alarm.flag ? AlarmValueText(alarm) : JsonNumber(alarm.value));
      out += ",\"from\":\"" + std::string(LevelName(alarm.from)) + "\"";
      out += ",\"to\":\"" + std::string(LevelName(alarm.to)) + "\"}";
    }
    out += "],\"alarms_left_out\":" + std::to_string(pass.alarms_left_out);
    out += ",\n\"flag_changes\":[";
    for (std::size_t i = 0; i < pass.flag_changes.size(); ++i) {
      const FlagChange& change = pass.flag_changes[i];
      out += i > 0 ? ",\n" : "\n";
      out += "{\"rx_time_utc\":" + JsonTime(change.rx_time);
      out += ",\"record\":" + std::to_string(change.record);
      out += ",\"flag\":" + JsonString(FlagLimitName(change.lamp));
      out += std::string(",\"from\":") + (change.from ? "1" : "0");
      out += std::string(",\"to\":") + (change.to ? "1" : "0") + "}";
    }
    out += "],\"flag_changes_left_out\":" + std::to_string(pass.flag_changes_left_out) + "}";
  }
  out += "],\n\"passes_merged\":" + std::string(summary.passes_merged ? "true" : "false") + "}\n";
  return out;
}

}  // namespace talphex
