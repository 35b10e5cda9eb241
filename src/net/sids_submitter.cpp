// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/sids_submitter.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "core/export/analysis_exports.h"

namespace talphex {
namespace {

using Clock = std::chrono::steady_clock;

// The most of a server's answer a message quotes.
constexpr std::size_t kQuotedAnswer = 200;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

Error UrlError(std::string_view url, const char* why) {
  return Error{ErrorKind::kUsage, "\"" + std::string(url) + "\" " + why};
}

// The degrees in ten-thousandths, rounded half away from zero, then the hemisphere's letter.
std::string PositionText(double degrees, char positive, char negative) {
  const auto units = static_cast<std::int64_t>(std::llround(degrees * 10'000));
  const std::int64_t magnitude = units < 0 ? -units : units;
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%04lld%c", static_cast<long long>(magnitude / 10'000),
                static_cast<long long>(magnitude % 10'000), units < 0 ? negative : positive);
  return text;
}

// The server's answer for a message line: its start, the status when it said nothing.
std::string AnswerText(const HttpResponse& response) {
  if (!response.error.empty()) return response.error;
  std::string text = "HTTP " + std::to_string(response.status);
  if (!response.body.empty()) {
    text += ": " + response.body.substr(0, kQuotedAnswer);
    if (response.body.size() > kQuotedAnswer) text += "...";
  }
  return text;
}

}  // namespace

Expected<std::string> SidsServerOf(std::string_view url) {
  std::string_view rest = url;
  if (std::any_of(url.begin(), url.end(), [](char c) {
        return static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F;
      })) {
    return UrlError(url, "holds spaces or control bytes");
  }
  if (rest.starts_with("https://")) {
    rest.remove_prefix(8);
  } else if (rest.starts_with("http://")) {
    rest.remove_prefix(7);
  } else {
    return UrlError(url, "is not http://HOST[:PORT]/PATH or https://HOST[:PORT]/PATH");
  }
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (authority.find('@') != std::string_view::npos) return UrlError(url, "holds a user name");
  std::string_view host = authority;
  std::string_view port;
  if (host.starts_with('[')) {
    const std::size_t close = host.find(']');
    if (close == std::string_view::npos) return UrlError(url, "has no host");
    port = host.substr(close + 1);
    host = host.substr(0, close + 1);
    if (!port.empty() && !port.starts_with(':')) return UrlError(url, "has a bad port");
  } else if (const std::size_t colon = host.find(':'); colon != std::string_view::npos) {
    port = host.substr(colon);
    host = host.substr(0, colon);
  }
  if (host.empty() || host == "[]") return UrlError(url, "has no host");
  if (!port.empty()) {
    port.remove_prefix(1);
    int number = 0;
    const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
    if (port.empty() || port.size() > 5 || error != std::errc() ||
        end != port.data() + port.size() || number < 1 || number > 65535) {
      return UrlError(url, "has a bad port");
    }
  }
  return std::string(authority);
}

bool IsCallsign(std::string_view callsign) {
  return !callsign.empty() && callsign.size() <= 32 &&
         std::all_of(callsign.begin(), callsign.end(),
                     [](char c) { return IsLetter(c) || IsDigit(c) || c == '-' || c == '/'; });
}

Expected<double> ParseDegrees(std::string_view text, double limit) {
  const Error error{ErrorKind::kUsage, "\"" + std::string(text) +
                                           "\" is not decimal degrees from " +
                                           std::to_string(static_cast<int>(-limit)) + " to " +
                                           std::to_string(static_cast<int>(limit))};
  std::string_view digits = text;
  if (digits.starts_with('+') || digits.starts_with('-')) digits.remove_prefix(1);
  // Plain decimals only: no exponent, "inf" or "nan", and a digit on each side of a point.
  const std::size_t point = digits.find('.');
  const std::string_view whole = digits.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view("0") : digits.substr(point + 1);
  const auto all_digits = [](std::string_view part) {
    return !part.empty() && part.size() <= 12 && std::all_of(part.begin(), part.end(), IsDigit);
  };
  if (!all_digits(whole) || !all_digits(fraction)) return error;
  double value = 0;
  const auto [end, parsed] = std::from_chars(text.data() + (text.starts_with('+') ? 1 : 0),
                                             text.data() + text.size(), value);
  if (parsed != std::errc() || end != text.data() + text.size() || std::abs(value) > limit) {
    return error;
  }
  return value;
}

std::string LongitudeText(double degrees) { return PositionText(degrees, 'E', 'W'); }
std::string LatitudeText(double degrees) { return PositionText(degrees, 'N', 'S'); }

std::string PercentEncode(std::string_view text) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (const char c : text) {
    if (IsLetter(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      encoded += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      encoded += '%';
      encoded += kDigits[byte >> 4];
      encoded += kDigits[byte & 0xF];
    }
  }
  return encoded;
}

std::optional<SidsFrame> SidsFrameOf(const FrameFacts& facts, int millisecond) {
  std::string timestamp = IsoUtcTime(facts.rx_time, millisecond < 0 ? 0 : millisecond);
  if (timestamp.empty()) return std::nullopt;
  std::string_view frame = facts.bytes;
  if (facts.kiss && !frame.empty()) frame.remove_prefix(1);
  static constexpr char kDigits[] = "0123456789ABCDEF";
  SidsFrame sids{std::move(timestamp), {}};
  sids.frame_hex.reserve(frame.size() * 2);
  for (const char c : frame) {
    sids.frame_hex += kDigits[static_cast<unsigned char>(c) >> 4];
    sids.frame_hex += kDigits[static_cast<unsigned char>(c) & 0xF];
  }
  return sids;
}

std::string SidsFormBody(const SidsStation& station, const SidsFrame& frame) {
  return "noradID=" + std::to_string(station.norad_id) +
         "&source=" + PercentEncode(station.callsign) +
         "&timestamp=" + PercentEncode(frame.timestamp) + "&frame=" + frame.frame_hex +
         "&locator=longLat&longitude=" + PercentEncode(LongitudeText(station.longitude)) +
         "&latitude=" + PercentEncode(LatitudeText(station.latitude)) +
         "&version=" + PercentEncode(station.version);
}

std::string SidsSummaryText(std::string_view server, const SidsCounts& counts) {
  std::string text = "SiDS " + std::string(server) + ": " + std::to_string(counts.sent) +
                     " sent, " + std::to_string(counts.waiting) + " waiting, " +
                     std::to_string(counts.rejected) + " rejected, " +
                     std::to_string(counts.given_up) + " given up, " +
                     std::to_string(counts.dropped) + " dropped";
  if (counts.without_time > 0) {
    text += ", " + std::to_string(counts.without_time) + " without a receive time";
  }
  if (counts.too_long > 0) text += ", " + std::to_string(counts.too_long) + " too long";
  return text;
}

SidsSubmitter::SidsSubmitter(SidsSettings settings, EventSink events, Poster poster,
                             SidsTiming timing)
    : settings_(std::move(settings)),
      events_(std::move(events)),
      poster_(std::move(poster)),
      timing_(timing),
      wait_(timing.first_retry) {}

SidsSubmitter::~SidsSubmitter() { Stop(); }

void SidsSubmitter::Start() {
  thread_ = std::thread([this] { Loop(); });
}

void SidsSubmitter::Offer(const FrameFacts& facts, int millisecond) {
  if (facts.result == FrameResult::kDuplicate) return;
  // A frame with both markers: its payload report follows its beacon report.
  const bool again = facts.kind == FrameKind::kPayload && facts.offset == last_offset_ &&
                     facts.bytes == last_offered_;
  last_offset_ = facts.offset;
  last_offered_.assign(facts.bytes);
  if (again) return;
  if (facts.bytes.size() != facts.length) {
    const std::lock_guard lock(mutex_);
    ++counts_.too_long;
    return;
  }
  const std::optional<SidsFrame> frame = SidsFrameOf(facts, millisecond);
  {
    const std::lock_guard lock(mutex_);
    if (!frame) {
      ++counts_.without_time;
      return;
    }
    queue_.Push({SidsFormBody(settings_.station, *frame), Clock::now()});
  }
  changed_.notify_all();
}

bool SidsSubmitter::WaitSent(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return queue_.empty() && !sending_; });
}

void SidsSubmitter::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

SidsCounts SidsSubmitter::counts() const {
  const std::lock_guard lock(mutex_);
  SidsCounts counts = counts_;
  counts.waiting = static_cast<std::int64_t>(queue_.size()) + (sending_ ? 1 : 0);
  counts.dropped = queue_.dropped();
  return counts;
}

void SidsSubmitter::Say(const std::string& what) {
  said_.push_back("SiDS " + settings_.server + ": " + what);
}

void SidsSubmitter::Loop() {
  HttpRequest request;
  request.url = settings_.url;
  request.content_type = "application/x-www-form-urlencoded";
  request.timeout = timing_.request_timeout;
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait_until(lock, next_try_, [this] { return stop_; });
    changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    if (Clock::now() < next_try_) continue;
    Item item = std::move(*queue_.Pop());
    sending_ = true;
    request.body = item.body;
    lock.unlock();
    const HttpResponse response = poster_(request);
    lock.lock();
    sending_ = false;
    Answered(std::move(item), response, Clock::now());
    // Told without the lock, so that a slow terminal never holds up the decoder's Offer.
    if (!said_.empty()) {
      lock.unlock();
      for (const std::string& line : said_) {
        if (events_) events_(line);
      }
      said_.clear();
      lock.lock();
    }
    changed_.notify_all();
  }
}

void SidsSubmitter::Answered(Item item, const HttpResponse& response, Clock::time_point now) {
  if (response.Success()) {
    ++counts_.sent;
    wait_ = timing_.first_retry;
    next_try_ = {};
    if (link_ != Link::kAccepting) Say("frames accepted");
    link_ = Link::kAccepting;
    return;
  }
  const std::string answer = AnswerText(response);
  const bool retried = !response.error.empty() || response.status == 429 || response.status >= 500;
  if (!retried) {
    // Told once for a run of the same answer, not once a frame.
    ++counts_.rejected;
    if (link_ != Link::kRejecting || reason_ != answer) Say("frame rejected: " + answer);
    link_ = Link::kRejecting;
    reason_ = answer;
    return;
  }
  // The frame goes back to the head of the queue, unless it and those after it are too old.
  queue_.PushOldest(std::move(item));
  std::int64_t given_up = 0;
  while (!queue_.empty()) {
    Item oldest = std::move(*queue_.Pop());
    if (now - oldest.queued < timing_.give_up) {
      queue_.PushOldest(std::move(oldest));
      break;
    }
    ++given_up;
  }
  counts_.given_up += given_up;
  if (given_up > 0) {
    Say(std::to_string(given_up) + (given_up == 1 ? " frame" : " frames") +
        " given up, failing for an hour: " + answer);
  }
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(wait_ + std::chrono::milliseconds(500));
  if (link_ != Link::kFailing || reason_ != answer) {
    Say((response.error.empty() ? "server failed: " : "no answer: ") + answer + "; retrying in " +
        std::to_string(seconds.count()) + " s");
  }
  link_ = Link::kFailing;
  reason_ = answer;
  next_try_ = now + wait_;
  wait_ = std::min(wait_ * 2, timing_.last_retry);
}

}  // namespace talphex
