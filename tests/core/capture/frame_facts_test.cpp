// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/frame_facts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "core/base/hex_dump.h"
#include "core/base/recent_buffer.h"
#include "core/capture/capture_loader.h"
#include "core/capture/frame_log_buffer.h"
#include "testkit/capture_writer.h"

namespace talphex {
namespace {

// The buffer keeps the newest entries within its count and byte bounds, says beforehand how many
// an Add or a batch of Adds pushes out (the window's views signal removed rows before they go),
// and reads right across the blocks it frees.
TEST(RecentBuffer, KeepsTheNewestWithinCountAndBytes) {
  struct Case {
    std::size_t max_entries;
    std::size_t max_bytes;
    int added;  // entry i holds the row i and the bytes of i as text
    int first_kept;
  };
  const Case kCases[] = {
      {3, 100, 2, 0},
      {3, 100, 3, 0},
      {3, 100, 7, 4},
      {1, 100, 5, 4},
      {0, 100, 5, 5},
      {100, 5, 8, 3},                // "3".."7": five bytes
      {5000, 1 << 20, 12000, 7000},  // across freed blocks
  };
  for (const Case& c : kCases) {
    RecentBuffer<int> buffer(c.max_entries, c.max_bytes);
    // Added one, three and two at a time, where a batch fits the bounds by itself.
    for (int i = 0, batch = 0; i < c.added; ++batch) {
      int count = std::min(std::array{1, 3, 2}[batch % 3], c.added - i);
      std::size_t bytes = 0;
      for (int k = 0; k < count; ++k) bytes += std::to_string(i + k).size();
      if (static_cast<std::size_t>(count) > c.max_entries || bytes > c.max_bytes) {
        count = 1;
        bytes = std::to_string(i).size();
      }
      const std::uint64_t dropped_before = buffer.dropped();
      const std::size_t drops = buffer.DropsFor(bytes, static_cast<std::size_t>(count));
      for (int k = 0; k < count; ++k, ++i) buffer.Add(i, std::to_string(i));
      ASSERT_EQ(buffer.dropped() - dropped_before, drops) << i;
    }
    // Moved on, the entries go with the buffer and leave an empty one behind.
    RecentBuffer<int> moved_from = std::move(buffer);
    buffer = std::move(moved_from);
    ASSERT_EQ(moved_from.size(), 0u);
    const auto kept = static_cast<std::size_t>(c.added - c.first_kept);
    ASSERT_EQ(buffer.size(), c.max_entries == 0 ? 0 : kept) << c.max_entries << " " << c.added;
    for (std::size_t i = 0; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer.row(i), c.first_kept + static_cast<int>(i));
      ASSERT_EQ(buffer.bytes(i), std::to_string(c.first_kept + static_cast<int>(i)));
    }
  }
}

// Log lines lose their line ends; a line longer than the limit keeps its start and its length;
// control bytes a frame carries are shown as "?", as in the record view.
TEST(FrameLogBuffer, CutsLineEndsAndOverlongLines) {
  FrameLogBuffer log(10);
  log.Add("TALPHEX<~z~>\r\n");
  log.Add(std::string(5000, 'A'));
  log.Add("VAVEz~>\x1B[2J\rforged\x9B\xB5\r\n");
  log.Add("\n" + std::string(5000, 'A'));
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log.line(0), "TALPHEX<~z~>");
  EXPECT_EQ(log.line(1),
            std::string(FrameLogBuffer::kMaxLogLineBytes, 'A') + "... (5000 characters)");
  EXPECT_EQ(log.line(2), "VAVEz~>?[2J?forged?\xB5");
  EXPECT_EQ(log.line(3),
            "?" + std::string(FrameLogBuffer::kMaxLogLineBytes - 1, 'A') + "... (5001 characters)");
}

std::string Address(std::string_view call, int ssid, bool last) {
  std::string bytes;
  for (std::size_t i = 0; i < 6; ++i) {
    bytes.push_back(static_cast<char>((i < call.size() ? call[i] : ' ') << 1));
  }
  bytes.push_back(static_cast<char>(0x60 | ssid << 1 | (last ? 1 : 0)));
  return bytes;
}

