// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace talphex {

// Raw register values of a beacon body, in the units the spacecraft sends.
struct BeaconRaw {
  std::uint16_t message_number = 0;
  std::uint32_t posix_time = 0;
  std::uint8_t mode = 0;
  std::uint16_t idle_timer = 0;
  std::uint16_t battery = 0;                  // x 0.009765 V
  std::array<std::int16_t, 5> sp_current{};   // x 0.244 mA: X+, X-, Y+, Z+, Z-
  std::array<std::uint16_t, 6> board_temp{};  // x 0.49 - 273.15 C
  std::array<std::int16_t, 5> panel_temp{};   // 10-bit count x 0.0625 C: X-, X+, Y+, Z-, Z+
  std::uint16_t battery2 = 0;
  std::array<std::int16_t, 9> current{};  // watchdog .. lithium, each with its own scale
  std::array<float, 3> mag_field{};       // x 10 nT
};

// Raw register values of a payload body.
struct PayloadRaw {
  std::array<std::uint16_t, 3> status{};
  std::array<std::int16_t, 2> power_temp{};   // 12-bit count x 0.0625 C
  std::int16_t battery = 0;                   // 15-bit count x 305.18 uV x 3.5
  std::array<std::int16_t, 2> powsec_temp{};  // 12-bit count x 0.0625 C
  std::array<std::int16_t, 2> csac_temp{};    // x 0.01 C
  std::array<std::int16_t, 2> current{};      // 15-bit count x 7.04 x 19.975 / 0.1 uA
  std::uint16_t supervisor_time = 0;
  std::uint32_t overflow_time = 0;
};

std::array<std::uint8_t, 75> EncodeBeaconBody(const BeaconRaw& raw);
std::array<std::uint8_t, 30> EncodePayloadBody(const PayloadRaw& raw);

// KISS escaping: 0xC0 becomes 0xDB 0xDC, 0xDB becomes 0xDB 0xDD.
std::string KissEscape(std::string_view bytes);

// A KISS frame as a TNC sends it on `port` with command `command`: beacon number `number`, ended
// by the delimiter.
std::string KissBeaconFrame(int number, int port = 0, int command = 0);

// Builds a capture as a terminal node controller writes it: timestamp parts and KISS data frames
// (command byte, AX.25 UI header, marker, Ascii85 body), each closed by 0xC0.
class CaptureWriter {
 public:
  // A 28-byte timestamp part carrying `timestamp` (19 characters, "YYYY-MM-DD hh:mm:ss").
  void AddTimestamp(std::string_view timestamp);
  // A frame whose body is `body` encoded in Ascii85 after `marker`.
  void AddFrame(std::string_view marker, std::span<const std::uint8_t> body);
  // A frame with a body text taken as it stands.
  void AddRawFrame(std::string_view marker, std::string_view body_text);
  // A gr-satellites timestamp: command byte 0x09, then milliseconds since 1970, big-endian.
  void AddMillisecondStamp(std::uint64_t milliseconds);
  // Bytes between two delimiters, escaped.
  void AddPart(std::string_view bytes);

  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

// Adds frame number `n` of a long synthetic pass, for speed and memory checks: a timestamp part,
// then a beacon frame for even numbers and a payload frame for odd ones, with values that change
// from frame to frame (status bytes include 0xC0 and 0xDB, so escapes occur). The first status
// word and the battery voltage's sawtooth step at every frame: flags change at every payload
// frame and the voltage crosses the benchmarks' limit every 20 beacons. With `changes_every`
// above 1 they step only every that many frames, as in a pass where flags change and limits are
// crossed now and then.
void AddSyntheticFrame(CaptureWriter& writer, std::int64_t n, std::int64_t changes_every = 1);

// A capture as a SatNOGS DB frame export: one "YYYY-MM-DD HH:MM:SS|HEX" line per frame, with the
// time of the timestamp part before it, each ended by `line_end`.
std::string SatnogsExportOf(std::string_view capture, std::string_view line_end = "\n");

}  // namespace talphex
