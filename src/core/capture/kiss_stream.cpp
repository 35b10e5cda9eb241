// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/kiss_stream.h"

#include <algorithm>
#include <cstring>

namespace talphex {

void AppendKissFrame(std::string& out, int port, std::string_view frame) {
  const auto escaped = [&out](std::uint8_t value) {
    if (value == kFend || value == kFesc) {
      out.push_back(static_cast<char>(kFesc));
      out.push_back(static_cast<char>(value == kFend ? kTfend : kTfesc));
    } else {
      out.push_back(static_cast<char>(value));
    }
  };
  out.push_back(static_cast<char>(kFend));
  // Port 12's command byte is a delimiter's value: it is escaped like the frame's bytes.
  escaped(static_cast<std::uint8_t>((port & 0xF) << 4));
  for (const char byte : frame) escaped(static_cast<std::uint8_t>(byte));
  out.push_back(static_cast<char>(kFend));
}

void KissUnescape(std::string_view raw, std::string& out) {
  out.resize(raw.size());
  char* w = out.data();
  const char* r = raw.data();
  const char* const end = r + raw.size();
  // Runs without an escape are copied whole.
  while (r < end) {
    const auto* fesc =
        static_cast<const char*>(std::memchr(r, kFesc, static_cast<std::size_t>(end - r)));
    const char* run_end = fesc != nullptr ? fesc : end;
    std::memcpy(w, r, static_cast<std::size_t>(run_end - r));
    w += run_end - r;
    r = run_end;
    if (r == end) break;
    const auto next = r + 1 < end ? static_cast<std::uint8_t>(r[1]) : 0;
    if (next == kTfend || next == kTfesc) {
      *w++ = static_cast<char>(next == kTfend ? kFend : kFesc);
      r += 2;
    } else {
      *w++ = *r++;
    }
  }
  out.resize(static_cast<std::size_t>(w - out.data()));
}

KissStreamDecoder::KissStreamDecoder(Start start)
    : start_(start), in_noise_(start == Start::kLiveStream) {}

std::uint64_t KissStreamDecoder::Restart() {
  const std::uint64_t dropped = pending_size_;
  pending_.clear();
  pending_size_ = 0;
  in_noise_ = start_ == Start::kLiveStream;
  return dropped;
}

void KissStreamDecoder::Feed(std::span<const std::uint8_t> bytes, const KissPartSink& sink) {
  const std::uint8_t* p = bytes.data();
  const std::uint8_t* const end = p + bytes.size();
  const std::uint64_t base = position_;
  position_ += bytes.size();
  while (p < end) {
    const auto* fend = static_cast<const std::uint8_t*>(std::memchr(p, kFend, end - p));
    const std::uint8_t* part_end = fend != nullptr ? fend : end;
    const auto piece = static_cast<std::size_t>(part_end - p);
    // Keep what may still be emitted, but never more than a part can usefully hold.
    if (fend == nullptr || pending_size_ > 0) {
      const std::size_t room = kMaxPartBytes + 1 - std::min(pending_.size(), kMaxPartBytes + 1);
      pending_.append(reinterpret_cast<const char*>(p), std::min(piece, room));
      pending_size_ += piece;
    }
    if (fend == nullptr) break;
    if (in_noise_) {
      in_noise_ = false;
    } else if (pending_size_ > 0) {
      Emit(pending_, pending_size_, sink);
    } else {
      Emit({reinterpret_cast<const char*>(p), piece}, piece, sink);
    }
    pending_.clear();
    pending_size_ = 0;
    p = fend + 1;
    part_start_ = base + static_cast<std::uint64_t>(p - bytes.data());
    if (stop_) break;
  }
}

void KissStreamDecoder::Emit(std::string_view raw, std::uint64_t raw_size,
                             const KissPartSink& sink) {
  KissPart part;
  part.raw = raw.substr(0, kMaxPartBytes + 1);
  part.raw_size = raw_size;
  part.offset = part_start_;
  part.too_long = raw_size > kMaxPartBytes;
  part.text = part.raw;
  if (part.raw.find(static_cast<char>(kFesc)) != std::string_view::npos) {
    KissUnescape(part.raw, unescaped_);
    part.text = unescaped_;
  }
  sink(part);
}

}  // namespace talphex
