// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "core/decode/decoder_state.h"
#include "core/view/field_catalogue.h"
#include "core/view/text_forms.h"

namespace talphex {

enum class LampState { kNoRecord, kSet, kClear };

// Everything the window shows for one record number. The report is written from the same texts.
struct RecordView {
  std::array<std::string, kFieldCount> values;  // Text1(0..44)
  std::array<LampState, kLampCount> lamps{};    // Shape1(0..47)
  std::string time_span;                        // Label3
  std::string posix_time;                       // Label4
  std::string rx_timestamp;                     // Label10
  std::string beacon_frame;                     // Text3, as PrintableText shows it
  std::string payload_frame;                    // Text6, as PrintableText shows it
  std::string position;                         // Text2
};

// The view of record `record_number` (1-based) of both kinds. A kind without a stored record at
// that number shows empty texts and unlit lamps. The shared lines follow the navigated kind.
RecordView BuildRecordView(const DecoderState& state, int record_number, Kind navigated,
                           char decimal_separator = '.');

// Text of a value of field 0 to 50 as the record view shows it: integer, two decimals, general
// text or mode name by field; the status bytes 45 to 50 as integers. Empty for a value that is not
// finite.
std::string FieldValueText(int field, double value, char decimal_separator = '.');

// "#n / count" of the navigation; "#n / " with an empty count before the first open command
// (`counted` false).
std::string PositionText(const DecoderState& state, int record_number, Kind navigated,
                         bool counted = true);

// "time span: earliest -> latest" receive time of a kind's frames, "time span: none" when none
// has a well-formed one; empty while the kind has no frames.
std::string TimeSpanText(const DecoderState& state, Kind kind);

// "n beacon frames beyond LIMIT were not kept" for the frames of a kind counted but not kept;
// empty when every one was kept.
std::string NotKeptText(Kind kind, std::int64_t counted, std::int64_t kept, std::string_view limit,
                        Digits digits = Digits::kPlain);

// The frames not kept of both kinds in one short sentence that fits the status line:
// "531,480 beacon and 531,480 payload frames not kept: a store holds 1000", its numbers in the
// grouped digits of the status line. Empty when every frame was stored.
std::string NotKeptSummary(const DecoderState& state);

// What the status line says after an open command that gave nothing to show for the beacon
// fields: "no TALPHEX or VAVE frames in FILES" when neither kind has a frame, "no beacon frames:
// choose a VAVE field to see the N payload records" when only payload records came; else empty.
std::string NothingToShowText(const DecoderState& state, std::string_view files);

}  // namespace talphex
