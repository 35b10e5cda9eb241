// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace talphex {

inline constexpr std::uint8_t kFend = 0xC0;
inline constexpr std::uint8_t kFesc = 0xDB;
inline constexpr std::uint8_t kTfend = 0xDC;
inline constexpr std::uint8_t kTfesc = 0xDD;

// Longest KISS part that is kept; any frame of this program is far shorter.
inline constexpr std::size_t kMaxPartBytes = 64 * 1024;

// One part of a KISS stream: the bytes between two delimiters.
struct KissPart {
  std::string_view raw;        // as sent, escapes included
  std::string_view text;       // escapes undone
  std::uint64_t raw_size = 0;  // bytes between the delimiters; above kMaxPartBytes when too_long
  std::uint64_t offset = 0;    // position of the part's first byte in the stream
  bool too_long = false;       // only the first kMaxPartBytes + 1 bytes are in raw and text
};

using KissPartSink = std::function<void(const KissPart& part)>;

// Undoes the KISS escapes in one pass: FESC TFEND is 0xC0, FESC TFESC is 0xDB; any other byte,
// a lone FESC included, passes through unchanged.
void KissUnescape(std::string_view raw, std::string& out);
// Appends `frame` as one KISS frame of data on `port` (0 to 15): a delimiter, the command byte,
// the frame with 0xC0 and 0xDB escaped, a delimiter.
void AppendKissFrame(std::string& out, int port, std::string_view frame);

// Cuts a byte stream fed in pieces of any size into KISS parts. Every part closed by a delimiter
// goes to the sink, empty ones included; the unclosed rest waits for the next piece. Memory does
// not grow with the stream: a part is copied only when it spans two pieces or holds escapes, and
// never beyond kMaxPartBytes + 1 bytes.
class KissStreamDecoder {
 public:
  enum class Start {
    kCaptureFile,  // the bytes before the first delimiter are a part
    kLiveStream,   // they are noise from joining a stream in the middle
  };

  explicit KissStreamDecoder(Start start = Start::kCaptureFile);

  void Feed(std::span<const std::uint8_t> bytes, const KissPartSink& sink);
  // A new connection: the unclosed part is dropped, and for a live stream what comes before the
  // next delimiter is noise again. Returns the number of bytes dropped.
  std::uint64_t Restart();
  // Called from the sink: Feed returns after this part, the rest of its piece unread.
  void StopFeeding() { stop_ = true; }
  // Bytes of the part not yet closed by a delimiter.
  std::uint64_t pending_bytes() const { return pending_size_; }
  std::uint64_t position() const { return position_; }

 private:
  void Emit(std::string_view raw, std::uint64_t raw_size, const KissPartSink& sink);

  Start start_;
  bool in_noise_;
  bool stop_ = false;
  std::uint64_t position_ = 0;  // bytes fed so far
  std::uint64_t part_start_ = 0;
  std::string pending_;  // start of a part that continues in the next piece
  std::uint64_t pending_size_ = 0;
  std::string unescaped_;
};

}  // namespace talphex
