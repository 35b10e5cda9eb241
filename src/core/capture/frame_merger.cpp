// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/frame_merger.h"

#include <algorithm>
#include <array>
#include <functional>

#include "core/base/recent_frames.h"
#include "core/base/utc_time.h"
#include "core/capture/capture_loader.h"
#include "core/capture/kiss_stream.h"
#include "core/view/conf_ini.h"

namespace talphex {
namespace {

// The longest station name taken: longer ones are not a station's.
constexpr std::size_t kMaxStationName = 64;

// A JSON value of the message: a string without escapes, an integer, or null.
struct JsonValue {
  enum class Type { kString, kInteger, kNull } type;
  std::string_view text;
};

// Reads the flat JSON object of a frame message, one token at a time.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool Take(char c) {
    SkipSpace();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  bool AtEnd() {
    SkipSpace();
    return at_ == text_.size();
  }
  std::optional<std::string_view> String() {
    if (!Take('"')) return std::nullopt;
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] != '"') {
      const auto byte = static_cast<unsigned char>(text_[at_]);
      // None of the message's strings needs an escape or a control byte.
      if (byte < 0x20 || byte == '\\') return std::nullopt;
      ++at_;
    }
    if (at_ == text_.size()) return std::nullopt;
    return text_.substr(start, at_++ - start);
  }
  std::optional<JsonValue> ReadValue() {
    SkipSpace();
    if (at_ >= text_.size()) return std::nullopt;
    if (text_[at_] == '"') {
      const std::optional<std::string_view> text = String();
      if (!text) return std::nullopt;
      return JsonValue{JsonValue::Type::kString, *text};
    }
    if (text_.substr(at_, 4) == "null") {
      at_ += 4;
      return JsonValue{JsonValue::Type::kNull, {}};
    }
    const std::size_t start = at_;
    while (at_ < text_.size() && at_ - start < 9 && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    if (at_ == start) return std::nullopt;
    return JsonValue{JsonValue::Type::kInteger, text_.substr(start, at_ - start)};
  }

 private:
  void SkipSpace() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
      ++at_;
    }
  }
  std::string_view text_;
  std::size_t at_ = 0;
};

FrameMessageResult Fault(FrameMessageFault fault, std::string reason) {
  return {std::nullopt, FrameMessageError{fault, std::move(reason)}};
}

int Digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Milliseconds since 1970 of exactly "YYYY-MM-DDThh:mm:ss.sssZ".
std::optional<std::int64_t> IsoMilliseconds(std::string_view text) {
  if (text.size() != 24 || text[19] != '.' || text[23] != 'Z') return std::nullopt;
  const std::optional<std::int64_t> seconds = ParseUtcDateTime(text.substr(0, 19), 'T');
  if (!seconds) return std::nullopt;
  int millisecond = 0;
  for (const char c : text.substr(20, 3)) {
    if (c < '0' || c > '9') return std::nullopt;
    millisecond = millisecond * 10 + (c - '0');
  }
  return *seconds * 1000 + millisecond;
}

}  // namespace

FrameMessageResult ParseFrameMessage(std::string_view text) {
  if (text.size() > kMaxFrameMessageSize) {
    return Fault(
        FrameMessageFault::kTooLarge,
        "larger than a frame message can be (" + std::to_string(kMaxFrameMessageSize) + " bytes)");
  }
  static constexpr std::array<std::string_view, 4> kKeys = {"rx_time_utc", "station", "frame_hex",
                                                            "kiss_port"};
  std::array<std::optional<JsonValue>, kKeys.size()> values;
  Reader reader(text);
  if (!reader.Take('{')) return Fault(FrameMessageFault::kSyntax, "not a JSON object");
  for (bool first = true; !reader.Take('}'); first = false) {
    if (!first && !reader.Take(',')) {
      return Fault(FrameMessageFault::kSyntax, "expected \",\" or \"}\" between keys");
    }
    const std::optional<std::string_view> key = reader.String();
    if (!key) {
      return Fault(FrameMessageFault::kSyntax, "expected a key without escapes or control bytes");
    }
    const auto known = std::find(kKeys.begin(), kKeys.end(), *key);
    if (known == kKeys.end()) return Fault(FrameMessageFault::kUnknownKey, "an unknown key");
    std::optional<JsonValue>& value = values[static_cast<std::size_t>(known - kKeys.begin())];
    if (value) return Fault(FrameMessageFault::kUnknownKey, std::string(*key) + " given twice");
    if (!reader.Take(':')) return Fault(FrameMessageFault::kSyntax, "expected \":\" after a key");
    value = reader.ReadValue();
    if (!value) {
      return Fault(FrameMessageFault::kSyntax,
                   std::string(*key) + ": expected a plain string, a small integer or null");
    }
  }
  if (!reader.AtEnd()) return Fault(FrameMessageFault::kSyntax, "more after the object");
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (!values[i]) return Fault(FrameMessageFault::kMissingKey, "no " + std::string(kKeys[i]));
  }
  const JsonValue& time = *values[0];
  const JsonValue& station = *values[1];
  const JsonValue& hex = *values[2];
  const JsonValue& port = *values[3];
  FrameMessage message;
  if (time.type == JsonValue::Type::kString) message.rx_ms = IsoMilliseconds(time.text);
  if (time.type != JsonValue::Type::kNull && !message.rx_ms) {
    return Fault(FrameMessageFault::kBadTime,
                 "rx_time_utc: expected \"YYYY-MM-DDThh:mm:ss.sssZ\" or null");
  }
  if (station.type != JsonValue::Type::kString || station.text.empty() ||
      station.text.size() > kMaxStationName || !IsStationName(station.text)) {
    return Fault(FrameMessageFault::kBadStation,
                 "station: expected a name of letters, digits, - and _ (at most 64)");
  }
  message.station.assign(station.text);
  if (hex.type != JsonValue::Type::kString || hex.text.empty() || hex.text.size() % 2 != 0 ||
      !std::all_of(hex.text.begin(), hex.text.end(), [](char c) { return Digit(c) >= 0; })) {
    return Fault(FrameMessageFault::kBadFrame, "frame_hex: expected an even number of hex digits");
  }
  message.frame.reserve(hex.text.size() / 2);
  for (std::size_t i = 0; i < hex.text.size(); i += 2) {
    message.frame.push_back(static_cast<char>(Digit(hex.text[i]) * 16 + Digit(hex.text[i + 1])));
  }
  if (port.type == JsonValue::Type::kInteger) {
    const int number = std::stoi(std::string(port.text));
    if (number > 15 || (port.text.size() > 1 && port.text[0] == '0')) {
      return Fault(FrameMessageFault::kBadKissPort, "kiss_port: expected 0 to 15 or null");
    }
    message.kiss_port = number;
  } else if (port.type != JsonValue::Type::kNull) {
    return Fault(FrameMessageFault::kBadKissPort, "kiss_port: expected 0 to 15 or null");
  }
  return {std::move(message), std::nullopt};
}

