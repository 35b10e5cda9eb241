// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/frame_facts.h"

#include <algorithm>

#include "core/base/hex_dump.h"
#include "core/base/text_safety.h"
#include "core/decode/telemetry_record.h"

namespace talphex {

const char* SkipReasonText(SkipReason reason) {
  switch (reason) {
    case SkipReason::kBodyNotDecoded:
      return "body does not decode";
    case SkipReason::kBodyTooLong:
      return "decoded body longer than 513 bytes";
    case SkipReason::kPartTooLong:
      return "KISS frame longer than 65536 bytes";
  }
  return "unknown";
}

const char* FrameKindText(FrameKind kind) {
  switch (kind) {
    case FrameKind::kBeacon:
      return "beacon";
    case FrameKind::kPayload:
      return "payload";
    case FrameKind::kOther:
      return "other";
  }
  return "unknown";
}

std::string FrameResultText(FrameResult result) {
  switch (result) {
    case FrameResult::kDecoded:
      return "decoded";
    case FrameResult::kNoMarker:
      return "no marker";
    case FrameResult::kBodyNotDecoded:
      return std::string("skipped: ") + SkipReasonText(SkipReason::kBodyNotDecoded);
    case FrameResult::kBodyTooLong:
      return std::string("skipped: ") + SkipReasonText(SkipReason::kBodyTooLong);
    case FrameResult::kPartTooLong:
      return std::string("skipped: ") + SkipReasonText(SkipReason::kPartTooLong);
    case FrameResult::kDuplicate:
      return "skipped: duplicate";
  }
  return "unknown";
}

Ax25Error FindAx25Header(const FrameFacts& facts, Ax25Header& header) {
  const std::string_view bytes = facts.bytes;
  if (facts.kiss)
    return ParseAx25Header(bytes.substr(std::min<std::size_t>(1, bytes.size())), header);
  const Ax25Error bare = ParseAx25Header(bytes, header);
  if (bare == Ax25Error::kNone || bytes.empty()) return bare;
  const Ax25Error after_command = ParseAx25Header(bytes.substr(1), header);
  return after_command == Ax25Error::kNone ? after_command : bare;
}

Ascii85Status DecodeFrameBody(const FrameFacts& facts, std::vector<std::uint8_t>& body) {
  body.clear();
  if (facts.kind == FrameKind::kOther) return Ascii85Status::kEmpty;
  const std::string_view marker =
      Marker(facts.kind == FrameKind::kBeacon ? Kind::kBeacon : Kind::kPayload);
  const std::size_t at = facts.bytes.find(marker);
  if (at == std::string_view::npos) return Ascii85Status::kEmpty;
  return Ascii85Decode(facts.bytes.substr(at + marker.size()), body);
}

std::string FrameSummary(const FrameFacts& facts) {
  std::string line = facts.rx_time.empty() ? std::string("(no time)") : TerminalText(facts.rx_time);
  line += "  ";
  line += FrameKindText(facts.kind);
  Ax25Header header;
  if (FindAx25Header(facts, header) == Ax25Error::kNone) {
    line += "  " + header.source + " > " + header.destination;
    if (!header.via.empty()) line += " via " + header.via;
  }
  line += "  " + std::to_string(facts.length) + " bytes at byte " + std::to_string(facts.offset);
  line += "  " + FrameResultText(facts.result);
  return line;
}

namespace {

// "NAME (N bytes):" or "NAME (first SHOWN of N bytes):".
std::string DumpTitle(const char* name, std::size_t shown, std::uint64_t length) {
  std::string title = std::string(name) + " (";
  if (shown < length) title += "first " + std::to_string(shown) + " of ";
  return title + std::to_string(length) + " bytes):\n";
}

}  // namespace

void AppendFrameDump(std::string& out, const FrameFacts& facts, std::size_t bytes_per_line) {
  out += FrameSummary(facts) + "\n";
  const std::string_view frame = facts.bytes.substr(0, kFrameDumpBytes);
  out += DumpTitle("frame", frame.size(), facts.length);
  AppendHexDump(out, frame, bytes_per_line);
  if (facts.kind == FrameKind::kOther) return;
  if (facts.bytes.size() < facts.length) {
    out += "body: not shown, only the start of the frame is kept\n";
    return;
  }
  std::vector<std::uint8_t> body;
  const Ascii85Status status = DecodeFrameBody(facts, body);
  if (status != Ascii85Status::kOk) {
    out += "body: does not decode (";
    out += Ascii85StatusText(status);
    out += ")\n";
    return;
  }
  const std::size_t shown = std::min(body.size(), kFrameDumpBytes);
  out += DumpTitle("body", shown, body.size());
  AppendHexDump(out, std::string_view(reinterpret_cast<const char*>(body.data()), shown),
                bytes_per_line);
}

void FrameFactsBuffer::Add(const FrameFacts& facts) {
  Row row{facts.length, facts.offset, {}, facts.kind, facts.result, facts.kiss};
  // copy_n, not memcpy: an empty time may have no storage at all.
  std::copy_n(facts.rx_time.data(), std::min(facts.rx_time.size(), row.rx_time.size()),
              row.rx_time.data());
  frames_.Add(row, facts.bytes.substr(0, kMaxKeptFrameBytes));
}

std::size_t FrameFactsBuffer::DropsFor(const FrameFactsBuffer& other) const {
  std::size_t bytes = 0;
  for (std::size_t i = 0; i < other.size(); ++i) bytes += other.frames_.bytes(i).size();
  return frames_.DropsFor(bytes, other.size());
}

FrameFacts FrameFactsBuffer::at(std::size_t index) const {
  const Row& row = frames_.row(index);
  FrameFacts facts;
  facts.rx_time =
      std::string_view(row.rx_time.data(), std::find(row.rx_time.begin(), row.rx_time.end(), '\0') -
                                               row.rx_time.begin());
  facts.bytes = frames_.bytes(index);
  facts.length = row.length;
  facts.offset = row.offset;
  facts.kind = row.kind;
  facts.result = row.result;
  facts.kiss = row.kiss;
  return facts;
}

}  // namespace talphex
