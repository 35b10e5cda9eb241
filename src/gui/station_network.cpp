// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/station_network.h"

#include <QDateTime>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "core/base/text_safety.h"

namespace talphex {
namespace {

// Event lines kept for the frame log between two refreshes.
constexpr std::size_t kEventLines = 1000;
// How long closing the window waits for each sink to hand over what it holds.
constexpr std::chrono::seconds kStopWait{2};
constexpr int kRefreshMs = 1000;
// Malformed messages said one line each, at most; the rest are counted.
constexpr std::int64_t kMaxMalformedLines = 10;

std::string Count(std::int64_t n, const char* what) { return std::to_string(n) + " " + what; }

}  // namespace

StationNetwork::StationNetwork(QObject* parent)
    : QObject(parent), release_(new QTimer(this)), refresh_(new QTimer(this)), log_(kEventLines) {
  release_->setObjectName(QStringLiteral("NetMergeRelease"));
  release_->setSingleShot(true);
  connect(release_, &QTimer::timeout, this, [this] { ReleaseMerged(false); });
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, &StationNetwork::statusChanged);
}

StationNetwork::~StationNetwork() { Stop(); }

void StationNetwork::Start(NetworkPlan plan) {
  Stop();
  plan_ = std::move(plan);
  mqtt_state_ = "connecting";
  published_records_ = {};
  influx_records_ = {};
  const auto events = [this](const std::string& line) { Event(line); };
  if (plan_.mqtt && !plan_.subscribe) {
    publisher_ = std::make_unique<MqttPublisher>(*plan_.mqtt, events);
    publisher_->Start();
  }
  if (plan_.influx) {
    InfluxWriterSettings settings;
    settings.host = plan_.influx->host;
    settings.folder = InfluxCacheFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME"));
    std::error_code error;
    if (!settings.folder.empty()) std::filesystem::create_directories(settings.folder, error);
    points_ = std::make_unique<AnalysisWriter>(AnalysisFormat::kInflux,
                                               plan_.mqtt ? plan_.mqtt->station : std::string());
    influx_ = std::make_unique<InfluxWriter>(
        settings, InfluxHttpSender(*plan_.influx, plan_.influx_token), events);
    if (settings.folder.empty()) {
      OnEvent("InfluxDB " + settings.host + ": no folder for the spool (HOME is not set)");
      influx_.reset();
    } else if (const Status opened = influx_->Open(); !opened) {
      OnEvent("InfluxDB " + settings.host + ": " + opened.error().message);
      influx_.reset();
    } else {
      influx_->Start();
    }
  }
  if (plan_.sids) {
    sids_ = std::make_unique<SidsSubmitter>(*plan_.sids, events);
    sids_->Start();
  }
  if (publisher_ || influx_ || sids_) refresh_->start();
  emit statusChanged();
}

void StationNetwork::Stop() {
  EndSubscription();
  if (publisher_) {
    publisher_->WaitDelivered(kStopWait);
    publisher_->Stop();
    OnEvent(MqttSummaryText(plan_.mqtt->url, publisher_->counts()));
    publisher_.reset();
  }
  if (influx_) {
    influx_->Finish(kStopWait);
    OnEvent(InfluxSummaryText(plan_.influx->host, influx_->counts()));
    influx_.reset();
  }
  if (sids_) {
    sids_->WaitSent(kStopWait);
    sids_->Stop();
    OnEvent(SidsSummaryText(plan_.sids->server, sids_->counts()));
    sids_.reset();
  }
  refresh_->stop();
  plan_ = {};
  emit statusChanged();
}

std::string StationNetwork::subscription_source() const {
  return plan_.mqtt ? "mqtt:" + plan_.mqtt->url.where.Text() : std::string();
}

void StationNetwork::StartSubscription() {
  EndSubscription();
  if (!plan_.subscribe) return;
  mqtt_state_ = "connecting";
  merger_ = std::make_unique<FrameMerger>();
  malformed_ = 0;
  subscriber_ = std::make_unique<MqttSubscriber>(*plan_.mqtt, plan_.filter,
                                                 [this](const std::string& line) { Event(line); });
  wake_ = new QSocketNotifier(subscriber_->wake_fd(), QSocketNotifier::Read, this);
  connect(wake_, &QSocketNotifier::activated, this, [this] {
    TakeMessages();
    ReleaseMerged(false);
  });
  subscriber_->Start();
  refresh_->start();
  emit statusChanged();
}

void StationNetwork::EndSubscription() {
  if (!subscriber_) return;
  delete std::exchange(wake_, nullptr);
  subscriber_->Stop();
  // What the broker handed over before the end is decoded, the held frames too.
  TakeMessages();
  ReleaseMerged(true);
  const MergerCounts& counts = merger_->counts();
  OnEvent("MQTT " + plan_.mqtt->url.Text() + ": " + Count(counts.received, "frames received, ") +
          Count(counts.duplicates, "duplicates, ") + Count(malformed_, "malformed"));
  subscriber_.reset();
  merger_.reset();
  release_->stop();
  if (!publisher_ && !influx_ && !sids_) refresh_->stop();
  emit statusChanged();
}

