// SPDX-License-Identifier: GPL-3.0-or-later
#include "testkit/capture_writer.h"

#include <bit>

#include "core/capture/ascii85.h"
#include "core/capture/capture_loader.h"
#include "core/capture/kiss_stream.h"
#include "core/decode/field_readers.h"

namespace talphex {
namespace {

class BodyBuilder {
 public:
  explicit BodyBuilder(std::span<std::uint8_t> out) : out_(out) {}
  void U8(std::uint8_t v) { out_[at_++] = v; }
  void U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
  }
  void U32(std::uint32_t v) {
    U16(static_cast<std::uint16_t>(v));
    U16(static_cast<std::uint16_t>(v >> 16));
  }
  void I16(std::int16_t v) { U16(static_cast<std::uint16_t>(v)); }

 private:
  std::span<std::uint8_t> out_;
  std::size_t at_ = 0;
};

// AX.25 UI frame header: destination, source (last address), control 0x03, PID 0xF0.
std::string UiFrameHeader() {
  std::string header;
  auto address = [&header](std::string_view call, bool last) {
    for (char c : call) header.push_back(static_cast<char>(c << 1));
    header.push_back(static_cast<char>(0x60 | (last ? 1 : 0)));
  };
  address("CQ    ", false);
  address("TALPHX", true);
  header.push_back('\x03');
  header.push_back('\xF0');
  return header;
}

}  // namespace

std::array<std::uint8_t, 75> EncodeBeaconBody(const BeaconRaw& raw) {
  std::array<std::uint8_t, 75> body{};
  BodyBuilder b(body);
  b.U16(raw.message_number);
  b.U32(raw.posix_time);
  b.U8(raw.mode);
  b.U16(raw.idle_timer);
  b.U16(raw.battery);
  for (auto v : raw.sp_current) b.I16(v);
  for (auto v : raw.board_temp) b.U16(v);
  for (auto v : raw.panel_temp) b.U16(static_cast<std::uint16_t>(v & 0x03FF));
  b.U16(raw.battery2);
  for (auto v : raw.current) b.I16(v);
  for (auto v : raw.mag_field) b.U32(std::bit_cast<std::uint32_t>(v));
  return body;
}

std::array<std::uint8_t, 30> EncodePayloadBody(const PayloadRaw& raw) {
  std::array<std::uint8_t, 30> body{};
  BodyBuilder b(body);
  auto u12 = [](std::int16_t v) { return static_cast<std::uint16_t>(v & 0x0FFF); };
  auto u15 = [](std::int16_t v) { return static_cast<std::uint16_t>(v & 0x7FFF); };
  b.U16(raw.status[0]);
  b.U16(u12(raw.power_temp[0]));
  b.U16(u12(raw.power_temp[1]));
  b.U16(u15(raw.battery));
  b.U16(raw.status[1]);
  b.U16(u12(raw.powsec_temp[0]));
  b.I16(raw.csac_temp[0]);
  b.U16(u15(raw.current[0]));
  b.U16(raw.status[2]);
  b.U16(u12(raw.powsec_temp[1]));
  b.I16(raw.csac_temp[1]);
  b.U16(u15(raw.current[1]));
  b.U16(raw.supervisor_time);
  b.U32(raw.overflow_time);
  return body;
}

std::string KissEscape(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 8);
  for (char c : bytes) {
    const auto byte = static_cast<std::uint8_t>(c);
    if (byte == 0xC0) {
      out.append("\xDB\xDC");
    } else if (byte == 0xDB) {
      out.append("\xDB\xDD");
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string KissBeaconFrame(int number, int port, int command) {
  const auto body = EncodeBeaconBody({.message_number = static_cast<std::uint16_t>(number)});
  std::string frame(1, static_cast<char>(port << 4 | command));
  frame += "N0CALL>CQ:TALPHEX<~" + Ascii85Encode(body.data(), body.size());
  return KissEscape(frame) + "\xC0";
}

void AddSyntheticFrame(CaptureWriter& writer, std::int64_t n, std::int64_t changes_every) {
  constexpr std::int64_t kFirstPosixTime = 1794649260;  // 2026-11-14 09:41:00 UTC
  const std::int64_t posix_time = kFirstPosixTime + n;
  writer.AddTimestamp(UtcTimeText(posix_time * 1000));
  if (n % 2 == 0) {
    BeaconRaw beacon;
    beacon.message_number = static_cast<std::uint16_t>(n);
    beacon.posix_time = static_cast<std::uint32_t>(posix_time);
    beacon.mode = static_cast<std::uint8_t>(n / 1000 % 6);
    beacon.battery = static_cast<std::uint16_t>(800 + n / changes_every % 40);
    beacon.board_temp = {600, 601, 602, static_cast<std::uint16_t>(590 + n % 20), 610, 611};
    beacon.mag_field = {1234.5f, -987.25f, static_cast<float>(n % 1000)};
    writer.AddFrame("TALPHEX", EncodeBeaconBody(beacon));
  } else {
    PayloadRaw payload;
    payload.status = {static_cast<std::uint16_t>(n / changes_every), 0x1234, 0xC0DB};
    payload.supervisor_time = static_cast<std::uint16_t>(n);
    payload.overflow_time = static_cast<std::uint32_t>(n) * 7919u;
    writer.AddFrame("VAVE", EncodePayloadBody(payload));
  }
}

void CaptureWriter::AddPart(std::string_view bytes) {
  bytes_.append(KissEscape(bytes));
  bytes_.push_back('\xC0');
}

void CaptureWriter::AddTimestamp(std::string_view timestamp) {
  std::string part(28, '\0');
  part.replace(1, std::min<std::size_t>(timestamp.size(), 19), timestamp.substr(0, 19));
  AddPart(part);
}

void CaptureWriter::AddMillisecondStamp(std::uint64_t milliseconds) {
  std::string part(1, '\x09');
  for (int shift = 56; shift >= 0; shift -= 8) {
    part.push_back(static_cast<char>(milliseconds >> shift & 0xFF));
  }
  AddPart(part);
}

void CaptureWriter::AddRawFrame(std::string_view marker, std::string_view body_text) {
  std::string frame(1, '\0');  // KISS command byte: data frame on port 0
  frame.append(UiFrameHeader()).append(marker).append(body_text);
  AddPart(frame);
}

void CaptureWriter::AddFrame(std::string_view marker, std::span<const std::uint8_t> body) {
  // The opening "<~" keeps a body whose first digit is "<" from reading as a bad delimiter.
  AddRawFrame(marker, "<~" + Ascii85Encode(body.data(), body.size()));
}

std::string SatnogsExportOf(std::string_view capture, std::string_view line_end) {
  std::string lines;
  std::string time = "2000-01-01 00:00:00";
  KissStreamDecoder decoder;
  decoder.Feed({reinterpret_cast<const std::uint8_t*>(capture.data()), capture.size()},
               [&](const KissPart& part) {
                 if (part.raw_size == 0) return;
                 if (part.raw_size == kTimestampPartSize) {
                   time.assign(part.text.substr(1, 19));
                   return;
                 }
                 constexpr char kHex[] = "0123456789ABCDEF";
                 lines += time + "|";
                 for (const char c : part.text) {
                   lines.push_back(kHex[static_cast<std::uint8_t>(c) >> 4]);
                   lines.push_back(kHex[static_cast<std::uint8_t>(c) & 0xF]);
                 }
                 lines += line_end;
               });
  return lines;
}

}  // namespace talphex
