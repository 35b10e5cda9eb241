// Fuzz target for the capture loader. Every input is loaded twice: whole, through
// LoadCaptureBytes, and through a CaptureScanner fed in pieces of pseudo-random size. Both must
// give the same records, counts, warnings and frame log, whatever the bytes are; the record view
// and the exports are then built from what was loaded.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "capture/capture_loader.h"
#include "decode/decoder_state.h"
#include "export/exports.h"
#include "ui/record_view.h"

namespace {

using talphex::DecoderState;
using talphex::LoadResult;

// Piece sizes depend only on the input, so that a finding replays exactly.
class PieceSizes {
 public:
  explicit PieceSizes(std::span<const std::uint8_t> data) {
    for (std::uint8_t byte : data) state_ = (state_ ^ byte) * 1099511628211ULL;
  }
  std::size_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    // Mostly short pieces, so that parts and escape pairs straddle piece borders; now and then
    // one beyond the longest part kept.
    switch (state_ % 8) {
      case 0:
        return 1;
      case 7:
        return 1 + state_ / 8 % (talphex::kMaxPartBytes + 2);
      default:
        return 1 + state_ / 8 % 97;
    }
  }

 private:
  std::uint64_t state_ = 14695981039346656037ULL;
};

bool SameRecords(const DecoderState& a, const DecoderState& b, talphex::Kind kind) {
  if (a.Count(kind) != b.Count(kind) || a.StoredCount(kind) != b.StoredCount(kind)) return false;
  for (std::size_t i = 0; i < a.StoredCount(kind); ++i) {
    const auto& x = a.Store(kind)[i];
    const auto& y = b.Store(kind)[i];
    // Values compare by their bits: a NaN read from random bytes must match itself.
    if (x.RxTime != y.RxTime || x.TimeText != y.TimeText || x.FrameText != y.FrameText ||
        std::memcmp(x.Value.data(), y.Value.data(), sizeof(x.Value)) != 0) {
      return false;
    }
  }
  return true;
}

bool SameResult(const LoadResult& a, const LoadResult& b) {
  if (a.beacon_frames != b.beacon_frames || a.payload_frames != b.payload_frames ||
      a.skipped_frames != b.skipped_frames || a.skipped_by_reason != b.skipped_by_reason ||
      a.warnings.size() != b.warnings.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.warnings.size(); ++i) {
    if (a.warnings[i].kind != b.warnings[i].kind || a.warnings[i].offset != b.warnings[i].offset ||
        a.warnings[i].detail != b.warnings[i].detail) {
      return false;
    }
  }
  return true;
}

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "capture loader fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);

  DecoderState whole_state;
  whole_state.store_capacity = 4;  // small, so that frames past the capacity are met as well
  std::string whole_log;
  const talphex::FrameLogSink whole_sink = [&whole_log](std::string_view line) {
    whole_log.append(line);
  };
  const LoadResult whole = talphex::LoadCaptureBytes(whole_state, bytes, "fuzz", &whole_sink);

  DecoderState piece_state;
  piece_state.store_capacity = 4;
  std::string piece_log;
  const talphex::FrameLogSink piece_sink = [&piece_log](std::string_view line) {
    piece_log.append(line);
  };
  LoadResult pieces;
  pieces.path = "fuzz";
  {
    talphex::CaptureScanner scanner(piece_state, pieces, &piece_sink);
    PieceSizes sizes(bytes);
    std::size_t at = 0;
    while (at < size) {
      const std::size_t piece = std::min(sizes.Next(), size - at);
      scanner.Feed(bytes.subspan(at, piece));
      at += piece;
    }
  }

  Check(whole.ok() && pieces.ok(), "loading bytes in memory reported an error");
  Check(SameResult(whole, pieces), "pieces and whole give different results");
  Check(SameRecords(whole_state, piece_state, talphex::Kind::kBeacon), "beacon records differ");
  Check(SameRecords(whole_state, piece_state, talphex::Kind::kPayload), "payload records differ");
  Check(whole_state.RxTimestamp == piece_state.RxTimestamp, "receive timestamps differ");
  Check(whole_log == piece_log, "frame logs differ");
  Check(whole.beacon_frames == whole_state.BeaconCount, "beacon frames and count disagree");
  Check(whole.payload_frames == whole_state.PayloadCount, "payload frames and count disagree");
  Check(whole_state.RxTimestamp.size() <= 19, "receive timestamp longer than 19 characters");

  // Whatever values random bodies give, the view and the files must be written from them.
  static std::FILE* const sink = std::fopen("/dev/null", "wb");
  for (int record = 1; record <= 2; ++record) {
    const talphex::RecordView view =
        talphex::BuildRecordView(whole_state, record, talphex::Kind::kPayload, ',');
    if (sink != nullptr) talphex::WriteReport(sink, view);
  }
  if (sink != nullptr) {
    talphex::WriteBeaconCsv(sink, whole_state, '.');
    talphex::WritePayloadCsv(sink, whole_state, ',');
  }
  return 0;
}