void AppendMergedKiss(std::string& out, const MergedFrame& frame) {
  out.push_back(static_cast<char>(kFend));
  if (frame.rx_ms % 1000 != 0) {
    out += TimestampPart(frame.rx_ms);
  } else {
    out.push_back('\0');
    out += UtcTimeText(frame.rx_ms);
    out.append(kTimestampPartSize - 20, '\0');
  }
  AppendKissFrame(out, frame.kiss_port, frame.bytes);
}

FrameMerger::Taken FrameMerger::Add(HeardFrame frame) {
  const std::int64_t now = frame.arrival_ms;
  Forget(now);
  ++counts_.received;
  const std::uint64_t hash = FrameHash(frame.bytes);
  if (const auto seen = seen_.find(hash); seen != seen_.end()) {
    ++counts_.duplicates;
    if (!seen->second.held) return Taken::kDuplicate;
    std::vector<std::string>& stations = held_.at(*seen->second.held).frame.stations;
    if (std::find(stations.begin(), stations.end(), frame.station) == stations.end()) {
      stations.push_back(std::move(frame.station));
    }
    return Taken::kHeldDuplicate;
  }
  if (seen_.size() >= kMaxRemembered) {
    seen_.erase(seen_order_.front().second);
    seen_order_.pop_front();
  }
  const HoldKey key{frame.rx_ms, next_number_++};
  seen_.emplace(hash, Seen{now, key});
  seen_order_.emplace_back(now, hash);
  arrivals_.emplace_back(now, key);
  MergedFrame merged{std::move(frame.bytes), frame.rx_ms, frame.kiss_port, {}};
  merged.stations.push_back(std::move(frame.station));
  held_.emplace(key, Held{std::move(merged), hash});
  return Taken::kNew;
}

void FrameMerger::Forget(std::int64_t now_ms) {
  while (!seen_order_.empty() && seen_order_.front().first + kRememberMs <= now_ms) {
    seen_.erase(seen_order_.front().second);
    seen_order_.pop_front();
  }
}

void FrameMerger::ReleaseUpTo(const HoldKey& last, std::vector<MergedFrame>& out) {
  const auto end = held_.upper_bound(last);
  for (auto held = held_.begin(); held != end; ++held) {
    // Later copies are only counted from now on.
    if (const auto seen = seen_.find(held->second.hash);
        seen != seen_.end() && seen->second.held == held->first) {
      seen->second.held.reset();
    }
    out.push_back(std::move(held->second.frame));
  }
  held_.erase(held_.begin(), end);
}

void FrameMerger::Release(std::int64_t now_ms, std::vector<MergedFrame>& out) {
  Forget(now_ms);
  while (!arrivals_.empty() && arrivals_.front().first + kHoldMs <= now_ms) {
    const HoldKey key = arrivals_.front().second;
    arrivals_.pop_front();
    // A frame released before its own hold ended, behind one received later, is gone already.
    if (held_.contains(key)) ReleaseUpTo(key, out);
  }
}

void FrameMerger::ReleaseAll(std::vector<MergedFrame>& out) {
  if (!held_.empty()) ReleaseUpTo(held_.rbegin()->first, out);
  arrivals_.clear();
}

std::optional<std::int64_t> FrameMerger::NextReleaseMs() const {
  // A frame released early leaves its entry, which only wakes the caller once for nothing.
  if (arrivals_.empty()) return std::nullopt;
  return arrivals_.front().first + kHoldMs;
}

}  // namespace talphex
