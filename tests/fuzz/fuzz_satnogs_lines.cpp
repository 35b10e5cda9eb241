// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for SatNOGS DB frame exports. The input follows one good line, so that it is read as
// an export, and is fed whole and then cut in two: both must give the same counts, every line must
// be counted once, and only the first ten malformed lines are named. The input alone, as a file of
// its own (a byte-order mark or blank lines first), must be told and read the same way whole and
// cut. A line that reads must read the same again when written back in the other time form.

#undef NDEBUG  // the assertions are what the target checks, in every build

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/capture/capture_loader.h"
#include "core/capture/satnogs_frames.h"

namespace {

talphex::LoadResult Load(std::string_view text, std::size_t cut) {
  talphex::DecoderState state;
  talphex::LoadResult result;
  talphex::CaptureScanner scanner(state, result, nullptr);
  for (const std::string_view piece : {text.substr(0, cut), text.substr(cut)}) {
    scanner.Feed({reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()});
  }
  scanner.Finish();
  assert(state.BeaconCount == result.beacon_frames && state.PayloadCount == result.payload_frames);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string text = "2026-11-14 09:41:03|00\n" + std::string(input);
  const talphex::LoadResult whole = Load(text, text.size());
  const talphex::LoadResult cut = Load(text, size == 0 ? 0 : data[0] % text.size());
  assert(whole.satnogs && cut.satnogs);
  assert(whole.malformed_lines == cut.malformed_lines);
  assert(whole.duplicate_frames == cut.duplicate_frames);
  assert(whole.beacon_frames == cut.beacon_frames && whole.payload_frames == cut.payload_frames);
  assert(whole.line_notes == cut.line_notes);
  assert(whole.line_notes.size() ==
         std::min<std::size_t>(static_cast<std::size_t>(whole.malformed_lines), 10));
  // CR, LF and CR LF each end a line.
  assert(whole.malformed_lines <=
         static_cast<std::int64_t>(std::count(text.begin(), text.end(), '\n') +
                                   std::count(text.begin(), text.end(), '\r')) +
             1);

  const talphex::LoadResult alone = Load(input, size);
  const talphex::LoadResult alone_cut = Load(input, size == 0 ? 0 : data[0] % size);
  assert(alone.satnogs == alone_cut.satnogs && alone.unrecognised == alone_cut.unrecognised);
  assert(alone.malformed_lines == alone_cut.malformed_lines);
  assert(alone.beacon_frames == alone_cut.beacon_frames);
  assert(alone.payload_frames == alone_cut.payload_frames);
  assert(!(alone.satnogs && alone.unrecognised));

  std::string time;
  std::string bytes;
  if (talphex::ParseSatnogsLine(input, time, bytes) == talphex::SatnogsLineError::kNone) {
    std::string again = time + "|";
    again[10] = 'T';
    again.insert(19, "Z");
    for (const char c : bytes) {
      constexpr char kHex[] = "0123456789abcdef";
      again.push_back(kHex[static_cast<std::uint8_t>(c) >> 4]);
      again.push_back(kHex[static_cast<std::uint8_t>(c) & 0xF]);
    }
    std::string time2;
    std::string bytes2;
    assert(talphex::ParseSatnogsLine(again, time2, bytes2) == talphex::SatnogsLineError::kNone);
    assert(time2 == time && bytes2 == bytes);
  }
  return 0;
}
