// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/view/status_texts.h"

#include <algorithm>

#include "core/base/text_safety.h"
#include "core/view/record_view.h"

namespace talphex {
namespace {

constexpr std::int64_t kSecondMs = 1000;

}  // namespace

std::string CountText(std::int64_t count, std::string_view noun, Digits digits) {
  std::string text = NumberText(count, digits);
  text.append(" ").append(noun);
  if (count != 1) text += 's';
  return text;
}

std::string LinkStateText(const LinkState& link, std::int64_t elapsed_ms) {
  switch (link.phase) {
    case LinkState::Phase::kDisconnected:
      return "disconnected";
    case LinkState::Phase::kConnecting:
      return "connecting to " + link.where;
    case LinkState::Phase::kConnected:
      return "connected to " + link.where;
    case LinkState::Phase::kRetrying:
      break;
  }
  // The wait rounded to whole seconds, one less for each whole second gone by.
  const std::int64_t wait_s = (link.wait_ms + kSecondMs / 2) / kSecondMs;
  const std::int64_t left_s =
      std::max<std::int64_t>(wait_s - std::max<std::int64_t>(elapsed_ms, 0) / kSecondMs, 1);
  return "connection lost: " + link.reason + ", retrying in " + std::to_string(left_s) + " s";
}

std::string CutOffText(std::uint64_t dropped_bytes) {
  return "a frame cut off after " + std::to_string(dropped_bytes) + " bytes dropped";
}

std::string CutOffLogLine(std::uint64_t dropped_bytes) {
  return "-- connection lost, " + CutOffText(dropped_bytes);
}

std::int64_t MsToNextSecond(std::int64_t elapsed_ms) {
  if (elapsed_ms < 0) return -elapsed_ms;
  return kSecondMs - elapsed_ms % kSecondMs;
}

std::string RecordingText(const CaptureRecorder& recorder) {
  if (recorder.error()) return "recording failed: " + recorder.error()->message;
  if (recorder.recording()) return "recording to " + recorder.path();
  return {};
}

std::string LiveStatusText(const LiveStatus& status) {
  if (status.counts == nullptr) return {};
  const LoadResult& counts = *status.counts;
  constexpr Digits kDigits = Digits::kGrouped;
  std::string text = status.link + "; " + CountText(counts.beacon_frames, "beacon frame", kDigits) +
                     ", " + CountText(counts.payload_frames, "payload frame", kDigits) +
                     " since connecting";
  if (!status.dropped.empty()) text += "; " + status.dropped;
  if (status.active && status.since_last_frame_ms) {
    text +=
        "; last frame " +
        NumberText(std::max<std::int64_t>(*status.since_last_frame_ms, 0) / kSecondMs, kDigits) +
        " s ago";
  } else if (status.active) {
    text += "; no frame yet";
  }
  std::string skipped;
  for (std::size_t reason = 0; reason < kSkipReasons; ++reason) {
    if (const std::int64_t count = counts.skipped_by_reason[reason]; count > 0) {
      skipped += (skipped.empty() ? "; skipped: " : ", ") + NumberText(count, kDigits) + " " +
                 SkipReasonText(static_cast<SkipReason>(reason));
    }
  }
  text += skipped;
  if (status.recorder != nullptr) {
    if (const std::string recording = RecordingText(*status.recorder); !recording.empty()) {
      text += "; " + recording;
    }
  }
  return text;
}

std::string UnrecognisedCaptureText(std::string_view path) {
  return std::string(path) + ": " + std::string(kUnrecognisedCaptureText);
}

std::string UndecodedFramesText(std::int64_t count, Digits digits) {
  return CountText(count, "frame", digits) + " could not be decoded";
}

std::string DuplicateFramesText(std::int64_t count, Digits digits) {
  return CountText(count, "duplicate frame", digits) + " skipped";
}

std::string MalformedLinesText(std::int64_t count, Digits digits) {
  return CountText(count, "malformed line", digits) + " skipped";
}

std::string CancelledText(std::int64_t frames) {
  return "loading cancelled after " + CountText(frames, "frame", Digits::kGrouped);
}

std::string FileSummaryText(const LoadResult& result) {
  const std::string path = TerminalText(result.path);
  if (result.unrecognised) return UnrecognisedCaptureText(path) + "\n";
  std::string text = path + ": " + std::to_string(result.beacon_frames) + " beacon frames, " +
                     std::to_string(result.payload_frames) + " payload frames decoded, " +
                     std::to_string(result.skipped_frames) + " skipped\n";
  for (std::size_t reason = 0; reason < kSkipReasons; ++reason) {
    const std::int64_t skipped = result.skipped_by_reason[reason];
    if (skipped == 0) continue;
    text += "  " + std::to_string(skipped) +
            " skipped: " + SkipReasonText(static_cast<SkipReason>(reason)) + "\n";
  }
  for (const LoadWarning& warning : result.warnings) {
    text += "  byte " + std::to_string(warning.offset) + ": " + SkipReasonText(warning.kind);
    if (!warning.detail.empty()) text += " (" + TerminalText(warning.detail) + ")";
    text += "\n";
  }
  if (result.skipped_frames > static_cast<std::int64_t>(result.warnings.size())) {
    text += "  (only the first " + std::to_string(result.warnings.size()) +
            " skipped frames are listed)\n";
  }
  if (result.duplicate_frames > 0) {
    text += "  " + DuplicateFramesText(result.duplicate_frames, Digits::kPlain) + "\n";
  }
  if (result.malformed_lines > 0) {
    text += "  " + MalformedLinesText(result.malformed_lines, Digits::kPlain) + "\n";
    for (const std::string& note : result.line_notes) text += "  " + TerminalText(note) + "\n";
    if (result.malformed_lines > static_cast<std::int64_t>(result.line_notes.size())) {
      text += "  (only the first " + std::to_string(result.line_notes.size()) +
              " malformed lines are listed)\n";
    }
  }
  return text;
}

std::string TotalSummaryText(const DecoderState& state, std::int64_t skipped,
                             std::optional<std::size_t> max_records) {
  std::string text = "total: " + std::to_string(state.BeaconCount) + " beacon frames, " +
                     std::to_string(state.PayloadCount) + " payload frames, " +
                     std::to_string(skipped) + " skipped\n";
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    text += kind == Kind::kBeacon ? "beacon " : "payload ";
    text += state.Count(kind) == 0 ? std::string("time span: none") : TimeSpanText(state, kind);
    text += "\n";
    if (max_records) {
      const std::int64_t kept =
          std::min(state.Count(kind), static_cast<std::int64_t>(*max_records));
      const std::string not_kept = NotKeptText(kind, state.Count(kind), kept, "--max-records");
      if (!not_kept.empty()) text += "  " + not_kept + "\n";
    }
  }
  return text;
}

