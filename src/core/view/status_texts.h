// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The sentences that both the command-line tool and the window show: the state of the link to a
// TNC, the window's live status line, and what a run or an open command loaded. Worded here once,
// so that the two never drift apart.
//
// A sentence is bytes. The words of this module are ASCII; paths, host names and the system's
// reasons come in as they were given (file-name bytes, UTF-8 for the system's texts). The window
// therefore turns a sentence into text as it turns a file name (DecodeFileName), and a terminal
// gets it through TerminalText.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/capture/capture_loader.h"
#include "core/capture/capture_recorder.h"
#include "core/decode/decoder_state.h"
#include "core/view/text_forms.h"

namespace talphex {

// ---------------------------------------------------------------------------------------------
// Numbers: NumberText and Digits (text_forms.h)

// "1 frame", "2 frames", "37,258 frames": the count and the noun, plural unless the count is 1.
std::string CountText(std::int64_t count, std::string_view noun, Digits digits);

// ---------------------------------------------------------------------------------------------
// The link to a TNC

// An attempt to connect that gets no answer is given up after this long, and tried again.
inline constexpr int kConnectTimeoutMs = 10000;

// The reason a connection ended when the TNC closed it.
inline constexpr std::string_view kClosedByTncText = "closed by the TNC";

struct LinkState {
  enum class Phase { kDisconnected, kConnecting, kConnected, kRetrying };
  Phase phase = Phase::kDisconnected;
  std::string where{};       // "HOST:PORT" as HostPort::Text gives it
  std::string reason{};      // kRetrying: why the connection or the attempt ended
  std::int64_t wait_ms = 0;  // kRetrying: the wait before the next attempt
};

// "disconnected", "connecting to HOST:PORT", "connected to HOST:PORT" or "connection lost:
// REASON, retrying in N s". `elapsed_ms` is the time since the state began: the retry counts down
// a second at a time from the wait rounded to whole seconds, and stays at 1 until the attempt.
std::string LinkStateText(const LinkState& link, std::int64_t elapsed_ms = 0);

// "a frame cut off after N bytes dropped": what a dropped connection cost. The command-line tool
// adds it to the reason the connection ended; the window's frame log says CutOffLogLine.
std::string CutOffText(std::uint64_t dropped_bytes);
// "-- connection lost, a frame cut off after N bytes dropped"
std::string CutOffLogLine(std::uint64_t dropped_bytes);

// The time from `elapsed_ms` after an event until the whole seconds since the event next change:
// 1000 at the event itself, 1 a millisecond before the next second. A clock that shows "N s ago"
// or counts a wait down ticks at these moments, in step with the event rather than with whenever
// its timer started.
std::int64_t MsToNextSecond(std::int64_t elapsed_ms);

// ---------------------------------------------------------------------------------------------
// The window's live status line

struct LiveStatus {
  std::string link{};                  // LinkStateText of the link now
  const LoadResult* counts = nullptr;  // the frames of the connection; nullptr before one
  // While the link is active (connecting, connected or retrying) the line says the time since the
  // last frame, or "no frame yet"; once disconnected it says neither, as a count that no longer
  // runs would mislead.
  bool active = false;
  std::optional<std::int64_t> since_last_frame_ms{};  // none before the first frame
  // Said right after the counts, where a narrow status bar still shows it: records a live store
  // dropped (DroppedRecordsText); empty for none.
  std::string dropped{};
  const CaptureRecorder* recorder = nullptr;  // the recording; nullptr for none
};

// "connected to HOST:PORT; 3 beacon frames, 0 payload frames since connecting; last frame 12 s
// ago; skipped: 1 KISS frame longer than 65536 bytes; recording to PATH". Each skip reason is
// named with its count; "no frame yet" before the first frame. Empty without counts.
std::string LiveStatusText(const LiveStatus& status);

// "recording to PATH", "recording failed: MESSAGE" or "" for a recorder that records nothing.
std::string RecordingText(const CaptureRecorder& recorder);

// ---------------------------------------------------------------------------------------------
// What was loaded

// "PATH: no KISS frames and no SatNOGS lines"
std::string UnrecognisedCaptureText(std::string_view path);
// "N frames could not be decoded", "N duplicate frames skipped", "N malformed lines skipped"
std::string UndecodedFramesText(std::int64_t count, Digits digits);
std::string DuplicateFramesText(std::int64_t count, Digits digits);
std::string MalformedLinesText(std::int64_t count, Digits digits);
// "loading cancelled after N frames"
std::string CancelledText(std::int64_t frames);

// The command-line tool's summary of one capture: counts, skips by reason, the first skipped
// frames and malformed lines. Paths and details are escaped for a terminal.
std::string FileSummaryText(const LoadResult& result);
// The command-line tool's summary of a run: totals, time spans and, with --max-records, the frames
// not kept.
std::string TotalSummaryText(const DecoderState& state, std::int64_t skipped,
                             std::optional<std::size_t> max_records);

// The status line after an open command: `brief` for the line itself, `full` for its tooltip,
// which says the frames not kept by kind. Each is a list of sentences the window joins with "; ".
struct OpenStatus {
  std::vector<std::string> brief;
  std::vector<std::string> full;
};

// The sentences an open command leaves in the status line, from the results of the files it read
// (in order; fewer than chosen when it was cancelled), whether it was cancelled and the state it
// filled: the cancel, each file's error, unrecognised capture, undecoded frames, duplicates and
// malformed lines; then the frames not kept; and "nothing to show" when nothing else explains an
// empty view. Both lists are empty when there is nothing to say.
OpenStatus OpenCommandStatus(std::span<const LoadResult> results, bool cancelled,
                             const DecoderState& state);

}  // namespace talphex
