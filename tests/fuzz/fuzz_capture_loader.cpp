// Fuzz target for the capture loader. Every input is loaded twice: whole, through
// LoadCaptureBytes, and through a CaptureScanner fed in pieces of pseudo-random size. Both must
// give the same records, counts, warnings and frame log, whatever the bytes are; the record view
// and the exports are then built from what was loaded.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "capture/capture_loader.h"
#include "export/exports.h"
#include "fuzz_check.h"
#include "ui/record_view.h"

namespace talphex {
namespace {

// What a load leaves behind: the frame log (every frame, and every skip with its place, reason
// and detail), the counts and the records, whose values go in by their bits, so that a NaN read
// from random bytes matches itself.
std::string Digest(const DecoderState& state, const LoadResult& result, const std::string& log) {
  std::string text = log + state.RxTimestamp;
  for (const std::int64_t number : {result.beacon_frames, result.payload_frames, state.BeaconCount,
                                    state.PayloadCount, result.skipped_frames}) {
    text += ";" + std::to_string(number);
  }
  for (const Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    for (std::size_t i = 0; i < state.StoredCount(kind); ++i) {
      const TelemetryRecord& record = state.Store(kind)[i];
      text += ";" + record.RxTime + ";" + record.TimeText + ";" + record.FrameText;
      text.append(reinterpret_cast<const char*>(record.Value.data()), sizeof record.Value);
    }
  }
  return text;
}

void LoadWholeAndInPieces(std::span<const std::uint8_t> bytes) {
  DecoderState whole_state;
  DecoderState piece_state;
  // Small stores, so that frames past the capacity are met as well.
  whole_state.store_capacity = piece_state.store_capacity = 4;
  std::string whole_log;
  std::string piece_log;
  const FrameLogSink whole_sink = [&whole_log](std::string_view line) { whole_log.append(line); };
  const FrameLogSink piece_sink = [&piece_log](std::string_view line) { piece_log.append(line); };
  const LoadResult whole = LoadCaptureBytes(whole_state, bytes, "fuzz", &whole_sink);
  LoadResult pieces;
  {
    CaptureScanner scanner(piece_state, pieces, &piece_sink);
    // Piece sizes depend only on the input, so that a finding replays exactly. Mostly short
    // pieces, so that parts and escape pairs straddle piece borders; now and then one beyond the
    // longest part kept.
    std::uint64_t random = 14695981039346656037ULL;
    for (const std::uint8_t byte : bytes) random = (random ^ byte) * 1099511628211ULL;
    for (std::size_t at = 0; at < bytes.size();) {
      random ^= random << 13;
      random ^= random >> 7;
      random ^= random << 17;
      const std::size_t longest = random % 8 == 0 ? 1 : random % 8 == 7 ? kMaxPartBytes + 2 : 97;
      const std::size_t piece = std::min(1 + random / 8 % longest, bytes.size() - at);
      scanner.Feed(bytes.subspan(at, piece));
      at += piece;
    }
  }
  fuzz::Check(whole.ok() && pieces.ok(), "loading bytes in memory reported an error");
  fuzz::Check(Digest(whole_state, whole, whole_log) == Digest(piece_state, pieces, piece_log),
              "pieces and whole give different results");
  fuzz::Check(whole.beacon_frames == whole_state.BeaconCount &&
                  whole.payload_frames == whole_state.PayloadCount,
              "frames decoded and counts disagree");
  fuzz::Check(whole_state.RxTimestamp.size() <= 19, "receive timestamp longer than 19 characters");

  // Whatever values random bodies give, the view and the files must be written from them.
  static std::FILE* const sink = std::fopen("/dev/null", "wb");
  if (sink == nullptr) return;
  for (int record = 1; record <= 2; ++record) {
    WriteReport(sink, BuildRecordView(whole_state, record, Kind::kPayload, ','));
  }
  WriteBeaconCsv(sink, whole_state, '.');
  WritePayloadCsv(sink, whole_state, ',');
}

}  // namespace
}  // namespace talphex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  talphex::LoadWholeAndInPieces({data, size});
  return 0;
}