OpenStatus OpenCommandStatus(std::span<const LoadResult> results, bool cancelled,
                             const DecoderState& state) {
  constexpr Digits kDigits = Digits::kGrouped;
  constexpr std::string_view kListed = " (listed on the debug page)";
  std::vector<std::string> problems;
  if (cancelled) problems.push_back(CancelledText(state.BeaconCount + state.PayloadCount));
  std::string files;
  for (const LoadResult& result : results) {
    files += (files.empty() ? "" : ", ") + result.path;
    if (result.error) problems.push_back(result.error->message);
    if (result.unrecognised) problems.push_back(UnrecognisedCaptureText(result.path));
    const std::string path = result.path + ": ";
    if (result.skipped_frames > 0) {
      problems.push_back(path + UndecodedFramesText(result.skipped_frames, kDigits) +
                         std::string(kListed));
    }
    if (result.duplicate_frames > 0) {
      problems.push_back(path + DuplicateFramesText(result.duplicate_frames, kDigits));
    }
    if (result.malformed_lines > 0) {
      problems.push_back(path + MalformedLinesText(result.malformed_lines, kDigits) +
                         std::string(kListed));
    }
  }
  OpenStatus status{problems, problems};
  // In short, both kinds in one sentence; in full, each kind and the limit it met.
  if (std::string not_kept = NotKeptSummary(state); !not_kept.empty()) {
    status.brief.push_back(std::move(not_kept));
  }
  const std::string limit = "the " +
                            NumberText(static_cast<std::int64_t>(state.store_capacity), kDigits) +
                            " records a store keeps";
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    std::string not_kept =
        NotKeptText(kind, state.Count(kind), static_cast<std::int64_t>(state.StoredCount(kind)),
                    limit, kDigits);
    if (!not_kept.empty()) status.full.push_back(std::move(not_kept));
  }
  // Said only when nothing else explains an empty view (a cancel, an error).
  if (status.brief.empty()) {
    if (std::string nothing = NothingToShowText(state, files); !nothing.empty()) {
      status.brief.push_back(nothing);
      status.full.push_back(std::move(nothing));
    }
  }
  return status;
}

}  // namespace talphex
