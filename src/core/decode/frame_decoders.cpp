// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/decode/frame_decoders.h"

#include <string_view>

#include "core/base/utc_time.h"
#include "core/decode/field_readers.h"

namespace talphex {
namespace {

// Widens the kind's span by the receive time of the frame in work. Well-formed times
// ("YYYY-MM-DD hh:mm:ss") order as text; any other text may come from the radio and has no place
// in the span, and neither has a frame without a time.
void WidenTimeSpan(DecoderState& state, std::size_t kind_index) {
  const std::string& time = state.RxTimestamp;
  std::string& earliest = state.earliest_rx_time[kind_index];
  std::string& latest = state.latest_rx_time[kind_index];
  // Most frames carry the time of the one before: nothing to parse then.
  if (time == latest || time == earliest || !ParseUtcDateTime(time)) return;
  if (earliest.empty() || time < earliest) earliest.assign(time);
  if (latest.empty() || time > latest) latest.assign(time);
}

// The record that the frame in work goes into, cleared: the next place of the store, or the
// state's spare record for a record sink once the store is full; else nullptr.
TelemetryRecord* NextRecord(DecoderState& state, Kind kind) {
  std::int64_t& count = kind == Kind::kBeacon ? state.BeaconCount : state.PayloadCount;
  ++count;
  const auto kind_index = static_cast<std::size_t>(kind);
  WidenTimeSpan(state, kind_index);
  DecoderState::RecordStore& store = state.Store(kind);
  auto index = static_cast<std::size_t>(count - 1 - state.dropped[kind_index]);
  if (index >= state.store_capacity && state.keep_newest && state.store_capacity > 0) {
    // The oldest record makes room; the records left after a reset move up with the others.
    store.pop_front();
    ++state.dropped[kind_index];
    --index;
  }
  TelemetryRecord* slot = nullptr;
  if (index < state.store_capacity) {
    if (index >= store.size()) store.resize(index + 1);
    slot = &store[index];
  } else if (state.record_sink) {
    slot = &state.unstored_record;
  } else {
    return nullptr;
  }
  TelemetryRecord& record = *slot;
  // assign() keeps the strings' buffers, so refilling a store allocates nothing.
  record.RxTime.assign(state.RxTimestamp);
  record.RxMillisecond = state.RxMillisecond;
  record.TimeText.clear();
  record.Value.fill(0.0);
  record.FrameText.assign(Marker(kind));
  record.FrameText.append(state.BodyText);
  return &record;
}

}  // namespace

void DecodeBeaconFrame(DecoderState& state) {
  TelemetryRecord* record = NextRecord(state, Kind::kBeacon);
  if (record == nullptr) return;
  const FrameByteArray& b = state.FrameBytes;
  auto& v = record->Value;
  const double posix_seconds = ReadUInt32(b, 2);
  record->TimeText = DateTimeText(PosixToDateTime(static_cast<std::int64_t>(posix_seconds)));

  v[0] = ReadUInt16(b, 0);
  v[1] = posix_seconds;
  v[2] = b[6];
  v[3] = ReadUInt16(b, 7);
  v[4] = ReadUInt16(b, 9) * 0.009765;
  for (int slot = 5; slot <= 9; ++slot) {  // SP currents X+, X-, Y+, Z+, Z- at 11 to 19
    v[slot] = (ReadInt16(b, 11 + 2 * (slot - 5)) * 0.000244) * 1000;
  }
  for (int slot = 10; slot <= 15; ++slot) {  // board temperatures at 21 to 31
    v[slot] = ReadUInt16(b, 21 + 2 * (slot - 10)) * 0.49 - 273.15;
  }
  for (int slot = 16; slot <= 20; ++slot) {  // panel temperatures at 33 to 41
    v[slot] = ReadSigned10(b, 33 + 2 * (slot - 16)) * 0.25;
  }
  v[21] = ReadUInt16(b, 43) * 0.009765;
  v[22] = ReadInt16(b, 45) * 0.00025;
  v[23] = ReadInt16(b, 47) * 0.00489;
  v[24] = ReadInt16(b, 49) * 0.00025;
  v[25] = ReadInt16(b, 51) * 0.00025;
  v[26] = ReadInt16(b, 53);
  v[27] = ReadInt16(b, 55) * 0.000244;
  v[28] = ReadInt16(b, 57) * 0.0000651;
  v[29] = ReadInt16(b, 59) * 0.000195;
  v[30] = ReadInt16(b, 61) * 0.0025;
  for (int slot = 31; slot <= 33; ++slot) {  // magnetic field X, Y, Z at 63 to 71
    v[slot] = static_cast<double>(ReadSingle(b, 63 + 4 * (slot - 31)) * 10.0f);
  }
  if (state.record_sink) state.record_sink(Kind::kBeacon, *record);
}

void DecodePayloadFrame(DecoderState& state) {
  TelemetryRecord* record = NextRecord(state, Kind::kPayload);
  if (record == nullptr) return;
  const FrameByteArray& b = state.FrameBytes;
  auto& v = record->Value;
  v[46] = b[0];
  v[45] = b[1];
  v[34] = ReadSigned12(b, 2);
  v[35] = ReadSigned12(b, 4);
  v[36] = ReadVoltage15(b, 6) * 3.5;
  v[48] = b[8];
  v[47] = b[9];
  v[37] = ReadSigned12(b, 10);
  v[38] = ReadInt16(b, 12) * 0.01;
  v[39] = ReadCurrent15(b, 14) / 0.1;
  v[50] = b[16];
  v[49] = b[17];
  v[40] = ReadSigned12(b, 18);
  v[41] = ReadInt16(b, 20) * 0.01;
  v[42] = ReadCurrent15(b, 22) / 0.1;
  v[43] = ReadUInt16(b, 24);
  v[44] = ReadUInt32(b, 26);
  if (state.record_sink) state.record_sink(Kind::kPayload, *record);
}

}  // namespace talphex
