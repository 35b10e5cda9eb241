// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace talphex {

inline constexpr int kValueSlots = 51;
inline constexpr int kFrameBytesSize = 513;
// Records a store keeps in the window; the command-line tool may choose another capacity.
inline constexpr std::size_t kStoreCapacity = 1000;
inline constexpr std::size_t kUnlimitedRecords = static_cast<std::size_t>(-1);

inline constexpr int kBeaconBodySize = 75;
inline constexpr int kPayloadBodySize = 30;

// One decoded frame. Beacon records fill value slots 0 to 33, payload records 34 to 50.
struct TelemetryRecord {
  std::string RxTime;      // receive timestamp text of the capture, copied as it stands
  int RxMillisecond = -1;  // 0 to 999 when the receive time's source has them, else -1
  std::string TimeText;    // on-board time as date-time text (beacon records only)
  std::array<double, kValueSlots> Value{};
  std::string FrameText;  // marker followed by the frame's body text
};

enum class Kind { kBeacon, kPayload };

// The text that marks a frame of each kind; its body follows the first occurrence.
inline constexpr std::string_view kBeaconMarker = "TALPHEX";
inline constexpr std::string_view kPayloadMarker = "VAVE";
constexpr std::string_view Marker(Kind kind) {
  return kind == Kind::kBeacon ? kBeaconMarker : kPayloadMarker;
}

inline constexpr int kFirstPayloadSlot = 34;

// Fields 0 to 33 belong to beacon records, 34 to 50 to payload records.
constexpr Kind KindOfField(int field) {
  return field < kFirstPayloadSlot ? Kind::kBeacon : Kind::kPayload;
}

}  // namespace talphex