TEST(Ax25Header, ReadsTheAddressFieldOrSaysWhyNot) {
  struct Case {
    const char* name;
    std::string bytes;
    Ax25Error error;
    const char* destination;
    const char* source;
    const char* via;
  };
  // The destination, the source and 8 digipeaters is the most there can be.
  const auto with_digipeaters = [](int count) {
    std::string bytes = Address("CQ", 0, false) + Address("N0CALL", 0, false);
    for (int i = 1; i <= count; ++i) bytes += Address("WIDE" + std::to_string(i), i, i == count);
    return bytes;
  };
  std::string lower = Address("CQ", 0, false) + Address("N0CALL", 0, true);
  lower[7] = static_cast<char>('n' << 1);
  std::string odd_byte = Address("CQ", 0, false) + Address("N0CALL", 0, true);
  odd_byte[1] |= 1;
  const Case kCases[] = {
      {"UI frame", Address("CQ", 0, false) + Address("TALPHX", 0, true) + "\x03\xF0",
       Ax25Error::kNone, "CQ", "TALPHX", ""},
      {"SSIDs", Address("APRS", 15, false) + Address("N0CALL", 11, true), Ax25Error::kNone,
       "APRS-15", "N0CALL-11", ""},
      {"digipeaters",
       Address("CQ", 0, false) + Address("N0CALL", 0, false) + Address("WIDE1", 1, false) +
           Address("WIDE2", 2, true),
       Ax25Error::kNone, "CQ", "N0CALL", "WIDE1-1,WIDE2-2"},
      {"13 bytes", (Address("CQ", 0, false) + Address("N0CALL", 0, true)).substr(0, 13),
       Ax25Error::kTooShort, "", "", ""},
      {"digipeater cut off", Address("CQ", 0, false) + Address("N0CALL", 0, false) + "\x82\x84",
       Ax25Error::kTooShort, "", "", ""},
      {"lower case", lower, Ax25Error::kBadCharacter, "", "", ""},
      {"lowest bit set in a callsign byte", odd_byte, Ax25Error::kBadCharacter, "", "", ""},
      {"control bytes", std::string(14, '\x02'), Ax25Error::kBadCharacter, "", "", ""},
      {"blank inside", Address("N0 CAL", 0, false) + Address("CQ", 0, true),
       Ax25Error::kBlankInside, "", "", ""},
      {"blanks only", Address("", 0, false) + Address("CQ", 0, true), Ax25Error::kEmptyCallsign, "",
       "", ""},
      {"destination marked last", Address("CQ", 0, true) + Address("N0CALL", 0, true),
       Ax25Error::kEarlyEnd, "", "", ""},
      {"8 digipeaters", with_digipeaters(8), Ax25Error::kNone, "CQ", "N0CALL",
       "WIDE1-1,WIDE2-2,WIDE3-3,WIDE4-4,WIDE5-5,WIDE6-6,WIDE7-7,WIDE8-8"},
      {"9 digipeaters", with_digipeaters(9), Ax25Error::kTooManyAddresses, "", "", ""},
      {"payload text", "TALPHEX<~z~>TALPHEX<~z~>", Ax25Error::kBadCharacter, "", "", ""},
  };
  for (const Case& c : kCases) {
    Ax25Header header;
    EXPECT_EQ(ParseAx25Header(c.bytes, header), c.error) << c.name;
    if (c.error != Ax25Error::kNone) continue;
    EXPECT_EQ(header.destination, c.destination) << c.name;
    EXPECT_EQ(header.source, c.source) << c.name;
    EXPECT_EQ(header.via, c.via) << c.name;
    EXPECT_EQ(header.size % 7, 0u) << c.name;
  }
}

TEST(HexDump, LinesOfOffsetHexAndText) {
  struct Case {
    std::string bytes;
    std::size_t per_line;
    std::string dump;
  };
  const Case kCases[] = {
      {"", 16, ""},
      {"TALPHEX<~", 16, "0000  54 41 4C 50 48 45 58 3C  7E                       |TALPHEX<~|\n"},
      {std::string("\x00\x7F\xC0 A\x1B", 6), 8, "0000  00 7F C0 20 41 1B        |... A.|\n"},
      {"0123456789ABCDEFG", 8,
       "0000  30 31 32 33 34 35 36 37  |01234567|\n"
       "0008  38 39 41 42 43 44 45 46  |89ABCDEF|\n"
       "0010  47                       |G|\n"},
  };
  for (const Case& c : kCases) {
    std::string dump;
    AppendHexDump(dump, c.bytes, c.per_line);
    EXPECT_EQ(dump, c.dump);
  }
  // Past 64 KiB every offset takes five digits.
  std::string dump;
  AppendHexDump(dump, std::string(0x10001, 'x'), 16);
  EXPECT_EQ(dump.substr(0, 6), "00000 ");
  EXPECT_EQ(dump.substr(dump.rfind("\n", dump.size() - 2) + 1, 6), "10000 ");
}

