// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/record_view.h"

#include "core/base/text_safety.h"
#include "core/view/text_forms.h"

namespace talphex {
namespace {

// Text form of each field: integer, two decimals, general, or the mode name.
enum class Form { kInteger, kTwoDecimals, kGeneral, kMode };

constexpr Form FormOf(int field) {
  switch (field) {
    case 0:
    case 1:
    case 3:
    case 31:
    case 32:
    case 33:
    case 45:
    case 46:
    case 47:
    case 48:
    case 49:
    case 50:
      return Form::kInteger;
    case 2:
      return Form::kMode;
    case 43:
    case 44:
      return Form::kGeneral;
    default:
      return Form::kTwoDecimals;
  }
}

}  // namespace

std::string FieldValueText(int field, double value, char decimal_separator) {
  switch (FormOf(field)) {
    case Form::kInteger:
      return IntegerText(value);
    case Form::kMode:
      return ModeText(value, decimal_separator);
    case Form::kGeneral:
      return GeneralText(value, decimal_separator);
    case Form::kTwoDecimals:
      break;
  }
  return TwoDecimalText(value, decimal_separator);
}

std::string PositionText(const DecoderState& state, int record_number, Kind navigated,
                         bool counted) {
  std::string text = "#";
  text.append(std::to_string(record_number)).append(" / ");
  if (counted) text.append(std::to_string(state.Count(navigated)));
  return text;
}

std::string NotKeptSummary(const DecoderState& state) {
  std::string text;
  std::int64_t last = 0;
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    const std::int64_t not_kept =
        state.Count(kind) - static_cast<std::int64_t>(state.StoredCount(kind));
    if (not_kept <= 0) continue;
    if (!text.empty()) text += " and ";
    text +=
        NumberText(not_kept, Digits::kGrouped) + (kind == Kind::kBeacon ? " beacon" : " payload");
    last = not_kept;
  }
  if (text.empty()) return {};
  // "1 beacon frame", "1 beacon and 1 payload frames"
  text += text.find(" and ") == std::string::npos && last == 1 ? " frame" : " frames";
  return text + " not kept: a store holds " +
         NumberText(static_cast<std::int64_t>(state.store_capacity), Digits::kGrouped);
}

std::string NothingToShowText(const DecoderState& state, std::string_view files) {
  if (state.Count(Kind::kBeacon) > 0) return {};
  if (state.Count(Kind::kPayload) <= 0) {
    return "no TALPHEX or VAVE frames in " + std::string(files);
  }
  return "no beacon frames: choose a VAVE field to see the " +
         NumberText(static_cast<std::int64_t>(state.StoredCount(Kind::kPayload)),
                    Digits::kGrouped) +
         " payload records";
}

std::string TimeSpanText(const DecoderState& state, Kind kind) {
  if (state.Count(kind) <= 0) return {};
  const auto index = static_cast<std::size_t>(kind);
  if (state.earliest_rx_time[index].empty()) return "time span: none";
  return "time span: " + state.earliest_rx_time[index] + " -> " + state.latest_rx_time[index];
}

std::string NotKeptText(Kind kind, std::int64_t counted, std::int64_t kept, std::string_view limit,
                        Digits digits) {
  const std::int64_t not_kept = counted - kept;
  if (not_kept <= 0) return {};
  std::string text = NumberText(not_kept, digits);
  text += kind == Kind::kBeacon ? " beacon frame" : " payload frame";
  if (not_kept != 1) text += 's';
  text.append(" beyond ")
      .append(limit)
      .append(not_kept == 1 ? " was" : " were")
      .append(" not kept");
  return text;
}

RecordView BuildRecordView(const DecoderState& state, int record_number, Kind navigated,
                           char decimal_separator) {
  RecordView view;
  const TelemetryRecord* beacon = state.StoredRecord(Kind::kBeacon, record_number);
  const TelemetryRecord* payload = state.StoredRecord(Kind::kPayload, record_number);
  for (int field = 0; field < kFieldCount; ++field) {
    const TelemetryRecord* record = KindOfField(field) == Kind::kBeacon ? beacon : payload;
    if (record != nullptr) {
      view.values[static_cast<std::size_t>(field)] =
          FieldValueText(field, record->Value[static_cast<std::size_t>(field)], decimal_separator);
    }
  }
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    LampState& state_of_lamp = view.lamps[static_cast<std::size_t>(lamp)];
    if (payload == nullptr) {
      state_of_lamp = LampState::kNoRecord;
      continue;
    }
    const LampInfo info = Lamp(lamp);
    const auto byte = static_cast<long long>(payload->Value[static_cast<std::size_t>(info.slot)]);
    state_of_lamp = (byte & info.mask) != 0 ? LampState::kSet : LampState::kClear;
  }
  const TelemetryRecord* shown = navigated == Kind::kBeacon ? beacon : payload;
  view.time_span = TimeSpanText(state, navigated);
  view.posix_time = "Posix Time: " + (beacon != nullptr ? beacon->TimeText : std::string());
  view.rx_timestamp = "RX Timestamp: " + (shown != nullptr ? shown->RxTime : std::string());
  // Frame texts come from the radio: the report copies them, so no byte of theirs may end a line.
  if (beacon != nullptr) AssignPrintableText(view.beacon_frame, beacon->FrameText);
  if (payload != nullptr) AssignPrintableText(view.payload_frame, payload->FrameText);
  view.position = PositionText(state, record_number, navigated);
  return view;
}

}  // namespace talphex
