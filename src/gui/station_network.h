// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "core/capture/frame_facts.h"
#include "core/capture/frame_log_buffer.h"
#include "core/capture/frame_merger.h"
#include "core/decode/decoder_state.h"
#include "core/export/analysis_exports.h"
#include "gui/station_network_dialog.h"
#include "net/influx_writer.h"
#include "net/mqtt_publisher.h"
#include "net/mqtt_subscriber.h"
#include "net/sids_submitter.h"

class QSocketNotifier;
class QTimer;

namespace talphex {

// The window's station network: the sinks the dialog chose (MQTT publisher, InfluxDB writer,
// SiDS submitter) fed with the frames and records of a live source, and the MQTT subscription,
// whose merged frames come out as a live KISS stream. The sinks run on threads of their own; their
// event lines come to the user-interface thread by queued calls, escaped into a frame log of
// their own, and each sink's state is in one short status text.
class StationNetwork : public QObject {
  Q_OBJECT

 public:
  explicit StationNetwork(QObject* parent = nullptr);
  ~StationNetwork() override;

  // Stops what runs and starts the sinks of `plan`; the subscription waits for StartSubscription.
  void Start(NetworkPlan plan);
  // Every sink stopped after a bounded wait for what it holds, its thread joined.
  void Stop();
  // The plan's subscription, as a source: mergedFrames come from now on.
  void StartSubscription();
  // Ends the subscription (the other sinks keep running); the frames still held are given out.
  void EndSubscription();
  bool subscribing() const { return subscriber_ != nullptr; }
  bool subscription_planned() const { return plan_.subscribe; }
  // "mqtt:HOST:PORT", the records' source while subscribed.
  std::string subscription_source() const;

  // A frame received live: published and offered to SiDS. `millisecond`: the state's
  // RxMillisecond.
  void OfferFrame(const FrameFacts& facts, int millisecond);
  // A record decoded live: published and written to InfluxDB.
  void OfferRecord(Kind kind, const TelemetryRecord& record, std::string_view source);

  // One part per active sink, "; " between; empty with none.
  QString StatusText() const;
  // Event lines that came since the last call.
  FrameLogBuffer TakeLog();

 signals:
  // Event lines wait for TakeLog.
  void logged();
  void statusChanged();
  // Merged frames of the subscription as a live KISS stream, the last frame's receive time.
  void mergedFrames(const QByteArray& kiss, qint64 rx_ms);

 private:
  // From any thread: the line to the user-interface thread.
  void Event(const std::string& line);
  void OnEvent(const std::string& line);
  void TakeMessages();
  void ReleaseMerged(bool all);
  void ScheduleRelease();

  NetworkPlan plan_;
  std::unique_ptr<MqttPublisher> publisher_;
  std::unique_ptr<MqttSubscriber> subscriber_;
  std::unique_ptr<InfluxWriter> influx_;
  std::unique_ptr<SidsSubmitter> sids_;
  QSocketNotifier* wake_ = nullptr;
  QTimer* release_;  // single shot, at the merger's next release
  QTimer* refresh_;  // the counts of the status, while a sink runs
  std::unique_ptr<FrameMerger> merger_;
  std::int64_t malformed_ = 0;
  std::string mqtt_state_ = "connecting";
  FrameLogBuffer log_;
  AnalysisWriter jsonl_{AnalysisFormat::kJsonLines};
  std::unique_ptr<AnalysisWriter> points_;
  std::array<std::int64_t, 2> published_records_{};
  std::array<std::int64_t, 2> influx_records_{};
  std::string line_;
};

}  // namespace talphex