// The loader reports every frame but timestamp parts as it meets it: one row per marker, with
// the time it stamped, the frame's length and what became of it; the kept rows read back the
// same, and the body decodes again to what was sent.
TEST(FrameFacts, LoaderReportsEveryFrame) {
  BeaconRaw beacon_raw;
  beacon_raw.message_number = 4120;
  const auto beacon_body = EncodeBeaconBody(beacon_raw);
  CaptureWriter writer;
  writer.AddTimestamp("2026-11-14 09:41:00");
  writer.AddFrame("TALPHEX", beacon_body);
  writer.AddRawFrame("TALPHEX", "{bad}~>");
  writer.AddPart("no marker here");
  writer.AddPart("");
  writer.AddRawFrame("VAVE", "z~>TALPHEX<~zz~>");
  writer.AddPart(std::string(70000, 'x'));
  DecoderState state;
  std::vector<FrameFacts> met;
  std::vector<std::string> bytes;
  FrameFactsBuffer kept(10);
  const FrameFactsSink sink = [&](const FrameFacts& facts) {
    met.push_back(facts);
    bytes.emplace_back(facts.bytes);
    kept.Add(facts);
  };
  LoadResult result;
  result.path = "pass.kss";
  CaptureScanner scanner(state, result, nullptr);
  scanner.SetFrameFactsSink(&sink);
  const std::string& capture = writer.bytes();
  scanner.Feed({reinterpret_cast<const std::uint8_t*>(capture.data()), capture.size()});
  struct Row {
    FrameKind kind;
    FrameResult result;
    std::size_t length;
  };
  const std::size_t header = 1 + 14 + 2;
  const Row kRows[] = {
      {FrameKind::kBeacon, FrameResult::kDecoded, bytes.at(0).size()},
      {FrameKind::kBeacon, FrameResult::kBodyNotDecoded, header + 7 + 7},
      {FrameKind::kOther, FrameResult::kNoMarker, 14},
      {FrameKind::kBeacon, FrameResult::kDecoded, header + 4 + 16},
      {FrameKind::kPayload, FrameResult::kDecoded, header + 4 + 16},
      {FrameKind::kOther, FrameResult::kPartTooLong, 70000},
  };
  ASSERT_EQ(met.size(), std::size(kRows));
  for (std::size_t i = 0; i < met.size(); ++i) {
    const FrameFacts row = kept.at(i);
    EXPECT_EQ(row.kind, kRows[i].kind) << i;
    EXPECT_EQ(row.result, kRows[i].result) << i;
    EXPECT_EQ(row.length, kRows[i].length) << i;
    EXPECT_EQ(row.offset, met[i].offset) << i;
    EXPECT_EQ(row.rx_time, "2026-11-14 09:41:00") << i;
    EXPECT_EQ(row.bytes, bytes[i].substr(0, FrameFactsBuffer::kMaxKeptFrameBytes)) << i;
  }
  std::vector<std::uint8_t> body;
  ASSERT_EQ(DecodeFrameBody(kept.at(0), body), Ascii85Status::kOk);
  EXPECT_EQ(body, std::vector<std::uint8_t>(beacon_body.begin(), beacon_body.end()));
  ASSERT_EQ(DecodeFrameBody(kept.at(3), body), Ascii85Status::kOk);
  EXPECT_EQ(body.size(), 8u);
  // The dump of a frame longer than the inspector keeps shows its start, and no body.
  FrameFacts cut = kept.at(1);
  cut.bytes = cut.bytes.substr(0, 20);
  std::string dump;
  AppendFrameDump(dump, cut, 16);
  EXPECT_NE(dump.find("\nframe (first 20 of 31 bytes):\n0000  "), std::string::npos) << dump;
  EXPECT_NE(dump.find("\nbody: not shown"), std::string::npos) << dump;
  EXPECT_EQ(FrameSummary(kept.at(0)), "2026-11-14 09:41:00  beacon  TALPHX > CQ  " +
                                          std::to_string(kRows[0].length) + " bytes at byte " +
                                          std::to_string(met[0].offset) + "  decoded");
}

}  // namespace
}  // namespace talphex