void StationNetwork::TakeMessages() {
  std::vector<ArrivedMessage> arrived;
  subscriber_->Take(arrived);
  for (const ArrivedMessage& message : arrived) {
    ArrivedFrame frame = FrameOfMessage(message);
    if (frame.frame) {
      (void)merger_->Add(std::move(*frame.frame));
    } else if (++malformed_ <= kMaxMalformedLines) {
      OnEvent("MQTT " + plan_.mqtt->url.Text() + ": message skipped: " + frame.error);
    }
  }
}

void StationNetwork::ReleaseMerged(bool all) {
  if (!merger_) return;
  std::vector<MergedFrame> merged;
  if (all) {
    merger_->ReleaseAll(merged);
  } else {
    merger_->Release(QDateTime::currentMSecsSinceEpoch(), merged);
  }
  if (!merged.empty()) {
    std::string kiss;
    for (const MergedFrame& frame : merged) AppendMergedKiss(kiss, frame);
    emit mergedFrames(QByteArray::fromStdString(kiss), merged.back().rx_ms);
  }
  ScheduleRelease();
}

void StationNetwork::ScheduleRelease() {
  const std::optional<std::int64_t> next = merger_ ? merger_->NextReleaseMs() : std::nullopt;
  if (!next) {
    release_->stop();
    return;
  }
  const std::int64_t wait = std::clamp<std::int64_t>(*next - QDateTime::currentMSecsSinceEpoch(), 0,
                                                     FrameMerger::kHoldMs);
  release_->start(static_cast<int>(wait));
}

void StationNetwork::OfferFrame(const FrameFacts& facts, int millisecond) {
  if (publisher_) {
    publisher_->Publish(MqttFramesTopic(plan_.mqtt->station),
                        MqttFrameJson(facts, millisecond, plan_.mqtt->station));
  }
  // Only the satellite's frames go to its entry in the database.
  if (sids_ && facts.kind != FrameKind::kOther) sids_->Offer(facts, millisecond);
}

void StationNetwork::OfferRecord(Kind kind, const TelemetryRecord& record,
                                 std::string_view source) {
  const auto index = static_cast<std::size_t>(kind);
  if (publisher_) {
    line_.clear();
    jsonl_.Append(line_, kind, record, ++published_records_[index], source);
    while (!line_.empty() && (line_.back() == '\n' || line_.back() == '\r')) line_.pop_back();
    publisher_->Publish(MqttRecordsTopic(plan_.mqtt->station, kind), line_);
  }
  if (influx_) {
    line_.clear();
    points_->Append(line_, kind, record, ++influx_records_[index], source);
    if (!line_.empty()) influx_->Add(line_);
  }
}

void StationNetwork::Event(const std::string& line) {
  // Queued: the line is taken on the user-interface thread; dropped if this object has gone.
  QMetaObject::invokeMethod(
      this, [this, line] { OnEvent(line); }, Qt::QueuedConnection);
}

void StationNetwork::OnEvent(const std::string& line) {
  // The MQTT state is the last line's state word: "connected", "connection lost", ...
  if (plan_.mqtt && line.starts_with("MQTT ")) {
    const std::string prefix = "MQTT " + plan_.mqtt->url.Text() + ": ";
    if (line.starts_with(prefix)) {
      const std::string said = line.substr(prefix.size());
      if (!said.starts_with("message skipped")) {
        mqtt_state_ = said.substr(0, said.find_first_of(":;,"));
      }
    }
  }
  // FrameLogBuffer shows the server's words as printable text.
  log_.Add(line);
  emit logged();
  emit statusChanged();
}

QString StationNetwork::StatusText() const {
  std::vector<std::string> parts;
  if (publisher_ || subscriber_) {
    std::string part = "MQTT " + plan_.mqtt->url.Text() + ": " + mqtt_state_;
    if (publisher_) {
      const MqttCounts counts = publisher_->counts();
      part += ", " + Count(counts.published, "published");
      if (counts.waiting > 0) part += ", " + Count(counts.waiting, "waiting");
      if (counts.dropped > 0) part += ", " + Count(counts.dropped, "dropped");
    } else {
      part += ", " + Count(merger_->counts().received, "frames");
    }
    parts.push_back(part);
  }
  if (influx_) {
    const InfluxCounts counts = influx_->counts();
    std::string part = "InfluxDB " + plan_.influx->host + ": " + Count(counts.sent, "sent") + ", " +
                       Count(counts.waiting, "waiting");
    if (counts.rejected > 0) part += ", " + Count(counts.rejected, "rejected");
    if (counts.dropped > 0) part += ", " + Count(counts.dropped, "dropped");
    parts.push_back(part);
  }
  if (sids_) {
    const SidsCounts counts = sids_->counts();
    std::string part = "SiDS " + plan_.sids->server + ": " + Count(counts.sent, "sent");
    if (counts.waiting > 0) part += ", " + Count(counts.waiting, "waiting");
    if (counts.rejected + counts.given_up + counts.dropped > 0) {
      part += ", " + Count(counts.rejected + counts.given_up + counts.dropped, "not sent");
    }
    parts.push_back(part);
  }
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : "; ") + part;
  // Host names and the servers' words: as the frame log shows them, never raw control bytes.
  std::string shown;
  AssignPrintableText(shown, text);
  return QString::fromStdString(shown);
}

FrameLogBuffer StationNetwork::TakeLog() {
  FrameLogBuffer taken(kEventLines);
  std::swap(taken, log_);
  return taken;
}

}  // namespace talphex
