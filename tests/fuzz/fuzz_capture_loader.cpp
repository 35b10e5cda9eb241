// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the capture loader. Every input is loaded twice: whole, through
// LoadCaptureBytes, and through a CaptureScanner fed in pieces of changing size. Both must give
// the same records, counts and frame log, whatever the bytes are; the record view and the exports
// are then built from what was loaded, and the streamed CSV must equal the one written from the
// stores.

#undef NDEBUG  // the assertions are what the target checks, in every build

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <span>
#include <string>

#include "core/capture/capture_loader.h"
#include "core/export/analysis_exports.h"
#include "core/export/export_sink.h"
#include "core/export/exports.h"
#include "core/view/record_view.h"

namespace talphex {
namespace {

// One load of the input and the frame log it wrote.
struct Load {
  DecoderState state;
  LoadResult result;
  std::string log;
  const FrameLogSink sink = [this](std::string_view line) { log.append(line); };
};

// What a load leaves behind: the frame log (every frame, and every skip with its place, reason
// and detail), the counts and the records, whose values go in by their bits, so that a NaN read
// from random bytes matches itself.
std::string Digest(const Load& load) {
  std::string text = load.log + load.state.RxTimestamp;
  for (const std::int64_t number :
       {load.result.beacon_frames, load.result.payload_frames, load.state.BeaconCount,
        load.state.PayloadCount, load.result.skipped_frames}) {
    text += ";" + std::to_string(number);
  }
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    for (std::size_t i = 0; i < load.state.StoredCount(kind); ++i) {
      const TelemetryRecord& record = load.state.Store(kind)[i];
      text += ";" + record.RxTime + ";" + record.TimeText + ";" + record.FrameText;
      text.append(reinterpret_cast<const char*>(record.Value.data()), sizeof record.Value);
    }
  }
  return text;
}

// Everything `write` puts into the stream it is given, kept in memory.
template <typename Writer>
std::string Written(Writer&& write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  if (out == nullptr) return {};
  write(out);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

void LoadWholeAndInPieces(std::span<const std::uint8_t> bytes) {
  Load whole;
  Load pieces;
  // Small stores, so that frames past the capacity are met as well.
  whole.state.store_capacity = pieces.state.store_capacity = 4;
  whole.result = LoadCaptureBytes(whole.state, bytes, "fuzz", &whole.sink);
  {
    CaptureScanner scanner(pieces.state, pieces.result, &pieces.sink);
    // Mostly short pieces, so that parts and escape pairs straddle piece borders; now and then
    // one beyond the longest part kept.
    constexpr std::size_t kPieces[] = {1, 7, 2, 97, 3, 1, kMaxPartBytes + 2, 13, 5};
    for (std::size_t at = 0, i = 0; at < bytes.size(); ++i) {
      const std::size_t piece = std::min(kPieces[i % std::size(kPieces)], bytes.size() - at);
      scanner.Feed(bytes.subspan(at, piece));
      at += piece;
    }
  }
  assert(whole.result.ok() && pieces.result.ok() && "loading bytes in memory reported an error");
  assert(Digest(whole) == Digest(pieces) && "pieces and whole give different results");
  assert(whole.result.beacon_frames == whole.state.BeaconCount && "beacon counts disagree");
  assert(whole.result.payload_frames == whole.state.PayloadCount && "payload counts disagree");
  // Warnings are printed as they stand: their details are the program's words, never frame bytes.
  for (const LoadWarning& warning : whole.result.warnings) {
    assert(std::all_of(warning.detail.begin(), warning.detail.end(),
                       [](char c) { return c >= 0x20 && c <= 0x7E; }) &&
           "a warning's detail carries bytes of the capture");
  }
  // 19 characters, and a quote before a leading "=", "+", "-" or "@" that would run as a formula.
  const std::string& stamp = whole.state.RxTimestamp;
  assert((stamp.size() <= 19 || (stamp.size() == 20 && stamp.front() == '\'')) &&
         "receive timestamp longer than 19 characters");

  // Whatever values random bodies give, the view and the files must be written from them.
  static std::FILE* const sink = std::fopen("/dev/null", "wb");
  if (sink == nullptr) return;
  for (int record = 1; record <= 2; ++record) {
    WriteReport(sink, BuildRecordView(whole.state, record, Kind::kPayload, ','));
  }
  WriteBeaconCsv(sink, whole.state, '.');
  WritePayloadCsv(sink, whole.state, ',');
  for (const AnalysisFormat format :
       {AnalysisFormat::kCsv, AnalysisFormat::kJsonLines, AnalysisFormat::kInflux}) {
    WriteAnalysis(sink, whole.state, format);
  }

  // The streamed CSV, fed the stored records one at a time, is the CSV written from the store.
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    if (static_cast<std::int64_t>(whole.state.StoredCount(kind)) != whole.state.Count(kind)) {
      continue;  // records past the store's capacity were only counted
    }
    const std::string stored = Written([&](std::FILE* out) {
      (kind == Kind::kBeacon ? WriteBeaconCsv : WritePayloadCsv)(out, whole.state, '.');
    });
    const std::string streamed = Written([&](std::FILE* out) {
      ExportSink export_sink('.', 1);
      export_sink.SetCsv(kind, out);
      for (std::size_t i = 0; i < whole.state.StoredCount(kind); ++i) {
        export_sink.Take(kind, whole.state.Store(kind)[i]);
      }
      export_sink.WriteHeaders();
    });
    assert(stored == streamed && "streamed and stored CSV differ");
  }
}

}  // namespace
}  // namespace talphex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  talphex::LoadWholeAndInPieces({data, size});
  return 0;
}
